// What vexmor shows other programs: one exported function, and no signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "configured_signal.h"
#include "process.h"
#include "tool_output.h"
#include "signal_search.h"

namespace {

TEST(Executable, ExportsOnlyCheckFlag)
{
	std::istringstream symbols(tool_output({"nm", "-D", "--defined-only", vexmor_path()}));
	std::set<std::string> functions;
	std::string address, type, name;
	while (symbols >> address >> type >> name)
		if (std::string("TtWwi").find(type) != std::string::npos)
			functions.insert(name);
	EXPECT_EQ(functions, std::set<std::string>{"check_flag"});
}

TEST(Executable, NeedsNothingButTheCLibrary)
{
	if (sanitized)
		GTEST_SKIP() << "the sanitizers bring their own run-time libraries";
	std::istringstream dynamic(tool_output({"readelf", "-d", vexmor_path()}));
	std::vector<std::string> needed;
	for (std::string line; std::getline(dynamic, line);)
		if (line.find("(NEEDED)") != std::string::npos &&
		    // On ARM the stack protector's guard lives in the dynamic
		    // loader, the C library's other half.
		    line.find("[ld-linux-aarch64.so.1]") == std::string::npos)
			needed.push_back(line.substr(line.find('[')));
	EXPECT_EQ(needed, std::vector<std::string>{"[libc.so.6]"});
}

// Another program, loaded into a running vexmor, resolves check_flag by its
// name and gets the verdicts that the dialogue would give.
TEST(Executable, CheckFlagIsCallableByName)
{
	const std::string signal = configured_signal();
	std::string near_miss = signal;
	near_miss[25] = static_cast<char>(near_miss[25] ^ 0x80);

	launch how;
	how.args = {signal, near_miss, "", signal + "\n", signal.substr(0, 25), signal + "x", "\xff", signal};
	// A vexmor built for another machine runs under qemu, with the caller
	// built for that machine (VEXMOR_TEST_CALLER).  qemu hands the caller to
	// vexmor alone: in LD_PRELOAD, the host would load it into qemu itself.
	if (const char *caller = std::getenv("VEXMOR_TEST_CALLER"))
		how.environment = {std::string("QEMU_SET_ENV=LD_PRELOAD=") + caller};
	else
		how.environment = {"LD_PRELOAD=" CALL_CHECK_FLAG_LIBRARY,
		                   // The sanitizers' run time need not come first here.
		                   "ASAN_OPTIONS=verify_asan_link_order=0"};
	outcome run = run_vexmor(how);
	EXPECT_EQ(run.err, "");
	EXPECT_EQ(run.status, 0);
	EXPECT_EQ(run.out, "0\n1\n1\n1\n1\n1\n1\n0\n");
}

bool holds(const std::string &haystack, const std::string &needle)
{
	return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(Executable, HoldsNoPlainSignal)
{
	EXPECT_FALSE(holds_signal(read_file(vexmor_path()), configured_signal()));
}

// The signal's one home is the build configuration: no source file and no
// file generated from the sources holds it.
TEST(Sources, HoldNoPlainSignal)
{
	const std::string signal = configured_signal();
	namespace fs = std::filesystem;
	int scanned = 0;
	for (const char *root : {VEXMOR_SOURCE_DIR, VEXMOR_GENERATED_DIR}) {
		for (auto entry = fs::recursive_directory_iterator(root); entry != fs::end(entry); ++entry) {
			const auto name = entry->path().filename().string();
			if (entry->is_directory() && (name == "build" || name.starts_with("."))) {
				entry.disable_recursion_pending();
				continue;
			}
			const auto extension = entry->path().extension();
			if (!entry->is_regular_file() ||
			    (extension != ".cpp" && extension != ".h" && extension != ".c" && extension != ".in"))
				continue;
			SCOPED_TRACE(entry->path().string());
			EXPECT_FALSE(holds(read_file(entry->path().string()), signal));
			scanned++;
		}
	}
	EXPECT_GT(scanned, 0);
}

} // namespace
