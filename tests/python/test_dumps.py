"""dumps and the conversion of Python objects: the type dispatch, the date
and time flags, enums, dataclasses, decimals, UUIDs and paths, numpy values,
the `tags` and `default` hooks, the depth limit, the arguments and the null
style, the interpreter lock and per-call references."""

import collections
import dataclasses
import datetime
import decimal
import enum
import json
import pathlib
import sys
import typing
import uuid
import zoneinfo

import pytest

import _quillmere as q
from quillmere import exceptions as ex

from conftest import PACKAGE_DIR, allocation_growth, run_letting_others_run, run_on_small_stack, run_python

try:
    import numpy
except ImportError:
    numpy = None

FLOW = q.OPT_FLOW_STYLE
UTC = datetime.timezone.utc
AMSTERDAM_1900 = datetime.datetime(1900, 1, 1, 0, 0, 0, 5, tzinfo=zoneinfo.ZoneInfo("Europe/Amsterdam"))


def flow(obj, option=0, **kwargs):
    """The converted tree as flow YAML, without the final line break."""
    return q.dumps(obj, option=FLOW | option, **kwargs).decode()[:-1]


class TestDocumentFrame:
    @pytest.mark.parametrize("obj, option, expected", [
        ({"a": 1}, 0, b"a: 1\n"),
        ([], 0, b"[]\n"),
        ({}, 0, b"{}\n"),
        ("x", 0, b"x\n"),
        (None, 0, b"null\n"),
        ({"a": [1, {"b": None}]}, 0, b"a:\n  - 1\n  - b:\n"),
        ({"a": [1, {"b": None}]}, q.OPT_INDENT_2, b"a:\n  - 1\n  - b:\n"),  # 2 is the default already
        ({"a": [1, {"b": None}]}, q.OPT_INDENT_4, b"a:\n    - 1\n    - b:\n"),
        ({"a": [1, 2]}, q.OPT_INDENTLESS_SEQUENCES, b"a:\n- 1\n- 2\n"),
        ({"b": 1, "a": 2}, q.OPT_SORT_KEYS, b"a: 2\nb: 1\n"),
        ({"a": [1, "x y"]}, FLOW, b"{a: [1, x y]}\n"),
        (["it's", "yes"], q.OPT_SINGLE_QUOTES, b"- it's\n- 'yes'\n"),
        (["yes"], 0, b'- "yes"\n'),
        ([1], q.OPT_EXPLICIT_START | q.OPT_EXPLICIT_END, b"---\n- 1\n...\n"),
        ("one\ntwo\n", 0, b"|\n  one\n  two\n"),
        (q.QuillmereTag("!x", 5), 0, b"!x 5\n"),
    ])
    def test_layout(self, obj, option, expected):
        assert q.dumps(obj, option=option) == expected

    def test_width_folds_long_lines(self):
        text = " ".join(["word"] * 12)
        assert q.dumps(text) == (text + "\n").encode()
        folded = q.dumps(text, width=20)
        assert max(map(len, folded.splitlines())) <= 20
        assert q.loads(folded) == text

    def test_result_is_utf8_bytes(self):
        out = q.dumps({"k\u00e9y": "\u65e5\u672c"})
        assert type(out) is bytes and out.decode("utf-8") == "k\u00e9y: \u65e5\u672c\n"


