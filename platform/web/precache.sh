#!/usr/bin/env bash
# Writes FOLDER/sw.js, the service worker, for the page built in FOLDER: every file there is kept
# offline, and a hash of their contents names the cache, so that a build that changes any file is
# a new worker and the same build is the same worker.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$1"
mapfile -t files < <(find . -type f ! -name sw.js -printf '%P\n' | LC_ALL=C sort)
version="$(sha256sum "${files[@]}" | sha256sum | cut -c1-16)"
{
  echo "'use strict';"
  echo "const BUILD = { version: '$version', files: ["
  printf "  '%s',\n" "${files[@]}"
  echo "] };"
  cat "$here/sw.js"
} > sw.js.new
mv sw.js.new sw.js
