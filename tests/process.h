// Starting a program with chosen standard streams and collecting what it did.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum class input_kind {
	bytes,      // a pipe that carries the given bytes, then end of input
	closed,     // no descriptor 0 at all
	directory,  // opened, but every read fails
	write_only, // open for writing only, so every read fails
};

enum class output_kind {
	captured,    // a file, read back afterwards
	closed,      // no descriptor 1 at all
	full,        // /dev/full: every write fails with ENOSPC
	broken_pipe, // a pipe whose reader has gone away
};

struct launch {
	std::vector<std::string> args; // after the program's own name
	std::string input;
	// Writes standard input instead of `input`, for inputs too large to hold.
	std::function<void(int fd)> feed;
	input_kind in = input_kind::bytes;
	output_kind out = output_kind::captured;
	std::vector<std::string> environment; // "NAME=value", added to ours
};

struct outcome {
	std::string out;
	std::string err;
	int status = -1;        // exit status, or -1 when killed by a signal
	int signal = 0;         // the signal that ended it, if any
	long peak_memory_kib = 0;
};

// Runs argv[0] (looked up in PATH when it has no slash) as `how` says.
outcome run_program(const std::vector<std::string> &argv, const launch &how);

// The vexmor under test: this build's, or the executable that the environment
// variable VEXMOR_EXE names, such as one built for another platform.
std::string vexmor_path();

// Runs vexmor_path().  VEXMOR_TEST_WRAPPER names a command to run it under,
// such as valgrind, wine or qemu.
outcome run_vexmor(const launch &how);

// The bytes of a file, whole.
std::string read_file(const std::string &path);
