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


# ---------------------------------------------------------------- documents


@pytest.mark.parametrize(
    "text, length, shown",
    [("", 0, 0), ("5\n", 1, 1), ("[1, 2, 3]\n", 3, 1), ("a: 1\nb: 2\n", 2, 1), ("a: 1\n---\nb: 2\n", 2, 2)],
)
def test_len_and_repr_by_stream(text, length, shown):
    doc = rt(text)
    assert len(doc) == length
    assert repr(doc) == f"QuillmereDocument(documents={shown})"


def test_empty_stream():
    doc = rt("")
    assert doc.range() is None and doc.anchors == {} and "a" not in doc
    with pytest.raises(KeyError, match="multi-document access requires an integer index"):
        doc["a"]
    with pytest.raises(IndexError, match="^index out of range$"):
        doc[0]
    with pytest.raises(TypeError, match="^keys\\(\\) is only available on a single mapping document$"):
        doc.keys()
    with pytest.raises(KeyError, match="stale node"):
        doc.node.line
    assert repr(doc.node) == "QuillmereNode(<stale>)"


EMPTY_EXPLICIT_DOCUMENTS = [
    "---\n",
    "--- \n...\n",
    "--- # c\n",
    "%YAML 1.2\n---\n...\n",
    "--- !!null\n",
    "a: 1\n---\n...\n---\nb: 2\n",
    "a: 1\n--- \n",
    "---\n---\n",
]


@pytest.mark.parametrize("text", EMPTY_EXPLICIT_DOCUMENTS)
def test_an_empty_explicit_document_is_a_null_document(text, tmp_path):
    plain = quillmere.loads_all(text)
    doc = rt(text)
    assert repr(doc) == f"QuillmereDocument(documents={len(plain)})"
    assert doc.to_dict() == (plain[0] if len(plain) == 1 else plain)
    assert doc.to_yaml() == text.encode()
    assert doc.save(str(tmp_path / "out.yaml")) == [str(tmp_path / "out.yaml")]
    assert (tmp_path / "out.yaml").read_bytes() == text.encode()
    if len(plain) == 1:
        assert (len(doc), doc.walk(), doc.node.style) == (1, [((), None)], "null")
        with pytest.raises(KeyError, match="'a'"):
            doc["a"]
        assert doc.get("a", 0) == 0 and "a" not in doc
        with pytest.raises(TypeError, match="node is not a mapping or sequence"):
            doc["a"] = 1
    else:
        assert [doc[i] if doc[i] is None else doc[i].to_dict() for i in range(len(doc))] == plain
        # Re-emitted after an edit elsewhere, the empty document stays one.
        doc[0] = {"edited": True}
        assert quillmere.loads_all(doc.to_yaml()) == [{"edited": True}] + plain[1:]


def test_an_empty_explicit_document_is_kept_with_directive_options(tmp_path):
    text = "a: 1\n---\n...\n---\nb: !include b.yaml\n"
    (tmp_path / "b.yaml").write_text("x\n")
    doc = loads(text, option=OPT_ROUND_TRIP | quillmere.OPT_INCLUDES, include_dir=str(tmp_path))
    assert doc.to_dict() == [{"a": 1}, None, {"b": "x"}]
    assert doc.to_yaml() == text.encode()


@pytest.mark.parametrize(
    "text, key, error, message",
    [
        ("5\n", "a", KeyError, "'a'"),
        ("5\n", 0, KeyError, "'0'"),  # an int key's text
        ("[1]\n", "x", IndexError, "index out of range"),
        ("[1]\n", 9, IndexError, "index out of range"),
        ("a: 1\n", -1, TypeError, "mapping keys must be str or int"),
        ("a: 1\n", 1.5, TypeError, "mapping keys must be str or int"),
        ("a: 1\n", "missing", KeyError, "'missing'"),
        ("a: 1\n---\nb: 2\n", "k", KeyError, "'multi-document access requires an integer index'"),
        ("a: 1\n---\nb: 2\n", 2, IndexError, "index out of range"),
    ],
)
def test_item_access_errors(text, key, error, message):
    doc = rt(text)
    with pytest.raises(error) as caught:
        doc[key]
    assert str(caught.value) == message
    assert doc.get(key, "default") == "default"


def test_keys_of_a_root_that_is_not_a_mapping():
    with pytest.raises(TypeError, match="^node is not a mapping$"):
        rt("5\n").keys()
    with pytest.raises(TypeError, match="^node is not a mapping$"):
        rt("- [1]\n")[0].keys()


def test_membership_never_raises_for_the_key():
    doc = rt("a: 1\n'1': x\n")
    assert "a" in doc and "1" in doc
    assert 1 not in doc and None not in doc and [] not in doc
    assert "x" not in rt("[x]\n") and "a" not in rt("a: 1\n---\nb: 2\n")


class Index:
    def __init__(self, outcome):
        self.outcome = outcome

    def __index__(self):
        if isinstance(self.outcome, BaseException):
            raise self.outcome
        return self.outcome


