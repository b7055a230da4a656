"""loads, loads_all and yaml_version on the plain road: the resolver mode
from directives and options, documents, the Value to Python conversion, deep
documents, the interpreter lock and per-call allocations."""

import itertools
import json
import math
import sys
import sysconfig

import pytest

import _quillmere as q
from quillmere import exceptions as ex
from conftest import allocation_growth, run_letting_others_run, run_on_small_stack

Y11, COMPAT, UPGRADE = q.OPT_YAML_1_1, q.OPT_PYYAML_COMPAT, q.OPT_UPGRADE_1_1

# Mapping keys are interned where an interned str stays mortal: not on 3.12
# and not on free-threaded builds, whose interned strs are immortal.
INTERNS_KEYS = sys.version_info[:2] != (3, 12) and not sysconfig.get_config_var("Py_GIL_DISABLED")


class TestResolverMode:
    @pytest.mark.parametrize("text, option, expected", [
        ("x: yes", 0, "yes"),
        ("x: yes", Y11, True),
        ("x: yes", UPGRADE, True),                        # only selects 1.1: nothing is rewritten
        ("x: yes", COMPAT, True),
        ("x: y", Y11, True),
        ("x: y", COMPAT, "y"),                            # 1.1 without the one-letter booleans
        ("x: 010", 0, "010"),
        ("x: 010", Y11, 8),
        ("x: 0o17", 0, 15),
        ("x: 0o17", Y11, "0o17"),
        ("%YAML 1.1\n---\nx: yes", 0, True),              # the directive selects 1.1 ...
        ("%YAML 1.1\n---\nx: y", COMPAT, "y"),
        ("%YAML 1.2\n---\nx: yes", Y11 | UPGRADE, "yes"),  # ... and any other version 1.2
        ("%YAML 1.0\n---\nx: yes", Y11, "yes"),
        ("%YAML 1.3\n---\nx: yes", Y11, "yes"),
        ("%YAML 1.2\n---\nx: yes", COMPAT, True),          # compat wins over a 1.2 directive
        ("%YAML 1.2\n---\nx: n", COMPAT, "n"),
        ("# note\n%YAML 1.1\n---\nx: on", 0, True),
    ])
    def test_mode(self, text, option, expected):
        assert q.loads(text, option=option) == {"x": expected}
        assert q.loads_all(text, option=option) == [{"x": expected}]


class TestDocuments:
    @pytest.mark.parametrize("text, first, every", [
        ("", None, []),
        ("# only a comment\n", None, []),
        ("---", None, [None]),
        ("--- a\n--- b", "a", ["a", "b"]),
        ("a: 1\n---\n- 2\n...\n", {"a": 1}, [{"a": 1}, [2]]),
        ("\ufeffa: 1", {"a": 1}, [{"a": 1}]),
    ])
    def test_first_and_every_document(self, text, first, every):
        assert q.loads(text) == first
        assert q.loads_all(text) == every

    @pytest.mark.parametrize("option", [q.OPT_ROUND_TRIP, q.OPT_INCLUDES, q.OPT_SECRETS, q.OPT_ENV_VAR,
                                        q.OPT_INCLUDES | q.OPT_YAML_1_1])
    def test_loads_all_refuses_directive_and_round_trip_options(self, option):
        with pytest.raises(ValueError) as info:
            q.loads_all("a: 1", option=option)
        assert str(info.value) == (
            "loads_all() does not support OPT_INCLUDES, OPT_SECRETS, OPT_ENV_VAR, or OPT_ROUND_TRIP; use loads() "
            "for include resolution and round-trip editing")
        with pytest.raises(TypeError, match=r"^loads\(\) requires"):  # the input error comes first
            q.loads_all(5, option=option)

    def test_schema_resolver_needs_a_schema(self):
        with pytest.raises(ValueError) as info:
            q.loads("a: 1", schema_resolver=lambda ref: None)
        assert str(info.value) == 'schema_resolver requires schema="auto"'

    def test_input_error_comes_before_the_tags_check(self):
        with pytest.raises(TypeError, match=r"^loads\(\) requires"):
            q.loads(5, tags=[])

    @pytest.mark.parametrize("text, expected", [
        ("%YAML 1.1\n---\na", "1.1"),
        ("%YAML 1.2\n--- a", "1.2"),
        ("# c\n%YAML 2.10 # note\n---", "2.10"),
        ("a: 1", None),
        ("", None),
        ("a: 1\n%YAML 1.1\n---", None),
        ("%YAML 1.1\n---\n[unclosed", "1.1"),  # the text is not parsed
    ])
    def test_yaml_version(self, text, expected):
        assert q.yaml_version(text) == expected
        assert q.yaml_version(text.encode("utf-16")) == expected
        assert q.yaml_version(bytearray(text.encode("utf-32-be"))) == expected


