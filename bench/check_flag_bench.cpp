// check_flag against the plain C loop of the same rule, case by case: each
// case is registered for both right after each other so that their lines
// stand side by side in the report.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <deque>
#include <string>

#include "check_flag.h"
#include "plain_check.h"

namespace {

using verifier = int (*)(const char *);

// The signal comes from the build configuration as hexadecimal digits, so
// that it is written in no source file.
std::string signal_from_build()
{
	constexpr const char hex[] = VEXMOR_SIGNAL_HEX;
	auto nibble = [](char digit) {
		return digit <= '9' ? digit - '0' : digit - 'a' + 10;
	};
	std::string signal;
	for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2)
		signal.push_back(static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
	return signal;
}

// A different byte that is still not NUL, so the length stays the same.
char other_byte(char byte)
{
	char changed = static_cast<char>(byte ^ 1);
	return changed == '\0' ? static_cast<char>(byte ^ 2) : changed;
}

// The signal with the byte at position changed; position flag_length leaves
// it whole.
std::string differing_at(const std::string &signal, std::size_t position)
{
	std::string candidate = signal;
	if (position < candidate.size())
		candidate[position] = other_byte(candidate[position]);
	return candidate;
}

void judge(benchmark::State &state, verifier verify, const char *candidate, int expected)
{
	int verdict = verify(candidate);
	if (verdict != expected) {
		state.SkipWithError("unexpected verdict");
		return;
	}
	for (auto _ : state) {
		// The pointer is laundered each time so that nothing about the
		// candidate is known across iterations.
		benchmark::DoNotOptimize(candidate);
		verdict = verify(candidate);
		benchmark::DoNotOptimize(verdict);
	}
}

void register_both(const std::string &name, const std::string &candidate, int expected)
{
	// The benchmarks run after registration returns, so the candidates are
	// kept where growing the collection moves none of them.
	static std::deque<std::string> kept;
	const char *text = kept.emplace_back(candidate).c_str();
	benchmark::RegisterBenchmark(("check_flag/" + name).c_str(), judge,
		static_cast<verifier>(check_flag), text, expected);
	benchmark::RegisterBenchmark(("plain_c/" + name).c_str(), judge,
		static_cast<verifier>(plain_check_flag), text, expected);
}

} // namespace

int main(int argc, char **argv)
{
	const std::string signal = signal_from_build();
	if (signal.size() != flag_length)
		return 2;

	register_both("signal", signal, 0);
	register_both("miss_first_byte", differing_at(signal, 0), 1);
	register_both("miss_last_byte", differing_at(signal, flag_length - 1), 1);
	register_both("length_short", signal.substr(0, flag_length - 1), 1);
	register_both("length_long", signal + "\n", 1);
	// Matching prefix of 0 to 26 bytes: 26 is the signal itself.
	for (std::size_t prefix = 0; prefix <= flag_length; prefix++)
		register_both("prefix/" + std::to_string(prefix), differing_at(signal, prefix),
			prefix == flag_length ? 0 : 1);

	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
