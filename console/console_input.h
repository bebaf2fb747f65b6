// Standard input as the line rules read it: a bounded line read and a
// character read that behave like fgets and getchar on stdin.
//
// A Windows console hands programs the typed text in its input code page, in
// which a signal's UTF-8 bytes cannot be typed.  On Windows, when standard
// input is a console, these read it as UTF-16 and hand on its UTF-8 encoding,
// the bytes a terminal gives elsewhere; pipes and files are read byte for
// byte.  On every other system they are fgets and getchar themselves.
#pragma once

#include <cstdio>

#if defined(_WIN32)

// As fgets(buffer, size, stdin).
char *input_fgets(char *buffer, int size);

// As getchar().
int input_getchar();

#else

inline char *input_fgets(char *buffer, int size)
{
	return std::fgets(buffer, size, stdin);
}

inline int input_getchar()
{
	return std::getchar();
}

#endif
