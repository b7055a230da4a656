#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
set -euo pipefail

# PyYAML and ruamel.yaml are the readers the tests compare written text with.
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
          python3-dev python3-pytest python3-numpy python3-hypothesis python3-setuptools python3-venv
          python3-pip json-schema-test-suite python3-yaml python3-ruamel.yaml python3-ruamel.yaml.clib)
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libyaml-dev libfyaml-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 || {
        $SUDO apt-get update -q >/dev/null
        $SUDO apt-get install -y -q "${missing[@]}" >/dev/null
    }
fi
