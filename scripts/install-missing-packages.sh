#!/usr/bin/env bash
# Sourced by setup.sh and test-windows.sh: install_missing_packages installs
# those of the Debian packages it is given that are not installed yet (with
# sudo unless run as root), and does nothing when all of them are.
#   install_missing_packages [apt-get install option...] -- package...
install_missing_packages() {
  local options=() missing=() p sudo=""
  while [[ $1 != -- ]]; do options+=("$1"); shift; done
  shift
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}" >&2
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}"
}
