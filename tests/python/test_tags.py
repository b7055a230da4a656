"""QuillmereTag and the custom-tag dispatch of loading."""

import gc
import weakref

import pytest

import _quillmere as q
from quillmere import exceptions as ex

QuillmereTag = q.QuillmereTag


class TestQuillmereTag:
    def test_fields_and_repr(self):
        value = [1, 2]
        tag = QuillmereTag("!x", value)
        assert tag.tag == "!x" and tag.value is value and tag.value is tag.value
        assert repr(tag) == "QuillmereTag('!x', ...)"
        assert repr(QuillmereTag("!it's\\", 1)) == "QuillmereTag('!it's\\', ...)"  # not escaped
        assert QuillmereTag("!\u00e9", None).tag == "!\u00e9"

    def test_keywords_in_either_order(self):
        assert QuillmereTag(value=1, tag="!a").tag == "!a"
        assert QuillmereTag("!a", value=2).value == 2

    @pytest.mark.parametrize("args, kwargs", [((), {}), (("!a",), {}), (("!a", 1, 2), {}),
                                              (("!a",), {"tag": "!b"}), (("!a", 1), {"other": 1})])
    def test_argument_errors(self, args, kwargs):
        with pytest.raises(TypeError):
            QuillmereTag(*args, **kwargs)

    def test_tag_must_be_encodable_str(self):
        with pytest.raises(TypeError) as info:
            QuillmereTag(5, 1)
        assert info.value.__notes__ == ["while processing 'tag'"]
        with pytest.raises(UnicodeEncodeError) as info:
            QuillmereTag("!\ud800", 1)
        assert info.value.__notes__ == ["while processing 'tag'"]

        class S(str):
            pass

        assert type(QuillmereTag(S("!s"), 1).tag) is str

    def test_immutable_and_compared_by_identity(self):
        tag = QuillmereTag("!x", 1)
        for name in ("tag", "value"):
            with pytest.raises(AttributeError):
                setattr(tag, name, 2)
        assert QuillmereTag("!x", 1) != QuillmereTag("!x", 1)
        assert tag == tag and hash(tag) == hash(tag)

    def test_docstring_and_signature(self):
        assert QuillmereTag.__text_signature__ == "(tag, value)"
        assert QuillmereTag.__doc__ == (
            "A custom-tagged YAML value, returned when `OPT_PASSTHROUGH_TAG` is set and\n"
            "accepted by `dumps` to emit a `!tag value` back out.\n\n"
            "Holds the original tag (e.g. `!mytag`) and the resolved inner `value`.")

    def test_value_lives_as_long_as_the_tag(self):
        class Box:
            pass

        box = Box()
        ref = weakref.ref(box)
        tag = QuillmereTag("!b", box)
        del box
        gc.collect()
        assert ref() is tag.value
        del tag
        assert ref() is None

    def test_tag_in_a_cycle_is_collected(self):
        class Box:
            pass

        box = Box()
        box.tag = QuillmereTag("!b", [box])
        loaded = q.loads("!b [1]", option=q.OPT_PASSTHROUGH_TAG)
        loaded.value.append(box)
        ref = weakref.ref(box)
        assert gc.is_tracked(box.tag) and box.tag.value in gc.get_referents(box.tag)
        del box, loaded
        gc.collect()
        assert ref() is None