class TestExactAndSubclassTypes:
    class Str(str):
        pass

    class Int(int):
        pass

    class Float(float):
        pass

    class List(list):
        def __iter__(self):
            return reversed(list(list.__iter__(self)))

    class Tuple(tuple):
        pass

    class Dict(dict):
        pass

    @pytest.mark.parametrize("obj, expected", [
        (2 ** 63, "9223372036854775808"),
        (-(2 ** 63), "-9223372036854775808"),
        (-(2 ** 64) - 1, "-18446744073709551617"),
        (-1, "-1"),
        (True, "true"),
        (1.5, "1.5"),
        (Int(7), "7"),
        (Float(2.5), "2.5"),
        (Str("s"), "s"),
        (List([1, 2, 3]), "[3, 2, 1]"),  # a list subclass goes through iter()
        (Tuple((1, "a")), "[1, a]"),
        ((1, (2, 3)), "[1, [2, 3]]"),
        (frozenset(), "[]"),
        (Dict(b=1), "{b: 1}"),
        ({(1, 2): "t", 3: None, None: 4, 1.5: True}, "{[1, 2]: t, 3: null, null: 4, 1.5: true}"),
        (b"abc", "abc"),
        ("\u00e9\U0001F600", "\u00e9\U0001F600"),
        ("a\ud800b\udfff", "a\ufffd\ufffd\ufffdb\ufffd\ufffd\ufffd"),  # each lone surrogate: three U+FFFD
        (collections.OrderedDict([("z", 1), ("a", 2)]), "{z: 1, a: 2}"),
    ])
    def test_conversion(self, obj, expected):
        assert flow(obj) == expected

    def test_sets_in_iteration_order(self):
        items = {"alpha", "beta", "gamma"}
        assert q.loads(q.dumps(items)) == list(items)
        assert q.loads(q.dumps(frozenset(items))) == list(frozenset(items))

    def test_set_changed_during_iteration(self):
        items = {1, 2, 3}

        class Grow:
            pass

        def default(obj):
            items.add(len(items) + 10)
            return 0

        items.add(Grow())
        with pytest.raises(RuntimeError, match="Set changed size during iteration"):
            q.dumps(items, default=default)

    @pytest.mark.parametrize("obj, error, message", [
        (b"\xff", ex.QuillmereEncodeError,
         "cannot serialize bytes that are not valid UTF-8; decode them yourself (e.g. base64) before dumping"),
        (b"\xed\xa0\x80", ex.QuillmereEncodeError,
         "cannot serialize bytes that are not valid UTF-8; decode them yourself (e.g. base64) before dumping"),
        (bytearray(b"abc"), ex.QuillmereUnserializableError, "type bytearray is not YAML serializable"),
        (memoryview(b"abc"), ex.QuillmereUnserializableError, "type memoryview is not YAML serializable"),
        (object(), ex.QuillmereUnserializableError, "type object is not YAML serializable"),
        (1j, ex.QuillmereUnserializableError, "type complex is not YAML serializable"),
    ])
    def test_refused(self, obj, error, message):
        with pytest.raises(error) as info:
            q.dumps(obj)
        assert str(info.value) == message
        assert isinstance(info.value, ex.QuillmereError)

    def test_unserializable_is_a_type_error(self):
        with pytest.raises(TypeError):
            q.dumps({"k": object()})

    def test_int_beyond_the_digit_limit_raises_the_interpreter_error(self):
        limit = sys.get_int_max_str_digits()
        if limit == 0:
            pytest.skip("no digit limit in this interpreter")
        with pytest.raises(ValueError, match="Exceeds the limit"):
            q.dumps(10 ** (limit + 1))


class TestSubclassesByTheirOwnValue:
    """int, float and str subclasses are written with their own value, as
    json.dumps writes them, as values and as keys: an overridden __str__,
    __repr__, __int__ or __float__ plays no part, and one that raises is
    never called."""

    class Color(str, enum.Enum):
        RED = "red"

    class Shout(str):
        def __str__(self):
            return self.upper()

    class Unprintable:
        def __repr__(self):
            raise KeyError("no text")

        __str__ = __repr__

    class Broken(Unprintable, str):
        pass

    class Big(Unprintable, int):
        def __int__(self):
            return 0

    class Half(Unprintable, float):
        def __float__(self):
            return 0.0

    @pytest.mark.parametrize("obj, text", [
        (Color.RED, "red"),
        (Shout("hi"), "hi"),
        (Broken("x"), "x"),
        (Big(7), "7"),
        (Big(2 ** 70), "1180591620717411303424"),
        (Half(2.5), "2.5"),
    ], ids=["str-enum", "str-override", "str-raises", "int", "big-int", "float"])
    def test_values_and_keys(self, obj, text, monkeypatch):
        unraisable = []
        monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
        data = [obj, {obj: obj}]
        assert flow(data) == f"[{text}, {{{text}: {text}}}]"
        assert q.to_json(data).decode() == json.dumps(data, separators=(",", ":"))
        assert unraisable == []


