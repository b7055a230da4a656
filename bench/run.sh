#!/usr/bin/env bash
# Builds the release module and the engine benchmarks, then runs every
# benchmark side by side and prints the tables:
#
#     bench/run.sh                  # everything (about ten minutes)
#     bench/run.sh --quick          # fewer, shorter samples
#     bench/run.sh --filter block   # only inputs whose name matches
#
# Other options: /usr/bin/python3 bench/harness.py --help. Build folder:
# build/bench-release; data and results (results.json, results.txt):
# build/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/bench-release"
python=/usr/bin/python3

scripts/deps.sh --bench

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$python" \
    -DQUILLMERE_TESTS=OFF -DQUILLMERE_BENCH=ON >"$build.cmake.log" 2>&1 || {
    cat "$build.cmake.log"
    exit 1
}
ninja -C "$build" _quillmere >/dev/null
for source in bench/bench_*.cpp; do
    name=$(basename "$source" .cpp)
    # bench_decode is left out of the build when libyaml or libfyaml is missing.
    ninja -C "$build" -t query "$name" >/dev/null 2>&1 || continue
    # A benchmark that does not build is reported and left out of the run.
    ninja -C "$build" "$name" >"$build.$name.log" 2>&1 || {
        echo "warning: $name does not build (see $build.$name.log); its results are missing" >&2
        rm -f "$build/bench/$name"
    }
done

PYTHONPATH="$build/python:$root/python" exec "$python" bench/harness.py --build "$build" \
    --out "$root/build/bench" "$@"
