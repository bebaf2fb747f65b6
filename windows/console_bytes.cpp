// Prints, in hexadecimal on one line, every byte that vexmor's input layer
// hands on from standard input up to its end.  It takes them in turn with a
// character read and a line read of at most three bytes, so that the UTF-8
// of most characters beyond ASCII is split between two reads.
//
// Usage: console_bytes, with standard input a console or anything else.
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <io.h>

#include "console_input.h"

namespace {

// Three characters a byte; a line typed at a test's console is far shorter.
char dump[3 * 4096 + 1];
std::size_t dumped;

void add_byte(unsigned char byte)
{
	if (dumped + 3 < sizeof dump)
		dumped += static_cast<std::size_t>(std::snprintf(dump + dumped, 4, " %02x", byte));
}

} // namespace

int main()
{
	char piece[4];

	_setmode(_fileno(stdin), _O_BINARY);
	_setmode(_fileno(stdout), _O_BINARY);
	// Typing starts once the console is there to take it.
	std::fputs("Type a line: ", stdout);
	std::fflush(stdout);
	for (;;) {
		int next = input_getchar();
		if (next == EOF)
			break;
		add_byte(static_cast<unsigned char>(next));
		if (input_fgets(piece, static_cast<int>(sizeof piece)) == nullptr)
			break;
		for (std::size_t i = 0; i < std::strlen(piece); i++)
			add_byte(static_cast<unsigned char>(piece[i]));
	}
	std::printf("bytes:%s\n", dump);
	return 0;
}
