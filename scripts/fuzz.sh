#!/usr/bin/env bash
# Runs every fuzz target in a build folder for a share of the given seconds,
# seeded from the conformance inputs. Any crash, leak, timeout or sanitizer
# report fails the run.
set -euo pipefail
build=${1:?build folder}
total=${2:-60}
cd "$(dirname "$0")/.."
shared=$(sed -n 's/^QUILLMERE_SHARED_DIR:PATH=//p' "$build/CMakeCache.txt")
targets=("$build"/fuzz/fuzz_*)
share=$(( total / ${#targets[@]} ))
(( share < 10 )) && share=10
for target in "${targets[@]}"; do
    [[ -x "$target" ]] || continue
    name=$(basename "$target")
    corpus="$build/fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [[ -d "$shared/yaml-test-suite" ]] && seeds+=("$build/fuzz-seeds")
    if [[ -d "$shared/yaml-test-suite" && ! -d "$build/fuzz-seeds" ]]; then
        mkdir -p "$build/fuzz-seeds"
        find "$shared/yaml-test-suite" -name in.yaml | while read -r f; do
            cp "$f" "$build/fuzz-seeds/$(echo "$f" | md5sum | cut -c1-16)"
        done
    fi
    # A target's dictionary, when it has one, lists the words its input needs.
    dict=()
    [[ -f "fuzz/$name.dict" ]] && dict=("-dict=fuzz/$name.dict")
    echo "fuzzing $name for ${share}s"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
        "$target" -max_total_time="$share" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
        -print_final_stats=0 "${dict[@]}" "$corpus" "${seeds[@]}" 2>"$build/$name.log" || {
            tail -n 60 "$build/$name.log"
            echo "fuzz target $name failed" >&2
            exit 1
        }
done