class TestDispatch:
    def test_precedence(self):
        seen = []

        def handler(tag, value):
            seen.append((tag, value))
            return "handled"

        text = "a: !custom 5"
        assert q.loads(text) == {"a": "5"}  # an unknown tag is dropped
        tag = q.loads(text, option=q.OPT_PASSTHROUGH_TAG)["a"]
        assert type(tag) is QuillmereTag and tag.tag == "!custom" and tag.value == "5"
        assert q.loads(text, tags={"!custom": int}) == {"a": 5}
        assert q.loads(text, tags={"!custom": int}, tag_handler=handler, option=q.OPT_PASSTHROUGH_TAG) == {"a": 5}
        assert q.loads(text, tags={"!other": int}, tag_handler=handler, option=q.OPT_PASSTHROUGH_TAG) == {
            "a": "handled"}
        assert seen == [("!custom", "5")]
        assert type(q.loads(text, tags={}, option=q.OPT_PASSTHROUGH_TAG)["a"]) is QuillmereTag

    @pytest.mark.parametrize("text, tag, value", [
        ("!point [1, 2]", "!point", [1, 2]),
        ("!rec {a: 1}", "!rec", {"a": 1}),
        ("! 42", "!", "42"),                        # the non-specific tag is custom too
        ("!<!verbatim> x", "!<!verbatim>", "x"),
        ("%TAG !e! tag:example.com,2000:\n--- !e!thing 1", "tag:example.com,2000:thing", "1"),
        ("key: !empty", "!empty", ""),
    ])
    def test_tag_text_and_converted_value(self, text, tag, value):
        calls = []
        q.loads(text, tag_handler=lambda t, v: calls.append((t, v)))
        assert calls == [(tag, value)]

    def test_inner_values_are_converted_first(self):
        order = []
        result = q.loads("!outer [!inner a, b]", tag_handler=lambda t, v: order.append(t) or (t, v))
        assert order == ["!inner", "!outer"]
        assert result == ("!outer", [("!inner", "a"), "b"])

    def test_standard_tags_do_not_reach_callables(self):
        calls = []
        assert q.loads("- !!str 6\n- !!int '7'\n- !!map {a: 1}", tag_handler=lambda t, v: calls.append(t)) == [
            "6", 7, {"a": 1}]
        assert calls == []

    def test_passthrough_in_every_document_of_loads_all(self):
        docs = q.loads_all("!a 1\n--- !b 2", option=q.OPT_PASSTHROUGH_TAG)
        assert [(d.tag, d.value) for d in docs] == [("!a", "1"), ("!b", "2")]

    def test_callable_errors_pass_through(self):
        def broken(value):
            raise KeyError("from the callable")

        with pytest.raises(KeyError, match="from the callable"):
            q.loads("!x 1", tags={"!x": broken})
        with pytest.raises(ZeroDivisionError):
            q.loads_all("--- 1\n--- !x 1", tag_handler=lambda t, v: 1 / 0)

    def test_unhashable_result_only_matters_as_a_key(self):
        as_list = {"!l": lambda v: [v]}
        assert q.loads("a: !l x", tags=as_list) == {"a": ["x"]}
        with pytest.raises(ex.QuillmereDecodeError, match="^mapping key is not hashable in Python$"):
            q.loads("!l x: 1", tags=as_list)

    def test_key_whose_hash_raises(self):
        class Unhashable:
            def __hash__(self):
                raise RuntimeError("no hash")

        with pytest.raises(ex.QuillmereDecodeError):
            q.loads("!u k: 1", tags={"!u": lambda v: Unhashable()})

    @pytest.mark.parametrize("tags", [[], ("!x", int), "tags", 5])
    def test_tags_must_be_a_dict(self, tags):
        for function in (q.loads, q.loads_all):
            with pytest.raises(TypeError, match=r"^tags must be a dict \(or Tags\) mapping each tag name to a "
                                                r"callable$"):
                function("a", tags=tags)

    def test_dict_subclass_is_a_dict(self):
        class Tags(dict):
            def __getitem__(self, key):
                raise AssertionError("looked up as a plain dict")

        assert q.loads("!x 5", tags=Tags({"!x": int})) == 5

    def test_lookup_errors_of_the_tag_key_propagate(self):
        class Key(str):
            __hash__ = str.__hash__

            def __eq__(self, other):
                raise RuntimeError("compare")

        # A str key with the same hash as the tag text forces a comparison.
        key = Key("!x")
        with pytest.raises(RuntimeError, match="compare"):
            q.loads("!x 5", tags={key: int})


MODES = {"1.2": 0, "1.1": q.OPT_YAML_1_1, "compat": q.OPT_PYYAML_COMPAT}


