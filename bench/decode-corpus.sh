#!/bin/bash
# Writes a corpus of 500+ varied image files with several independent writers
# and compares Lumora's decoding of each against ImageMagick's.
#   bash bench/decode-corpus.sh [build-dir] [work-dir]
# Needs the lumora-decodeone target (cmake --build <build-dir> --target
# lumora-decodeone) and the tools scripts/install-deps.sh installs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
[ -x "$python" ] || python=python3
exec "$python" "$here/decode-corpus.py" "${1:-build}" "${2:-}"
