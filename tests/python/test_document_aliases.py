"""Aliases read through a round-trip document: every reading member gives
the plain road's value for the same position. An alias means the latest
definition of its anchor that is complete before it (a redefined anchor
changes what later aliases read; an anchored collection is not yet a
definition for the aliases inside it)."""

import pytest

import quillmere as q


def rt(text):
    return q.loads(text, option=q.OPT_ROUND_TRIP)


REDEFINED = {
    "scalars": "a: &x 1\nb: *x\nc: &x 2\nd: *x\n",
    "collections": "- &x [1]\n- *x\n- &x {k: v}\n- *x\n- [*x, *x]\n",
    "inside its own node": "a: &x 1\nc: &x {k: *x}\nd: *x\n",
    "nested redefinition": "a: &x {b: &x 2, c: *x}\nd: *x\n",
    "alias as key": "a: &x k1\nb: &x k2\n? *x\n: v\nc: {*x : w}\n",
    "flow key anchor": "{&x a: 1, b: *x, &x c: 2, d: *x}\n",
    "merge keys": "base: &m {a: 1}\nx:\n  <<: *m\nbase2: &m {a: 2, b: 3}\ny:\n  <<: *m\n  a: 0\n",
    "later documents": "a: &x 1\nb: *x\n---\nc: &x 2\nd: *x\n---\n- &x 3\n- *x\n",
}


def at(value, path):
    for step in path:
        value = value[step]
    return value


def check_walk(walked, plain):
    """walk() lists leaves whose values are the plain values at their paths;
    the entries of a merge key ("<<") are merged into their mapping on the
    plain road and have no path there."""
    for path, value in walked:
        if "<<" not in path:
            assert value == at(plain, path), path


def check_position(item, cursor, expected, path):
    """The node cursor at `path`, and the item that item access gave there
    (None where item access gives a plain value or cannot step: below a
    scalar, or through an alias), against the plain value `expected`."""
    assert cursor.value == expected, path
    if cursor.is_alias:
        target = cursor.target  # None for a definition on a mapping key
        assert target is None or target.value == expected, path
    if isinstance(item, q.QuillmereDocumentView):
        assert item.to_dict() == expected and item.unwrap() == expected, path
        check_walk(item.walk(), expected)
    if item is not None and isinstance(expected, dict) and not cursor.is_alias:
        keys = item.keys()  # as written: a merge key is one of them
        assert "<<" in keys or keys == list(expected), path
    # Item access steps through the keys written as scalars.
    steps = [k for k in expected if isinstance(k, str) and k in cursor] if isinstance(expected, dict) else []
    steps += range(len(expected)) if isinstance(expected, list) else []
    for step in steps:
        child = None
        if item is not None and not cursor.is_alias:
            child = item[step]
            assert item.get(step, None) == child or isinstance(child, q.QuillmereDocumentView)
            if not isinstance(child, q.QuillmereDocumentView):
                assert child == expected[step], path + (step,)
                child = None
        check_position(child, cursor[step], expected[step], path + (step,))


def check_against(doc, plain):
    """Every reading member of `doc` against the plain road's `plain` (one
    document's value, or the list of a stream's documents)."""
    assert doc.to_dict() == plain
    if repr(doc) == "QuillmereDocument(documents=1)":
        check_walk(doc.walk(), plain)
        check_position(doc, doc.node, plain, ())
    else:
        for index, data in enumerate(plain):
            check_position(doc[index], doc[index].node, data, (index,))


@pytest.mark.parametrize("text", REDEFINED.values(), ids=REDEFINED.keys())
def test_every_reading_member_gives_the_plain_roads_value(text):
    doc = rt(text)
    several = text.count("---") > 0
    check_against(doc, q.loads_all(text) if several else q.loads(text))


@pytest.mark.parametrize(
    "text, path, value",
    [
        (REDEFINED["scalars"], ["c"], 5),
        (REDEFINED["scalars"], ["a"], [7]),
        (REDEFINED["collections"], [2], "s"),
        (REDEFINED["inside its own node"], ["c", "k"], 9),
    ],
)
def test_after_an_edit_reads_give_the_plain_value_of_the_written_text(text, path, value):
    doc = rt(text)
    container = doc
    for step in path[:-1]:
        container = container[step]
    container[path[-1]] = value
    check_against(doc, q.loads(doc.to_yaml()))


def test_node_queries_follow_the_definition_an_alias_means():
    doc = rt("a: &x 1\nb: *x\nc: &x [2]\nd: *x\ne: [*x]\n")
    assert doc.node["b"].target.line == 1 and doc.node["d"].target.line == 3
    assert [node.line for node in doc.node["a"].aliases] == [2]
    assert [node.line for node in doc.node["c"].aliases] == [4, 5]
    assert doc.node["d"][0].value == 2
    doc.node["d"].detach()
    assert doc.to_dict() == q.loads(doc.to_yaml()) == {"a": 1, "b": 1, "c": [2], "d": [2], "e": [[2]]}


def test_one_operation_shares_each_anchors_object():
    doc = rt("a: &x [1]\nb: *x\nc: {k: *x}\nd: &x [2]\ne: *x\n")
    data = doc.to_dict()
    assert data["a"] is data["b"] is data["c"]["k"] and data["d"] is data["e"]
    walked = dict(doc.walk())
    assert walked[("b",)] is walked[("c", "k")] and walked[("e",)] == [2]
    assert doc["b"].to_dict() is not doc["b"].to_dict()  # nothing kept between calls
