#!/usr/bin/env bash
# Cross-builds vexmor.exe with MinGW-w64 and checks it under Wine:
#   - the mingw preset's ctest: its PE export table lists check_flag and
#     nothing else, it imports only system DLLs, it does not hold the plain
#     signal, and a Windows caller that loads it with LoadLibrary gets
#     check_flag's verdicts;
#   - the Linux suite's dialogue table, pointed at vexmor.exe under Wine,
#     gives the same bytes and statuses as on Linux;
#   - cpack makes the Windows .zip.
# Installs the compilers and Wine when they are missing.  If that install
# fails, it says so and ends with SKIPPED on its last line, exit status 0.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/mingw
# The Linux build whose test suite runs the dialogue table; CI has just built
# the default one.
linux_build=${VEXMOR_LINUX_BUILD:-build/default}
# The Linux suite's end-to-end dialogue tests, all of which hold under Wine:
# the table of inputs and answers, unreadable input, failing output and the
# memory taken by a huge line (Wine's process hosts vexmor.exe, so its peak
# is vexmor's plus a constant that the empty run measures too).
dialogue_filter='Dialogue.*'

skip() {
	echo "windows: $*"
	echo "windows: SKIPPED, vexmor.exe was not built or checked"
	exit 0
}

source tools/install_missing.sh

install_missing gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 ||
	skip "could not install MinGW-w64 and Wine, so vexmor.exe was neither built nor run"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[[ -x $wine ]] || skip "wine64 is installed but $wine is not there to run vexmor.exe"
# The preset's test step uses the same prefix, kept inside the build.
export WINEPREFIX=$PWD/$build/wine WINEDEBUG=-all

passed=0
failed=0
check() {
	local name=$1
	shift
	if "$@"; then
		echo "ok   $name"
		passed=$((passed + 1))
	else
		echo "FAIL $name"
		failed=$((failed + 1))
	fi
}

# Configures, builds, and runs the checks of windows/: the caller of
# check_flag under Wine, and the export table, imports and absent signal.
check "mingw workflow: build and ctest" cmake --workflow --preset mingw
exe=$build/vexmor.exe

# The dialogue tests, built for Linux as the README's quick start builds
# them, run against vexmor.exe.  Their standard input is /dev/null, as under
# ctest: CI may start this script with none, and the launcher then hands
# descriptor 0 to a file of its own.
cmake --preset default -B "$linux_build" >/dev/null
cmake --build "$linux_build" --target vexmor_tests
check "dialogue tests under Wine ($dialogue_filter)" \
	env VEXMOR_EXE="$PWD/$exe" VEXMOR_TEST_WRAPPER="$wine" \
	"$linux_build/tests/vexmor_tests" --gtest_filter="$dialogue_filter" </dev/null

zip_lists() {
	local zip listing
	zip=$(ls "$build"/packages/vexmor-*-win64.zip)
	listing=$(cmake -E tar tf "$zip")
	echo "     $zip: ${listing//$'\n'/ }"
	grep -q '/bin/vexmor\.exe$' <<<"$listing" &&
		grep -q '/share/doc/vexmor/README\.md$' <<<"$listing" &&
		grep -q '/share/doc/vexmor/LICENSE$' <<<"$listing" &&
		grep -q '/share/man/man1/vexmor\.1$' <<<"$listing"
}
rm -rf "$build/packages"
check "cpack makes the Windows .zip" \
	cpack --config "$build/CPackConfig.cmake" -B "$build/packages"
check "the .zip holds vexmor.exe, the README, the licence and the manual page" zip_lists

# Lets Wine's server end before the script does, so that nothing it started
# outlives the run.
"$(dirname "$(readlink -f "$wine")")/wineserver" -w || true

if ((failed)); then
	echo "windows: $failed of $((passed + failed)) checks FAILED"
	exit 1
fi
echo "windows: all $passed checks passed"
