# shellcheck shell=bash
# Sourced by the scripts that install Debian packages.
#
#   install_packages WHO PACKAGE...
#
# Installs those of the packages that are not installed yet, with --no-install-recommends,
# as root (through sudo when run as an ordinary user). WHO starts the line that says what is
# being installed. Nothing is fetched when everything is present.
install_packages() {
  local who=$1
  shift
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0

  # sudo resets the environment, so the frontend setting is passed through env.
  local as_root=(env DEBIAN_FRONTEND=noninteractive)
  if [ "$(id -u)" -ne 0 ]; then as_root=(sudo "${as_root[@]}"); fi

  echo "$who: installing ${missing[*]}"
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "${missing[@]}"
}