class TestConversion:
    def test_scalars(self):
        values = q.loads("[~, null, true, False, 0, -17, 9223372036854775807, 1.5, -2e3, .inf, -.Inf, .nan, "
                         "text, '', \"\\t\"]")
        assert values[:7] == [None, None, True, False, 0, -17, 9223372036854775807]
        assert values[7:11] == [1.5, -2000.0, math.inf, -math.inf]
        assert math.isnan(values[11])
        assert values[12:] == ["text", "", "\t"]
        assert [type(v) for v in values[2:8]] == [bool, bool, int, int, int, float]

    @pytest.mark.parametrize("text, expected", [
        ("123456789012345678901234567890", 123456789012345678901234567890),
        ("-9223372036854775809", -9223372036854775809),
        ("9223372036854775808", 9223372036854775808),
        ("+12345678901234567890", 12345678901234567890),
        ("0x8000000000000000", 2 ** 63),
        ("-0x10000000000000000", -2 ** 64),
        ("0o1000000000000000000000", 2 ** 63),
    ])
    def test_big_integers(self, text, expected):
        value = q.loads(text)
        assert value == expected and type(value) is int

    @pytest.mark.parametrize("text, expected", [
        ("0x8000000000000000", 2 ** 63),
        ("0x_ffff_ffff_ffff_ffff", 2 ** 64 - 1),
        ("01777777777777777777777", 2 ** 64 - 1),
        ("0b1" + "0" * 64, 2 ** 64),
        ("0o1000000000000000000000", "0o1000000000000000000000"),  # no 1.1 integer
        ("9223372036854775807:0", "9223372036854775807:0"),         # sexagesimal: 64 bits at most
    ])
    def test_big_integers_in_other_bases_under_1_1(self, text, expected):
        value = q.loads(text, option=Y11)
        assert value == expected and type(value) is type(expected)

    def test_big_integers_with_underscores_under_1_1(self):
        assert q.loads("1_000_000_000_000_000_000_000", option=Y11) == 10 ** 21

    def test_big_integer_past_the_digit_limit_stays_text(self):
        limit = sys.get_int_max_str_digits()
        try:
            sys.set_int_max_str_digits(1000)
            assert q.loads("9" * 1000) == int("9" * 1000)
            value = q.loads("9" * 1001)
            assert value == "9" * 1001 and type(value) is str
            assert q.loads("1_" + "0" * 1001, option=Y11) == "1" + "0" * 1001  # underscores removed
        finally:
            sys.set_int_max_str_digits(limit)

    def test_repeated_keys_share_one_str(self):
        records = q.loads("- long_field_name: 1\n  other: 2\n- long_field_name: 3\n  other: 4\n")
        first, second = (list(record) for record in records)
        assert first[0] is second[0] and first[1] is second[1]
        assert (sys.intern("long_field_" + "name") is first[0]) == INTERNS_KEYS
        docs = q.loads_all("long_field_name: 1\n---\nlong_field_name: 2\n")
        # Interned keys meet in every document; otherwise each has its own.
        assert (list(docs[0])[0] is list(docs[1])[0]) == INTERNS_KEYS

    def test_loaded_strs_are_mortal(self):
        result = q.loads("mortal_key_text: mortal_value_text\n? [mortal_inner_text]\n: 1\n")
        (key, value), (tuple_key, _) = result.items()
        for text in (key, value, tuple_key[0]):
            assert sys.getrefcount(text) < 10  # an immortal str's count is at least 2**30

    def test_distinct_keys_are_released(self):
        rounds = itertools.count()

        def load_and_drop():
            round_ = next(rounds)
            text = "".join(f"key_{round_}_{i}: {i}\n" for i in range(50_000))
            assert len(q.loads(text)) == 50_000

        # The first round grows the interpreter's table of interned strs; a
        # later round may still fall on one of its resizes (about 2 MB after
        # a long test run). 300,000 keys kept would take more than 16 MB.
        assert allocation_growth(load_and_drop, runs=6, warm_up=1) < 4_000_000

    def test_values_are_new_str_objects(self):
        a, b = q.loads("[some_value_text, some_value_text]")
        assert a == b and a is not b

    @pytest.mark.parametrize("text, key", [
        ("? [1, 2]\n: v", (1, 2)),
        ("? {x: [1]}\n: v", (("x", (1,)),)),
        ("? [1, [2, 3]]\n: v", (1, (2, 3))),
        ("? []\n: v", ()),
        ("? {a: {b: c}, d: [e]}\n: v", (("a", (("b", "c"),)), ("d", ("e",)))),
        ("[a, b]: v", ("a", "b")),
        ("{[a]: v}", ("a",)),
        ("? [~, true, 1.5]\n: v", (None, True, 1.5)),
    ])
    def test_complex_keys_become_tuples(self, text, key):
        assert q.loads(text) == {key: "v"}

    def test_text_in_a_complex_key_is_not_interned(self):
        result = q.loads("? [complex_key_text]\n: 1\ncomplex_key_text: 2\n")
        tuple_key, str_key = list(result)
        assert tuple_key[0] == str_key and tuple_key[0] is not str_key
        assert sys.intern(str_key) is str_key

    def test_tagged_values_inside_complex_keys_are_dispatched(self):
        assert q.loads("? [!up a]\n: 1", tags={"!up": str.upper}) == {("A",): 1}

    def test_scalar_keys_of_every_kind(self):
        assert q.loads("1: a\n~: b\ntrue: c\n1.5: d\n'1': e\n'': f") == {
            1: "a", None: "b", True: "c", 1.5: "d", "1": "e", "": "f"}

    def test_duplicate_keys_keep_the_first_position_and_the_last_value(self):
        result = q.loads("a: 1\nb: 2\na: 3\n")
        assert result == {"a": 3, "b": 2} and list(result) == ["a", "b"]

    @pytest.mark.parametrize("count", [5, 6, 9, 200])
    def test_large_mappings_with_repeated_keys(self, count):
        # Dicts are made with room for every entry; repeats leave some unused
        # and the dict still grows and reads as one filled key by key.
        keys = [f"k{i % (count // 2 + 1)}" for i in range(count)]
        expected = {}
        for i, key in enumerate(keys):
            expected[key] = i
        result = q.loads("".join(f"{key}: {i}\n" for i, key in enumerate(keys)))
        assert result == expected and list(result) == list(expected)
        result["new"] = 1
        result.update({f"x{i}": i for i in range(50)})
        assert len(result) == len(expected) + 51

    def test_aliases_and_merge_keys(self):
        result = q.loads("base: &b {x: 1, y: 2}\nref: *b\nmerged:\n  <<: *b\n  y: 3\n")
        assert result == {"base": {"x": 1, "y": 2}, "ref": {"x": 1, "y": 2}, "merged": {"x": 1, "y": 3}}
        assert result["base"] is not result["ref"]  # every alias is a copy

    @pytest.mark.parametrize("option", [0, q.OPT_YAML_1_1, q.OPT_PYYAML_COMPAT])
    def test_merge_tag_marks_a_merge_key_in_every_mode(self, option):
        text = ("spec:\n  x-defaults: &x\n    type: object\n    nullable: true\n"
                "  properties:\n    a:\n      !!merge <<: *x\n      type: string\n"
                "    b: {!!merge <<: *x}\n")
        assert q.loads(text, option=option)["spec"]["properties"] == {
            "a": {"type": "string", "nullable": True},
            "b": {"type": "object", "nullable": True},
        }

    def test_explicit_key_wins_over_a_merged_key_python_takes_as_the_same(self):
        assert q.loads("m: {1: a, <<: {1.0: b, true: c, 2: d}}") == {"m": {1: "a", 2: "d"}}

    def test_json_text_with_characters_beyond_the_basic_plane(self):
        # json.dumps writes each of them as a high and a low surrogate escape.
        text = "".join(chr(cp) for cp in range(0x10000, 0x110000, 997)) + "\U0010FFFF \U0001F600 \u00e9"
        dumped = json.dumps({"a": text, "b": [text]})
        assert "\\ud83d\\ude00" in dumped
        assert q.loads(dumped) == {"a": text, "b": [text]}


