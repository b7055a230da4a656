#!/usr/bin/env bash
# Builds the _quillmere module (and the test probe over its tree conversions)
# and runs the Python tests:
#   1. for Debian's /usr/bin/python3 (all tests);
#   2. for pyenv's 3.12 and 3.13 when they are installed (the tests that
#      need neither numpy nor hypothesis; pytest is borrowed from Debian's
#      packages when an interpreter has none);
#   3. against an AddressSanitizer + UndefinedBehaviorSanitizer build, with
#      the compiler's sanitizer runtimes preloaded into the interpreter (its
#      reports go to the terminal: pytest captures only Python's streams);
#   4. `pip install --no-build-isolation .` into a fresh virtual environment,
#      which must then import the package and load YAML.
# Build folders: build/py311, build/py312, build/py313, build/py-asan,
# build/py-venv.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
system_python=/usr/bin/python3

# The newest pyenv interpreter of a minor version (3.12, 3.13), or nothing.
pyenv_python() {
    command -v pyenv >/dev/null 2>&1 || return 0
    local version
    version=$(pyenv versions --bare 2>/dev/null | grep -E "^${1//./\\.}(\.|\$)" | sort -V | tail -n 1 || true)
    [[ -n "$version" ]] && echo "$(pyenv root)/versions/$version/bin/python3"
    return 0
}

scripts/deps.sh

step() { printf '\n--> %s\n' "$*"; }

build_module() {  # folder interpreter [cmake options...]
    local folder=$1 python=$2
    shift 2
    cmake -S . -B "$folder" -G Ninja -DPython3_EXECUTABLE="$python" -DQUILLMERE_TESTS=OFF \
        -DQUILLMERE_WERROR=ON "$@" >/dev/null
    ninja -C "$folder" _quillmere _quillmere_tree_probe >/dev/null
}

step "python: $($system_python --version)"
build_module build/py311 "$system_python" -DCMAKE_BUILD_TYPE=RelWithDebInfo
PYTHONPATH="$root/build/py311/python" "$system_python" -m pytest -q -p no:cacheprovider tests/python

for minor in 3.12 3.13; do
    python=$(pyenv_python "$minor")
    [[ -n "$python" && -x "$python" ]] || continue
    folder="build/py${minor/./}"
    step "python: $($python --version)"
    build_module "$folder" "$python" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    pytest_path=""
    if ! "$python" -c "import pytest" 2>/dev/null; then
        # Debian's pytest and its dependencies are pure Python: link them in.
        pytest_path="$root/$folder/pytest"
        mkdir -p "$pytest_path"
        for name in pytest _pytest pluggy iniconfig packaging attr attrs py.py; do
            ln -sfn "/usr/lib/python3/dist-packages/$name" "$pytest_path/$name"
        done
    fi
    PYTHONPATH="$root/$folder/python${pytest_path:+:$pytest_path}" \
        "$python" -m pytest -q -p no:cacheprovider -W ignore::DeprecationWarning tests/python
done

step "python: AddressSanitizer + UndefinedBehaviorSanitizer"
build_module build/py-asan "$system_python" -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS=-O1
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/py-asan/CMakeCache.txt)
runtimes=()
for name in libasan.so libubsan.so libclang_rt.asan-x86_64.so libclang_rt.ubsan_standalone-x86_64.so; do
    file=$("$cxx" -print-file-name="$name")
    [[ "$file" == /* && -e "$file" ]] && runtimes+=("$file")
done
((${#runtimes[@]})) || { echo "no sanitizer runtime found for $cxx" >&2; exit 1; }
# The instrumented run is the slowest stage: the test files are dealt out to
# a few processes, each file whole, and every shard's report is printed. The
# save-race tests watch other processes for seconds at a time and run alone
# afterwards, on an otherwise idle machine.
shards=4
alone=tests/python/test_save_safety.py
files=()
for file in tests/python/test_*.py; do [[ "$file" == "$alone" ]] || files+=("$file"); done
pids=()
for ((shard = 0; shard < shards; shard++)); do
    mine=()
    for ((i = shard; i < ${#files[@]}; i += shards)); do mine+=("${files[i]}"); done
    LD_PRELOAD="${runtimes[*]}" ASAN_OPTIONS=detect_leaks=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONMALLOC=malloc \
        PYTHONPATH="$root/build/py-asan/python" "$system_python" -m pytest -q -p no:cacheprovider --capture=sys \
        "${mine[@]}" >"build/py-asan/shard-$shard.log" 2>&1 &
    pids+=($!)
done
failed=0
for ((shard = 0; shard < shards; shard++)); do
    wait "${pids[shard]}" || failed=1
    echo "shard $shard: $(tail -n 1 "build/py-asan/shard-$shard.log")"
done
if ((failed)); then
    for ((shard = 0; shard < shards; shard++)); do cat "build/py-asan/shard-$shard.log"; done
    exit 1
fi
LD_PRELOAD="${runtimes[*]}" ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONMALLOC=malloc \
    PYTHONPATH="$root/build/py-asan/python" "$system_python" -m pytest -q -p no:cacheprovider --capture=sys "$alone"

step "python: pip install --no-build-isolation . into a fresh venv"
rm -rf build/py-venv
"$system_python" -m venv --system-site-packages build/py-venv
build/py-venv/bin/pip install -q --no-build-isolation --no-index . >build/py-venv/pip.log 2>&1 || {
    tail -n 40 build/py-venv/pip.log
    exit 1
}
(cd /tmp && "$root/build/py-venv/bin/python" - <<'PY'
import pathlib
import _quillmere
import quillmere

site = pathlib.Path(quillmere.__file__).parent.parent
assert pathlib.Path(_quillmere.__file__).parent == site, _quillmere.__file__
assert (site / "_quillmere.pyi").is_file() and (site / "quillmere" / "py.typed").is_file()
assert quillmere.loads("name: quillmere\nversion: [1, 2]") == {"name": "quillmere", "version": [1, 2]}
assert quillmere.loads_all("--- a\n--- b") == ["a", "b"]
try:
    quillmere.loads("[")
except quillmere.QuillmereParseError as error:
    assert (error.line, error.column) == (1, 2)
else:
    raise AssertionError("no parse error")
print("installed package at", site)
PY
)
