"""Round trips of dumps and to_json: for generated data and a generated
option set, loads(dumps(x)) gives x back, and json.loads(to_json(x)) too;
PyYAML and ruamel.yaml read what dumps writes as the same data."""

import datetime
import json

import pytest

import _quillmere as q

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

try:
    import yaml  # noqa: E402
    from ruamel.yaml import YAML  # noqa: E402
except ImportError:
    yaml = None
peers = pytest.mark.skipif(yaml is None or not yaml.__with_libyaml__,
                           reason="PyYAML with libyaml and ruamel.yaml are needed (scripts/deps.sh)")

SETTINGS = settings(max_examples=150, deadline=None)

ints = st.integers(-(2 ** 63), 2 ** 63 - 1)
big_ints = st.integers(2 ** 63, 10 ** 40) | st.integers(-(10 ** 40), -(2 ** 63) - 1)
finite_floats = st.floats(allow_nan=False, allow_infinity=False)
json_scalars = st.none() | st.booleans() | ints | finite_floats | st.text()


def containers(keys):
    return lambda children: st.lists(children, max_size=4) | st.dictionaries(keys, children, max_size=4)


json_like = st.recursive(json_scalars, containers(st.text()), max_leaves=20)

# Keys of any scalar kind, and tuples of them (nested too), which come back
# as tuples; tuples elsewhere come back as lists.
scalar_keys = st.none() | st.booleans() | ints | big_ints | st.floats(allow_nan=False) | st.text()
keys = st.recursive(scalar_keys, lambda children: st.tuples(children) | st.tuples(children, children), max_leaves=4)
values = st.recursive(
    json_scalars | big_ints | st.floats(allow_nan=False),
    lambda children: st.lists(children, max_size=4) | st.tuples(children, children) | st.dictionaries(keys, children,
                                                                                                      max_size=4),
    max_leaves=20)


def expected(value):
    """What the loader gives back for a dumped value."""
    if isinstance(value, (list, tuple)):
        return [expected(item) for item in value]
    if isinstance(value, dict):
        return {key: expected(item) for key, item in value.items()}
    return value


@st.composite
def dump_settings(draw):
    option = draw(st.sampled_from([0, q.OPT_INDENT_2, q.OPT_INDENT_4]))
    for bit in (q.OPT_INDENTLESS_SEQUENCES, q.OPT_FLOW_STYLE, q.OPT_SORT_KEYS, q.OPT_SINGLE_QUOTES,
                q.OPT_EXPLICIT_START, q.OPT_EXPLICIT_END):
        if draw(st.booleans()):
            option |= bit
    null_bits, null_style = draw(st.sampled_from([
        (0, None), (q.OPT_NULL_AS_KEYWORD, None), (q.OPT_NULL_AS_TILDE, None),
        (0, "null"), (0, "empty"), (0, "~"),
    ]))
    width = draw(st.sampled_from([None, 0, 20, 80]))
    return {"option": option | null_bits, "null_style": null_style, "width": width}


@SETTINGS
@given(json_like, dump_settings())
def test_dumps_round_trips_json_like_data(value, kwargs):
    assert q.loads(q.dumps(value, **kwargs)) == value


@SETTINGS
@given(values, dump_settings())
def test_dumps_round_trips_scalar_and_tuple_keys_and_big_ints(value, kwargs):
    assert q.loads(q.dumps(value, **kwargs)) == expected(value)


@SETTINGS
@given(json_like | big_ints, st.sampled_from([0, q.OPT_INDENT_2, q.OPT_INDENT_4, q.OPT_SORT_KEYS]))
def test_to_json_round_trips(value, option):
    assert json.loads(q.to_json(value, option=option)) == value