def depth_of(value):
    depth = 0
    while isinstance(value, (list, dict)) and value:
        value = value[0] if isinstance(value, list) else next(iter(value.values()))
        depth += 1
    return depth


class TestDeepDocuments:
    def test_deepest_flow_sequence(self):
        text = "[" * 999 + "]" * 999
        assert depth_of(run_on_small_stack(lambda: q.loads(text))) == 998  # the innermost list is empty

    def test_deepest_block_mapping(self):
        text = "".join("  " * i + "k:\n" for i in range(998)) + "  " * 998 + "k: v\n"
        assert depth_of(run_on_small_stack(lambda: q.loads(text))) == 999  # and the scalar: 1000 nodes

    def test_aliases_nest_deeper_than_the_text(self):
        inner = "[" * 900 + "x" + "]" * 900
        text = f"- &a {inner}\n- &b {'[' * 900}*a{']' * 900}\n- {'[' * 90}*b{']' * 90}\n"
        result = run_on_small_stack(lambda: q.loads(text))
        assert depth_of(result[2]) == 90 + 900 + 900

    def test_too_deep(self):
        with pytest.raises(ex.QuillmereParseError, match=r"maximum nesting depth \(1000\) exceeded"):
            q.loads("[" * 1001 + "]" * 1001)


class TestInterpreterLock:
    def test_lock_is_released_while_decoding(self):
        text = "# " + "c" * 78 + "\n"
        text = text * 250_000 + "done: true\n"
        # The waiting thread needs the CPU while the lock is free; on a busy
        # machine it may not get it within one call, so a few calls are
        # allowed. A call that keeps the lock never lets it run.
        for _ in range(5):
            result, others_ran = run_letting_others_run(lambda: q.loads(text))
            assert result == {"done": True}
            if others_ran:
                break
        assert others_ran


