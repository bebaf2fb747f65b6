#!/usr/bin/env bash
# Types at vexmor.exe's console under Wine, as a Windows player would, and
# checks the verdict on the screen and the exit status of each case:
#   the signal, which holds bytes above 0x7F   -> correct, status 0
#   the signal with one letter changed         -> wrong, status 1
#   70 characters, some of two and three bytes -> wrong, status 1
#   an empty line                              -> wrong, status 1
#   Ctrl-Z then Enter at the prompt            -> missing input, status 2
# and that the input layer hands on the UTF-8 of what was typed when a
# character is split between two console reads or two line reads (the
# helper console_bytes.exe prints the bytes).
#
# Each case runs its program in a terminal of its own, a detached tmux
# session on a socket of this run's own: Wine gives a program whose standard
# input is a terminal a console there, which it reads with ReadConsoleW.  `send-keys
# -l` types UTF-8 text, `capture-pane` reads the screen, and the dead pane
# keeps the exit status.  At the end the tmux server and the Wine server of
# WINEPREFIX are killed, whatever the outcome.
#
# Usage: console_test.sh VEXMOR.EXE CONSOLE_BYTES.EXE WINE SIGNAL-HEX
# SIGNAL-HEX is the signal's bytes in hexadecimal, from the build
# configuration; the signal is rebuilt from it here only.  Exits 0 when every
# case holds, 1 when one does not, and 77 after SKIPPED when Wine or tmux is
# missing.
set -euo pipefail