def test_keys_with_index_conversion():
    doc = rt("- a\n- [b]\n")
    assert repr(doc[Index(1)]) == "QuillmereDocumentView(sequence)"
    assert repr(doc[True]) == "QuillmereDocumentView(sequence)"  # True is index 1
    with pytest.raises(TypeError, match="mapping keys must be str or int"):
        doc[Index(ValueError("no"))]


@pytest.mark.parametrize("owner", ["doc", "view"])
def test_get_lets_keyboard_interrupt_through(owner):
    doc = rt("a: [x]\n")
    target = doc if owner == "doc" else doc["a"]
    assert target.get(Index(ValueError("no")), 7) == 7
    with pytest.raises(KeyboardInterrupt):
        target.get(Index(KeyboardInterrupt()), 7)
    with pytest.raises(KeyboardInterrupt):
        target[Index(KeyboardInterrupt())]


def test_get_binds_like_a_function():
    doc = rt("a: [x]\n")
    assert doc.get(key="b", default=3) == 3
    assert doc["a"].get("b", default=None) is None
    with pytest.raises(TypeError):
        doc.get("a")
    with pytest.raises(TypeError):
        doc.get("a", 1, 2)
    with pytest.raises(TypeError):
        doc.get("a", key="a")
    with pytest.raises(TypeError):
        doc.get("a", 1, other=2)


def test_origin():
    import pathlib

    doc = rt("a: 1\n")
    assert doc.origin is None
    with pytest.raises(TypeError) as caught:
        doc.set_origin(pathlib.Path("x"))
    assert "path" in " ".join(getattr(caught.value, "__notes__", [])) + str(caught.value)
    assert doc.set_origin("x/../y") is None and doc.origin == "x/../y"
    with pytest.raises(AttributeError):
        doc.origin = "x"
    with pytest.raises(AttributeError):
        doc.node = None


def test_range():
    doc = rt("a:\n  b: [1, 2]\n")
    assert doc.range()[:2] == (1, 1)
    assert doc["a"]["b"].range() == (2, 6, 2, 12)
    assert rt("a: 1\n---\nb: 2\n").range()[0] == 1


# ---------------------------------------------------------------- views


def test_view_of_a_mapping():
    view = rt("a:\n  x: 1\n  y: [2]\n")["a"]
    assert len(view) == 2 and "x" in view and "z" not in view and 1 not in view
    assert repr(view) == "QuillmereDocumentView(mapping)"
    assert repr(view["y"]) == "QuillmereDocumentView(sequence)"
    with pytest.raises(KeyError) as caught:
        view["z"]
    assert caught.value.args == ("z",)


def test_view_of_a_sequence():
    view = rt("l: [1, 2, [3]]\n")["l"]
    assert len(view) == 3 and "k" not in view
    with pytest.raises(IndexError, match="^index out of range$"):
        view[5]
    with pytest.raises(IndexError, match="^index out of range$"):
        view["k"]
    with pytest.raises(TypeError, match="^node is not a mapping$"):
        view.keys()
    with pytest.raises(TypeError, match="^mapping keys must be str or int$"):
        view[-1]
    assert view.get(-1, 7) == 7 and view.get("missing", None) is None


def test_view_of_an_alias_addresses_the_alias():
    doc = rt("base: &b {x: 1}\nother: *b\n")
    view = doc["other"]
    assert repr(view) == "QuillmereDocumentView(alias)" and len(view) == 1
    assert "x" not in view
    with pytest.raises(KeyError) as caught:
        view["x"]
    assert caught.value.args == ("x",)
    with pytest.raises(TypeError, match="^node is not a mapping$"):
        view.keys()
    assert view.node.is_alias


def test_views_of_the_documents_of_a_stream_stay_in_their_document():
    doc = rt("a: 1\n---\nb:\n  c: [1]\n")
    second = doc[1]
    assert repr(second) == "QuillmereDocumentView(mapping)" and "b" in second and "a" not in second
    assert second.node.line == 3 and second.node["b"].line == 4
    assert second["b"].node["c"].line == 4 and second["b"]["c"].node.style == "flow"
    assert "c" in second.node["b"]


def test_last_of_equal_keys_wins_and_keys_match_by_text():
    # The entry whose value the data holds, whatever the keys' styles.
    doc = rt("m:\n  a: first\n  'a': second\n  1: one\n")
    assert doc.node["m"]["a"].line == 3
    assert doc.node["m"]["1"].line == 4
    with pytest.raises(KeyError) as caught:
        doc.node["m"][1]
    assert caught.value.args == ("1",)
    assert 1 not in doc["m"] and "1" in doc["m"]


# ---------------------------------------------------------------- nodes


def test_comments():
    doc = rt("a: 1\n# note\nkey: value  # tail\n")
    assert doc.node["key"].comment_before == "note" and doc.node["key"].comment == "tail"
    assert doc.node["a"].comment_before is None and doc.node["a"].comment is None
    doc = rt("# top\na: 1\n")
    assert doc.node["a"].comment_before == "top" and doc.node.comment_before == "top"
    doc = rt("l:\n  - x\n  # one\n  # two\n  - y\n")
    assert doc.node["l"][1].comment_before == "one\ntwo" and doc.node["l"][0].comment_before is None


