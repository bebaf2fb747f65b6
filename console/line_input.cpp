#include "line_input.h"

#include <cstdio>
#include <cstring>

#include "console_input.h"

namespace {

// Reads standard input up to and including the next line feed, or to its end.
// fgets stops right after a line feed, so whatever follows stays unread, and
// it scans a chunk at a time where getchar would pay a call per byte.  The
// last byte of the chunk is set beforehand: fgets overwrites it with its NUL
// only when it filled the chunk, which tells a full chunk from a line that
// ended, whatever NUL bytes the chunk holds.
void discard_rest_of_line()
{
	constexpr int chunk_size = 4096;
	char chunk[chunk_size];

	for (;;) {
		chunk[chunk_size - 1] = 1;
		if (input_fgets(chunk, chunk_size) == nullptr)
			return;
		if (chunk[chunk_size - 1] != '\0' || chunk[chunk_size - 2] == '\n')
			return;
	}
}

} // namespace

int discard_overlong_line(const char *line)
{
	std::size_t length = std::strlen(line);

	// Only 63 bytes with no line feed at their end can leave a line unfinished.
	if (length != line_buffer_size - 1 || line[length - 1] == '\n')
		return 0;

	// The line may have been exactly 63 bytes long; its line feed, if any,
	// is consumed with it.
	int next = input_getchar();
	if (next == EOF || next == '\n')
		return 0;

	discard_rest_of_line();
	return 1;
}

void trim_line_ending(char *line)
{
	std::size_t length = std::strlen(line);

	if (length > 0 && line[length - 1] == '\n')
		line[--length] = '\0';
	if (length > 0 && line[length - 1] == '\r')
		line[length - 1] = '\0';
}
