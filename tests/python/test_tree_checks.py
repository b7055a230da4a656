"""The tree passes on the round-trip road: duplicate keys as an error or as
warnings, the YAML 1.1 warnings, and the 1.1 to 1.2 upgrade."""

import logging

import pytest

import _quillmere as q
from quillmere import exceptions as ex

RT = q.OPT_ROUND_TRIP


@pytest.mark.parametrize("text, key, line, column", [
    ("1: a\n1.0: b", "1.0", 2, 1),
    ("true: a\n1: b", "1", 2, 1),
    ("0.0: a\n-0.0: b", "-0.0", 2, 1),
    ("x: {0: a, false: b}", "false", 1, 11),
    ("? [1, 2]\n: a\n? [1.0, 2]\n: b", 'Sequence([Scalar("1.0"), Scalar("2")])', 3, 3),
    # An alias key is the node it stands for, shown as that node.
    ("&x k: 1\n*x : 2", "k", 2, 1),
    ("&x 1: a\n'1': b\n*x : c", "1", 3, 1),
    # yaml-test-suite X38W.
    ("{ &a [a, &b b]: *b, *a : [c, *b, d]}", 'Sequence([Scalar("a"), Scalar("b")])', 1, 21),
])
def test_keys_that_collapse_in_a_dict_are_duplicates(text, key, line, column, caplog):
    with pytest.raises(ex.QuillmereDuplicateKeyError) as info:
        q.loads(text, option=RT | q.OPT_DUPLICATE_KEYS_ERROR)
    assert str(info.value) == f"duplicate mapping key: {key} at line {line}, column {column}"
    assert (info.value.line, info.value.column) == (line, column)

    caplog.set_level(logging.WARNING, logger="quillmere")
    q.loads(text, option=RT | q.OPT_DUPLICATE_KEYS_WARN)
    assert [r.getMessage() for r in caplog.records] == [
        f"duplicate mapping key '{key}' at line {line}, column {column}; keeping the last value"]


def test_an_alias_key_is_a_duplicate_as_on_the_plain_road():
    for option in (0, RT, q.OPT_ANNOTATED, q.OPT_INCLUDES):
        with pytest.raises(ex.QuillmereDuplicateKeyError) as info:
            q.loads("&x k: 1\n*x : 2", option=option | q.OPT_DUPLICATE_KEYS_ERROR)
        assert str(info.value) == "duplicate mapping key: k at line 2, column 1"


def test_different_keys_and_merge_keys_are_no_duplicates(caplog):
    caplog.set_level(logging.WARNING, logger="quillmere")
    q.loads("'1': a\n1: b\n1.5: c\n<<: {x: 1}\n<<: {y: 2}\n", option=RT | q.OPT_DUPLICATE_KEYS_ERROR)
    q.loads("a: 1\n---\na: 2\n", option=RT | q.OPT_DUPLICATE_KEYS_WARN)
    assert caplog.records == []


def test_yaml11_warnings_name_both_readings(caplog):
    caplog.set_level(logging.WARNING, logger="quillmere")
    q.loads("a: yes\nb: 'no'\nc: 010\n", option=RT | q.OPT_YAML_1_1 | q.OPT_YAML_1_1_WARN)
    assert [r.getMessage() for r in caplog.records] == [
        "YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str in 1.2 at line 1, column 4",
        "YAML 1.1 syntax '010' resolves as int in 1.1 but str in 1.2 at line 3, column 4"]


def test_upgrade_quotes_strings_that_the_12_rules_would_type():
    doc = q.loads("a: 0o17\nb: yes\nc: .nan\nd: 'no'\n", option=RT | q.OPT_YAML_1_1 | q.OPT_UPGRADE_1_1)
    # 0o17 is a string under the 1.1 rules and stays one in quotes; the
    # others keep their style (rewritten or not).
    assert [doc.node[k].style for k in "abcd"] == ["double", "plain", "plain", "single"]


@pytest.mark.parametrize("text, merged", [
    ("base: &b {x: 1}\nm:\n  !!merge : *b\n  y: 2\n", {"x": 1, "y": 2}),
    ("base: &b {x: 1}\nm: {!!merge : *b, x: 2}\n", {"x": 2}),
])
def test_an_empty_key_under_the_merge_tag_merges_on_every_road(text, merged):
    expected = q.loads(text)
    assert expected["m"] == merged
    doc = q.loads(text, option=RT)
    assert doc.to_dict() == expected
    assert doc.node["m"].value == merged
    assert q.loads(text, option=q.OPT_ANNOTATED) == expected
    # The schema step sees the merged mapping.
    schema = {"properties": {"m": {"required": ["x"], "properties": {"x": {"const": merged["x"]}}}}}
    wrong = {"properties": {"m": {"properties": {"x": {"const": merged["x"] + 1}}}}}
    for option in (0, RT, q.OPT_ANNOTATED):
        q.loads(text, option=option, schema=schema)
        with pytest.raises(ex.QuillmereSchemaError):
            q.loads(text, option=option, schema=wrong)
