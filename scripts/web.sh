#!/usr/bin/env bash
# The demo in a web page: installs what is missing, builds the page into build-web/ and serves
# that folder on http://127.0.0.1:8000/ until interrupted. build-web/ is a plain set of static
# files any web server can host. `--build-only` builds without serving.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash platform/web/build.sh "$PWD/build-web"
[ "${1:-}" = "--build-only" ] && exit 0
echo "serving the disco on http://127.0.0.1:8000/ (Ctrl-C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web
