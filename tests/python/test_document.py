"""The round-trip document classes: QuillmereDocument, QuillmereDocumentView
and QuillmereNode, their reading members, handles and borrows."""

import pytest

import quillmere
from quillmere import OPT_ROUND_TRIP, loads

QuillmereDocument = quillmere.QuillmereDocument
QuillmereDocumentView = quillmere.QuillmereDocumentView
QuillmereNode = quillmere.QuillmereNode


def rt(text, option=0):
    return loads(text, option=OPT_ROUND_TRIP | option)


# ---------------------------------------------------------------- classes


@pytest.mark.parametrize("cls", [QuillmereDocument, QuillmereDocumentView, QuillmereNode])
def test_classes_cannot_be_instantiated(cls):
    with pytest.raises(TypeError):
        cls()


def test_round_trip_road_returns_a_document():
    doc = rt("a: 1\n")
    assert type(doc) is QuillmereDocument
    assert repr(doc) == "QuillmereDocument(documents=1)"


# ---------------------------------------------------------------- node getters


def test_node_position_of_a_scalar():
    node = rt("a: 1\n").node["a"]
    assert (node.line, node.column, node.offset, node.end_offset) == (1, 4, 3, 4)


@pytest.mark.parametrize(
    "text, style",
    [
        ("a: 1\n", "plain"),
        ("a: '1'\n", "single"),
        ('a: "1"\n', "double"),
        ("a: |\n  x\n", "literal"),
        ("a: >\n  x\n", "folded"),
        ("a: {x: 1}\n", "flow"),
        ("a:\n  x: 1\n", "block"),
        ("b: &b 1\na: *b\n", "alias"),
        ("a:\n", "null"),
    ],
)
def test_node_style(text, style):
    assert rt(text).node["a"].style == style
