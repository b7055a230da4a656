"""Long one-line flow collections (JSON texts): a collection that begins a
line may still become an implicit key until its closing bracket, and a long
one is read ahead to know early. Padding the front of such a collection
with entries must change nothing else: the same values, the same key, the
same error at the same line, its column moved by the padding."""

import pytest

import _quillmere as q
from quillmere import exceptions as ex

INNERS = [
    "a", '"a"', "'a'", '"a\\"b"', "'it''s'", '"x\\\\"', '{"k": 1}', '{"k":1}', "{k: v}", "a b", 'a"b', "a'b",
    "a:b", ":a", '"a":b', "[a]:b", "{a: [b, {c: d}]}", "&x a", "&x [1], *x", "a #c", '"é"', "é", 'a, "b]", c',
    "'[', ']'", '"{"', "? a", "- a", "-a", "?a", "!t a", "!!str a", '"a\nb"', "a\n b", '"multi\n  line"', "|", ">",
    "@", "%", "a: b", '"a" : b', "[[[]]]", "{}", '"\\\n"', "a\tb", '"t\tt"', "a,", ",", "]", "{", '"open', "'open",
    '"k": [1, "]"]', ":", "::", "a:", "-", "?",
]
TAILS = ["", ": v", " : v", ":v", " # c", "\n", ": [x]", " x", ": v\nw: 1", "\n- b"]
COUNT = 600  # entries of padding: far more tokens than wait before the text is read ahead


def padded(shape, inner, tail, count):
    if shape == "mapping":
        return "{" + "".join(f'"p{i}": 0, ' for i in range(count)) + inner + "}" + tail, 8
    pad = "0, " * count
    prefix = {"sequence": "", "anchored": "&top ", "value": "k: ", "entry": "- "}[shape]
    return prefix + "[" + pad + inner + "]" + tail, len(pad)


def is_padding_key(key):
    return isinstance(key, str) and key[:1] == "p" and key[1:].isdigit()


def without_padding(value):
    """The loaded value with the padding's entries taken out: 0 items, "pN": 0
    pairs (and their (key, value) tuples in a mapping made a key)."""
    if isinstance(value, (list, tuple)):
        kept = [v for v in value if not (type(v) is int and v == 0)
                and not (type(v) is tuple and len(v) == 2 and is_padding_key(v[0]) and v[1] == 0)]
        return type(value)(without_padding(v) for v in kept)
    if isinstance(value, dict):
        return {without_padding(k): without_padding(v) for k, v in value.items()
                if not (is_padding_key(k) and v == 0)}
    return value


def outcome(text):
    try:
        return "ok", without_padding(q.loads_all(text)), None
    except ex.QuillmereParseError as error:
        message = str(error).rsplit(" at line ", 1)[0]
        return type(error).__name__, message, (error.line, error.column)


@pytest.mark.parametrize("shape", ["sequence", "mapping", "anchored", "value", "entry"])
def test_padding_a_long_flow_line_changes_only_positions(shape):
    for inner in INNERS:
        for tail in TAILS:
            short, _ = padded(shape, inner, tail, 1)
            long, _ = padded(shape, inner, tail, COUNT)
            shift = len(long) - len(short)
            kind, value, place = outcome(short)
            long_kind, long_value, long_place = outcome(long)
            assert (long_kind, long_value) == (kind, value), long[-60:]
            if place is not None:
                # Positions past the padding move with it; those before it stay.
                assert long_place[0] == place[0] and long_place[1] in (place[1], place[1] + shift), \
                    (long[-60:], place, long_place)


def test_long_json_lines_load_as_json():
    import json

    for value in (list(range(50_000)), [f"s{i}" for i in range(50_000)],
                  [{"id": i, "name": f"n{i}", "tags": [i, None, True]} for i in range(20_000)]):
        text = json.dumps(value)
        assert q.loads(text) == value
        assert q.loads(json.dumps(value, indent=2)) == value
        if not isinstance(value[0], dict):
            assert q.loads(text + ": key") == {tuple(value): "key"}  # still a key, however long
