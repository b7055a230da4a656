"""Edited round-trip documents are written as their source text with only
the edited places written anew: every byte an edit did not change comes
back as it stood."""

import pytest

import _quillmere as q

RT = q.OPT_ROUND_TRIP


def set_item(*path_and_value):
    *path, value = path_and_value

    def edit(doc):
        view = doc
        for step in path[:-1]:
            view = view[step]
        view[path[-1]] = value
    return edit


def on_node(path, attribute, value):
    def edit(doc):
        node = doc.node
        for step in path:
            node = node[step]
        setattr(node, attribute, value)
    return edit


def alias(path, name):
    def edit(doc):
        node = doc.node
        for step in path:
            node = node[step]
        node.make_alias(name)
    return edit


CASES = [
    # A value keeps the padding before it and the comment after it.
    ("web:    8080   # public\ndb: x\n", set_item("web", 9090), "web:    9090   # public\ndb: x\n"),
    # Comments elsewhere keep their own text and column, blank lines stay.
    ("## @param a  \na: 1\n\n#x\nb: 2  #  two\n", set_item("a", 2),
     "## @param a  \na: 2\n\n#x\nb: 2  #  two\n"),
    # Line breaks of the source, for the new lines too.
    ("a: 1\r\nb: 2\r\n", set_item("c", {"x": 1}), "a: 1\r\nb: 2\r\nc:\r\n  x: 1\r\n"),
    # New entries at the indentation of the mapping they go into.
    ("db:\n    host: a\n    port: 1\nweb: 2\n", set_item("db", "user", "admin"),
     "db:\n    host: a\n    port: 1\n    user: admin\nweb: 2\n"),
    ("- name: x\n  run: y\n", set_item(0, "env", "z"), "- name: x\n  run: y\n  env: z\n"),
    # After a block scalar that ends the mapping, and at the end of a text
    # without a final line break.
    ("a: |\n  x\n\nb: 1\n", set_item("c", 2), "a: |\n  x\n\nb: 1\nc: 2\n"),
    ("s:\n  k: |+\n    x\n\nt: 1\n", set_item("s", "m", 2), "s:\n  k: |+\n    x\n\n  m: 2\nt: 1\n"),
    ("a: 1", set_item("b", 2), "a: 1\nb: 2"),
    # A multi-line scalar stays as it was when its neighbour changes, and
    # becomes one line when it is the one assigned.
    ("d: one\n  two\nx: 1\n", set_item("x", 2), "d: one\n  two\nx: 2\n"),
    ("d: one\n  two\nx: 1\n", set_item("d", "z"), "d: z\nx: 1\n"),
    # A block value replaced: its lines go, the blank line after it stays.
    ("a: |\n  x\n\nb: 1\n", set_item("a", 5), "a: 5\n\nb: 1\n"),
    ("a:\n  x: 1\n  y: 2\nb: 1\n", set_item("a", [1]), "a:\n- 1\nb: 1\n"),
    ("a: 1  # c\nb: 2\n", set_item("a", {"x": 1}), "a:  # c\n  x: 1\nb: 2\n"),
    # Sequence items.
    ("- a  # one\n- b\n", set_item(1, "c"), "- a  # one\n- c\n"),
    ("- a\n- b\n", set_item(0, {"k": 1, "l": 2}), "- k: 1\n  l: 2\n- b\n"),
    # Flow collections: an item written in its place, an entry added before
    # the closing brace.
    ("l: [1, 2, 3]  # c\n", set_item("l", 1, "x"), "l: [1, x, 3]  # c\n"),
    ("m: { a: 1 }\n", set_item("m", "b", 2), "m: { a: 1, b: 2 }\n"),
    ("m: {}\n", set_item("m", "b", 2), "m: {b: 2}\n"),
    # A value with nothing after its ":".
    ("a:\nb: 1\n", set_item("a", 5), "a: 5\nb: 1\n"),
    ("a:  # c\nb: 1\n", set_item("a", {"x": 1}), "a:  # c\n  x: 1\nb: 1\n"),
    # Comments set from Python.
    ("a: 1    # old\nb: 2\n", on_node(["a"], "comment", "new"), "a: 1    # new\nb: 2\n"),
    ("a: 1\nb: 2\n", on_node(["a"], "comment", "new"), "a: 1 # new\nb: 2\n"),
    ("a: 1  # old\nb: 2\n", on_node(["a"], "comment", None), "a: 1\nb: 2\n"),
    ("a: |  # old\n  x\n", on_node(["a"], "comment", "new"), "a: |  # new\n  x\n"),
    ("a: 1\nb: 2\n", on_node(["b"], "comment_before", "about b\nsecond"),
     "a: 1\n# about b\n# second\nb: 2\n"),
    ("a: 1\n\n# old\n  # older\nb: 2\n", on_node(["b"], "comment_before", "new"), "a: 1\n\n# new\nb: 2\n"),
    ("x:\n  a: 1\n", on_node(["x", "a"], "comment_before", "first"), "x:\n  # first\n  a: 1\n"),
    ("x:   # on the key line\n  a: 1\n", on_node(["x", "a"], "comment_before", "first"),
     "x:\n  # first\n  a: 1\n"),
    ("# top\n--- |\n  text\n", on_node([], "comment_before", None), "--- |\n  text\n"),
    # Anchors and aliases.
    ("a: 1\nb: 2\n", on_node(["a"], "anchor", "n"), "a: &n 1\nb: 2\n"),
    ("a:\n  x: 1\n", on_node(["a"], "anchor", "n"), "a: &n\n  x: 1\n"),
    ("a: &old  # c\n  x: 1\n", on_node(["a"], "anchor", "n"), "a: &n  # c\n  x: 1\n"),
    ("a: &n 1\nb: 2\n", on_node(["a"], "anchor", None), "a: 1\nb: 2\n"),
    ("a: &n 1\nb: 2  # c\n", alias(["b"], "n"), "a: &n 1\nb: *n  # c\n"),
    # Markers, directives and the lines around them stay.
    ("%YAML 1.2\n# c\n--- # start\n[1, 2]\n...\n", on_node([], "value", {"a": 1}),
     "%YAML 1.2\n# c\n--- # start\na: 1\n...\n"),
    ("--- text  # c\n", on_node([], "value", {"a": 1}), "---   # c\na: 1\n"),
    ("--- text\n", on_node([], "value", {"a": 1}), "---\na: 1\n"),
    ("a:  # c\nb: 1\n", set_item("a", 5), "a: 5  # c\nb: 1\n"),
    ("a: 1\n---\n# about b\nb: 2\n...\n", set_item(1, {"b": 3}), "a: 1\n---\n# about b\nb: 3\n...\n"),
    ("- debug:  # noqa name[missing]\n    msg: x\n- y\n", set_item(1, "z"),
     "- debug:  # noqa name[missing]\n    msg: x\n- z\n"),
    # A change that cannot be written inside a flow collection writes that
    # collection anew where it stands; the rest stays.
    ("a: [1, 2]\nb: 3   # keep\n", on_node(["a", 0], "comment", "c"), "a: [\n    1, # c\n    2\n  ]\nb: 3   # keep\n"),
]


@pytest.mark.parametrize("text, edit, expected", CASES)
def test_an_edit_writes_only_its_own_place(text, edit, expected):
    doc = q.loads(text, option=RT)
    edit(doc)
    out = doc.to_yaml()
    assert out.decode() == expected
    data = doc.to_dict()
    assert q.loads_all(out) == (data if len(q.loads_all(text)) > 1 else [data])
    assert q.loads(out, option=RT).to_yaml() == out


def test_an_unchanged_mark_gives_the_source_back():
    text = "a:   'x'   # c\nb: \"\\u00e9\"\nc: 0x1F\nd: [ 1,2 ]\n"
    doc = q.loads(text, option=RT)
    for key in "abcd":
        doc.node[key].anchor = None
    assert doc.to_yaml() == text.encode()
