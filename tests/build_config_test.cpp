// Choosing the signal and key when vexmor is configured.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "process.h"
#include "signal_search.h"

namespace {

using namespace std::string_literals;

const std::string derive_script = VEXMOR_SOURCE_DIR "/cmake/VexmorSignal.cmake";
const std::string default_multiplier = "6364136223846793005";
const std::string default_addend = "1442695040888963407";

// Every kind of byte a signal may hold: blanks, quotes, backslashes, list and
// variable syntax of CMake, a tab and an inner carriage return, UTF-8, 0xff,
// and a blank at the end, which CMake keeps only when the value is quoted.
const std::string awkward_signal = " \"'\\;$@#%{}\xc3\xa9${x}@v@\t\rz\xff[ ";

// The -D option that sets a cache variable to exactly this value.  Without
// the single quotes CMake would trim blanks and tabs from its end.
std::string define(const std::string &name, const std::string &value)
{
	return "-D" + name + "='" + value + "'";
}

struct choice {
	std::string signal;
	std::string multiplier = default_multiplier;
	std::string addend = default_addend;
};

outcome derive(const choice &c)
{
	return run_program({CMAKE_COMMAND, define("VEXMOR_SIGNAL", c.signal), define("VEXMOR_KEY_MULTIPLIER", c.multiplier),
	                    define("VEXMOR_KEY_ADDEND", c.addend), "-P", derive_script},
	                   {});
}

// True when some line of the text, without its indentation, is exactly line.
bool has_line(const std::string &text, const std::string &line)
{
	std::istringstream lines(text);
	for (std::string l; std::getline(lines, l);)
		if (l.substr(std::min(l.find_first_not_of(' '), l.size())) == line)
			return true;
	return false;
}

struct rejection {
	choice chosen;
	std::string message;
};

TEST(SignalChoice, RejectsABadChoiceInOneLine)
{
	const std::string ok = "abcdefghijklmnopqrstuvwxyz";
	const rejection cases[] = {
		{{ok.substr(0, 25)}, "VEXMOR_SIGNAL: 25 bytes long; it must be exactly 26"},
		{{ok + "!"}, "VEXMOR_SIGNAL: 27 bytes long; it must be exactly 26"},
		{{""}, "VEXMOR_SIGNAL: 0 bytes long; it must be exactly 26"},
		{{"\xc3\xa9" + ok.substr(0, 25)}, "VEXMOR_SIGNAL: 27 bytes long; it must be exactly 26"},
		{{"abcde\nghijklmnopqrstuvwxyz"}, "VEXMOR_SIGNAL: line feed at byte 5, where an input line would end"},
		{{ok.substr(0, 25) + "\r"}, "VEXMOR_SIGNAL: ends in a carriage return, which input lines lose"},
		{{ok, "12a"}, "VEXMOR_KEY_MULTIPLIER: not a decimal integer from 0 to 18446744073709551615"},
		{{ok, "0x10"}, "VEXMOR_KEY_MULTIPLIER: not a decimal integer from 0 to 18446744073709551615"},
		{{ok, default_multiplier, "-1"}, "VEXMOR_KEY_ADDEND: not a decimal integer from 0 to 18446744073709551615"},
		{{ok, default_multiplier, ""}, "VEXMOR_KEY_ADDEND: not a decimal integer from 0 to 18446744073709551615"},
		{{ok, default_multiplier, " 5"}, "VEXMOR_KEY_ADDEND: not a decimal integer from 0 to 18446744073709551615"},
		{{ok, "18446744073709551616"},
		 "VEXMOR_KEY_MULTIPLIER: out of range: 18446744073709551616 is above 18446744073709551615"},
		{{ok, default_multiplier, "0099999999999999999999"},
		 "VEXMOR_KEY_ADDEND: out of range: 99999999999999999999 is above 18446744073709551615"},
		{{ok, "0", "256"},
		 "VEXMOR_KEY_MULTIPLIER and VEXMOR_KEY_ADDEND: every key byte is zero, which would store the signal in plain"},
		{{ok, "18446744073709551360", "0"},
		 "VEXMOR_KEY_MULTIPLIER and VEXMOR_KEY_ADDEND: every key byte is zero, which would store the signal in plain"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.message);
		outcome run = derive(c.chosen);
		EXPECT_NE(run.status, 0);
		EXPECT_TRUE(has_line(run.err, c.message)) << run.err;
	}
}

// The table that CMake derives, checked against the key rule computed here in
// unsigned 64-bit arithmetic, which CMake's own integers cannot do.
TEST(SignalChoice, DerivesTheScrambledTableFromAnyAllowedChoice)
{
	const choice cases[] = {
		{"abcdefghijklmnopqrstuvwxyz"},
		{awkward_signal},
		{awkward_signal, "18446744073709551615", "18446744073709551615"},
		{awkward_signal, "000000000000000000000123", "0"},
		{awkward_signal, "0", "1"},
		{awkward_signal, "1", "0"},
		{"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0b\x0c\x0d\x0e\x0f\x7f\x80\x81\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\x20",
		 "2862933555777941757", "3037000493"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.signal) + " " + c.multiplier + " " + c.addend);
		ASSERT_EQ(c.signal.size(), 26u);
		outcome run = derive(c);
		ASSERT_EQ(run.status, 0) << run.err;

		const std::string prefix = "-- scrambled_flag: ";
		ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
		std::istringstream table(run.out.substr(prefix.size()));
		const std::uint64_t multiplier = std::stoull(c.multiplier);
		const std::uint64_t addend = std::stoull(c.addend);
		for (std::uint64_t i = 0; i < 26; i++) {
			std::string entry;
			ASSERT_TRUE(std::getline(table, entry, ','));
			auto key = static_cast<std::uint8_t>(i * multiplier + addend);
			auto expected = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c.signal[i]) ^ key);
			EXPECT_EQ(std::stoul(entry, nullptr, 16), expected) << "entry " << i;
		}
	}
}