class TestEnums:
    class Color(enum.Enum):
        RED = "red"
        PAIR = (1, 2)
        NESTED = {"k": [None]}

    class Level(enum.IntEnum):
        HIGH = 3

    class Perm(enum.IntFlag):
        R = 4
        W = 2

    class Mode(enum.StrEnum):
        FAST = "fast"

    class Mixed(str, enum.Enum):
        ON = "on"

    class Temperature(float, enum.Enum):
        BOILING = 100.0

    @pytest.mark.parametrize("member, expected", [
        (Color.RED, "red"),
        (Color.PAIR, "[1, 2]"),
        (Color.NESTED, "{k: [null]}"),
        (Level.HIGH, "3"),
        (Perm.R | Perm.W, "6"),
        (Mode.FAST, "fast"),
        (Mixed.ON, '"on"'),  # not a StrEnum, but a str all the same
        (Temperature.BOILING, "100.0"),
    ])
    def test_member(self, member, expected):
        assert flow(member) == expected

    def test_value_needing_default(self):
        class Wrapped(enum.Enum):
            X = object()

        assert flow(Wrapped.X, default=lambda o: "dflt") == "dflt"


@dataclasses.dataclass
class Point:
    x: int
    y: typing.Any = None


@dataclasses.dataclass
class WithPseudoFields:
    a: int
    scale: typing.ClassVar[int] = 10
    seed: dataclasses.InitVar[int] = 0
    b: str = "b"
    token: dataclasses.InitVar[str] = dataclasses.field(default="t")

    def __post_init__(self, seed, token):
        pass


@dataclasses.dataclass
class InitVarWithoutDefault:
    a: int
    secret: dataclasses.InitVar[str]
    limit: typing.ClassVar[int] = 3

    def __post_init__(self, secret):
        pass


@dataclasses.dataclass(slots=True, frozen=True)
class Slotted:
    z: int
    a: list


class TestDataclasses:
    @pytest.mark.parametrize("obj, expected", [
        (Point(1, [2]), '{x: 1, "y": [2]}'),
        (Point(1, Point(2)), '{x: 1, "y": {x: 2, "y": null}}'),
        (Slotted(1, [Point(0)]), '{z: 1, a: [{x: 0, "y": null}]}'),
        (WithPseudoFields(1), "{a: 1, b: b}"),
        (InitVarWithoutDefault(1, "hidden"), "{a: 1}"),
    ])
    def test_fields_in_definition_order(self, obj, expected):
        assert flow(obj) == expected

    def test_class_object_is_not_a_dataclass(self):
        with pytest.raises(ex.QuillmereUnserializableError, match="^type type is not YAML serializable$"):
            q.dumps(Point)
        assert flow(Point, default=lambda cls: cls.__name__) == "Point"

    def test_passthrough_dataclass(self):
        with pytest.raises(ex.QuillmereUnserializableError, match="type Point is not"):
            q.dumps(Point(1), option=q.OPT_PASSTHROUGH_DATACLASS)
        assert flow(Point(1), q.OPT_PASSTHROUGH_DATACLASS, default=dataclasses.astuple) == "[1, null]"

    def test_hand_made_field_table(self):
        class Fake:
            __dataclass_fields__ = {"b": None, "a": None}
            a, b = 1, 2

        class Names:
            __dataclass_fields__ = ("a",)
            a = 5

        class BadName:
            __dataclass_fields__ = {1: None}

        assert flow(Fake()) == "{b: 2, a: 1}"
        assert flow(Names()) == "{a: 5}"
        with pytest.raises(TypeError, match="^'int' object is not an instance of 'str'$"):
            q.dumps(BadName())

    def test_attribute_error_passes_through(self):
        @dataclasses.dataclass
        class Lazy:
            v: int = 0

            def __getattribute__(self, name):
                if name == "v":
                    raise LookupError("v")
                return object.__getattribute__(self, name)

        with pytest.raises(LookupError):
            q.dumps(Lazy())


