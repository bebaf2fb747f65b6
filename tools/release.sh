#!/usr/bin/env bash
# Makes a release: the packages to hand to players, for every platform in the
# table below, of one signal and key.
#
#   bash tools/release.sh -DVEXMOR_SIGNAL=... -DVEXMOR_KEY_MULTIPLIER=... -DVEXMOR_KEY_ADDEND=...
#
# The options go to every target's configure.  For each target, in the order
# of the table, it configures the target's preset, builds, runs the build's
# own ctest (natively, or under the emulator that the preset's toolchain file
# names: qemu-user, Wine) and runs cpack.  Only when every target has passed
# does it put the packages and SHA256SUMS over them in build/release/, emptied
# first; one failing target stops the release, and build/release/ stays empty.
#
# The first target is this machine's own.  Its test suite also tests the
# others' executables: the dialogue, the exported names, the signal's absence
# and a caller of check_flag.  The builds themselves are kept in
# build/release-build/, out of the folder handed out, as they hold the signal.
#
# SOURCE_DATE_EPOCH, the time every packed file carries, defaults to the last
# commit's, so that any checkout of a commit releases the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

# One row a platform.  The preset names the toolchain file, which names the
# emulator; the caller of check_flag follows from the executable's format
# (preloaded into an ELF one, LoadLibrary for a PE one).  The packages are
# Debian's, installed when missing (the first row's are those of the whole
# test suite); the kinds are cpack generators.
#  target         | preset        | Debian packages it needs                                    | kinds
targets=(
	"linux-x86_64   | default       | g++ binutils libgtest-dev dpkg-dev lintian mandoc devscripts
	                                  python3 socat systemd strace netcat-openbsd                 | TGZ DEB"
	"linux-aarch64  | linux-aarch64 | g++-aarch64-linux-gnu qemu-user dpkg-dev                    | TGZ DEB"
	"windows-x86_64 | mingw         | g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
	                                  binutils-mingw-w64-x86-64 wine64 tmux                       | ZIP"
)
# More platforms, built and tested like the others, but left out of the
# release unless named in VEXMOR_RELEASE_EXTRA_TARGETS ("linux-i686").
extra_targets=(
	"linux-i686     | linux-i686    | g++-i686-linux-gnu qemu-user dpkg-dev                       | TGZ DEB"
)

out=build/release
work=build/release-build

die() {
	echo "release: $*" >&2
	exit 1
}

# CMake's errors from a log, or the whole log when it has none.
show_errors() {
	grep -q '^CMake Error' "$1" && sed -n '/^CMake Error/,/^$/p' "$1" >&2 || cat "$1" >&2
}

(($#)) || die "usage: bash tools/release.sh -DVEXMOR_SIGNAL=... -DVEXMOR_KEY_MULTIPLIER=... -DVEXMOR_KEY_ADDEND=..."

for extra in ${VEXMOR_RELEASE_EXTRA_TARGETS:-}; do
	found=
	for row in "${extra_targets[@]}"; do
		[[ ${row%%|*} == "$extra "* ]] && targets+=("$row") && found=1
	done
	[[ $found ]] || die "VEXMOR_RELEASE_EXTRA_TARGETS: no target $extra in the table"
done

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
	SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
		die "SOURCE_DATE_EPOCH is unset, and there is no git history to take the last commit's time from"
fi
export SOURCE_DATE_EPOCH
echo "release: SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"

rm -rf "$out" "$work"
mkdir -p "$out" "$work"

# Splits a row into target, preset, packages and kinds, without the blanks
# around them.
read_row() {
	IFS='|' read -r target preset packages kinds <<<"${1//$'\n'/ }"
	target=${target//[[:space:]]/}
	preset=${preset//[[:space:]]/}
	local words
	read -r -a words <<<"$packages"
	packages=${words[*]}
	read -r -a words <<<"$kinds"
	kinds=${words[*]}
}

# Every target's tools first: a release that cannot make one of its
# platforms makes none, rather than leaving it out.
source tools/install_missing.sh
install_missing cmake ninja-build tar gzip zip
for row in "${targets[@]}"; do
	read_row "$row"
	install_missing $packages ||
		die "$target: could not install $packages, so it can be neither built nor tested; no release"
done

# Wine servers started for the tests end with the release.
wine_prefixes=()
end_wine() {
	local prefix
	for prefix in "${wine_prefixes[@]}"; do
		[[ -d $prefix ]] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
	done
}
trap end_wine EXIT

# Every package holds the program, its manual page, the README and the
# licence: LICENSE in an archive, Debian's copyright file in a .deb.
check_contents() {
	local package=$1 listing path
	case $package in
	*.deb) listing=$(dpkg-deb --contents "$package" | awk '{ print $NF }') ;;
	*) listing=$(cmake -E tar tf "$package") ;;
	esac
	for path in '/bin/vexmor(\.exe)?' '/share/man/man1/vexmor\.1(\.gz)?' '/share/doc/vexmor/README\.md' \
		'/share/doc/vexmor/(LICENSE|copyright)'; do
		grep -Eq "$path\$" <<<"$listing" ||
			die "${package##*/} lacks a file matching $path; no release"
	done
}

host=
made=()
for row in "${targets[@]}"; do
	read_row "$row"
	build=$work/$target
	echo "release: $target: configure ($preset), build, test, pack"

	cmake --preset "$preset" -B "$build" "$@" ${host:+"-DVEXMOR_HOST_BUILD=$PWD/$host"} \
		>"$build.configure.log" 2>&1 ||
		{ show_errors "$build.configure.log"; die "$target: the configure failed"; }
	grep -qx 'VEXMOR_SIGNAL_IS_EXAMPLE:INTERNAL=ON' "$build/CMakeCache.txt" &&
		die "VEXMOR_SIGNAL is the example signal, whose answer the README prints: choose your own"

	cmake --build "$build" || die "$target: the build failed"

	export WINEPREFIX=$PWD/$build/wine WINEDEBUG=-all
	wine_prefixes+=("$WINEPREFIX")
	# Under load Wine's server now and then drops a program it runs
	# ("recvmsg: Connection reset by peer"), so a test that fails is run once
	# more; a fault of vexmor fails both runs.
	ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 --repeat until-pass:2 ||
		die "$target: its tests failed; none of its files goes into the release, and no release"
	end_wine

	rm -rf "$build/packages"
	cpack --config "$build/CPackConfig.cmake" -B "$build/packages" -G "${kinds// /;}" >"$build.cpack.log" 2>&1 ||
		{ show_errors "$build.cpack.log"; die "$target: cpack failed"; }
	for kind in $kinds; do
		case $kind in
		TGZ) pattern="vexmor-*-$target.tar.gz" ;;
		ZIP) pattern="vexmor-*-$target.zip" ;;
		DEB) pattern="vexmor_*_*.deb" ;;
		*) die "$target: no file name known for packages of kind $kind" ;;
		esac
		files=("$build"/packages/$pattern)
		[[ ${#files[@]} -eq 1 && -f ${files[0]} ]] ||
			die "$target: cpack made no single $pattern in $build/packages"
		check_contents "${files[0]}"
		made+=("${files[0]}")
	done
	# The others' executables are tested by this build's suite.
	host=${host:-$build}
done

cp "${made[@]}" "$out/"
(cd "$out" && LC_ALL=C sha256sum -- * >SHA256SUMS)
echo "release: $out/"
cat "$out/SHA256SUMS"
