// Runs the whole console dialogue on arbitrary standard-input bytes and holds
// it to a small model of the line rules: exit status, every byte written to
// standard output, the candidate handed to the verifier, and how much of the
// input is left unread afterwards.
//
// The verifier here is a stand-in that records its argument and accepts one
// known word, so that the "correct" path is reachable without the signal; the
// real check_flag has a fuzz target of its own.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "check_flag.h"
#include "dialogue.h"
#include "line_input.h"

namespace {

constexpr std::string_view prompt = "Vexmor\nEnter the signal: ";
constexpr std::string_view stand_in_signal = "stand-in signal";

int input_fd = -1;
int output_fd = -1;
std::string input_path;
std::string output_path;

int verifier_calls = 0;
std::string judged;
std::string output_when_judged;

struct expectation {
	int status;
	std::string_view answer;
	bool judged;
	std::string candidate;
	std::size_t consumed; // bytes of input that the run reads, from the start
};

// The line rules, written as directly as they can be said.
expectation model(std::string_view input)
{
	// One bounded read: at most 63 bytes, and no further than a line feed.
	std::size_t stored = 0;
	while (stored < input.size() && stored < line_buffer_size - 1)
		if (input[stored++] == '\n')
			break;
	if (stored == 0)
		return {2, "missing input\n", false, {}, 0};

	// A NUL byte ends the line as a string.
	std::string line(input.substr(0, stored));
	line = line.substr(0, line.find('\0'));
	std::size_t consumed = stored;

	// Only a full buffer with no line feed at its end may hold part of a longer
	// line; a line feed or end of input right after it means it fitted.
	if (line.size() == line_buffer_size - 1 && line.back() != '\n' && consumed < input.size() &&
	    input[consumed++] != '\n') {
		std::size_t line_feed = input.find('\n', consumed);
		consumed = line_feed == std::string_view::npos ? input.size() : line_feed + 1;
		return {1, "wrong\n", false, {}, consumed};
	}

	if (!line.empty() && line.back() == '\n')
		line.pop_back();
	if (!line.empty() && line.back() == '\r')
		line.pop_back();
	bool right = line == stand_in_signal;
	return {right ? 0 : 1, right ? "correct\n" : "wrong\n", true, line, consumed};
}

std::string read_whole(int fd)
{
	struct stat info {};
	if (fstat(fd, &info) != 0)
		std::abort();
	std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
	if (pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
		std::abort();
	return bytes;
}

std::string read_rest_of_stdin()
{
	std::string rest;
	char chunk[4096];
	std::size_t got;
	while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
		rest.append(chunk, got);
	return rest;
}

int open_memory_file(const char *name, std::string &path)
{
	int fd = memfd_create(name, 0);
	if (fd < 0)
		std::abort();
	path = "/proc/self/fd/" + std::to_string(fd);
	return fd;
}

[[noreturn]] void report_difference(const char *what, std::string_view expected, std::string_view actual)
{
	std::fprintf(stderr, "dialogue differs from the model in %s\n", what);
	std::fprintf(stderr, "  expected %zu bytes: %.*s\n", expected.size(), static_cast<int>(expected.size()),
	             expected.data());
	std::fprintf(stderr, "  actual %zu bytes: %.*s\n", actual.size(), static_cast<int>(actual.size()),
	             actual.data());
	std::abort();
}

} // namespace

extern "C" int check_flag(const char *candidate)
{
	++verifier_calls;
	judged = candidate;
	// Standard output is a file here, so fully buffered: only what was
	// flushed has reached it.  The prompt must be out before the program
	// waits for the line.
	output_when_judged = read_whole(output_fd);
	return judged == stand_in_signal ? 0 : 1;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	// Started without a standard stream (as CI may start us), the memory
	// files would take its number, and reopening stdin or stdout onto them
	// would first close them.
	for (int fd = 0; fd <= 2; fd++)
		if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
			std::abort();
	input_fd = open_memory_file("vexmor-stdin", input_path);
	output_fd = open_memory_file("vexmor-stdout", output_path);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	std::string_view input(reinterpret_cast<const char *>(data), size);

	if (ftruncate(input_fd, 0) != 0 ||
	    pwrite(input_fd, input.data(), input.size(), 0) != static_cast<ssize_t>(input.size()))
		std::abort();
	// Reopening gives fresh streams: no buffered bytes, no end-of-input flag.
	if (std::freopen(input_path.c_str(), "rb", stdin) == nullptr ||
	    std::freopen(output_path.c_str(), "wb", stdout) == nullptr)
		std::abort();
	verifier_calls = 0;
	judged.clear();
	output_when_judged.clear();

	int status = run_dialogue();
	std::fflush(stdout);
	std::string rest = read_rest_of_stdin();
	std::string output = read_whole(output_fd);

	expectation expected = model(input);
	if (status != expected.status)
		report_difference("exit status", std::to_string(expected.status), std::to_string(status));
	if (output != std::string(prompt) + std::string(expected.answer))
		report_difference("standard output", std::string(prompt) + std::string(expected.answer), output);
	if (verifier_calls != (expected.judged ? 1 : 0))
		report_difference("calls of the verifier", expected.judged ? "1" : "0", std::to_string(verifier_calls));
	if (expected.judged && judged != expected.candidate)
		report_difference("the candidate judged", expected.candidate, judged);
	if (expected.judged && output_when_judged != prompt)
		report_difference("output before judging", prompt, output_when_judged);
	if (rest != input.substr(expected.consumed))
		report_difference("input left unread", input.substr(expected.consumed), rest);
	return 0;
}
