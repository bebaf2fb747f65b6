// The signal this build was configured with, learnt from the build
// configuration, which hands it over in hexadecimal.
#pragma once

#include <string>

inline std::string configured_signal()
{
	const std::string hex = VEXMOR_TEST_SIGNAL_HEX;
	std::string bytes;
	for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
		bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
	return bytes;
}