# Texts that are easy to get wrong: indicators, blanks and line breaks, the
# C0 and C1 controls, DEL, NEL, the line and paragraph separators, the
# byte-order mark, the non-characters U+FFFE and U+FFFF; and words that some
# rule set reads as something else than a string.
tricky_characters = st.sampled_from(
    list("-?:,[]{}#&*!|>'\"%@`~= \t\n\r\\")
    + ["\x00", "\x1b", "\x7f", "\x80", "\x85", "\x9f", "\xa0", "\u2028", "\u2029", "\ufeff", "\ufffe", "\uffff",
       "\U0001f600", "\U0010ffff"])
tricky_words = st.sampled_from([
    "yes", "No", "on", "OFF", "y", "n", "~", "null", "=", "<<", "0b_", "+0x__", "0b1_", "0x_1", "0_", "0o17",
    "017", "1_000", "1e5", "1.", ".5", "+.inf", ".NaN", "-", "---", "... x", "- x", "? x", "a: b", "a #b",
])
any_text = (st.text(st.characters(blacklist_categories=("Cs",)) | tricky_characters, max_size=12) | tricky_words
            | st.lists(tricky_words | st.text(max_size=3), max_size=6).map(" ".join))
peer_scalars = st.none() | st.booleans() | ints | big_ints | st.floats(allow_nan=False) | any_text
peer_values = st.recursive(
    peer_scalars,
    lambda children: st.lists(children, max_size=4) | st.dictionaries(peer_scalars, children, max_size=4),
    max_leaves=20)

@peers
@settings(max_examples=400, deadline=None)
@given(peer_values, dump_settings())
def test_pyyaml_and_ruamel_read_what_dumps_writes(value, kwargs):
    text = q.dumps(value, **kwargs).decode()
    assert yaml.load(text, Loader=yaml.CSafeLoader) == value
    assert YAML(typ="safe").load(text) == value


# Texts that some reader takes for another type or alters when written
# plain: numbers of either rule set and of the looser patterns that
# PyYAML and ruamel.yaml keep (leading zeros, long digit runs, base 60),
# timestamps, special floats, booleans of both rule sets, and texts with
# C0 and C1 controls, astral characters (surrogate pairs in UTF-16),
# byte-order marks and the line breaks of YAML 1.1.
def reader_sensitive_texts():
    words = ["008000", "01234567890123456789", "0123", "08", "09.5", "0o17", "0x1F", "0b101", "0x_", "+_",
             "1_000", "1__0", "_1", "1e5", "1E+5", "1_0e5", "1.", ".5", "._5", "1:30", "-1:30:00.5",
             "99999999999999999999:30", "190:20:30", "2001-12-14", "2001-1-4 1:02:03", "2001-12-14t21:59:43.10-05:00",
             "2001-12-14 21:59:43.10 -5", "2001-12-14T21:59:43Z", ".inf", "-.Inf", "+.INF", ".nan", ".NaN",
             "y", "Y", "n", "N", "yes", "No", "ON", "off", "true", "False", "null", "~", "=", "<<"]
    characters = [chr(c) for c in range(0x20)] + ["\x7f"] + [chr(c) for c in range(0x80, 0xA0)]
    characters += ["\u2028", "\u2029", "\ufeff", "\ufffe", "\uffff", "\U0001F600", "\U0010FFFF"]
    for c in characters:
        words += [c, "a" + c + "b", c + "x", "x" + c]
    return words


@peers
@pytest.mark.parametrize("text", reader_sensitive_texts())
def test_dumps_texts_load_back_as_themselves_everywhere(text):
    for value in (text, {text: [text]}):
        for options in ({}, {"option": q.OPT_INDENT_2}):
            dumped = q.dumps(value, **options)
            assert q.loads(dumped) == value, dumped
            assert q.loads(dumped, option=q.OPT_YAML_1_1) == value, dumped
            assert yaml.load(dumped, Loader=yaml.CSafeLoader) == value, dumped
            assert yaml.load(dumped, Loader=yaml.SafeLoader) == value, dumped
            assert YAML(typ="safe").load(dumped) == value, dumped
            assert YAML(typ="safe", pure=True).load(dumped) == value, dumped
