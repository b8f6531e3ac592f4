#!/usr/bin/env bash
# The libraries and the flows stay plain C++: Qt is included under ui/ only,
# and not in ui/core, whose logic the tests run without a window.
set -euo pipefail
cd "$(dirname "$0")/.."
found=$(grep -rlE '^\s*#\s*include\s*<Q[A-Za-z]' engine convert handheld cli ui/core || true)
if [ -n "$found" ]; then
  echo "Qt included outside the desktop layer:"
  echo "$found"
  exit 1
fi
echo "layers: no Qt below ui/"
