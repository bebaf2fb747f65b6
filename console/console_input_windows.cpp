// Standard input on Windows.  A console is read with ReadConsoleW and its
// UTF-16 converted to UTF-8, whatever the console's code page; anything else
// is read with fgets and getchar, in binary mode, byte for byte.

#include "console_input.h"

#include <windows.h>

namespace {

enum { source_unknown, source_stream, source_console };

int source = source_unknown;
HANDLE console;

// Wide characters asked of the console at a time.  A longer line comes in
// several pieces, and a surrogate pair may be split between two of them.
constexpr DWORD wide_piece = 16;

// UTF-8 bytes converted from the console but not handed out yet.  The caller's
// buffer counts bytes, so a character's encoding may be taken in two calls.
// A wide character makes at most three bytes; a surrogate pair, two wide
// characters, makes four.
char pending[3 * (wide_piece + 1)];
int pending_next;
int pending_end;

// The first half of a surrogate pair whose second half is yet to be read;
// 0 when there is none.
wchar_t held_high_surrogate;

// Whether the next character read from the console begins a line.  Ctrl-Z
// there, then Enter, is end of input at a Windows console.
bool at_line_start = true;

constexpr wchar_t ctrl_z = 0x1A;

bool is_high_surrogate(wchar_t unit)
{
	return unit >= 0xD800 && unit <= 0xDBFF;
}

// Decided once, at the first read, on the standard input handle itself:
// GetConsoleMode succeeds on a console and fails on a pipe, file or device.
bool reading_console()
{
	if (source == source_unknown) {
		HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
		DWORD mode;

		if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
		    GetConsoleMode(handle, &mode)) {
			console = handle;
			source = source_console;
		} else {
			source = source_stream;
		}
	}
	return source == source_console;
}

// Reads the next piece of the console's line into pending, which is empty.
// Returns 0, or EOF at end of input or on a read error.  It may leave pending
// empty, when the piece was only the first half of a surrogate pair.
int read_console_piece()
{
	wchar_t wide[wide_piece + 1];
	DWORD held = 0;
	DWORD got = 0;

	if (held_high_surrogate != 0) {
		wide[held++] = held_high_surrogate;
		held_high_surrogate = 0;
	}
	if (!ReadConsoleW(console, wide + held, wide_piece, &got, nullptr) || got == 0)
		return EOF;
	// The console ends a line typed as Ctrl-Z with CR LF; that piece and what
	// may follow the Ctrl-Z in it are not input.
	if (at_line_start && wide[0] == ctrl_z)
		return EOF;

	DWORD count = held + got;
	if (is_high_surrogate(wide[count - 1]))
		held_high_surrogate = wide[--count];
	if (count == 0)
		return 0;
	at_line_start = wide[count - 1] == L'\n';

	// A surrogate half without its other half becomes U+FFFD.
	pending_next = 0;
	pending_end = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), pending,
					  static_cast<int>(sizeof pending), nullptr, nullptr);
	return 0;
}

// The next byte of the console's input in UTF-8, or EOF.
int console_byte()
{
	while (pending_next >= pending_end) {
		pending_next = pending_end = 0;
		if (read_console_piece() == EOF)
			return EOF;
	}
	return static_cast<unsigned char>(pending[pending_next++]);
}

} // namespace

char *input_fgets(char *buffer, int size)
{
	if (!reading_console())
		return std::fgets(buffer, size, stdin);
	if (size <= 0)
		return nullptr;

	int stored = 0;
	while (stored < size - 1) {
		int next = console_byte();
		if (next == EOF)
			break;
		buffer[stored++] = static_cast<char>(next);
		if (next == '\n')
			break;
	}
	if (stored == 0 && size > 1)
		return nullptr;
	buffer[stored] = '\0';
	return buffer;
}

int input_getchar()
{
	return reading_console() ? console_byte() : std::getchar();
}