class TestDecimalUuidPath:
    class FsBytes:
        def __fspath__(self):
            return b"/raw"

    class FsText:
        def __fspath__(self):
            return "/from/fspath"

    @pytest.mark.parametrize("obj, expected", [
        (decimal.Decimal("1.5"), "1.5"),
        (decimal.Decimal("-0"), "-0.0"),
        (decimal.Decimal("1e400"), ".inf"),
        (decimal.Decimal("NaN"), ".nan"),
        (decimal.Decimal("sNaN"), "sNaN"),
        (uuid.UUID("12345678-1234-5678-1234-567812345678"), "12345678-1234-5678-1234-567812345678"),
        (pathlib.PurePosixPath("/etc/hosts"), "/etc/hosts"),
        (pathlib.Path("relative/file.yaml"), "relative/file.yaml"),
        (FsText(), "/from/fspath"),
    ])
    def test_conversion(self, obj, expected):
        assert flow(obj) == expected

    def test_lookalikes_by_name_and_module(self):
        Decimal = type("Decimal", (), {"__module__": "mymath", "__float__": lambda self: 1.0})
        Uuid = type("UUID", (), {"__module__": "uuid", "__str__": lambda self: "u-text"})
        BadModule = type("UUID", (), {"__module__": 5})
        Subclass = type("Decimal", (decimal.Decimal,), {})  # its module is this one
        for obj in (Decimal(), Subclass("1")):
            with pytest.raises(ex.QuillmereUnserializableError, match="type Decimal is not"):
                q.dumps(obj)
        assert flow(Uuid()) == "u-text"
        with pytest.raises(TypeError, match="'int' object is not an instance of 'str'"):
            q.dumps(BadModule())

    def test_bytes_path_is_not_handled(self):
        with pytest.raises(ex.QuillmereUnserializableError, match="type FsBytes is not"):
            q.dumps(self.FsBytes())
        assert flow(self.FsBytes(), default=lambda p: "dflt") == "dflt"


@pytest.mark.skipif(numpy is None, reason="numpy is not installed")
class TestNumpy:
    np = numpy

    @pytest.mark.parametrize("make, expected", [
        (lambda np: np.int64(5), "5"),
        (lambda np: np.uint64(2 ** 64 - 1), "18446744073709551615"),
        (lambda np: np.bool_(True), "true"),
        (lambda np: np.array([[1, 2], [3, 4]]), "[[1, 2], [3, 4]]"),
        (lambda np: np.array([1.5, np.nan]), "[1.5, .nan]"),
        (lambda np: np.array(7), "7"),
        (lambda np: np.zeros(0), "[]"),
        (lambda np: np.array(["a", "b"]), "[a, b]"),
        (lambda np: {"v": np.arange(3, dtype=np.int8)}, "{v: [0, 1, 2]}"),
    ])
    def test_with_the_flag(self, make, expected):
        assert flow(make(self.np), q.OPT_SERIALIZE_NUMPY) == expected

    def test_without_the_flag(self):
        np = self.np
        with pytest.raises(ex.QuillmereUnserializableError, match="^type int64 is not YAML serializable$"):
            q.dumps(np.int64(5))
        with pytest.raises(ex.QuillmereUnserializableError, match="^type ndarray is not YAML serializable$"):
            q.dumps(np.array([1]))
        # float64 and str_ subclass float and str: no flag needed.
        assert flow([np.float64(0.5), np.str_("s")]) == "[0.5, s]"

    def test_object_array_items_follow_the_rules(self):
        np = self.np
        array = np.array([Point(1), decimal.Decimal("2.5")], dtype=object)
        assert flow(array, q.OPT_SERIALIZE_NUMPY) == '[{x: 1, "y": null}, 2.5]'

    def test_first_fill_from_many_threads(self):
        # A fresh interpreter: the threads race to fill the numpy cell.
        code = (
            "import threading, numpy, _quillmere as q\n"
            "out = []\n"
            "def run():\n"
            "    out.append(q.dumps(numpy.int32(3), option=q.OPT_SERIALIZE_NUMPY))\n"
            "threads = [threading.Thread(target=run) for _ in range(8)]\n"
            "[t.start() for t in threads]; [t.join() for t in threads]\n"
            "assert out == [b'3\\n'] * 8, out\n"
        )
        result = run_python(code, PACKAGE_DIR, flags=("-X", "faulthandler"))
        assert result.returncode == 0, result.stderr

    def test_failed_import_is_remembered(self):
        code = (
            "import sys, _quillmere as q\n"
            "sys.modules['numpy'] = None\n"
            "class Fake:\n"
            "    def tolist(self): return [1]\n"
            "try:\n"
            "    q.dumps(Fake(), option=q.OPT_SERIALIZE_NUMPY)\n"
            "except TypeError as e:\n"
            "    assert 'type Fake is not YAML serializable' in str(e)\n"
            "del sys.modules['numpy']\n"
            "import numpy\n"
            "try:\n"
            "    q.dumps(numpy.int64(1), option=q.OPT_SERIALIZE_NUMPY)\n"
            "except TypeError as e:\n"
            "    print(e)\n"
        )
        result = run_python(code, PACKAGE_DIR)
        assert result.returncode == 0, result.stderr
        assert result.stdout == "type int64 is not YAML serializable\n"


