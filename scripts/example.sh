#!/usr/bin/env bash
# Builds the _quillmere module and runs the example: load YAML, dump it as
# YAML and JSON, show a located parse error, and edit a file on the round-trip
# road keeping its comments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE=/usr/bin/python3 \
    -DQUILLMERE_TESTS=OFF >/dev/null
ninja -C build/example _quillmere >/dev/null
PYTHONPATH="$PWD/build/example/python:$PWD/python" /usr/bin/python3 examples/quickstart.py
