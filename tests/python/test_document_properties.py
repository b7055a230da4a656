"""Round-trip documents of every conformance case and corpus file: the plain
data of a document, and each leaf that walk() lists, is the plain road's
data for the same text, and a document that was not edited writes back its
input bytes."""

import math

import pytest

import quillmere as q
from conftest import SHARED_DIR

SUITE = SHARED_DIR / "yaml-test-suite"
CORPUS = SHARED_DIR / "corpus" / "files"

def inputs():
    cases = sorted(p.parent for p in SUITE.rglob("in.yaml")) if SUITE.is_dir() else []
    params = [
        pytest.param(case / "in.yaml", id=str(case.relative_to(SUITE)))
        for case in cases
        if not (case / "error").exists()
    ]
    if CORPUS.is_dir():
        params += [
            pytest.param(path, id=str(path.relative_to(CORPUS)))
            for path in sorted(CORPUS.rglob("*"))
            if path.is_file() and path.suffix in (".yaml", ".yml")
        ]
    return params


def same(a, b):
    """Equal values of equal types, NaN equal to NaN, keys in equal order."""
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def load_both(path):
    """The document and the plain road's data, or None for a text that
    neither road reads (both refuse it with the same error)."""
    data = path.read_bytes()
    try:
        plain = q.loads_all(data)
    except q.QuillmereError as error:
        with pytest.raises(type(error)) as refused:
            q.loads(data, option=q.OPT_ROUND_TRIP)
        assert str(refused.value) == str(error)
        return None
    return data, q.loads(data, option=q.OPT_ROUND_TRIP), plain


@pytest.mark.parametrize("path", inputs())
def test_plain_data_of_a_document_is_the_plain_roads(path):
    loaded = load_both(path)
    if loaded is None:
        return
    data, doc, documents = loaded
    # The same documents, an empty explicit one ("---" alone) included.
    assert repr(doc) == f"QuillmereDocument(documents={len(documents)})"
    # One document: its value is what loads gives; several: loads_all's list.
    one = repr(doc) == "QuillmereDocument(documents=1)"
    assert same(doc.to_dict(), q.loads(data) if one else documents)


def plain_at(data, path):
    """The plain value at a walk() path. A step is a key's text: a key
    written plainly reads as what its text resolves to (1, true, null)."""
    for step in path:
        if isinstance(data, dict) and step not in data:
            step = q.loads(step)
        data = data[step]
    return data


@pytest.mark.parametrize("path", inputs())
def test_walk_gives_the_plain_value_at_every_leafs_path(path):
    loaded = load_both(path)
    if loaded is None:
        return
    data, doc, _ = loaded
    first = q.loads(data)
    for at, value in doc.walk():
        # A merge key's entries are merged into their mapping on the plain
        # road: no path leads through "<<" there.
        if "<<" not in at:
            assert same(value, plain_at(first, at)), at
