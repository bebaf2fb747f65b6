#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "dialogue.h"

namespace {

// Standard input's buffer, the size of a pipe's: an overlong line is thrown
// away in reads of this size rather than the C library's 4 KiB, and stdio
// allocates nothing for it.  Its pages are touched only as input fills them.
constexpr std::size_t input_buffer_size = 64 * 1024;
char input_buffer[input_buffer_size];

} // namespace

// The command line and the environment are not used.
int main()
{
#if defined(_WIN32)
	// Text-mode streams would write each line feed as CR LF, and on input
	// fold CR LF into a line feed and stop at a 0x1A byte.  In binary mode the
	// same bytes give the same output and verdict as on any other system.
	_setmode(_fileno(stdin), _O_BINARY);
	_setmode(_fileno(stdout), _O_BINARY);
#endif
#if defined(SIGPIPE)
	// A reader that has gone away makes writes fail, which the dialogue
	// ignores; it must not end the process and so change its status.
	std::signal(SIGPIPE, SIG_IGN);
#endif
	std::setvbuf(stdin, input_buffer, _IOFBF, input_buffer_size);
	return run_dialogue();
}
