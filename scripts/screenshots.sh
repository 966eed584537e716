#!/usr/bin/env bash
# Screenshots of the real program under Xvfb with openbox at 1366x768
# (scripts/screenshots.py says what it takes and from where).
#   bash scripts/screenshots.sh                  # README pictures, docs/screenshots/
#   bash scripts/screenshots.sh --all /tmp/shots # every screen, for review
# Needs: xvfb xauth openbox xdotool x11-utils imagemagick, and a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in xvfb-run openbox xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (apt-get install xvfb openbox xdotool x11-utils imagemagick)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1366x768x24" bash -c 'openbox & sleep 1; python3 scripts/screenshots.py "$@"; kill %1' _ "$@"