def test_node_provenance_without_directives():
    doc = rt("a: !mytag x\nb: !!str y\nc: !include other.yaml\n")
    a, b, c = doc.node["a"], doc.node["b"], doc.node["c"]
    assert (a.tag, a.source_tag, a.source_target) == ("!mytag", "!mytag", None)
    assert not (a.is_secret or a.is_env_var or a.is_include)
    assert (b.tag, b.source_tag) == ("!!str", None)
    assert (c.source_tag, c.source_target, c.is_include) == ("!include", None, True)
    assert doc.node.file is None and a.file is None


def test_anchors_and_aliases():
    doc = rt("base: &b {x: 1}\nref: *b\nlist: [*b, &c 2, *c]\n")
    ref = doc.node["ref"]
    assert ref.is_alias and ref.style == "alias" and repr(ref) == "QuillmereNode(alias)"
    assert ref.target.anchor == "b" and ref.target.line == 1
    assert [node.line for node in doc.node["base"].aliases] == [2, 3]
    assert all(node.is_alias for node in doc.node["base"].aliases)
    assert doc.node["list"][1].aliases[0].column == 18
    assert doc.node["base"].target is None and doc.node["list"][1].anchor == "c"
    assert doc.node["ref"]["x"].line == 1 and "x" in ref
    assert sorted(doc.anchors) == ["b", "c"] and doc.anchors["c"].column == 15
    assert doc.node["list"].aliases == []


def test_anchor_defined_twice_maps_to_its_last_definition():
    doc = rt("a: &x 1\nb: &y 2\nc: &x 3\n")
    assert list(doc.anchors) == ["x", "y"] and doc.anchors["x"].line == 3


@pytest.mark.parametrize(
    "key, error, message",
    [("missing", KeyError, "'missing'"), (-1, TypeError, "mapping keys must be str or int")],
)
def test_node_index_errors(key, error, message):
    with pytest.raises(error) as caught:
        rt("a: 1\nlist: [1]\n").node[key]
    assert str(caught.value) == message


def test_node_index_errors_in_collections():
    doc = rt("a: 1\nlist: [1]\n")
    with pytest.raises(IndexError, match="^index out of range$"):
        doc.node["list"][9]
    with pytest.raises(KeyError) as caught:
        doc.node["a"]["x"]
    assert caught.value.args == ("x",)


def test_node_repr_by_kind():
    doc = rt("s: 1\nq: [1]\nm: {a: 1}\nn:\n")
    assert [repr(doc.node[k]) for k in ["s", "q", "m", "n"]] == [
        "QuillmereNode(scalar)",
        "QuillmereNode(sequence)",
        "QuillmereNode(mapping)",
        "QuillmereNode(null)",
    ]


# ---------------------------------------------------------------- borrows


class During:
    """A key whose index conversion runs `call` while the operation that
    converts the key holds its borrows, and keeps what `call` raised."""

    def __init__(self, call):
        self.call, self.result, self.raised = call, None, None

    def __index__(self):
        try:
            self.result = self.call()
        except BaseException as error:  # noqa: B036 - kept for the test to look at
            self.raised = error
        return 0


BORROWED = "a: {x: 1}\nl: [1]\ns: 5\nq: &q 1\n"

# Every reading entry point: refused while an edit of the same document runs.
READS = {
    "doc[key]": lambda doc, view, node: doc["s"],
    "len(doc)": lambda doc, view, node: len(doc),
    "key in doc": lambda doc, view, node: "s" in doc,
    "repr(doc)": lambda doc, view, node: repr(doc),
    "doc.keys": lambda doc, view, node: doc.keys(),
    "doc.to_dict": lambda doc, view, node: doc.to_dict(),
    "doc.to_yaml": lambda doc, view, node: doc.to_yaml(),
    "doc.range": lambda doc, view, node: doc.range(),
    "doc.walk": lambda doc, view, node: doc.walk(),
    "doc.save": lambda doc, view, node: doc.save(),
    "doc.origin": lambda doc, view, node: doc.origin,
    "doc.anchors": lambda doc, view, node: doc.anchors,
    "view[key]": lambda doc, view, node: view["x"],
    "len(view)": lambda doc, view, node: len(view),
    "key in view": lambda doc, view, node: "x" in view,
    "repr(view)": lambda doc, view, node: repr(view),
    "view.keys": lambda doc, view, node: view.keys(),
    "view.unwrap": lambda doc, view, node: view.unwrap(),
    "view.range": lambda doc, view, node: view.range(),
    "view.walk": lambda doc, view, node: view.walk(),
    "view.to_yaml": lambda doc, view, node: view.to_yaml(),
    "node.value": lambda doc, view, node: node.value,
    "node.line": lambda doc, view, node: node.line,
    "node.comment_before": lambda doc, view, node: node.comment_before,
    "node.aliases": lambda doc, view, node: node.aliases,
    "node[key]": lambda doc, view, node: node["x"],
    "key in node": lambda doc, view, node: "x" in node,
    "repr(node)": lambda doc, view, node: repr(node),
    "dumps": lambda doc, view, node: quillmere.dumps(doc),
    "to_json": lambda doc, view, node: quillmere.to_json(doc),
    "dump_includes": lambda doc, view, node: quillmere.dump_includes(doc),
    "dump_includes_map": lambda doc, view, node: quillmere.dump_includes_map(doc),
}


