// The signal verifier: the one function that vexmor exports.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#define VEXMOR_EXPORT __declspec(dllexport)
#else
#define VEXMOR_EXPORT __attribute__((visibility("default")))
#endif

// The signal is exactly this many bytes; no terminator belongs to it.
inline constexpr std::size_t flag_length = 26;

// Returns 0 when candidate, a NUL-terminated string, is the signal, and 1 for
// anything else, a null pointer included.  Keeps no state; any thread may call.
extern "C" VEXMOR_EXPORT int check_flag(const char *candidate);
