# Sourced by the project's scripts.
#
# install_missing PACKAGE...
#   Installs those of the Debian packages given that are not installed yet,
#   and nothing when all are; returns non-zero when the install fails.
install_missing() {
	local missing=() package
	for package in "$@"; do
		dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
			missing+=("$package")
	done
	((${#missing[@]})) || return 0
	echo "installing: ${missing[*]}"
	apt-get update -qq &&
		DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