class TestAllocations:
    @pytest.mark.parametrize("call", [
        lambda: q.loads("a: [1, !t x, {b: big_key_text}]\n? [c]\n: 123456789012345678901234567890",
                        tags={"!t": str.upper}),
        lambda: q.loads_all("--- !t 1\n--- !u [2]", option=q.OPT_PASSTHROUGH_TAG),
        lambda: q.loads(memoryview(b"\xff\xfek\x00:\x00 \x00v\x00")),
    ])
    def test_no_growth_over_many_calls(self, call):
        call()
        assert allocation_growth(call, runs=2000) < 20_000

    def test_keys_are_not_kept_past_the_call(self):
        # Kept any longer, a key would pin the memory of the dropped result
        # around it.
        filler = "".join(f"filler_{i}: {i}\n" for i in range(3000))  # a stream large enough to share keys
        result = q.loads_all(f"dropped_result_key: 1\n{filler}---\ndropped_result_key: 2\n")
        key = next(iter(result[0]))
        del result
        alone = "".join(["alone_", "key_text"])
        if INTERNS_KEYS:
            alone = sys.intern(alone)
        assert sys.getrefcount(key) == sys.getrefcount(alone)

    @pytest.mark.parametrize("text, error", [
        ("a: [1, 2", ex.QuillmereParseError),
        ("!l k: 1", ex.QuillmereDecodeError),
        ("!boom x", ZeroDivisionError),
    ])
    def test_no_growth_on_failures(self, text, error):
        tags = {"!l": lambda v: [v], "!boom": lambda v: 1 / 0}
        for _ in range(50):
            with pytest.raises(error):
                q.loads(text, tags=tags)

        def call():
            try:
                q.loads(text, tags=tags)
            except error:
                pass

        assert allocation_growth(call, runs=1000, warm_up=0) < 20_000