class TestTagsHook:
    class Stamp(datetime.datetime):
        pass

    def test_exact_type_only(self):
        tags = {datetime.datetime: lambda d: ("!dt", d.year)}
        when = datetime.datetime(2024, 1, 2)
        assert q.dumps(when, tags=tags) == b"!dt 2024\n"
        # A subclass is not looked up: it takes the date rule.
        assert flow(self.Stamp(2024, 1, 2), tags=tags) == "2024-01-02T00:00:00"

    def test_builtin_types_are_never_looked_up(self):
        called = []
        tags = {t: called.append for t in (int, str, float, bool, list, dict, tuple, bytes, set, q.QuillmereTag)}
        assert flow([1, "s", 1.5, True, [], {}, (), b"b", set(), q.QuillmereTag("!t", 1)], tags=tags) == \
            "[1, s, 1.5, true, [], {}, [], b, [], !t 1]"
        assert called == []

    @pytest.mark.parametrize("result, expected", [
        (q.QuillmereTag("!p", [1, 2]), "!p [1, 2]"),
        (("!p", {"x": 1}), "!p {x: 1}"),
        (("!p", pathlib.PurePosixPath("/a")), "!p /a"),
    ])
    def test_callback_results(self, result, expected):
        assert flow(Point(0), tags={Point: lambda p: result}) == expected

    @pytest.mark.parametrize("result, error, message", [
        ("!p", ex.QuillmereEncodeError, "a tags callback must return a QuillmereTag or a (tag, value) tuple"),
        (("!p", 1, 2), ex.QuillmereEncodeError, "a tags callback must return a QuillmereTag or a (tag, value) tuple"),
        (["!p", 1], ex.QuillmereEncodeError, "a tags callback must return a QuillmereTag or a (tag, value) tuple"),
        ((5, 1), TypeError, "'int' object is not an instance of 'str'"),
        (("!\ud800", 1), UnicodeEncodeError, None),
    ])
    def test_bad_callback_results(self, result, error, message):
        with pytest.raises(error) as info:
            q.dumps(Point(0), tags={Point: lambda p: result})
        if message is not None:
            assert str(info.value) == message

    def test_callback_exception_and_unhashable_lookup(self):
        with pytest.raises(ZeroDivisionError):
            q.dumps(Point(0), tags={Point: lambda p: 1 / 0})

        class Key:
            def __eq__(self, other):
                raise RuntimeError("compared")

            __hash__ = lambda self: hash(Point)  # noqa: E731

        with pytest.raises(RuntimeError, match="compared"):
            q.dumps(Point(0), tags={Key(): None})

    def test_default_applies_inside_a_callback_result(self):
        seen = []

        def default(obj):
            seen.append(obj)
            return "made"

        marker = object()
        assert flow(Point(0), tags={Point: lambda p: ("!p", [marker])}, default=default) == "!p [made]"
        assert seen == [marker]


class TestDefault:
    def test_called_once_and_not_on_its_result(self):
        calls = []

        class Thing:
            pass

        def default(obj):
            calls.append(obj)
            return {"inner": Thing()}

        thing = Thing()
        with pytest.raises(ex.QuillmereUnserializableError, match="^type Thing is not YAML serializable$"):
            q.dumps(thing, default=default)
        assert calls == [thing]

    def test_default_per_object(self):
        calls = []
        objs = [object(), object()]
        assert flow(objs, default=lambda o: calls.append(o) or len(calls)) == "[1, 2]"
        assert calls == objs

    def test_exception_passes_through(self):
        with pytest.raises(KeyError):
            q.dumps(object(), default=lambda o: {}["missing"])

    def test_not_callable_fails_only_when_needed(self):
        assert q.dumps([1], default=5) == b"- 1\n"
        with pytest.raises(TypeError, match="not callable"):
            q.dumps([object()], default=5)


def nested_lists(depth, leaf=None):
    """A list whose innermost list lies `depth` levels below the argument."""
    value = [] if leaf is None else [leaf]
    for _ in range(depth):
        value = [value]
    return value


