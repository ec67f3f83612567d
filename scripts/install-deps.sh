#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages/*.txt when any is
# missing. bench*.txt lists are installed only with --bench. Runs apt as
# root, or through sudo for a normal user.
set -euo pipefail
cd "$(dirname "$0")/packages"

lists=()
for f in *.txt; do
  case "$f" in bench*) [ "${1:-}" = "--bench" ] && lists+=("$f") ;; *) lists+=("$f") ;; esac
done

missing=()
while read -r p; do
  [ -n "$p" ] || continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "${lists[@]}" | sort -u)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
