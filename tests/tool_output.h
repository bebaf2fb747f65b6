// Asking the binary tools (nm, readelf, objdump...) about a file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"

// True in a build under AddressSanitizer, whose run time changes what the
// executable links and how it is built.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized = true;
#elif defined(__has_feature)
inline constexpr bool sanitized = __has_feature(address_sanitizer);
#else
inline constexpr bool sanitized = false;
#endif

// What the tool printed on standard output; a failure of the tool fails the test.
inline std::string tool_output(const std::vector<std::string> &argv)
{
	outcome run = run_program(argv, {});
	EXPECT_EQ(run.status, 0) << argv[0] << ": " << run.err;
	return run.out;
}
