#!/usr/bin/env bash
# Installs the Debian packages that tools/make-resources.sh needs to regenerate
# resources/. Running the demo does not need them: the generated files are
# committed. Idempotent: apt is left alone when everything is present.
set -euo pipefail

packages=(python3 python3-numpy python3-pil fonts-dejavu-core ffmpeg)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
