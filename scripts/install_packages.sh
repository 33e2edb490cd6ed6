#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet; the package lists
# are refreshed only when an install needs them.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" || {
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  }
fi
