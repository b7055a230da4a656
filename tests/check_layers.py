#!/usr/bin/env python3
"""Checks that the folders of src/ include one another in one direction only.

The engine is every folder of src/ but the four of the Python side; it
includes no Python header and none of those four. Above it the Python side
is layered, each folder including only the folders below it:

    engine  <  py  <  results  <  document  <  module

so that, for instance, a file of src/results may include "py/ref.h" and
"roundtrip/ast.h" but not "document/document_api.h", and a file of
src/roundtrip may include neither <Python.h> nor "py/ref.h". Within the
engine the order of the stages is not checked here.

    check_layers.py [SRC]     every violation as FILE:LINE: message; exit 1 if any
    check_layers.py --self-test
"""

import pathlib
import re
import sys
import tempfile

PYTHON_SIDE = ("py", "results", "document", "module")  # from the bottom up
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def rank(folder):
    """0 for an engine folder, 1 to 4 for the layers of the Python side."""
    return PYTHON_SIDE.index(folder) + 1 if folder in PYTHON_SIDE else 0


def layer_name(folder):
    return folder if folder in PYTHON_SIDE else f"the engine ({folder})"


def violations(src):
    """(path, line number, message) of every include against the layering."""
    src = pathlib.Path(src)
    folders = {p.name for p in src.iterdir() if p.is_dir()}
    found = []
    for path in sorted(p for p in src.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES):
        own = path.relative_to(src).parts[0]
        if own not in folders:
            continue  # a file directly in src/ belongs to no layer
        text = path.read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, target = match.groups()
            shown = f"<{target}>" if bracket == "<" else f'"{target}"'
            if rank(own) == 0 and pathlib.PurePosixPath(target).name == "Python.h":
                message = f"engine file includes {shown}: Python headers belong to the Python side"
                found.append((path, number, message))
                continue
            top = target.split("/")[0]
            if bracket == '"' and "/" in target and top in folders and rank(top) > rank(own):
                found.append((path, number, f"{layer_name(own)} includes {shown} from {top}, a layer above it"))
    return found


def self_test():
    """The checker on a made-up tree: each kind of violation reported at its line, the allowed includes not."""
    files = {
        "common/ok.h": '#include <vector>\n#include "model/value.h"\n#include "roundtrip/ast.h"\n',
        "roundtrip/python.h": '#pragma once\n#include <Python.h>\n',
        "roundtrip/quoted.cpp": '// Python.h is not an include\n#include "Python.h"\n',
        "roundtrip/up.cpp": '#include "roundtrip/ast.h"\n#include "py/ref.h"\n',
        "py/ok.h": '#include <Python.h>\n#include "common/result.h"\n#include "py/ref.h"\n',
        "py/up.cpp": '#include "results/tree_values.h"\n',
        "results/ok.cpp": '#include "py/ref.h"\n#include "roundtrip/ast.h"\n#include "results/a.h"\n',
        "results/types/up.h": '#include "document/document_api.h"\n',
        "document/ok.cpp": '#include "results/tree_values.h"\n#include "py/errors.h"\n',
        "document/up.cpp": '#include "module/options.h"\n',
        "module/ok.cpp": '#include "document/document_api.h"\n#include "results/a.h"\n#include "py/ref.h"\n',
    }
    expected = [
        ("document/up.cpp", 1, 'document includes "module/options.h" from module, a layer above it'),
        ("py/up.cpp", 1, 'py includes "results/tree_values.h" from results, a layer above it'),
        ("results/types/up.h", 1, 'results includes "document/document_api.h" from document, a layer above it'),
        ("roundtrip/python.h", 2, "engine file includes <Python.h>: Python headers belong to the Python side"),
        ("roundtrip/quoted.cpp", 2, 'engine file includes "Python.h": Python headers belong to the Python side'),
        ("roundtrip/up.cpp", 2, 'the engine (roundtrip) includes "py/ref.h" from py, a layer above it'),
    ]
    with tempfile.TemporaryDirectory() as directory:
        root = pathlib.Path(directory)
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        got = [(path.relative_to(root).as_posix(), number, message) for path, number, message in violations(root)]
    if got != expected:
        print("check_layers self-test failed:\n  got      " + "\n           ".join(map(str, got)) +
              "\n  expected " + "\n           ".join(map(str, expected)))
        return 1
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    src = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / "src"
    if not any(src.rglob("*.h")):
        print(f"check_layers: no headers under {src}")
        return 1
    found = violations(src)
    for path, number, message in found:
        print(f"{path}:{number}: {message}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
