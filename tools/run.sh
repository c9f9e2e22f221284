#!/usr/bin/env bash
# One command: install what is missing, build, and start Quorvane.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" "$root/build"
if [ -x "$root/build/bin/quorvane" ]; then
  exec "$root/build/bin/quorvane" "$@"
fi
echo "Built everything in $root/build; the program's window is not part of this build yet."
