#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "check_flag.h"
#include "configured_signal.h"

namespace {

struct verdict_case {
	std::string name;
	std::optional<std::string> buffer; // none: a null pointer
	int verdict;
};

std::string with_byte(std::string text, std::size_t position, unsigned char mask)
{
	text[position] = static_cast<char>(static_cast<unsigned char>(text[position]) ^ mask);
	return text;
}

std::vector<verdict_case> verdict_cases()
{
	const std::string signal = configured_signal();
	std::vector<verdict_case> cases = {
		{"null pointer", std::nullopt, 1},
		{"empty", "", 1},
		{"first 25 bytes", signal.substr(0, 25), 1},
		{"one byte more", signal + "x", 1},
		{"line feed still on", signal + "\n", 1},
		{"first byte differs", with_byte(signal, 0, 0x01), 1},
		{"last byte differs", with_byte(signal, 25, 0x01), 1},
		{"the signal", signal, 0},
		{"NUL after the signal ends it", signal + std::string("\0tail", 5), 0},
		{"NUL before the last byte", signal.substr(0, 25) + std::string("\0", 1) + signal[25], 1},
	};
	// Bytes of 0x80 and above compare by their unsigned value at every
	// position: flipping only the top bit must always be noticed.
	for (std::size_t i = 0; i < flag_length; i++)
		cases.push_back({"top bit flipped at " + std::to_string(i), with_byte(signal, i, 0x80), 1});
	return cases;
}

TEST(CheckFlag, JudgesEachCandidate)
{
	ASSERT_EQ(configured_signal().size(), flag_length);
	for (const auto &c : verdict_cases()) {
		SCOPED_TRACE(c.name);
		EXPECT_EQ(check_flag(c.buffer ? c.buffer->c_str() : nullptr), c.verdict);
	}
}

TEST(CheckFlag, KeepsNoStateBetweenCalls)
{
	const std::string signal = configured_signal();
	const std::string miss = with_byte(signal, 13, 0x20);
	for (int round = 0; round < 3; round++) {
		EXPECT_EQ(check_flag(signal.c_str()), 0);
		EXPECT_EQ(check_flag(miss.c_str()), 1);
	}
}

} // namespace
