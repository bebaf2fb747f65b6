/*
 * A copy into a buffer of known size, of a length the compiler cannot
 * check: built with -D_FORTIFY_SOURCE, this calls __memcpy_chk, which the
 * tests look for.
 */
#include <stdio.h>
#include <string.h>

int fortify_probe(const char *text, size_t size);

int fortify_probe(const char *text, size_t size)
{
	char line[64];

	memcpy(line, text, size);
	return puts(line);
}
