"""A property of saving documents assembled from included files, over the
conformance cases and the corpus: each input whose root is a mapping is
split into an include tree (every top-level value in a file of its own,
the root holding `key: !include vN.yaml`), edited at random (seeded by the
input's name, so every run makes the same edits), and saved. Reading the
saved tree back gives the document's data, and every file that no edit
touched keeps its bytes."""

import json
import math
import random
import zlib
from pathlib import Path

import pytest

import quillmere
from quillmere import OPT_INCLUDES, OPT_ROUND_TRIP, QuillmereDocumentView, dumps, loads
from test_document_saving import corpus_and_suite_inputs

EDITS_PER_INPUT = 4


def same(a, b):
    """Equality that holds for NaN too."""
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    if isinstance(a, dict) and isinstance(b, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return type(a) is type(b) and a == b


def value_file_text(doc, plain, key):
    """The text of one top-level value as a file of its own: the value's
    round-trip rendering (comments and styles kept) when it reads back
    alone as the same data (it may use an anchor of another value), else
    the value dumped."""
    value = doc[key]
    if isinstance(value, QuillmereDocumentView):
        text = value.to_yaml()
        try:
            if same(loads(text), plain[key]):
                return text
        except quillmere.QuillmereError:
            pass
    return dumps(plain[key])


def split_into_includes(text, directory):
    """The include tree of `text` in `directory`: main.yaml and one file per
    top-level value; the file of each key. None for an input that has no
    such tree (not a mapping, keys that are not distinct strings)."""
    try:
        plain = loads(text)
        doc = loads(text, option=OPT_ROUND_TRIP)
    except (quillmere.QuillmereError, ValueError, RecursionError):
        return None
    if not isinstance(plain, dict) or not plain:
        return None
    try:
        keys = doc.keys()
    except TypeError:  # a stream of several documents
        return None
    if any(not isinstance(k, str) for k in keys) or len(set(keys)) != len(keys) or list(plain) != keys:
        return None
    if "<<" in keys:
        return None
    files, root = {}, []
    for i, key in enumerate(keys):
        try:
            files[f"v{i}.yaml"] = value_file_text(doc, plain, key)
        except KeyError:  # a key written as an alias: no path step names it
            return None
        except (quillmere.QuillmereError, TypeError, ValueError):
            return None
        root.append(f"{json.dumps(key)}: !include v{i}.yaml\n")
    files["main.yaml"] = "".join(root).encode()
    for name, data in files.items():
        (directory / name).write_bytes(data)
    return plain, {key: f"v{i}.yaml" for i, key in enumerate(keys)}


def leaves(doc):
    return [(path, value) for path, value in doc.walk() if path]


def edit_at_random(doc, plain, files, rng):
    """Makes EDITS_PER_INPUT edits; the names of the files they change."""
    changed = set()
    keys = list(plain)
    for _ in range(EDITS_PER_INPUT):
        choice = rng.randrange(5)
        try:
            if choice == 0:  # a whole top-level value, in the root file
                key = rng.choice(keys)
                doc[key] = {"replaced": rng.randrange(100)}
                changed.add("main.yaml")
                continue
            if choice == 1:  # a new top-level key, in the root file
                doc[f"new key {rng.randrange(1000)}"] = [1, "two"]
                changed.add("main.yaml")
                continue
            found = leaves(doc)
            if not found:
                continue
            path, _ = rng.choice(found)
            owner = "main.yaml" if path[0] not in files else files[path[0]]
            if len(path) == 1:
                owner = "main.yaml"  # the include root replaced whole
            if choice == 2:  # a leaf's value
                node = doc.node
                for step in path:
                    node = node[step]
                node.value = rng.choice([0, "edited", None, 2.5, True, [1, {"k": "v"}]])
            elif choice == 3:  # a leaf's comment
                node = doc.node
                for step in path:
                    node = node[step]
                node.comment = f"note {rng.randrange(100)}"
                if len(path) == 1:
                    owner = "main.yaml"
            else:  # a new key in the mapping that holds a leaf
                parent = doc
                for step in path[:-1]:
                    parent = parent[step]
                if not isinstance(path[-1], str) or len(path) == 1:
                    continue
                parent[f"added {rng.randrange(1000)}"] = "new"
            changed.add(owner)
        except (ValueError, TypeError, KeyError, IndexError):
            continue  # an edit the document refuses changes nothing
    return changed


def snapshot(directory):
    return {p.name: p.read_bytes() for p in sorted(Path(directory).iterdir())}


INPUTS = corpus_and_suite_inputs()


def test_saved_include_trees_read_back_as_the_document_and_keep_untouched_files(tmp_path_factory):
    split = 0
    for name, text in INPUTS:
        directory = tmp_path_factory.mktemp("tree")
        tree = split_into_includes(text, directory)
        if tree is None:
            continue
        split += 1
        plain, files = tree
        main = directory / "main.yaml"
        doc = loads(main.read_bytes(), option=OPT_ROUND_TRIP | OPT_INCLUDES, include_dir=str(directory),
                    root_path=str(main))
        doc.set_origin(str(main))
        assert same(doc.to_dict(), plain), name
        before = snapshot(directory)
        changed = edit_at_random(doc, plain, files, random.Random(zlib.crc32(name.encode())))
        doc.save()
        after = snapshot(directory)
        assert set(after) == set(before), name
        for file, data in before.items():
            if file not in changed:
                assert after[file] == data, (name, file)
        reloaded = loads(main.read_bytes(), option=OPT_INCLUDES, include_dir=str(directory))
        assert same(reloaded, doc.to_dict()), name
    # The property was checked on the inputs, not skipped for all of them.
    assert split > 100, split