class TestCoreTags:
    """Explicit core tags read their text by the tag's grammar, the load's
    own rule set first and then the other one, and never invent a value."""

    @pytest.mark.parametrize("text, in_1_2, in_1_1", [
        ("!!int 99999999999999999999", 99999999999999999999, 99999999999999999999),
        ("!!int 017", 17, 15),
        ("!!int 0o17", 15, 15),
        ("!!int 0b101", 5, 5),
        ("!!int -0x1_0000_0000_0000_0000", -2 ** 64, -2 ** 64),
        ("!!float 5", 5.0, 5.0),
        ("!!float 1_000", 1000.0, 1000.0),
        ("!!float 1:30", 90.0, 90.0),
        ("!!bool yes", True, True),
        ("!!bool Off", False, False),
        ("!!null ~", None, None),
        ("!<tag:yaml.org,2002:int> 1", 1, 1),
        ("!<tag:yaml.org,2002:str> 1", "1", "1"),
    ])
    def test_values(self, text, in_1_2, in_1_1):
        for mode, option in MODES.items():
            value = q.loads(text, option=option)
            expected = in_1_2 if mode == "1.2" else in_1_1
            assert value == expected and type(value) is type(expected), mode

    @pytest.mark.parametrize("text, message, line, column", [
        ("!!int abc", "cannot read 'abc' as !!int", 1, 1),
        ("a: 1\nb: !!float x", "cannot read 'x' as !!float", 2, 4),
        ("- !!bool maybe", "cannot read 'maybe' as !!bool", 1, 3),
        ("- !!null none", "cannot read 'none' as !!null", 1, 3),
        ("k: !!int\n", "cannot read '' as !!int", 1, 4),
        ("!<tag:yaml.org,2002:int> 1.5", "cannot read '1.5' as !!int", 1, 1),
    ])
    def test_unreadable_text_is_a_located_error(self, text, message, line, column):
        for option in MODES.values():
            for function in (q.loads, q.loads_all):
                with pytest.raises(ex.QuillmereParseError) as info:
                    function(text, option=option)
                error = info.value
                assert str(error) == f"{message} at line {line}, column {column}"
                assert (error.file, error.line, error.column) == (None, line, column)

    def test_verbatim_core_tag_is_not_dispatched(self):
        calls = []
        assert q.loads("!<tag:yaml.org,2002:int> 7", tag_handler=lambda t, v: calls.append(t)) == 7
        assert q.loads("!<tag:yaml.org,2002:int> 7", option=q.OPT_PASSTHROUGH_TAG) == 7
        assert calls == []
        tag = q.loads("!<!local> 7", option=q.OPT_PASSTHROUGH_TAG)
        assert (tag.tag, tag.value) == ("!<!local>", "7")


# A core tag by any spelling, and a custom tag spelled like a core one.
SPELLINGS = [
    # (text, value, the custom tag as written or None, the tag callables see)
    ("a: !!int 1\n", 1, None, None),
    ("a: !<tag:yaml.org,2002:int> 1\n", 1, None, None),
    ("%TAG !e! tag:yaml.org,2002:\n---\na: !e!int 1\n", 1, None, None),
    ("%TAG !! tag:yaml.org,2002:\n---\na: !!int 1\n", 1, None, None),
    ("%TAG !! tag:example.com,2000:\n---\na: !!int 1\n", "1", "!!int", "tag:example.com,2000:int"),
    ("%TAG !e! tag:example.com,2000:\n---\na: !e!int 1\n", "1", "!e!int", "tag:example.com,2000:int"),
    ("a: !<tag:example.com,2000:int> 1\n", "1", "!<tag:example.com,2000:int>", "!<tag:example.com,2000:int>"),
]
# Every road that reads a text: plain, annotated, directive, round trip.
ROADS = {"plain": 0, "annotated": q.OPT_ANNOTATED, "directive": q.OPT_INCLUDES, "round trip": q.OPT_ROUND_TRIP}


def data_of(result):
    return result.to_dict() if isinstance(result, q.QuillmereDocument) else result


@pytest.mark.parametrize("text, value, custom, seen", SPELLINGS)
def test_a_tag_acts_by_what_it_names_on_every_road(text, value, custom, seen):
    for road, option in ROADS.items():
        result = data_of(q.loads(text, option=option))
        assert result == {"a": value} and isinstance(result["a"], type(value)), road
        if option in (0, q.OPT_ANNOTATED):
            assert q.loads_all(text, option=option) == [{"a": value}], road
        # The schema judges the value that the road returns.
        wrong = {"properties": {"a": {"type": "integer" if custom else "string"}}}
        with pytest.raises(ex.QuillmereSchemaError, match="expected type"):
            q.loads(text, option=option, schema=wrong)
        calls = []
        q.loads(text, option=option & ~q.OPT_ROUND_TRIP, tag_handler=lambda tag, v: calls.append(tag) or v)
        assert calls == ([seen] if seen else []), road
    annotated = q.loads(text, option=q.OPT_ANNOTATED | q.OPT_ANNOTATE_NUMBERS)["a"]
    assert annotated.__source_tag__ == custom
    assert q.loads(text, option=q.OPT_INCLUDES | q.OPT_ANNOTATED | q.OPT_ANNOTATE_NUMBERS)["a"].__source_tag__ == custom
    node = q.loads(text, option=q.OPT_ROUND_TRIP).node["a"]
    assert (node.value, node.source_tag, node.tag) == (value, custom, text.split("a: ")[1].split(" ")[0])
