// vexmor as its users run it: bytes in, bytes out, an exit status.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "configured_signal.h"
#include "process.h"

namespace {

using namespace std::string_literals;

const std::string prompt = "Vexmor\nEnter the signal: ";

struct dialogue_case {
	std::string name;
	std::string input;
	std::string answer;
	int status;
	std::vector<std::string> args = {};
};

std::vector<dialogue_case> dialogue_cases()
{
	const std::string signal = configured_signal();
	std::string first_wrong = signal;
	first_wrong[0] = static_cast<char>(first_wrong[0] ^ 1);
	return {
		{"empty input", "", "missing input\n", 2},
		{"lone line feed", "\n", "wrong\n", 1},
		{"lone CR LF", "\r\n", "wrong\n", 1},
		{"signal and line feed", signal + "\n", "correct\n", 0},
		{"signal and CR LF", signal + "\r\n", "correct\n", 0},
		{"signal at end of input", signal, "correct\n", 0},
		{"signal and two CRs", signal + "\r\r\n", "wrong\n", 1},
		{"blank before the signal", " " + signal + "\n", "wrong\n", 1},
		{"blank after the signal", signal + " \n", "wrong\n", 1},
		{"first byte wrong", first_wrong + "\n", "wrong\n", 1},
		{"NUL ends the line", signal + "\0ignored\n"s, "correct\n", 0},
		{"NUL first", "\0"s + signal + "\n", "wrong\n", 1},
		{"binary bytes", "\xff\xfe\x80\x01\x7f\x1a\x04\n"s, "wrong\n", 1},
		{"only the first line is judged", "guess\n" + signal + "\n", "wrong\n", 1},
		{"signal on the second line after an overlong one", std::string(100, 'x') + "\n" + signal + "\n",
		 "wrong\n", 1},
		{"overlong line starting with the signal", signal + std::string(100, 'x') + "\n", "wrong\n", 1},
		{"63 bytes and line feed", std::string(63, 'x') + "\n", "wrong\n", 1},
		{"arguments are ignored", signal + "\n", "correct\n", 0, {"--help", "-", "", "wrong"}},
		{"the signal as argument does not count", "\n", "wrong\n", 1, {signal}},
		{"missing input with arguments", "", "missing input\n", 2, {"-v", "/dev/null"}},
	};
}

TEST(Dialogue, AnswersEachInputExactly)
{
	for (const auto &c : dialogue_cases()) {
		SCOPED_TRACE(c.name);
		launch how;
		how.input = c.input;
		how.args = c.args;
		outcome run = run_vexmor(how);
		EXPECT_EQ(run.out, prompt + c.answer);
		EXPECT_EQ(run.err, "");
		EXPECT_EQ(run.status, c.status);
	}
}

TEST(Dialogue, UnreadableInputIsMissingInput)
{
	for (auto kind : {input_kind::closed, input_kind::directory, input_kind::write_only}) {
		SCOPED_TRACE(static_cast<int>(kind));
		launch how;
		how.in = kind;
		outcome run = run_vexmor(how);
		EXPECT_EQ(run.out, prompt + "missing input\n");
		EXPECT_EQ(run.err, "");
		EXPECT_EQ(run.status, 2);
	}
}

// Whatever becomes of standard output, the status is the verdict's.
TEST(Dialogue, FailingOutputKeepsTheVerdictStatus)
{
	const std::string signal = configured_signal();
	const std::pair<std::string, int> inputs[] = {{signal + "\n", 0}, {"guess\n", 1}, {"", 2}};
	for (auto kind : {output_kind::closed, output_kind::full, output_kind::broken_pipe}) {
		for (const auto &[input, status] : inputs) {
			SCOPED_TRACE("output kind " + std::to_string(static_cast<int>(kind)) + ", status " +
			             std::to_string(status));
			launch how;
			how.input = input;
			how.out = kind;
			outcome run = run_vexmor(how);
			EXPECT_EQ(run.signal, 0);
			EXPECT_EQ(run.status, status);
			EXPECT_EQ(run.err, "");
		}
	}
}

// A line of hundreds of megabytes streams through the stdio buffer: the
// program's memory stays that of an empty run.
TEST(Dialogue, HugeLineTakesNoMoreMemoryThanAnEmptyRun)
{
	constexpr std::size_t huge = std::size_t{256} << 20;
	const std::string signal = configured_signal();

	launch empty;
	const long baseline = run_vexmor(empty).peak_memory_kib;

	launch how;
	how.feed = [&](int fd) {
		const std::string chunk(1 << 20, 'x');
		for (std::size_t sent = 0; sent < huge; sent += chunk.size())
			if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
				return;
		[[maybe_unused]] auto n = write(fd, ("\n" + signal + "\n").data(), signal.size() + 2);
	};
	outcome run = run_vexmor(how);
	EXPECT_EQ(run.out, prompt + "wrong\n");
	EXPECT_EQ(run.status, 1);
	EXPECT_LE(run.peak_memory_kib, baseline + 512) << "empty run: " << baseline << " KiB";
}

} // namespace
