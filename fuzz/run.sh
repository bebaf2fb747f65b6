#!/usr/bin/env bash
# Fuzzes vexmor for SECONDS seconds per target (30 when not given):
#   check_flag  libFuzzer on the verifier;
#   dialogue    libFuzzer on the console dialogue, held to a model of the
#               line rules;
#   afl         AFL++ on the whole executable through standard input.
# All run under AddressSanitizer and UndefinedBehaviorSanitizer.  Any crash,
# hang, sanitizer report or difference from the model fails the run; the
# offending inputs stay in build/fuzz/findings/ and build/afl/findings/.
# The corpora the libFuzzer targets grow are kept in build/fuzz/corpus/, so
# each run goes on from the last.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if [[ ! $seconds =~ ^[1-9][0-9]*$ ]]; then
	echo "usage: fuzz/run.sh [SECONDS]" >&2
	exit 64
fi

source tools/install_missing.sh

# libclang-rt-14-dev, which holds libFuzzer and the sanitizers for Clang, is
# only recommended by clang, so a lean install leaves it out.
install_missing cmake ninja-build clang libclang-rt-14-dev afl++

# afl-cc announces itself on every call otherwise.
export AFL_QUIET=1
for preset in fuzz afl; do
	cmake --preset "$preset" --log-level=WARNING >/dev/null
	cmake --build --preset "$preset"
done

# A seed that vexmor answers with "correct" would put the signal into the
# repository.
for seed in fuzz/corpus/*/*; do
	status=0
	build/fuzz/vexmor <"$seed" >/dev/null || status=$?
	if ((status == 0)); then
		echo "fuzz: the seed $seed is the signal; it must not be committed" >&2
		exit 1
	fi
done

passed=0
failed=0

# The value of "KEY: value" in a libFuzzer or AFL++ report.
report_value() {
	sed -n "s/^$1 *: *//p" "$2" | tail -n 1
}

# run_libfuzzer NAME [libFuzzer options]: runs build/fuzz/NAME_fuzzer from
# its kept corpus and the committed seeds in fuzz/corpus/NAME.
run_libfuzzer() {
	local name=$1
	shift
	local corpus=build/fuzz/corpus/$name log=build/fuzz/$name.log
	mkdir -p "$corpus" build/fuzz/findings
	echo "fuzz: $name for ${seconds}s"
	if nice -n 10 "build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 \
		-print_final_stats=1 -artifact_prefix="build/fuzz/findings/$name-" "$@" \
		"$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
		local last
		last=$(grep -a -E '^#[0-9]+' "$log" | tail -n 1)
		echo "fuzz: $name clean: $(report_value stat::number_of_executed_units "$log") runs," \
			"$(grep -o -E 'cov: [0-9]+ ft: [0-9]+' <<<"$last")," \
			"corpus $(grep -o -E 'corp: [0-9]+/[0-9]+[a-zA-Z]*' <<<"$last" | cut -d' ' -f2)"
		passed=$((passed + 1))
	else
		tail -n 40 "$log"
		echo "fuzz: $name FAILED; the input is in build/fuzz/findings/, the log in $log" >&2
		failed=$((failed + 1))
	fi
}

run_libfuzzer check_flag -use_value_profile=1 -max_len=128
# Lines longer than the 4 KiB chunks in which an overlong line is thrown away.
run_libfuzzer dialogue -max_len=12000

# afl-fuzz wants the sanitizers to abort, which its own defaults arrange; a
# terminal, CPU frequency control, core dumps to files and a free core to
# itself are not to be had everywhere, CI included.
findings=build/afl/findings
rm -rf "$findings"
echo "fuzz: afl for ${seconds}s"
afl_status=0
env -u ASAN_OPTIONS -u UBSAN_OPTIONS -u LSAN_OPTIONS \
	AFL_NO_UI=1 AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_AFFINITY=1 \
	nice -n 10 afl-fuzz -V "$seconds" -m none -t 2000 -i fuzz/corpus/dialogue -o "$findings" \
	-- build/afl/vexmor >build/afl/afl.log 2>&1 || afl_status=$?
stats=$findings/default/fuzzer_stats
# afl-fuzz ends with status 0 whatever it found: what counts is what it saved.
if ((afl_status == 0)) && [[ -f $stats ]] &&
	[[ -z $(find "$findings/default/crashes" "$findings/default/hangs" -type f ! -name README.txt) ]]; then
	echo "fuzz: afl clean: $(report_value execs_done "$stats") runs," \
		"$(report_value edges_found "$stats")/$(report_value total_edges "$stats") edges," \
		"corpus $(report_value corpus_count "$stats")"
	passed=$((passed + 1))
else
	tail -n 40 build/afl/afl.log
	echo "fuzz: afl FAILED (status $afl_status); see $findings/default/crashes and hangs" >&2
	failed=$((failed + 1))
fi

# Worded apart from a test runner's tally: these are targets, not tests.
if ((failed > 0)); then
	echo "fuzz: $failed of $((passed + failed)) targets FAILED"
	exit 1
fi
echo "fuzz: all $passed targets clean"
