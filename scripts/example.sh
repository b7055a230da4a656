#!/usr/bin/env bash
# Builds the engine and runs the example: the tokens of a small YAML text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release yaml_tokens >/dev/null
printf 'name: quillmere\nfeatures: [anchors, "merge keys", tags]\nbase: &b {x: 1}\n' | build/release/examples/yaml_tokens