// A whole build of vexmor with the awkward signal: it must answer "correct"
// to exactly that signal, keep answering after the cache is read back, and
// hold none of it.
class project_build : public testing::Test {
protected:
	void SetUp() override
	{
		char name[] = "/tmp/vexmor-build-XXXXXX";
		ASSERT_NE(mkdtemp(name), nullptr);
		dir_ = name;
	}
	void TearDown() override
	{
		std::filesystem::remove_all(dir_);
	}

	outcome configure(const std::vector<std::string> &options)
	{
		std::vector<std::string> argv = {CMAKE_COMMAND, "-S", VEXMOR_SOURCE_DIR, "-B", dir_,
		                                 "-G", CMAKE_GENERATOR, "-DCMAKE_BUILD_TYPE=Release",
		                                 "-DCMAKE_C_COMPILER=" CMAKE_C_COMPILER,
		                                 "-DCMAKE_CXX_COMPILER=" CMAKE_CXX_COMPILER, "-DVEXMOR_BUILD_TESTS=OFF"};
		argv.insert(argv.end(), options.begin(), options.end());
		return run_program(argv, {});
	}

	outcome build()
	{
		return run_program({CMAKE_COMMAND, "--build", dir_, "--target", "vexmor"}, {});
	}

	outcome answer(const std::string &input)
	{
		launch how;
		how.input = input;
		return run_program({dir_ + "/vexmor"}, how);
	}

	std::string dir_;
};

TEST_F(project_build, AcceptsAnyAllowedSignal)
{
	const outcome configured =
		configure({define("VEXMOR_SIGNAL", awkward_signal), "-DVEXMOR_KEY_MULTIPLIER=18446744073709551615",
		           "-DVEXMOR_KEY_ADDEND=0"});
	ASSERT_EQ(configured.status, 0) << configured.err;
	const outcome built = build();
	ASSERT_EQ(built.status, 0) << built.out;

	std::string near_miss = awkward_signal;
	near_miss[11] = '\x83'; // the first byte of é, changed
	for (int round = 0; round < 2; round++) {
		SCOPED_TRACE(round == 0 ? "first configure" : "configured again from the cache");
		EXPECT_EQ(answer(awkward_signal + "\n").status, 0);
		EXPECT_EQ(answer(awkward_signal + "\r\n").status, 0);
		EXPECT_EQ(answer(near_miss + "\n").status, 1);
		EXPECT_FALSE(holds_signal(read_file(dir_ + "/vexmor"), awkward_signal));

		ASSERT_EQ(configure({}).status, 0);
		ASSERT_EQ(build().status, 0);
	}
}

TEST_F(project_build, ConfigureRejectsABadSignal)
{
	const outcome configured = configure({"-DVEXMOR_SIGNAL=too short"});
	EXPECT_NE(configured.status, 0);
	EXPECT_TRUE(has_line(configured.err, "VEXMOR_SIGNAL: 9 bytes long; it must be exactly 26")) << configured.err;
}

// The example signal is fine for a try: a notice in one line, not an error.
// Another signal configures without it.
TEST_F(project_build, ConfigureNoticesTheExampleSignal)
{
	const std::string notice =
		"VEXMOR_SIGNAL is the example signal, whose answer the README prints; fine for a try, not for a handout";
	const outcome example = configure({});
	ASSERT_EQ(example.status, 0) << example.err;
	EXPECT_TRUE(has_line(example.err, notice)) << example.err;

	const outcome own = configure({define("VEXMOR_SIGNAL", awkward_signal)});
	ASSERT_EQ(own.status, 0) << own.err;
	EXPECT_FALSE(has_line(own.err, notice)) << own.err;
}

// The presets add their flags to CFLAGS, CXXFLAGS and LDFLAGS from the environment,
// as Debian's dpkg-buildflags hands them over, rather than replace them.
TEST_F(project_build, PresetKeepsTheEnvironmentsFlags)
{
	launch how;
	how.environment = {"CFLAGS=-DVEXMOR_FROM_CFLAGS", "CXXFLAGS=-DVEXMOR_FROM_CXXFLAGS", "LDFLAGS=-Wl,-O1"};
	const outcome configured = run_program(
		{CMAKE_COMMAND, "-S", VEXMOR_SOURCE_DIR, "--preset", "default", "-B", dir_, "-DVEXMOR_BUILD_TESTS=OFF"}, how);
	ASSERT_EQ(configured.status, 0) << configured.err;

	const std::string cache = read_file(dir_ + "/CMakeCache.txt");
	for (const char *line : {"CMAKE_C_FLAGS:STRING=-DVEXMOR_FROM_CFLAGS -Wall ",
	                         "CMAKE_CXX_FLAGS:STRING=-DVEXMOR_FROM_CXXFLAGS -Wall ",
	                         "CMAKE_EXE_LINKER_FLAGS:STRING=-Wl,-z,relro,-z,now -Wl,-O1\n"}) {
		EXPECT_NE(cache.find(std::string("\n") + line), std::string::npos) << line;
	}
	EXPECT_NE(cache.find("\nCMAKE_CXX_FLAGS_RELEASE:STRING=-D_FORTIFY_SOURCE=2 -fstack-protector-strong"),
	          std::string::npos);
}

} // namespace
