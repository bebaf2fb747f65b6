// Looking for a signal in a file: whole, in halves, or spread over machine
// code.  Every platform's executable is searched the same way.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// True when the needle's bytes stand in the haystack in order, each at most
// max_gap bytes after the one before: the shape of a signal that the compiler
// folded into the operands of a row of compare instructions.
inline bool holds_spread(const std::string &haystack, const std::string &needle, std::size_t max_gap)
{
	std::vector<bool> ends(haystack.size());
	for (std::size_t p = 0; p < haystack.size(); p++)
		ends[p] = haystack[p] == needle[0];
	for (std::size_t k = 1; k < needle.size(); k++) {
		std::vector<bool> next(haystack.size());
		std::size_t last_end = 0;
		bool seen = false;
		for (std::size_t p = 0; p < haystack.size(); p++) {
			if (seen && p - last_end <= max_gap && haystack[p] == needle[k])
				next[p] = true;
			if (ends[p]) {
				last_end = p;
				seen = true;
			}
		}
		ends.swap(next);
	}
	return std::find(ends.begin(), ends.end(), true) != ends.end();
}

// True when the file gives the signal away in any of the shapes a compiler
// leaves it in: whole, either half on its own (a copy split in two, each part
// somewhere else; this finds the whole signal too), or spread over a row of
// instructions.
inline bool holds_signal(const std::string &haystack, const std::string &signal)
{
	const std::size_t half = signal.size() / 2;
	for (const std::string &part : {signal.substr(0, half), signal.substr(half)})
		if (std::search(haystack.begin(), haystack.end(), part.begin(), part.end()) != haystack.end())
			return true;
	return holds_spread(haystack, signal, 16);
}
