// Reading the one input line: its buffer, an overlong line, its line ending.
#pragma once

#include <cstddef>

// At most 63 bytes of input and the NUL that ends them.
inline constexpr std::size_t line_buffer_size = 64;

// Given the buffer just filled from standard input, returns 1 when the input
// line did not fit, after reading and throwing away the rest of it up to and
// including its line feed; returns 0 otherwise.  Leaves the buffer alone.
int discard_overlong_line(const char *line);

// Removes one trailing line feed, then one trailing carriage return.
void trim_line_ending(char *line);
