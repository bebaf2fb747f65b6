#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "line_input.h"

namespace {

using namespace std::string_literals;

std::string repeat(std::size_t count, char c = 'x')
{
	return std::string(count, c);
}

// Puts the given bytes on a real standard input, read through the C stream
// just as the program reads it.
class on_standard_input : public testing::Test {
protected:
	void TearDown() override
	{
		if (!path_.empty())
			unlink(path_.c_str());
	}

	void provide(const std::string &bytes)
	{
		char name[] = "/tmp/vexmor-stdin-XXXXXX";
		int fd = mkstemp(name);
		ASSERT_GE(fd, 0);
		path_ = name;
		ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
		close(fd);
		ASSERT_NE(std::freopen(path_.c_str(), "rb", stdin), nullptr);
	}

	// Fills the line buffer the way the program does.
	std::array<char, line_buffer_size> read_line()
	{
		std::array<char, line_buffer_size> line{};
		EXPECT_NE(std::fgets(line.data(), static_cast<int>(line.size()), stdin), nullptr);
		return line;
	}

	static std::string unread()
	{
		std::string rest;
		int c;
		while ((c = std::getchar()) != EOF)
			rest.push_back(static_cast<char>(c));
		return rest;
	}

private:
	std::string path_;
};

struct overlong_case {
	std::string name;
	std::string input;
	int overlong;
	std::string left_unread;
};

const overlong_case overlong_cases[] = {
	{"short line", "abc\nnext", 0, "next"},
	{"62 bytes and line feed fit", repeat(62) + "\nnext", 0, "next"},
	{"63 bytes, line feed consumed", repeat(63) + "\nnext", 0, "next"},
	{"63 bytes at end of input", repeat(63), 0, ""},
	{"63 bytes ending in CR, then line feed", repeat(62) + "\r\nnext", 0, "next"},
	{"64 bytes and line feed", repeat(64) + "\nnext", 1, "next"},
	{"200 bytes, no line feed", repeat(200), 1, ""},
	{"overlong, remainder holds NUL bytes", repeat(70) + "\0\0x\0\n"s + "next", 1, "next"},
	{"overlong, remainder all NUL", repeat(64) + repeat(5000, '\0') + "\nnext", 1, "next"},
	{"NUL in the first 63 bytes: never overlong", repeat(10) + "\0"s + repeat(100) + "\nnext", 0,
	 repeat(48) + "\nnext"},
	{"overlong line, then an empty line", repeat(63) + "x\n\nnext", 1,
	 "\nnext"},
};

TEST_F(on_standard_input, DiscardOverlongLineConsumesExactlyTheRestOfTheLine)
{
	for (const auto &c : overlong_cases) {
		SCOPED_TRACE(c.name);
		provide(c.input);
		auto line = read_line();
		const auto before = line;
		EXPECT_EQ(discard_overlong_line(line.data()), c.overlong);
		EXPECT_EQ(line, before);
		EXPECT_EQ(unread(), c.left_unread);
	}
}

// A remainder read in several pieces still ends right after its line feed,
// wherever that falls against the pieces' edges.
TEST_F(on_standard_input, DiscardOverlongLineStopsAtTheLineFeedOfAnyLongRemainder)
{
	const std::size_t lengths[] = {1, 4093, 4094, 4095, 4096, 8189, 8190, 8191, 100000};
	for (std::size_t length : lengths) {
		for (char filler : {'y', '\0'}) {
			SCOPED_TRACE("remainder of " + std::to_string(length) + (filler ? " letters" : " NULs"));
			provide(repeat(64) + repeat(length, filler) + "\n" + repeat(length, 'z') + "\nlast");
			EXPECT_EQ(discard_overlong_line(read_line().data()), 1);
			const std::string rest = unread();
			EXPECT_TRUE(rest == repeat(length, 'z') + "\nlast") << rest.size() << " bytes left unread";
		}
	}
}

struct trim_case {
	std::string line;
	std::string trimmed;
};

const trim_case trim_cases[] = {
	{"abc\n", "abc"},
	{"abc\r\n", "abc"},
	{"abc", "abc"},
	{"abc\r", "abc"},
	{"\n", ""},
	{"\r\n", ""},
	{"", ""},
	{"abc\r\r\n", "abc\r"},
	{"abc \n", "abc "},
	{"abc\t\n", "abc\t"},
	{"abc\n\n", "abc\n"},
};

TEST(TrimLineEnding, RemovesOneLineFeedThenOneCarriageReturn)
{
	for (const auto &c : trim_cases) {
		SCOPED_TRACE(testing::PrintToString(c.line));
		std::array<char, line_buffer_size> line{};
		c.line.copy(line.data(), c.line.size());
		trim_line_ending(line.data());
		EXPECT_EQ(std::string(line.data()), c.trimmed);
	}
}

TEST(TrimLineEnding, StopsAtTheFirstNul)
{
	std::array<char, line_buffer_size> line{};
	const std::string bytes = "ab\0cd\r\n"s;
	bytes.copy(line.data(), bytes.size());
	const auto before = line;
	trim_line_ending(line.data());
	EXPECT_EQ(line, before);
}

} // namespace