class TestDepth:
    MESSAGE = "^object is too deeply nested to serialize \\(possible self-reference\\)$"

    @pytest.mark.parametrize("dump", [q.dumps, q.to_json])
    def test_999_levels_convert_and_1000_fail(self, dump):
        assert dump(nested_lists(999))
        with pytest.raises(ex.QuillmereEncodeError, match=self.MESSAGE):
            dump(nested_lists(999, leaf=1))  # the scalar lies at level 1000
        with pytest.raises(ex.QuillmereEncodeError, match=self.MESSAGE):
            dump(nested_lists(1000))

    def test_every_kind_of_level_counts(self):
        value = 1
        kinds = [lambda v: {"k": v}, lambda v: (v,), lambda v: Point(v), lambda v: q.QuillmereTag("!t", v)]
        for i in range(1000):
            value = kinds[i % 4](value)
        with pytest.raises(ex.QuillmereEncodeError, match=self.MESSAGE):
            q.dumps(value)

    def test_deep_conversion_on_a_small_stack(self):
        out = run_on_small_stack(lambda: q.dumps(nested_lists(999), option=FLOW))
        assert out == b"[" * 1000 + b"]" * 1000 + b"\n"

    @pytest.mark.parametrize("make", [
        lambda: (lambda l: (l.append(l), l)[1])([]),
        lambda: (lambda d: (d.update(me=d), d)[1])({}),
        lambda: (lambda p: (setattr(p, "y", p), p)[1])(Point(1)),
    ])
    def test_self_reference(self, make):
        with pytest.raises(ex.QuillmereEncodeError, match=self.MESSAGE):
            q.dumps(make())

    def test_next_call_after_a_failure_works(self):
        with pytest.raises(ex.QuillmereEncodeError):
            q.dumps(nested_lists(1000))
        assert q.dumps({"a": [1]}) == b"a:\n  - 1\n"


class TestSnapshots:
    def test_dict_changed_by_a_hook(self):
        data = {"a": 1}

        def default(obj):
            data.clear()
            data["late"] = 2
            return "d"

        data["b"] = object()
        data["c"] = 3
        assert flow(data, default=default) == "{a: 1, b: d, c: 3}"

    def test_list_changed_by_a_hook(self):
        data = [1]

        def default(obj):
            data.clear()
            return "d"

        data += [object(), 2, 3]
        assert flow(data, default=default) == "[1, d, 2, 3]"


class TestArguments:
    @pytest.mark.parametrize("kwargs, error, note", [
        ({"option": "x"}, TypeError, "option"),
        ({"option": -1}, OverflowError, "option"),
        ({"option": 2 ** 64}, OverflowError, "option"),
        ({"null_style": 5}, TypeError, "null_style"),
        ({"null_style": "\ud800"}, UnicodeEncodeError, "null_style"),
        ({"tags": []}, TypeError, "tags"),
        ({"width": 1.5}, TypeError, "width"),
        ({"width": -1}, OverflowError, "width"),
    ])
    def test_extraction_errors(self, kwargs, error, note):
        with pytest.raises(error) as info:
            q.dumps(None, **kwargs)
        assert info.value.__notes__ == [f"while processing '{note}'"]

    def test_order_of_extraction(self):
        with pytest.raises(TypeError) as info:
            q.dumps(None, width="w", tags=[], null_style=5, option="o")
        assert info.value.__notes__ == ["while processing 'option'"]
        with pytest.raises(TypeError) as info:
            q.dumps(None, width="w", tags=[], null_style=5)
        assert info.value.__notes__ == ["while processing 'null_style'"]

    def test_none_counts_as_absent(self):
        assert q.dumps([None], default=None, option=None, null_style=None, tags=None, width=None) == b"-\n"

    def test_dict_subclass_for_tags_and_unknown_option_bits(self):
        class Tags(dict):
            pass

        assert q.dumps(Point(1), tags=Tags({Point: lambda p: ("!p", p.x)}), option=1 << 62) == b"!p 1\n"
        assert q.dumps(1, width=2 ** 64 - 1) == b"1\n"

    @pytest.mark.parametrize("call, message", [
        (lambda: q.dumps(), "dumps() missing required argument 'obj' (pos 1)"),
        (lambda: q.dumps(1, 2), "dumps() takes exactly 1 positional argument (2 given)"),
        (lambda: q.dumps(obj=1), "dumps() got some positional-only arguments passed as keyword arguments: 'obj'"),
        (lambda: q.dumps(1, indent=2), "dumps() got an unexpected keyword argument 'indent'"),
    ])
    def test_signature_errors(self, call, message):
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message

    def test_text_signature(self):
        assert q.dumps.__text_signature__ == (
            "(obj, /, *, default=None, option=None, null_style=None, tags=None, width=None)")