@pytest.mark.parametrize("name, read", READS.items(), ids=READS.keys())
def test_reads_during_an_edit_are_refused(name, read):
    doc = rt(BORROWED)
    view, node = doc["a"], doc.node["a"]
    key = During(lambda: read(doc, view, node))
    doc["l"][key] = 2
    assert type(key.raised) is RuntimeError and str(key.raised) == "Already mutably borrowed"
    notes = ["while processing 'doc'"] if name.startswith("dump_includes") else None
    assert getattr(key.raised, "__notes__", None) == notes
    assert doc["l"][0] == 2  # the edit itself went through


def test_get_during_an_edit_gives_its_default():
    doc = rt(BORROWED)
    key = During(lambda: doc.get("s", "default"))
    doc["l"][key] = 2
    assert key.raised is None and key.result == "default"


# Every editing entry point: refused while the same document is read.
WRITES = {
    "set_origin": lambda doc: doc.set_origin("x"),
    "doc[key] = value": lambda doc: doc.__setitem__("s", 1),
    "view[key] = value": lambda doc: doc["a"].__setitem__("x", 2),
    "node.value": lambda doc: setattr(doc.node["s"], "value", 1),
    "node.anchor": lambda doc: setattr(doc.node["s"], "anchor", "z"),
    "node.comment": lambda doc: setattr(doc.node["s"], "comment", "c"),
    "node.comment_before": lambda doc: setattr(doc.node["s"], "comment_before", "c"),
    "make_alias": lambda doc: doc.node["s"].make_alias("q"),
    "detach": lambda doc: doc.node["s"].detach(),
}


@pytest.mark.parametrize("write", WRITES.values(), ids=WRITES.keys())
def test_edits_during_a_read_are_refused(write):
    doc = rt(BORROWED)
    key = During(lambda: write(doc))
    assert doc.get(key, "missing") == "missing"  # key 0 of a mapping: a KeyError, swallowed
    assert type(key.raised) is RuntimeError and str(key.raised) == "Already borrowed"
    assert doc.to_yaml() == BORROWED.encode() and doc.origin is None


def test_deleting_a_writable_node_property_is_refused():
    node = rt(BORROWED).node["s"]
    for name in ("value", "anchor", "comment", "comment_before"):
        with pytest.raises(AttributeError) as caught:
            delattr(node, name)
        assert str(caught.value) == "property has no deleter"



# ---------------------------------------------------------------- docstrings

WALK_EXAMPLE = '''

```python
for path, value in doc.walk():
    if value == "CHANGE_ME":
        target = doc
        for key in path[:-1]:
            target = target[key]
        target[path[-1]] = "changed"
```'''

