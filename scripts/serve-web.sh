#!/usr/bin/env bash
# Serves the pages in build-web/ (scripts/build-web.sh) on this machine only:
#   bash scripts/serve-web.sh [--port N] [--root FOLDER]
# Port 8000 unless told; FOLDER instead of build-web/. Open the address it
# prints followed by the page's name, such as http://127.0.0.1:8000/quble/.
set -euo pipefail
cd "$(dirname "$0")/.."
port=8000
root=build-web
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port="${2:?--port needs a number}"; shift 2 ;;
    --port=*) port="${1#--port=}"; shift ;;
    --root) root="${2:?--root needs a folder}"; shift 2 ;;
    --root=*) root="${1#--root=}"; shift ;;
    *) echo "serve-web.sh: unknown argument $1 (usage: serve-web.sh [--port N] [--root FOLDER])" >&2; exit 2 ;;
  esac
done
case "$port" in ''|*[!0-9]*) echo "serve-web.sh: --port takes a number" >&2; exit 2 ;; esac
[ -d "$root" ] || { echo "serve-web.sh: no $root/ here; run scripts/build-web.sh first" >&2; exit 1; }
echo "Serving $root/ at http://127.0.0.1:$port/ (Ctrl+C stops)"
exec python3 -m http.server --bind 127.0.0.1 --directory "$root" "$port"
