#!/usr/bin/env bash
# Builds the bench preset and reruns every measurement of bench/README.md:
#   1. check_flag against the plain C loop: Google Benchmark times and
#      callgrind instruction counts per call, case by case;
#   2. start-up on empty input: callgrind instruction totals of vexmor and of
#      the least C program with the same dialogue, built with the same
#      hardening, and the cost of that hardening against the same least
#      program built without it;
#   3. a 256 MiB line with no line feed piped into vexmor and into cat, in
#      alternating hyperfine rounds, and peak memory against an empty run.
# Results go to build/bench/results/.  Knobs, all optional:
#   REPETITIONS=20  Google Benchmark repetitions per case
#   ROUNDS=5 RUNS=5 hyperfine rounds, and runs of each command per round
#   RSS_RUNS=15     runs of each kind measured for peak memory
set -euo pipefail
cd "$(dirname "$0")/.."

REPETITIONS=${REPETITIONS:-20}
ROUNDS=${ROUNDS:-5}
RUNS=${RUNS:-5}
RSS_RUNS=${RSS_RUNS:-15}

source tools/install_missing.sh

install_missing cmake ninja-build g++ libbenchmark-dev valgrind hyperfine jq time util-linux strace

build=build/bench
results=$build/results
cmake --workflow --preset bench >/dev/null
mkdir -p "$results"
vexmor=$build/vexmor
bench=$build/bench/check_flag_bench
least=$build/bench/least_dialogue
unhardened=$build/bench/least_dialogue_unhardened

echo "== machine"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|L2|L3)' | sed 's/  */ /g'
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "gcc: $(gcc -dumpfullversion), glibc: $(ldd --version | head -1 | awk '{print $NF}')"

# ---------------------------------------------------------------------------
echo
echo "== 1. check_flag against the plain C loop ($REPETITIONS repetitions of each, interleaved; CPU time)"
# Other work on the machine only ever adds time, so the fastest repetition is
# the best estimate of a case's own cost; the median is shown beside it.
"$bench" --benchmark_repetitions="$REPETITIONS" --benchmark_enable_random_interleaving=true \
	--benchmark_min_time=0.1 --benchmark_display_aggregates_only=true \
	--benchmark_out="$results/check_flag.json" --benchmark_out_format=json >/dev/null 2>&1
if jq -e '[.benchmarks[] | select(.error_occurred)] | length > 0' "$results/check_flag.json" >/dev/null; then
	echo "a benchmark gave the wrong verdict:" >&2
	jq -r '.benchmarks[] | select(.error_occurred) | .name' "$results/check_flag.json" >&2
	exit 1
fi
# One line per case, in the order registered.
jq -r '
	def median: sort | if length % 2 == 1 then .[length / 2 | floor] else (.[length / 2 - 1] + .[length / 2]) / 2 end;
	[.benchmarks[] | select(.run_type == "iteration")]
	| group_by(.run_name | sub("^[a-z_]+/"; ""))
	| sort_by(map(.family_index) | min)
	| .[]
	| (group_by(.run_name | split("/")[0])
	   | map({key: (.[0].run_name | split("/")[0]),
	          value: {min: (map(.cpu_time) | min), median: (map(.cpu_time) | median)}})
	   | from_entries) as $t
	| [(.[0].run_name | sub("^[a-z_]+/"; "")),
	   $t.check_flag.min, $t.plain_c.min, $t.check_flag.min / $t.plain_c.min,
	   $t.check_flag.median, $t.plain_c.median, $t.check_flag.median / $t.plain_c.median]
	| @tsv' "$results/check_flag.json" |
	awk -F'\t' 'BEGIN {
			printf "%-16s %29s   %29s\n", "", "fastest repetition", "median"
			printf "%-16s %10s %10s %7s   %10s %10s %7s\n", "case", "check_flag", "plain_c", "ratio", "check_flag", "plain_c", "ratio"
		}
		{ printf "%-16s %7.2f ns %7.2f ns %7.2f   %7.2f ns %7.2f ns %7.2f\n", $1, $2, $3, $4, $5, $6, $7 }' |
	tee "$results/check_flag_times.txt"

