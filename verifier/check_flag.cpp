#include "check_flag.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "flag_table.h"

namespace {

// Entry i is byte i of the signal exclusive-or'd with flag_key_byte(i).
constexpr std::array<std::uint8_t, flag_length> scrambled_flag = {VEXMOR_SCRAMBLED_FLAG};

std::uint8_t flag_key_byte(std::size_t position)
{
	constexpr std::uint64_t multiplier = VEXMOR_KEY_MULTIPLIER;
	constexpr std::uint64_t addend = VEXMOR_KEY_ADDEND;

	return static_cast<std::uint8_t>(std::uint64_t{position} * multiplier + addend);
}

// Knowing both the table and the key, the optimiser could fold them into the
// plain signal and compare against that.  Hiding where the table lies keeps
// every comparison on the scrambled copy, for the cost of one register.
const std::uint8_t *hide_from_optimiser(const std::uint8_t *table)
{
#if defined(__GNUC__)
	__asm__("" : "+r"(table));
#endif
	return table;
}

} // namespace

extern "C" int check_flag(const char *candidate)
{
	// strnlen, not strlen: a length other than 26 is all that matters, so
	// there is no need to walk the whole of a huge string.
	if (candidate == nullptr || strnlen(candidate, flag_length + 1) != flag_length)
		return 1;

	const std::uint8_t *expected = hide_from_optimiser(scrambled_flag.data());
	for (std::size_t i = 0; i < flag_length; i++) {
		auto byte = static_cast<std::uint8_t>(candidate[i]);
		if ((byte ^ flag_key_byte(i)) != expected[i])
			return 1;
	}
	return 0;
}