# (class, member or None for the class itself, text signature, docstring).
# Methods show their signature as __text_signature__ and the rest as
# __doc__; properties and classes have no signature. A writable property's
# docstring holds the getter's text, an empty line, then the setter's.
DOCSTRINGS = [
    (QuillmereDocument, None, None,
     "A structure-preserving YAML document returned by `loads(..., OPT_ROUND_TRIP)`.\n"
     "\n"
     "Holds the rich AST (comments, styles, anchors, include boundaries) and, when\n"
     "loaded with includes, the `file_id` \u2192 source-path map used for write-back."),
    (QuillmereDocument, "get", "($self, key, default)", None),
    (QuillmereDocument, "keys", "($self)", None),
    (QuillmereDocument, "to_yaml", "($self)",
     "Serialize the document back to YAML bytes, preserving structure.\n"
     "\n"
     "If the document has not been modified since loading, the original source\n"
     "is returned **byte-for-byte**. Once any value is changed, the document is\n"
     "re-emitted from the AST (preserving comments, styles, and include\n"
     "directives). When loaded with includes, directives are restored."),
    (QuillmereDocument, "set_origin", "($self, path)",
     "Record the path this document was loaded from (used by `save`)."),
    (QuillmereDocument, "save", "($self, path=None)",
     "Write the document back to disk, saving **only the changed files**.\n"
     "\n"
     "* Included files whose content was modified are rewritten in place;\n"
     "  untouched includes are left exactly as they were.\n"
     "* The root file is rewritten only if root-level content changed, or when\n"
     "  an explicit `path` is given (a save-as).\n"
     "\n"
     "With no `path`, the document must have been loaded from disk (so it knows\n"
     "its origin). Returns the list of paths that were written."),
    (QuillmereDocument, "range", "($self)",
     "The 1-based source range `(start_line, start_col, end_line, end_col)` of\n"
     "the document's root node."),
    (QuillmereDocument, "to_dict", "($self)", "Return the document as plain Python objects (a resolved snapshot)."),
    (QuillmereDocument, "walk", "($self)",
     "Walk every scalar leaf, yielding ``(path, value)`` pairs where ``path``\n"
     "is a tuple of mapping keys and sequence indices. Combine with item\n"
     "access to perform bulk edits:" + WALK_EXAMPLE),
    (QuillmereDocument, "origin", None, "The path this document was loaded from, if any."),
    (QuillmereDocument, "node", None,
     "The root [`QuillmereNode`] cursor: a metadata-bearing handle from which any node\n"
     'in the tree can be reached by indexing (`doc.node["server"]["port"]`).\n'
     "Unlike item access, indexing a `QuillmereNode` always yields another `QuillmereNode`, so\n"
     "comments, source location, style, anchor, and tag stay reachable down to\n"
     "individual scalars."),
    (QuillmereDocument, "anchors", None,
     "A mapping of every anchor name (`&name`) to the [`QuillmereNode`] that defines it,\n"
     "for discovering and navigating the document's anchors. Use a definition's\n"
     "`QuillmereNode.aliases` to find the `*name` references that point back at it."),
    (QuillmereDocumentView, None, None,
     "A live proxy onto a nested node of a [`QuillmereDocument`], addressed by path."),
    (QuillmereDocumentView, "get", "($self, key, default)", None),
    (QuillmereDocumentView, "keys", "($self)", None),
    (QuillmereDocumentView, "node", None,
     "The [`QuillmereNode`] cursor for this view's node: a metadata-bearing handle\n"
     "exposing comments, source location, style, anchor, and tag."),
    (QuillmereDocumentView, "unwrap", "($self)", "The resolved plain-Python value of this node (dict/list/scalar)."),
    (QuillmereDocumentView, "to_dict", "($self)",
     "Alias for [`unwrap`](Self::unwrap): the resolved plain-Python value."),
    (QuillmereDocumentView, "range", "($self)",
     "The node's 1-based source range `(start_line, start_col, end_line,\nend_col)`."),
    (QuillmereDocumentView, "walk", "($self)",
     "Walk every scalar leaf below this view, yielding ``(path, value)`` pairs\nrelative to this node."),
    (QuillmereDocumentView, "to_yaml", "($self)", "Serialize just this nested node back to YAML bytes."),
    (QuillmereNode, None, None,
     "A metadata-bearing handle onto a single node of a [`QuillmereDocument`].\n"
     "\n"
     "Where [`QuillmereDocumentView`] targets containers and resolves scalars to plain\n"
     "Python values, a `QuillmereNode` is returned for *every* node (scalars included), so\n"
     "comments, source location, scalar/collection style, anchor, and tag are\n"
     "always reachable without knowing the node's path in advance. Obtain the root\n"
     'cursor with `QuillmereDocument.node`, then index into it (`doc.node["server"]["port"]`)\n'
     "to address any node in the tree; each index step returns another `QuillmereNode`.\n"
     "\n"
     "Comments follow YAML's own placement. `comment_before` is the standalone\n"
     "comment above a node (above its key, for a mapping value) and `comment` is\n"
     "the inline comment trailing the value on the same line. Both read and write\n"
     "the bare comment text, without the leading `#`."),
    (QuillmereNode, "value", None,
     "The resolved plain-Python value of this node (scalar, dict, or list).\n"
     "\n"
     "Replace this node's value, preserving its comments, anchor, and tag."),
    (QuillmereNode, "line", None, "The node's 1-based source line."),
    (QuillmereNode, "column", None, "The node's 1-based source column."),
    (QuillmereNode, "offset", None,
     "The 0-based byte offset of the node's first source character.\n"
     "\n"
     "Together with [`end_offset`](Self::end_offset) this gives the node's exact\n"
     "source extent, so the original bytes can be sliced directly\n"
     "(`source[node.offset : node.end_offset]`) \u2014 something line/column alone\n"
     "cannot do without re-deriving offsets."),
    (QuillmereNode, "end_offset", None,
     "The 0-based byte offset just past the node's last source character.\n"
     "\n"
     "Exact (not the approximation [`range`](Self::range) derives from the\n"
     "post-scan text): the scanner records each scalar's true source end, and a\n"
     "collection spans to the furthest end of any child."),
    (QuillmereNode, "file", None,
     "The path of the source file this node came from, or `None` when the\n"
     "document was not loaded with includes (so there is a single source)."),
    (QuillmereNode, "comment", None,
     "The inline comment trailing this node's value, or `None`. The returned\n"
     "text has no leading `#` or surrounding whitespace.\n"
     "\n"
     "Set or clear the inline comment. Pass the bare text (no `#`) or `None`."),
    (QuillmereNode, "comment_before", None,
     "The standalone comment line(s) above this node, joined by newlines, or\n"
     "`None`. For a mapping value this is the comment above its key.\n"
     "\n"
     "Set or clear the standalone comment above this node. A multi-line string\n"
     "becomes one comment line per line; `None` removes the comment."),
    (QuillmereNode, "style", None,
     "The presentation style: a scalar's quoting (`plain`, `single`, `double`,\n"
     "`literal`, `folded`), a collection's layout (`block`, `flow`), `alias`,\n"
     "or `null`."),
    (QuillmereNode, "anchor", None,
     "The node's anchor name (`&name`), or `None`.\n"
     "\n"
     "Set or clear this node's anchor (`&name`). The name must be unique:\n"
     "assigning a name already defined on another node is an error, so the\n"
     "document can never emit two `&name` definitions. `None` removes the anchor."),
    (QuillmereNode, "tag", None, "The node's explicit tag (e.g. `!!str`, `!custom`), or `None`."),
    (QuillmereNode, "source_tag", None,
     "The config/custom tag that produced this node (`!secret`, `!env_var`,\n"
     "`!include*`, or a custom `!mytag`), or `None`. Provenance for a resolved\n"
     "node, distinct from `tag` (the node's own YAML type tag)."),
    (QuillmereNode, "source_target", None,
     "The directive argument that produced this node (the secret name, include\n"
     "path, or env-var spec), or `None`. With `source_tag`, reconstructs the\n"
     "directive (e.g. `!secret db_password`)."),
    (QuillmereNode, "is_secret", None, "Whether this node's value was produced by a `!secret` directive."),
    (QuillmereNode, "is_env_var", None, "Whether this node's value was produced by an `!env_var` directive."),
    (QuillmereNode, "is_include", None, "Whether this node's value was produced by any `!include` directive."),
    (QuillmereNode, "is_alias", None, "Whether this node is an alias (`*name`)."),
    (QuillmereNode, "target", None,
     "For an alias, the `QuillmereNode` of the anchor definition it points at; `None`\n"
     "for any non-alias node (or an alias whose anchor is undefined)."),
    (QuillmereNode, "aliases", None,
     "If this node defines an anchor (`&name`), the alias `QuillmereNode`s that\n"
     "reference it, in document order. Empty for a node with no anchor."),
    (QuillmereNode, "make_alias", "($self, name)",
     "Turn this node into an alias (`*name`) of an existing anchor, replacing its\n"
     "current value.\n"
     "\n"
     "The anchor must already be defined earlier in the document, so no dangling\n"
     "or forward reference can arise. Mark the target first with\n"
     '`anchor = "name"`, then call `make_alias("name")` on the node to replace.'),
    (QuillmereNode, "detach", "($self)",
     "Replace an alias with an independent deep copy of the anchor it points at,\n"
     "and return the new `QuillmereNode`.\n"
     "\n"
     "The copy carries the anchored node's styles and comments but no anchor of\n"
     "its own, with any aliases inside it expanded, so editing it no longer\n"
     "affects the anchored node. Raises if this node is not an alias."),
]


