// Throws arbitrary byte strings at check_flag.  Each input is copied into a
// buffer of exactly its size plus the terminating NUL, so that AddressSanitizer
// catches any read past the end of the candidate.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "check_flag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	auto candidate = std::make_unique<char[]>(size + 1);
	if (size > 0)
		std::memcpy(candidate.get(), data, size);
	candidate[size] = '\0';

	int verdict = check_flag(candidate.get());
	if (verdict != 0 && verdict != 1)
		std::abort();
	// Only the bytes before the first NUL make the candidate, and nothing
	// but a string of the signal's length can be the signal.
	if (verdict == 0 && std::strlen(candidate.get()) != flag_length)
		std::abort();
	// No state is kept between calls.
	if (check_flag(candidate.get()) != verdict)
		std::abort();
	return 0;
}