class TestNullStyle:
    KEYWORD, TILDE = q.OPT_NULL_AS_KEYWORD, q.OPT_NULL_AS_TILDE

    @pytest.mark.parametrize("null_style, option, root, in_mapping", [
        (None, 0, "null", "a:"),
        (None, KEYWORD, "null", "a: null"),
        (None, TILDE, "~", "a: ~"),
        ("null", 0, "null", "a: null"),
        ("empty", KEYWORD, "null", "a:"),
        ("~", 0, "~", "a: ~"),
        ("tilde", 0, "~", "a: ~"),
        ("null", KEYWORD | TILDE, "null", "a: null"),  # a given null_style decides alone
        ("~", KEYWORD | TILDE, "~", "a: ~"),
    ])
    def test_style(self, null_style, option, root, in_mapping):
        assert q.dumps(None, null_style=null_style, option=option) == f"{root}\n".encode()
        assert q.dumps({"a": None}, null_style=null_style, option=option) == f"{in_mapping}\n".encode()
        assert flow([None], option, null_style=null_style) == f"[{root}]"

    def test_both_bits_without_null_style(self):
        with pytest.raises(ValueError) as info:
            q.dumps(None, option=self.KEYWORD | self.TILDE)
        assert str(info.value) == "OPT_NULL_AS_KEYWORD and OPT_NULL_AS_TILDE are mutually exclusive"
        assert not hasattr(info.value, "__notes__")

    @pytest.mark.parametrize("text, shown", [
        ("Null", '"Null"'),
        ("NULL", '"NULL"'),
        ("", '""'),
        (" null", '" null"'),
        ('say "hi" \\', '"say \\"hi\\" \\\\"'),
        ("a\tb\rc\nd", '"a\\tb\\rc\\nd"'),
        ("\x00\x1b\x7f", '"\\u{0}\\u{1b}\\u{7f}"'),
        ("caf\u00e9 \u2028\U0001F600", '"caf\u00e9 \\u{2028}\U0001F600"'),
        ("it's", '"it\'s"'),
    ])
    def test_rejected_text(self, text, shown):
        with pytest.raises(ValueError) as info:
            q.dumps(None, null_style=text)
        assert str(info.value) == f"null_style must be 'null', 'empty', or '~', not {shown}"


class TestInterpreterLock:
    def test_lock_is_released_while_writing(self):
        data = [{"key": "value " * 8, "n": i} for i in range(200_000)]
        out, others_ran = run_letting_others_run(lambda: q.dumps(data))
        assert out.startswith(b"- key: ")
        assert others_ran


class TestReferences:
    class Thing:
        pass

    def test_no_reference_is_kept(self):
        thing = self.Thing()
        payload = ["payload", 10 ** 30]
        default = lambda o: payload  # noqa: E731
        tag_value = [1]
        tags = {Point: lambda p: ("!p", tag_value)}
        point = Point(thing, Point(2))
        watched = [thing, payload, default, tag_value, tags, point]
        before = [sys.getrefcount(o) for o in watched]
        for _ in range(50):
            q.dumps({"a": [point, thing], "b": q.QuillmereTag("!t", tag_value)}, default=default)
            q.dumps([point], default=default, tags=tags)
            with pytest.raises(ex.QuillmereEncodeError):
                q.dumps([point, thing, nested_lists(1000)], default=default)
            with pytest.raises(ex.QuillmereUnserializableError):
                q.dumps([point, thing], default=lambda o: self.Thing())
        assert [sys.getrefcount(o) for o in watched] == before

    @pytest.mark.parametrize("dump", [q.dumps, q.to_json])
    def test_no_growth_over_many_calls(self, dump):
        Subclasses = TestSubclassesByTheirOwnValue
        data = {Subclasses.Color.RED: [Subclasses.Broken("x\x9f\ufffe"), Subclasses.Big(2 ** 70)],
                "s\u0085": Subclasses.Half(0.5)}
        assert allocation_growth(lambda: dump(data), runs=2000) < 20_000
