"""Random edits of round-trip documents: for every corpus file, random
leaves are assigned random values (strings full of YAML indicators,
numbers, None, nested lists and dicts) and random new keys are added; the
emitted text then loads as the document's data, and saving and loading
again gives the same bytes."""

import json
import math
import random

import pytest

import _quillmere as q
from conftest import SHARED_DIR
from test_document_edit import emitted
from quillmere.exceptions import QuillmereParseError

RT = q.OPT_ROUND_TRIP

CORPUS = SHARED_DIR / "corpus"
EDITS_PER_FILE = 25
NEW_KEYS_PER_FILE = 5


def corpus_files():
    manifest = json.loads((CORPUS / "manifest.json").read_text())
    return sorted(entry["local"] for entry in manifest if entry.get("loads"))


# Texts that mean something else when written plain, or need escapes.
TRICKY_TEXTS = [
    "", " ", "a: b", "a #b", "#c", "- x", "-", "? q", "&x", "*y", "!t", "!!str", "|", ">", "'q'", '"d"', "%YAML",
    "@at", "`tick", "{", "}", "[", "]", ",", "a, b", "yes", "No", "on", "null", "Null", "~", "true", "False",
    "123", "-7", "0x1F", "0o17", "1e3", ".5", ".inf", "-.Inf", ".nan", "1_000", "12:30", "2001-12-14",
    " lead", "trail ", "two\nlines", "ends\n", "\n", "tab\there", "cr\rx", "quote's", "back\\slash",
    "é ü 中文", "emoji \U0001F600", "nel\x85x", "---", "...", "--- x", "=", "<<", "key:", "a:b",
]
COMMENT_TEXTS = ["", " ", "#", "a: b", "- x", "---", "...", "'", '"', "\t tab", "é", "[", "}"]
KEY_TEXTS = TRICKY_TEXTS + ["plain", "with space", "x" * 40]


def random_scalar(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return rng.choice(TRICKY_TEXTS)
    if kind == 1:
        return rng.choice([0, 1, -1, 42, 2 ** 63 - 1, -(2 ** 63), 2 ** 70, -(10 ** 30)])
    if kind == 2:
        return rng.choice([0.0, -0.0, 1.5, -2.25e-10, 1e300, 3.0, math.inf, -math.inf])
    if kind == 3:
        return None
    if kind == 4:
        return rng.choice([True, False])
    return "".join(rng.choice("ab :#-?&*!|>'\"%@`{}[],\n\t\\") for _ in range(rng.randrange(1, 8)))


def random_value(rng, depth=0):
    if depth < 3 and rng.random() < 0.3:
        if rng.random() < 0.5:
            return [random_value(rng, depth + 1) for _ in range(rng.randrange(4))]
        return {rng.choice(KEY_TEXTS): random_value(rng, depth + 1) for _ in range(rng.randrange(4))}
    return random_scalar(rng)


def follow(root, path):
    """The view holding the item at `path`, by item access from `root`."""
    container = root
    for step in path[:-1]:
        container = container[step]
    return container


def document_roots(doc, count):
    """Where paths start: the document itself, or each document's view in a
    stream of several (collections only: a scalar document has no items)."""
    if count == 1:
        return [doc]
    roots = [doc[index] for index in range(count)]
    return [root for root in roots if hasattr(root, "walk")]


def edit_randomly(root, rng):
    # Merge keys are left alone: replacing one changes what the mapping
    # holds by design.
    leaves = [path for path, _ in root.walk() if path and "<<" not in path]
    for path in rng.sample(leaves, min(EDITS_PER_FILE, len(leaves))):
        value = random_value(rng)
        if rng.random() < 0.5:
            follow(root, path)[path[-1]] = value
        else:
            node = root.node
            for step in path:
                node = node[step]
            node.value = value
            # Comments must never change what the text means.
            if rng.random() < 0.3:
                node.comment = rng.choice(COMMENT_TEXTS)
            if rng.random() < 0.3:
                node.comment_before = "\n".join(rng.sample(COMMENT_TEXTS, 2))
    mappings = [path[:-1] for path in leaves if isinstance(path[-1], str)]
    for path in rng.sample(mappings, min(NEW_KEYS_PER_FILE, len(mappings))):
        follow(root, path + (None,))[rng.choice(KEY_TEXTS)] = random_value(rng)


@pytest.mark.parametrize("name", corpus_files())
def test_random_edits_reload_as_the_document_data(name, tmp_path):
    text = (CORPUS / name).read_bytes()
    rng = random.Random(name)
    try:
        doc = q.loads(text, option=RT)
    except QuillmereParseError as error:
        # A file the plain road refuses is refused here with the same error.
        with pytest.raises(QuillmereParseError) as plain:
            q.loads(text)
        assert str(plain.value) == str(error)
        return
    count = len(q.loads_all(text))
    for root in document_roots(doc, count):
        edit_randomly(root, rng)
    # A stream of several documents reads as the list of them.
    data = doc.to_dict()
    out = emitted(doc)
    assert (q.loads(out) if count == 1 else q.loads_all(out)) == data, out
    assert q.loads(out, option=RT).to_dict() == data

    target = tmp_path / "edited.yaml"
    doc.save(str(target))
    saved = target.read_bytes()
    assert saved == out.encode()
    again = q.loads(saved, option=RT)
    again.set_origin(str(target))
    again.save(str(target))
    assert target.read_bytes() == saved
