#!/usr/bin/env bash
# Builds Lumora and starts it on the bundled sample images. Without a display
# it starts a virtual one (Xvfb with a window manager) so the program still runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:77
  Xvfb :77 -screen 0 1600x1000x24 >/dev/null 2>&1 &
  sleep 1
  openbox >/dev/null 2>&1 &
  echo "No display was set: Lumora runs on the virtual display :77."
fi
# The viewer opens on a photo of the samples; Enter (or Browse) shows the
# browser on the same folder.
exec build/bin/lumora "$PWD/resources/samples/aqua-drop.jpg"