@pytest.mark.parametrize(
    "cls, member, signature, doc",
    DOCSTRINGS,
    ids=[f"{cls.__name__}.{member or '__doc__'}" for cls, member, _, _ in DOCSTRINGS],
)
def test_docstrings_and_signatures(cls, member, signature, doc):
    owner = cls if member is None else cls.__dict__[member]
    assert owner.__doc__ == doc
    assert getattr(owner, "__text_signature__", None) == signature


def test_the_public_members_are_those_listed():
    listed = {(cls, member) for cls, member, _, _ in DOCSTRINGS}
    for cls in (QuillmereDocument, QuillmereDocumentView, QuillmereNode):
        public = {name for name in vars(cls) if not name.startswith("_")}
        assert public == {member for owner, member in listed if owner is cls and member}


# ---------------------------------------------------------------- the road


def test_null_style_bits_conflict_only_on_this_road():
    both = quillmere.OPT_NULL_AS_KEYWORD | quillmere.OPT_NULL_AS_TILDE
    with pytest.raises(ValueError, match="^OPT_NULL_AS_KEYWORD and OPT_NULL_AS_TILDE are mutually exclusive$"):
        rt("a: 1\n", both)
    assert loads("a: 1\n", option=both) == {"a": 1}


def test_road_options_without_effect():
    assert type(rt("a: 1\n", quillmere.OPT_ANNOTATED)) is QuillmereDocument
    assert len(rt("? [1]\n: x\n", quillmere.OPT_REJECT_COMPLEX_KEYS)) == 1


def test_road_errors():
    with pytest.raises(quillmere.QuillmereParseError):
        rt("a: [\n")
    with pytest.raises(quillmere.QuillmereDuplicateKeyError):
        rt("a: 1\n---\nb: 1\nb: 2\n", quillmere.OPT_DUPLICATE_KEYS_ERROR)


def test_yaml11_warnings_describe_the_text_before_the_upgrade(caplog):
    import logging

    caplog.set_level(logging.WARNING, logger="quillmere")
    doc = rt("a: yes\n", quillmere.OPT_YAML_1_1 | quillmere.OPT_YAML_1_1_WARN | quillmere.OPT_UPGRADE_1_1)
    assert [r.getMessage() for r in caplog.records] == [
        "YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str in 1.2 at line 1, column 4"
    ]
    assert doc.node["a"].style == "plain"


def test_to_json_of_an_empty_stream():
    assert quillmere.to_json(rt("")) == b"null"


# ---------------------------------------------------------------- staleness


