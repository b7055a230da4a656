"""Round trips of dumps and to_json: for generated data and a generated
option set, loads(dumps(x)) gives x back, and json.loads(to_json(x)) too."""

import json

import pytest

import _quillmere as q

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

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