if (($# != 4)); then
	echo "usage: console_test.sh VEXMOR.EXE CONSOLE_BYTES.EXE WINE SIGNAL-HEX" >&2
	exit 2
fi
exe=$1 bytes_exe=$2 wine=$3 signal_hex=$4

skip() {
	echo "console_test: $*"
	echo "console_test: SKIPPED"
	exit 77
}
[[ -n $wine && -x $wine ]] || skip "Wine (wine64) was not found"
command -v tmux >/dev/null || skip "tmux was not found"
for program in "$exe" "$bytes_exe"; do
	[[ -f $program ]] || { echo "console_test: $program does not exist" >&2; exit 2; }
done
[[ $signal_hex =~ ^([0-9a-fA-F]{2})+$ ]] ||
	{ echo "console_test: SIGNAL-HEX '$signal_hex' is not bytes in hexadecimal" >&2; exit 2; }

# Wine turns the bytes it reads from the terminal into characters by the
# locale, and tmux types and shows UTF-8 only under a UTF-8 locale.
export LC_ALL=C.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
socket=vexmor-console-$$
work=$(mktemp -d)

cleanup() {
	tmux -L "$socket" kill-server 2>/dev/null || true
	"$wineserver" -k 2>/dev/null || true
	rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
# Wine's server ends a few seconds after its last program; a program started
# just then may lose its connection to it.  It stays between the cases here,
# and for 30 s after the last if the cleanup never runs.  One that already
# runs is left as it is.
"$wineserver" -p30 2>/dev/null || true

# A pane whose program has ended stays, with its screen and exit status, until
# the case has read them; no status line takes a row of the screen.
cat >"$work/tmux.conf" <<'CONF'
set-option -g remain-on-exit on
set-option -g status off
CONF
tmux_() {
	tmux -L "$socket" -f "$work/tmux.conf" "$@"
}

# The terminal's line discipline would take Ctrl-Z for job control and never
# pass it on; a Windows console has no such key, so the pane turns it off.
# Wine then reads 0x1A from the terminal like any other key.
start() {
	local command
	printf -v command 'stty susp undef && exec %q %q' "$wine" "$1"
	tmux_ new-session -d -s vexmor -x 200 -y 20 "$command"
}

# How the pane's program ended: "status N" or "signal N", or nothing while it
# runs.  tmux may mark a pane dead a moment before it knows the status.
ending() {
	local status signal
	IFS=/ read -r status signal < <(tmux_ display-message -p -t vexmor '#{pane_dead_status}/#{pane_dead_signal}')
	if [[ -n $status ]]; then
		echo "status $status"
	elif [[ -n $signal ]]; then
		echo "signal $signal"
	fi
}

# Waits up to $1 seconds for the pane to show $2 (a grep pattern) or, when
# $2 is empty, for its program to end.  Returns 1 on timeout.
wait_for() {
	local deadline=$((SECONDS + $1)) pattern=$2
	while ((SECONDS < deadline)); do
		if [[ -n $pattern ]]; then
			tmux_ capture-pane -p -t vexmor | grep -q -- "$pattern" && return 0
		elif [[ -n $(ending) ]]; then
			return 0
		fi
		sleep 0.2
	done
	return 1
}

passed=0
failed=0
# The first start in a new Wine prefix sets the prefix up; later ones take a
# second or two.
prompt_wait=120

# attempt_case PROGRAM PROMPT LAST STATUS TEXT [KEY...]: starts PROGRAM,
# waits for its PROMPT, types TEXT, then presses the KEYs (Enter when none
# are given), and expects the last line on the screen to be LAST and the exit
# status STATUS.  Sets problem (empty when the case held) and screen.
attempt_case() {
	local program=$1 prompt=$2 verdict=$3 status=$4 text=$5
	shift 5
	local keys=("$@")
	((${#keys[@]})) || keys=(Enter)
	local last got
	problem=""

	start "$program"
	# capture-pane drops the blank at the prompt's end.
	if ! wait_for "$prompt_wait" "^$prompt\$"; then
		problem="no prompt within $prompt_wait s"
	else
		prompt_wait=30
		[[ -z $text ]] || tmux_ send-keys -t vexmor -l -- "$text"
		tmux_ send-keys -t vexmor "${keys[@]}"
		wait_for 30 '' || problem="${program##*/} still running 30 s after the keys"
	fi

	# Wine's console may scroll the text up into the pane's history, so that
	# is read too.  The dead pane's own notice and the blank rows are not
	# vexmor's.
	screen=$(tmux_ capture-pane -p -S - -t vexmor | grep -v -e '^Pane is dead' -e '^$' || true)
	last=$(tail -n 1 <<<"$screen")
	got=$(ending)
	tmux_ kill-session -t vexmor

	if [[ -z $problem && $last != "$verdict" ]]; then
		problem="last line '$last', expected '$verdict'"
	fi
	if [[ -z $problem && $got != "status $status" ]]; then
		problem="ended with ${got:-nothing}, expected status $status"
	fi
}

# run_case NAME PROGRAM PROMPT LAST STATUS TEXT [KEY...]: one case, tried a
# second time when the first fails.  Under load Wine now and then keeps a
# program's process alive long after it has answered and returned; a fault of
# the program itself fails both tries.
run_case() {
	local name=$1 problem screen
	shift
	attempt_case "$@"
	if [[ -n $problem ]]; then
		echo "note $name: first try: $problem; trying again"
		attempt_case "$@"
	fi
	if [[ -z $problem ]]; then
		echo "ok   $name: $3, status $4"
		passed=$((passed + 1))
	else
		echo "FAIL $name: $problem; the screen:"
		sed 's/^/     | /' <<<"$screen"
		failed=$((failed + 1))
	fi
}

signal=$(printf '%b' "$(sed 's/../\\x&/g' <<<"$signal_hex")")
if [[ $signal == *[![:ascii:]]* ]]; then
	# The first character above 0x7F replaced by another one: a console
	# read that lost what tells them apart would take it for the signal.
	prefix=${signal%%[![:ascii:]]*}
	letter=${signal:${#prefix}:1}
	[[ $letter == é ]] && other=è || other=é
	changed=$prefix$other${signal:${#prefix}+1}
else
	echo "console_test: note: this signal has no byte above 0x7F, so the cases show no conversion"
	changed=${signal%?}
	[[ ${signal: -1} == x ]] && changed+=y || changed+=x
fi
# 70 characters in 103 bytes; the three bytes of the snowman stand at bytes 63
# to 65, across the end of the 63 that the line buffer holds.
long=$(printf 'ñ%.0s' {1..31})☃$(printf 'x%.0s' {1..38})

# The dialogue: the verdict, under the title and the prompt, and the status.
vexmor_case() {
	run_case "$1" "$exe" 'Enter the signal:' "${@:2}"
}
vexmor_case "the signal typed" correct 0 "$signal"
vexmor_case "the signal with one letter changed" wrong 1 "$changed"
vexmor_case "70 characters, some of two and three bytes" wrong 1 "$long"
vexmor_case "an empty line" wrong 1 ""
vexmor_case "Ctrl-Z then Enter at the prompt" "missing input" 2 "" C-z Enter

# The console is read 16 UTF-16 units at a time: this line's laughing face
# is a surrogate pair at units 15 and 16, across two reads.  Read back in
# pieces of a byte and then three, its four bytes and most of the others are
# split between reads.  A Ctrl-Z line ends the input.
typed='aé☃xxxxxxxxxxxx😀ñ'
expected="bytes:$(printf '%s\r\n' "$typed" | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/ $//')"
run_case "UTF-8 of characters split between reads" "$bytes_exe" 'Type a line:' \
	"$expected" 0 "$typed" Enter C-z Enter

if ((failed)); then
	echo "console_test: $failed of $((passed + failed)) cases FAILED"
	exit 1
fi
echo "console_test: all $passed cases passed"