echo
echo "== 1. instructions per call (callgrind; the call into the function and strlen included)"
cases=$("$bench" --benchmark_list_tests=true | sed -n 's|^check_flag/||p')
{
	printf "%-16s %10s %10s\n" case check_flag plain_c
	for case in $cases; do
		valgrind --tool=callgrind --callgrind-out-file="$results/case.callgrind" \
			"$bench" --benchmark_filter="^(check_flag|plain_c)/$case\$" --benchmark_min_time=0.01 \
			>/dev/null 2>&1
		# Each function's inclusive count and call count, as its caller sees them.
		callgrind_annotate --inclusive=yes --tree=caller "$results/case.callgrind" 2>/dev/null |
			awk -v name="$case" '
				/< .*judge\(/ && match($0, /\([0-9,]+x\)/) {
					ir = $1; gsub(",", "", ir)
					calls = substr($0, RSTART + 1, RLENGTH - 3); gsub(",", "", calls)
					getline
					if ($0 ~ /\?\?\?:check_flag /) mine = ir / calls
					if ($0 ~ /\?\?\?:plain_check_flag /) plain = ir / calls
				}
				END { printf "%-16s %10.0f %10.0f\n", name, mine, plain }'
	done
	rm -f "$results/case.callgrind"
} | tee "$results/check_flag_instructions.txt"
slower_count=$(awk 'NR > 1 && $2 > $3' "$results/check_flag_instructions.txt" | wc -l)
slower_time=$(awk 'NR > 2 && $6 > 1.05 { printf " %s", $1 }' "$results/check_flag_times.txt")
echo "cases where check_flag runs more instructions than plain_c: $slower_count"
echo "cases where its fastest time is over 5 % above plain_c's:${slower_time:- none}"

# ---------------------------------------------------------------------------
echo
echo "== 2. start-up to verdict on empty input (callgrind, total instructions)"
startup() {
	local out
	out=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" </dev/null 2>&1 >/dev/null)
	sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' <<<"$out" | tr -d ,
}
for program in "$vexmor" "$least" "$unhardened"; do
	if [[ $("$program" </dev/null) != $'Vexmor\nEnter the signal: missing input' ]]; then
		echo "$program does not hold the expected dialogue" >&2
		exit 1
	fi
done
mine=$(startup "$vexmor")
least_ir=$(startup "$least")
unhardened_ir=$(startup "$unhardened")
awk -v a="$mine" -v b="$least_ir" -v c="$unhardened_ir" 'BEGIN {
	printf "vexmor                      %9d\n", a
	printf "least_dialogue              %9d\n", b
	printf "least_dialogue_unhardened   %9d\n", c
	printf "vexmor / least_dialogue     %9.4f (goal: at most 1.05)\n", a / b
	printf "hardening: least_dialogue / least_dialogue_unhardened %.4f\n", b / c
}' | tee "$results/startup.txt"

# ---------------------------------------------------------------------------
echo
echo "== 3. a 256 MiB line with no line feed, through a pipe ($ROUNDS rounds of $RUNS runs each)"
line=$build/line-256MiB
if [[ ! -f $line || $(stat -c %s "$line") -ne 268435456 ]]; then
	head -c 268435456 /dev/zero | tr '\0' x >"$line"
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$results"/overlong-*.json
for round in $(seq "$ROUNDS"); do
	# The status check keeps a vexmor that failed early from looking fast.
	hyperfine --style none --warmup 1 --runs "$RUNS" \
		--export-json "$results/overlong-$round.json" \
		--command-name vexmor "cat $line | $vexmor >/dev/null; test \$? = 1" \
		--command-name cat "cat $line | cat >/dev/null" >/dev/null
	jq -r --arg round "$round" '
		(.results | map({key: .command, value: .}) | from_entries) as $r
		| "round \($round): vexmor \($r.vexmor.mean * 1000 | round) ms, cat \($r.cat.mean * 1000 | round) ms, ratio \($r.vexmor.mean / $r.cat.mean * 100 | round / 100)"' \
		"$results/overlong-$round.json"
done | tee "$results/overlong.txt"
# Over all rounds: the medians of every run, and user plus system time.
jq -s -r '
	def median: sort | if length % 2 == 1 then .[length / 2 | floor] else (.[length / 2 - 1] + .[length / 2]) / 2 end;
	[.[].results[]] | group_by(.command) | map({key: .[0].command, value: {
		median: ([.[].times[]] | median),
		cpu: ([.[] | .user + .system] | add / length)}}) | from_entries
	| "all rounds: median vexmor \(.vexmor.median * 1000 | round) ms, cat \(.cat.median * 1000 | round) ms, ratio \(.vexmor.median / .cat.median * 100 | round / 100) (goal: at most 1.15 on a quiet machine)",
	  "user+system, both ends of the pipe: vexmor \(.vexmor.cpu * 1000 | round) ms, cat \(.cat.cpu * 1000 | round) ms"' \
	"$results"/overlong-*.json | tee -a "$results/overlong.txt"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
# The reads each program makes of the pipe: the size of its buffer shows.
reads() {
	# shellcheck disable=SC2002 # through a pipe, as in the timing above
	cat "$line" | strace -f -qq -c -e trace=read -o "$results/strace" "$@" >/dev/null || true
	awk '$NF == "read" { print $4 }' "$results/strace"
}
echo "read calls on the 256 MiB line: vexmor $(reads "$vexmor"), cat $(reads cat)" |
	tee -a "$results/overlong.txt"
rm -f "$results/strace"

echo
echo "== 3. peak memory (maximum resident set, KiB, $RSS_RUNS runs each)"
peak() {
	# time puts its note of a non-zero status before the figure.
	/usr/bin/time -f %M -o "$results/rss" "$@" >/dev/null || true
	tail -n 1 "$results/rss"
}
# The peak moves by up to about 120 KiB from run to run on the same input,
# so one run says little: compare the spreads.
spread() {
	sort -n | awk '{ v[NR] = $1 } END { printf "min %d, median %d, max %d KiB\n", v[1], v[int((NR + 1) / 2)], v[NR] }'
}
empty=$(for _ in $(seq "$RSS_RUNS"); do peak "$vexmor" </dev/null; done | spread)
# shellcheck disable=SC2002 # through a pipe, as in the timing above
huge=$(for _ in $(seq "$RSS_RUNS"); do cat "$line" | peak "$vexmor"; done | spread)
rm -f "$results/rss"
{
	echo "empty input:   $empty"
	echo "256 MiB line:  $huge"
} | tee "$results/memory.txt"