def test_handles_below_a_replaced_collection_go_stale_and_come_back():
    doc = rt("a:\n  b:\n    x: 1\n")
    below, at, node = doc["a"]["b"], doc["a"], doc.node["a"]["b"]
    doc["a"] = 1
    assert repr(below) == "QuillmereDocumentView(<stale>)" and repr(node) == "QuillmereNode(<stale>)"
    for read in (len, lambda v: v["x"], lambda v: "x" in v, lambda v: v.keys(), lambda v: v.unwrap(),
                 lambda v: v.to_dict(), lambda v: v.range()):
        with pytest.raises(KeyError, match="stale view"):
            read(below)
    for name in ("value", "line", "comment", "comment_before", "style", "anchor", "aliases", "target"):
        with pytest.raises(KeyError, match="stale node"):
            getattr(node, name)
    with pytest.raises(KeyError, match="stale node"):
        node["x"]
    with pytest.raises(KeyError, match="stale node"):
        "x" in node
    assert repr(below.node) == "QuillmereNode(<stale>)"
    # The view of the replaced node itself addresses the new scalar.
    assert repr(at) == "QuillmereDocumentView(scalar)" and len(at) == 1 and at.unwrap() == 1
    with pytest.raises(KeyError) as caught:
        at["b"]
    assert caught.value.args == ("b",)
    doc["a"] = {"b": {"x": 2}}
    assert below["x"] == 2 and node.value == {"x": 2}


# ---------------------------------------------------------------- reads during an edit


def test_reads_during_an_edit_are_refused():
    """Python code that runs inside an edit (here the repr of a value that
    cannot be converted) cannot read the half-edited document: dumps and
    to_json of it raise RuntimeError, as every member does."""
    doc = rt("a: 1\nb: [2]\n")
    view = doc["b"]
    reads = {
        "dumps": lambda: quillmere.dumps(doc),
        "to_json": lambda: quillmere.to_json(doc),
        "dumps of a view": lambda: quillmere.dumps(view),
        "to_dict": doc.to_dict,
        "item": lambda: doc["a"],
        "view item": lambda: view[0],
        "node": lambda: doc.node["a"].value,
        "repr": lambda: repr(view),
    }
    seen = {}

    class ReadsTheDocument:
        def __repr__(self):
            for name, read in reads.items():
                try:
                    read()
                    seen[name] = "read"
                except RuntimeError as error:
                    seen[name] = str(error)
            return "ReadsTheDocument()"

    with pytest.raises(TypeError, match="cannot convert ReadsTheDocument\\(\\) to a YAML node"):
        doc["a"] = ReadsTheDocument()
    assert seen == {name: "Already mutably borrowed" for name in reads}
    assert doc.to_dict() == {"a": 1, "b": [2]}


def test_get_gives_the_default_for_a_borrow_conflict():
    doc = rt("a: 1\n")
    seen = []

    class ReadsTheDocument:
        def __repr__(self):
            seen.append(doc.get("a", "default"))
            return "ReadsTheDocument()"

    with pytest.raises(TypeError):
        doc["a"] = ReadsTheDocument()
    assert seen == ["default"]  # a RuntimeError is an Exception: get gives the default


# ---------------------------------------------------------------- YAML 1.1 texts


def leaves(value, path=()):
    if isinstance(value, dict):
        return [leaf for key, item in value.items() for leaf in leaves(item, path + (key,))]
    if isinstance(value, list):
        return [leaf for i, item in enumerate(value) for leaf in leaves(item, path + (i,))]
    return [(path, value)]


def text_keys(value):
    """Whether item access can name every key: all of them are strings."""
    if isinstance(value, dict):
        return all(isinstance(key, str) and text_keys(item) for key, item in value.items())
    return not isinstance(value, list) or all(text_keys(item) for item in value)


def read(item, data=None):
    """An item result (or a one-document document and its data) read again
    through item access, all the way down."""
    if isinstance(item, QuillmereDocumentView):
        data = item.to_dict()
    elif data is None:
        return item
    if not isinstance(data, (dict, list)) or not text_keys(data):
        return data
    if isinstance(data, dict):
        return {key: read(item[key]) for key in data}
    return [read(item[i]) for i in range(len(data))]


def read_members(doc):
    """What the reading members of a document give."""
    data = doc.to_dict()
    documents = [data] if repr(doc) == "QuillmereDocument(documents=1)" else data
    first = documents[0]
    if len(documents) > 1:
        items = [read(doc[i]) for i in range(len(doc))]
    elif isinstance(first, (dict, list)):
        items = read(doc, first)
    else:
        items = doc.node.value
    walk = doc.walk()
    node_values = []
    for path, _ in walk:
        node = doc.node
        for step in path:
            node = node[step]
        node_values.append(node.value)
    return {
        "to_dict": data,
        "items": items,
        # Paths hold key texts, which only string keys keep.
        "walk": walk if text_keys(first) else [value for _, value in walk],
        "node values": node_values,
        "keys": doc.keys() if len(documents) == 1 and isinstance(first, dict) else None,
        "to_json": quillmere.to_json(doc),
    }


