// What a Release build and an install hand out: a hardened executable, an
// installed copy without symbols that still exports and answers, and a
// manual page whose example works.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "configured_signal.h"
#include "process.h"
#include "tool_output.h"

namespace {

#if defined(__x86_64__)
constexpr bool x86_64 = true;
#else
constexpr bool x86_64 = false;
#endif

bool contains(const std::string &text, const std::string &part)
{
	return text.find(part) != std::string::npos;
}

// The instructions of one function, as objdump disassembles them.
std::string disassembly(const std::string &file, const std::string &function)
{
	return tool_output({"objdump", "--disassemble=" + function, "--no-show-raw-insn", file});
}

class hardened_build : public testing::Test {
protected:
	void SetUp() override
	{
		if (!VEXMOR_RELEASE_BUILD || sanitized)
			GTEST_SKIP() << "only Release builds are hardened";
	}
};

TEST_F(hardened_build, IsAPositionIndependentExecutable)
{
	EXPECT_TRUE(contains(tool_output({"readelf", "-h", VEXMOR_EXE}), "DYN (Position-Independent Executable file)"));
	EXPECT_TRUE(contains(tool_output({"readelf", "-d", VEXMOR_EXE}), "Flags: NOW PIE"));
}

TEST_F(hardened_build, HasFullRelroWithImmediateBinding)
{
	EXPECT_TRUE(contains(tool_output({"readelf", "-lW", VEXMOR_EXE}), "GNU_RELRO"));
	EXPECT_TRUE(contains(tool_output({"readelf", "-d", VEXMOR_EXE}), "(FLAGS)              BIND_NOW"));
}

TEST_F(hardened_build, ProtectsTheStack)
{
	// The line buffer in the dialogue's frame gets a canary.
	EXPECT_TRUE(contains(tool_output({"nm", "-D", "--undefined-only", VEXMOR_EXE}), "__stack_chk_fail"));
	if (!x86_64)
		return;
	// The 4 KiB chunk that throws away an overlong line is probed page by
	// page as the stack grows to hold it.
	const std::string code = tool_output({"objdump", "-d", "--no-show-raw-insn", VEXMOR_EXE});
	EXPECT_TRUE(contains(code, "sub    $0x1000,%rsp") && contains(code, "$0x0,(%rsp)"))
		<< "no stack clash probe";
}

// Every call that the compiler can prove safe stays unchecked, and in vexmor
// that is every call; so a small object built with the same flags shows that
// the checked calls are on.
TEST_F(hardened_build, FortifiesCallsThatCouldOverflow)
{
	EXPECT_TRUE(contains(tool_output({"nm", FORTIFY_PROBE_OBJECT}), "U __memcpy_chk"));
}

TEST_F(hardened_build, MarksIndirectBranchTargets)
{
	if (!x86_64)
		GTEST_SKIP() << "-fcf-protection is for x86-64";
	// Each function that may be reached indirectly starts with endbr64.
	for (const char *function : {"check_flag", "main"}) {
		SCOPED_TRACE(function);
		const std::string code = disassembly(VEXMOR_EXE, function);
		std::string label = "<";
		label += function;
		label += ">:\n";
		const auto start = code.find(label);
		ASSERT_NE(start, std::string::npos) << code;
		EXPECT_TRUE(contains(code.substr(start, 80), "endbr64")) << code.substr(start, 200);
	}
}

// Debian's own checker, with two of its checks left to the tests above: it
// looks for checked calls (there are none, since every call was proven safe)
// and for the IBT and SHSTK note, which the linker drops because Debian 12's
// C library start files (crt1.o, crti.o) lack it.
TEST_F(hardened_build, PassesHardeningCheck)
{
	outcome run = run_program({"hardening-check", "--nofortify", "--nocfprotection", VEXMOR_EXE}, {});
	EXPECT_EQ(run.status, 0) << run.out << run.err;
	EXPECT_TRUE(contains(run.out, "Stack protected: yes")) << run.out;
	EXPECT_TRUE(contains(run.out, "Immediate binding: yes")) << run.out;
}

// What `cmake --install` puts in place carries no symbol table and no
// compiler notes, yet check_flag is still found by name and answers.
TEST(Installed, IsStrippedButStillExportsAndAnswers)
{
	const std::string prefix = testing::TempDir() + "vexmor-installed";
	std::filesystem::remove_all(prefix);
	tool_output({CMAKE_COMMAND, "--install", VEXMOR_BUILD_DIR, "--prefix", prefix});
	const std::string installed = prefix + "/bin/vexmor";

	const std::string sections = tool_output({"readelf", "-SW", installed});
	EXPECT_FALSE(contains(sections, ".symtab"));
	EXPECT_FALSE(contains(sections, ".comment"));
	EXPECT_FALSE(contains(tool_output({"strings", "-a", installed}), "run_dialogue"));
	EXPECT_TRUE(contains(tool_output({"nm", "-D", "--defined-only", installed}), " T check_flag\n"));

	const std::string signal = configured_signal();
	launch how;
	how.environment = {"LD_PRELOAD=" CALL_CHECK_FLAG_LIBRARY, "ASAN_OPTIONS=verify_asan_link_order=0"};
	outcome run = run_program({installed, signal, signal.substr(1), "a guess"}, how);
	EXPECT_EQ(run.out, "0\n1\n1\n");
	EXPECT_EQ(run.status, 0) << run.err;
	std::filesystem::remove_all(prefix);
}

// mandoc's own checker has nothing to say of the manual page.  It also looks
// up the pages that SEE ALSO names in this machine's manual database, which
// says nothing of the page itself, so those lines alone are let through.
TEST(Manual, PassesMandocLint)
{
	outcome run = run_program({"mandoc", "-Tlint", "-Wstyle", VEXMOR_SOURCE_DIR "/man/vexmor.1"}, {});
	std::string said;
	std::istringstream lines(run.out + run.err);
	for (std::string line; std::getline(lines, line);)
		if (!contains(line, "mandoc.db") && !contains(line, "referenced manual not found"))
			said += line + "\n";
	EXPECT_EQ(said, "");
	EXPECT_LE(run.status, 1) << run.err; // 1: style messages only
}

// The manual page's outside caller, compiled as the page says and preloaded
// into vexmor, gives the verdicts that the page shows.
TEST(Manual, ExampleCallerWorks)
{
	const std::string page = read_file(VEXMOR_SOURCE_DIR "/man/vexmor.1");
	const auto start = page.find("#define _GNU_SOURCE\n");
	ASSERT_NE(start, std::string::npos);
	std::string code = page.substr(start, page.find("\n.Ed\n", start) - start + 1);
	for (std::size_t at; (at = code.find("\\e")) != std::string::npos;)
		code.replace(at, 2, 1, '\\');

	const std::string dir = testing::TempDir();
	const std::string source = dir + "vexmor-ask.c";
	const std::string library = dir + "vexmor-ask.so";
	std::ofstream(source) << code;
	outcome built = run_program({CMAKE_C_COMPILER, "-shared", "-fPIC", "-o", library, source}, {});
	ASSERT_EQ(built.status, 0) << built.err << code;

	launch how;
	how.args = {configured_signal(), "a guess"};
	how.environment = {"LD_PRELOAD=" + library, "ASAN_OPTIONS=verify_asan_link_order=0"};
	outcome run = run_vexmor(how);
	EXPECT_EQ(run.out, "0\n1\n");
	EXPECT_EQ(run.status, 0) << run.err;
	std::filesystem::remove(source);
	std::filesystem::remove(library);
}

} // namespace
