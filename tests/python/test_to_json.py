"""to_json: the JSON text of converted objects, its indentation and key
order, the writer's error and the arguments."""

import dataclasses
import datetime
import json

import pytest

import _quillmere as q
from quillmere import exceptions as ex


@dataclasses.dataclass
class Item:
    name: str
    tags: tuple = ()


class TestText:
    @pytest.mark.parametrize("obj, expected", [
        ({"a": [1, 2], "b": None}, '{"a":[1,2],"b":null}'),
        ([], "[]"),
        ({}, "{}"),
        ("x", '"x"'),
        (None, "null"),
        (2 ** 70, "1180591620717411303424"),
        ([1.0, 0.5, 1e20, float("inf"), float("nan")], "[1.0,0.5,100000000000000000000.0,null,null]"),
        ({1: "i", True: "b", None: "n", 1.5: "f"}, '{"1":"b","null":"n","1.5":"f"}'),
        (q.QuillmereTag("!dropped", {"k": "v"}), '{"k":"v"}'),
        ("\t\x01\u2028\u00e9\"\\", '"\\t\\u0001\\u2028\u00e9\\"\\\\"'),
        (Item("n", ("a", b"b")), '{"name":"n","tags":["a","b"]}'),
        (datetime.date(2024, 1, 2), '"2024-01-02"'),
    ])
    def test_compact(self, obj, expected):
        out = q.to_json(obj)
        assert type(out) is bytes
        assert out.decode() == expected

    @pytest.mark.parametrize("option, expected", [
        (0, '{"a":[1],"b":{}}'),
        (q.OPT_INDENT_2, '{\n  "a": [\n    1\n  ],\n  "b": {}\n}'),
        (q.OPT_INDENT_4, '{\n    "a": [\n        1\n    ],\n    "b": {}\n}'),
        (q.OPT_INDENT_2 | q.OPT_INDENT_4, '{\n    "a": [\n        1\n    ],\n    "b": {}\n}'),
        # The YAML-only bits change nothing.
        (q.OPT_FLOW_STYLE | q.OPT_EXPLICIT_START | q.OPT_EXPLICIT_END | q.OPT_NULL_AS_KEYWORD
         | q.OPT_NULL_AS_TILDE | q.OPT_SINGLE_QUOTES, '{"a":[1],"b":{}}'),
    ])
    def test_indentation(self, option, expected):
        assert q.to_json({"a": [1], "b": {}}, option=option).decode() == expected

    def test_sorted_keys(self):
        assert q.to_json({"b": 1, "a": 2, "ab": 3}, option=q.OPT_SORT_KEYS) == b'{"a":2,"ab":3,"b":1}'

    def test_date_time_flags_apply(self):
        when = datetime.datetime(2024, 1, 2, 3, 4, 5, 6)
        option = q.OPT_NAIVE_UTC | q.OPT_UTC_Z | q.OPT_OMIT_MICROSECONDS
        assert q.to_json([when], option=option) == b'["2024-01-02T03:04:05Z"]'


class TestErrors:
    @pytest.mark.parametrize("obj", [{(1, 2): "t"}, {"ok": {q.QuillmereTag("!k", (1,)): 0}}])
    def test_collection_key(self, obj):
        with pytest.raises(ex.QuillmereEncodeError) as info:
            q.to_json(obj)
        assert str(info.value) == "a collection cannot be a JSON object key"

    def test_conversion_errors_and_default(self):
        with pytest.raises(ex.QuillmereUnserializableError, match="^type object is not YAML serializable$"):
            q.to_json([object()])
        assert q.to_json([object()], default=lambda o: "d") == b'["d"]'
        with pytest.raises(ex.QuillmereEncodeError, match="too deeply nested"):
            value = []
            value.append(value)
            q.to_json(value)

    def test_arguments(self):
        with pytest.raises(TypeError, match="unexpected keyword argument 'tags'"):
            q.to_json(1, tags={})
        with pytest.raises(OverflowError) as info:
            q.to_json(1, option=-1)
        assert info.value.__notes__ == ["while processing 'option'"]
        assert q.to_json(1, default=None, option=None) == b"1"
        assert q.to_json.__text_signature__ == "(obj, /, *, default=None, option=None)"

    def test_reads_back_with_the_json_module(self):
        data = {"s": "line\nbreak \U0001F600", "n": [-(2 ** 63), 2 ** 64, 0.1, -0.0], "e": [{}, []]}
        for option in (0, q.OPT_INDENT_2, q.OPT_INDENT_4):
            assert json.loads(q.to_json(data, option=option)) == data