def plain_members(documents):
    """What they give when they read as the plain road does."""
    first = documents[0]
    data = first if len(documents) == 1 else documents
    return {
        "to_dict": data,
        "items": data,
        "walk": leaves(first) if text_keys(first) else [value for _, value in leaves(first)],
        "node values": [value for _, value in leaves(first)],
        "keys": list(first) if len(documents) == 1 and isinstance(first, dict) else None,
        "to_json": quillmere.to_json(data),
    }


YAML_11_TEXTS = [
    "%YAML 1.1\n---\n{a: yes, b: 010, c: 1_000, d: ~, e: [on, 0x1F, 1:20]}\n",
    "%YAML 1.1\n--- 010\n",
    "%YAML 1.1\n---\n{yes: 1_000, 010: no}\n",
    # The rules are the stream's, chosen by its leading %YAML directive as on
    # the plain road: a later document's own header does not change them, and
    # a document without one follows the first.
    "%YAML 1.1\n---\n{a: yes}\n---\n[010, 1_000, ~]\n",
    "{a: yes}\n...\n%YAML 1.1\n---\n[010, 1_000, ~]\n",
    "%YAML 1.1\n---\n{a: yes}\n...\n%YAML 1.2\n---\n[010, 1_000, ~]\n",
    "# c\n%YAML 1.1\n---\n- - yes\n",
    "{a: yes, b: 010, c: 1_000, d: ~}\n",
]


@pytest.mark.parametrize("text", YAML_11_TEXTS)
@pytest.mark.parametrize(
    "option, plain_option",
    [
        (0, 0),
        # The upgrade rewrites the scalars to read the same under YAML 1.2.
        (quillmere.OPT_UPGRADE_1_1, quillmere.OPT_UPGRADE_1_1),
        # Other options leave the rules to the text.
        (quillmere.OPT_YAML_1_1, 0),
        (quillmere.OPT_PYYAML_COMPAT, 0),
        (quillmere.OPT_YAML_1_1_WARN | quillmere.OPT_DUPLICATE_KEYS_ERROR, 0),
    ],
)
def test_plain_values_read_by_the_rules_of_the_texts_header(text, option, plain_option):
    plain = plain_members(quillmere.loads_all(text, option=plain_option))
    assert repr(read_members(rt(text, option))) == repr(plain)  # repr tells True from 1


# ---------------------------------------------------------------- directives


def test_round_trip_road_resolves_directives(tmp_path, monkeypatch):
    (tmp_path / "db.yaml").write_text("user: admin  # who\n")
    monkeypatch.setenv("QUILLMERE_DOC_PORT", "5432")
    text = "db: !include db.yaml\nport: !env_var QUILLMERE_DOC_PORT\n"
    option = quillmere.OPT_INCLUDES | quillmere.OPT_ENV_VAR
    doc = loads(text, option=OPT_ROUND_TRIP | option, include_dir=str(tmp_path))
    assert doc.to_dict() == loads(text, option=option, include_dir=str(tmp_path)) == {
        "db": {"user": "admin"},
        "port": "5432",
    }
    included = doc.node["db"]
    assert (included.is_include, included.source_tag, included.source_target) == (True, "!include", "db.yaml")
    assert included["user"].file == included.file and included.file.endswith("db.yaml")
    assert included["user"].comment == "who" and included["user"].line == 1
    port = doc.node["port"]
    assert port.is_env_var and not port.is_include and port.source_target == "QUILLMERE_DOC_PORT"


def test_root_syntax_errors_with_a_directive_option_are_the_directive_loads(tmp_path):
    with pytest.raises(quillmere.QuillmereIncludeError):
        loads("a: [\n", option=OPT_ROUND_TRIP | quillmere.OPT_INCLUDES, include_dir=str(tmp_path))


# ---------------------------------------------------------------- dumps and to_json


def test_dumps_of_a_document_is_its_own_text_whatever_the_options():
    text = "b: 1   # one\na: [x,  y]\n"
    doc = rt(text)
    for kwargs in ({}, {"option": quillmere.OPT_SORT_KEYS | quillmere.OPT_FLOW_STYLE}, {"width": 5},
                   {"null_style": "bogus"}, {"option": quillmere.OPT_NULL_AS_KEYWORD | quillmere.OPT_NULL_AS_TILDE}):
        assert quillmere.dumps(doc, **kwargs) == text.encode()
    with pytest.raises(TypeError):
        quillmere.dumps(doc, width="wide")  # argument types are still tested


def test_dumps_and_to_json_of_a_view_write_its_plain_value():
    doc = rt("top:\n  b: 1   # one\n  a: [x,  y]\n")
    option = quillmere.OPT_SORT_KEYS | quillmere.OPT_INDENT_4
    assert quillmere.dumps(doc["top"], option=option) == quillmere.dumps({"b": 1, "a": ["x", "y"]}, option=option)
    assert quillmere.to_json(doc["top"]) == b'{"b":1,"a":["x","y"]}'


def test_to_json_of_documents():
    assert quillmere.to_json(rt("")) == b"null"
    assert quillmere.to_json(rt("a: 1\n")) == b'{"a":1}'
    assert quillmere.to_json(rt("a: 1\n---\n- 2\n")) == b'[{"a":1},[2]]'
