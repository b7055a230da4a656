"""loads and loads_all with OPT_ANNOTATED: what every value carries, the
package's scalar classes and their eleven-argument call, and the rules the
annotated road shares with every road (merge keys, aliases, documents,
duplicate keys, errors)."""

import copy
import logging
import pickle
import textwrap
from pathlib import Path
import tracemalloc

import pytest

import _quillmere as q
import quillmere
from quillmere import exceptions as ex
from conftest import run_python

A = q.OPT_ANNOTATED
NUMBERS = q.OPT_ANNOTATED | q.OPT_ANNOTATE_NUMBERS
# A comment naming a directive sends a text down the directive road, which
# composes trees (a text naming none takes the plain road).
TREE_MARK = "\n# !include\n"


def place(value):
    """Start (1-based line, column), end (line, column), byte range."""
    return (value.__line__, value.__column__, value.__end_line__, value.__end_column__, value.__offset__,
            value.__end_offset__)


def bomb(levels, width=9):
    lines = [f"a0: &a0 [{', '.join(['lol'] * width)}]"]
    lines += [f"a{i}: &a{i} [{', '.join([f'*a{i - 1}'] * width)}]" for i in range(1, levels)]
    return "\n".join(lines) + "\n"


class TestValues:
    def test_one_pair(self):
        d = q.loads("a: b", option=A)
        assert type(d) is q.QuillmereAnnotatedDict and d == {"a": "b"}
        (key, value), = d.items()
        assert type(key) is type(value) is quillmere.QuillmereAnnotatedStr
        assert place(d) == (1, 1, 1, 5, 0, 4)
        assert place(key) == (1, 1, 1, 2, 0, 1) and place(value) == (1, 4, 1, 5, 3, 4)
        assert value.__style__ == "plain" and value.__file__ is None and d.__file__ is None
        assert value.__source_tag__ is None and value.__source_target__ is None

    def test_numbers_with_and_without_their_option(self):
        assert type(q.loads("n: 5", option=A)["n"]) is int
        n = q.loads("n: 5\nf: 2.5", option=NUMBERS)
        assert type(n["n"]) is quillmere.QuillmereAnnotatedInt and n["n"] == 5 and place(n["n"]) == (1, 4, 1, 5, 3, 4)
        assert type(n["f"]) is quillmere.QuillmereAnnotatedFloat and n["f"] == 2.5

    def test_booleans_nulls_and_big_integers_stay_plain(self):
        d = q.loads("t: true\nn: null\ne:\nb: 123456789012345678901234567890", option=NUMBERS)
        assert [type(v) for v in d.values()] == [bool, type(None), type(None), int]

    @pytest.mark.parametrize("text, style", [
        ("a: x", "plain"), ("a: 'x'", "single"), ('a: "x"', "double"), ("a: |\n  x\n", "literal"),
        ("a: >\n  x\n", "folded"),
    ])
    def test_styles(self, text, style):
        assert q.loads(text, option=A)["a"].__style__ == style

    def test_sequences_and_nested_positions(self):
        d = q.loads("x:\n  - [1, b]\n  - {c: d}\n", option=A)
        outer = d["x"]
        assert type(outer) is q.QuillmereAnnotatedList and place(outer) == (2, 3, 3, 11, 5, 24)
        assert place(outer[0]) == (2, 5, 2, 11, 7, 13) and place(outer[0][1]) == (2, 9, 2, 10, 11, 12)
        assert place(outer[1]) == (3, 5, 3, 11, 18, 24)

    def test_columns_count_code_points_and_offsets_bytes(self):
        text = "\ufeffé: ÿx\r\nb: y"
        data = text.encode("utf-8")
        d = q.loads(data, option=A)
        (e, yx), (b, y) = d.items()
        assert (e.__column__, yx.__column__, yx.__end_column__) == (1, 4, 6)
        assert data[yx.__offset__:yx.__end_offset__].decode() == "ÿx"
        assert (y.__line__, y.__column__) == (2, 4) and data[y.__offset__:y.__end_offset__] == b"y"

    def test_custom_tags_are_the_source_tag_and_reach_the_callables(self):
        seen = []
        d = q.loads("a: !mytag x\nb: !!str 5\nc: !m {k: v}\nd: ! e", option=A,
                    tag_handler=lambda tag, value: seen.append((tag, value)) or value)
        assert (d["a"].__source_tag__, d["a"].__source_target__) == ("!mytag", None)
        assert d["b"] == "5" and d["b"].__source_tag__ is None
        assert d["c"].__source_tag__ == "!m" and not d["c"].is_include
        assert d["d"].__source_tag__ == "!"
        assert [tag for tag, _ in seen] == ["!mytag", "!m", "!"]
        assert type(seen[1][1]) is q.QuillmereAnnotatedDict

    def test_aliases_are_the_anchors_object_with_its_positions(self):
        d = q.loads("a: &x {k: 1}\nb: *x\nc: [*x]", option=A)
        assert d["a"] is d["b"] is d["c"][0]
        assert place(d["b"]) == (1, 7, 1, 13, 6, 12)

    def test_copies_and_pickles_keep_the_positions(self):
        import copy
        import pickle

        d = q.loads("a: [b, {c: 1.5}]", option=NUMBERS)
        for clone in (copy.deepcopy(d), *(pickle.loads(pickle.dumps(d, p)) for p in range(6))):
            assert clone == d and type(clone) is type(d)
            assert place(clone) == place(d) and place(clone["a"][1]) == place(d["a"][1])
            assert place(clone["a"][0]) == place(d["a"][0]) and place(clone["a"][1]["c"]) == place(d["a"][1]["c"])


class TestLoadsAll:
    def test_every_document_annotated_empty_ones_counted(self):
        docs = q.loads_all("a: 1\n---\n--- [x]\n", option=A)
        assert docs == q.loads_all("a: 1\n---\n--- [x]\n") == [{"a": 1}, None, ["x"]]
        assert type(docs[0]) is q.QuillmereAnnotatedDict and type(docs[2]) is q.QuillmereAnnotatedList
        assert docs[2].__line__ == 3 and docs[2][0].__file__ is None

    def test_anchors_are_per_document(self):
        with pytest.raises(ex.QuillmereParseError, match=r"^unknown alias: \*a at line 2, column 5$"):
            q.loads_all("--- &a 1\n--- *a\n", option=A)
        assert q.loads_all("--- &a x\n--- [&a y, *a]\n", option=A) == ["x", ["y", "y"]]

    def test_refused_options(self):
        with pytest.raises(ValueError, match="loads_all"):
            q.loads_all("a", option=A | q.OPT_INCLUDES)


# Each rule below holds on every road: the plain one, the annotated one,
# the directive road (composing trees) and the annotated loads_all.
ROADS = [
    pytest.param(lambda text, **kw: q.loads(text, **kw), id="plain"),
    pytest.param(lambda text, option=0, **kw: q.loads(text, option=option | A, **kw), id="annotated"),
    pytest.param(lambda text, option=0, **kw: q.loads(text + TREE_MARK, option=option | q.OPT_INCLUDES, **kw),
                 id="directive"),
    pytest.param(lambda text, option=0, **kw: q.loads(text + TREE_MARK, option=option | A | q.OPT_INCLUDES, **kw),
                 id="annotated-directive"),
    pytest.param(lambda text, option=0, **kw: (q.loads_all(text, option=option | A, **kw) or [None])[0],
                 id="loads_all-annotated"),
]


@pytest.mark.parametrize("load", ROADS)
class TestEveryRoad:
    @pytest.mark.parametrize("text, expected", [
        ("b: &b {x: 1, y: 2}\nm: {<<: *b, y: 3}", {"y": 3, "x": 1}),
        ("a: &a {k: 1}\nb: &b {k: 2, j: 2}\nm: {<<: [*a, *b]}", {"k": 1, "j": 2}),
        ("a: &a {k: 1}\nb: &b {k: 2}\nm: {<<: *a, <<: *b}", {"k": 1}),
        ("m: {<<: 5}", {"<<": 5}),
        ("a: &a {k: 1}\nm: {<<: [*a, 5]}", {"k": 1, "<<": [5]}),
        ("m: {<<: ~}", {}),
        ("a: &a {k: 1}\nm: {'<<': 1, <<: *a}", {"<<": 1, "k": 1}),
        ("m: {<<: {k: 1, k: 2}}", {"k": 1}),
        ("a: &a {k: 1, <<: {j: 2}}\nm: {<<: *a}", {"k": 1, "j": 2}),
        ("m: {<<: !t {k: 1}}", {"<<": {"k": 1}}),
        ("m: [<<]", ["<<"]),
    ])
    def test_merge_keys(self, load, text, expected):
        value = load(text)
        assert value["m"] == expected and list(value["m"]) == list(expected)

    def test_merged_values_keep_their_own_positions(self, load):
        value = load("base: &b {x: [1], y: 2}\nm:\n  <<: *b\n  y: 3\n")
        m = value["m"]
        assert m == {"y": 3, "x": [1]}
        if isinstance(m, q.QuillmereAnnotatedDict):
            assert m["x"] is value["base"]["x"]
            assert place(m["x"]) == place(value["base"]["x"]) and m["x"].__line__ == 1
            assert [k.__line__ for k in m] == [4, 1]

    def test_unknown_alias(self, load):
        with pytest.raises(ex.QuillmereParseError) as info:
            load("a: 1\nb: *nope")
        assert str(info.value) == "unknown alias: *nope at line 2, column 4"
        assert (info.value.line, info.value.column, info.value.file) == (2, 4, None)

    def test_self_and_forward_references_are_unknown(self, load):
        for text in ("a: &x [*x]", "a: *x\nb: &x 1"):
            with pytest.raises(ex.QuillmereParseError, match=r"unknown alias: \*x"):
                load(text)

    def test_empty_explicit_documents_count(self, load):
        assert load("---\n--- b\n") is None
        assert load("--- a\n--- b\n") == "a"

    @pytest.mark.parametrize("text", ["1: a\n1.0: b", "true: a\n1: b", "? [1]\n: a\n? [1]\n: b"])
    def test_keys_python_collapses_are_duplicates(self, load, text):
        with pytest.raises(ex.QuillmereDuplicateKeyError):
            load(text, option=q.OPT_DUPLICATE_KEYS_ERROR)
        assert len(load(text)) == 1

    def test_alias_bomb_within_the_budget(self, load):
        if load is ROADS[0].values[0]:
            pytest.skip("the plain road copies every alias")
        text = bomb(8)  # 9**8 = 43 million strings if copied
        tracemalloc.start()
        try:
            with pytest.raises(ex.QuillmereParseError, match=r"possible alias bomb"):
                load(text)
            value = load(bomb(7))
            _, peak = tracemalloc.get_traced_memory()
        finally:
            tracemalloc.stop()
        assert peak < 2_000_000
        assert value["a6"][0] is value["a6"][8]

    def test_alias_bomb_beyond_the_budget_is_the_plain_roads_error(self, load):
        with pytest.raises(ex.QuillmereParseError) as info:
            load(bomb(10))
        assert str(info.value) == "document expands to too many nodes (possible alias bomb) at line 8, column 10"

    @pytest.mark.parametrize("text", ["a: 1\nb: !!int abc", "a: 1\n--- !!float x\n"])
    def test_a_text_its_core_tag_cannot_read(self, load, text):
        with pytest.raises(ex.QuillmereParseError) as info:
            load(text)
        assert str(info.value) == str(pytest.raises(ex.QuillmereParseError, q.loads, text).value)

    def test_tag_handles(self, load):
        seen = []
        text = "%TAG !e! tag:example.com,2000:\n%TAG !! tag:other.org,2000:\n---\na: !e!x 1\nb: !!int 2\n"
        value = load(text, tag_handler=lambda tag, v: seen.append(tag) or v)
        assert value == {"a": "1", "b": "2"}
        assert seen == ["tag:example.com,2000:x", "tag:other.org,2000:int"]
        assert load("a: !<tag:yaml.org,2002:int> 7") == {"a": 7}

    def test_collection_keys(self, load):
        assert load("? [a, {b: [1]}]\n: v") == {("a", (("b", (1,)),)): "v"}
        assert load("? {<<: {a: 1}}\n: v") == {(("<<", (("a", 1),)),): "v"}
        with pytest.raises(ex.QuillmereDecodeError, match="^mapping key is not hashable in Python$"):
            load("? !t [1]\n: v")
        assert load("? !t [1]\n: v", tags={"!t": tuple}) == {(1,): "v"}

    def test_warnings(self, load, caplog):
        with caplog.at_level(logging.WARNING, logger="quillmere"):
            load("a: 1\na: 2\nb: yes", option=q.OPT_DUPLICATE_KEYS_WARN | q.OPT_YAML_1_1_WARN | q.OPT_YAML_1_1)
        assert [r.getMessage() for r in caplog.records] == [
            "duplicate mapping key 'a' at line 2, column 1; keeping the last value",
            "YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str in 1.2 at line 3, column 4",
        ]

    def test_complex_keys_refused(self, load):
        with pytest.raises(ex.QuillmereComplexKeyError):
            load("? [1]\n: v", option=q.OPT_REJECT_COMPLEX_KEYS)


class TestScalarClasses:
    FAKE = textwrap.dedent('''
        calls = []

        class _Recording:
            def __new__(cls, *args, **kwargs):
                calls.append((cls.__name__, args, kwargs))
                return args[0]

        class QuillmereAnnotatedStr(_Recording): pass
        class QuillmereAnnotatedInt(_Recording): pass
        class QuillmereAnnotatedFloat(_Recording): pass
        ''')

    def fake(self, fake_package, init):
        folder = fake_package(Path(ex.__file__).read_text(encoding="utf-8"))
        (folder / "quillmere" / "__init__.py").write_text(init)
        return folder

    def test_the_eleven_argument_call(self, fake_package):
        folder = self.fake(fake_package, self.FAKE)
        result = run_python(textwrap.dedent('''
            import _quillmere as q, quillmere
            value = q.loads("a: 'b'\\nn: 1.5", option=q.OPT_ANNOTATED | q.OPT_ANNOTATE_NUMBERS)
            print(value, type(value).__name__)
            for call in quillmere.calls:
                print(call)
            '''), folder)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines() == [
            "{'a': 'b', 'n': 1.5} QuillmereAnnotatedDict",
            "('QuillmereAnnotatedStr', ('a', 1, 1, None, 1, 2, 'plain', None, None, 0, 1), {})",
            "('QuillmereAnnotatedStr', ('b', 1, 4, None, 1, 7, 'single', None, None, 3, 6), {})",
            "('QuillmereAnnotatedStr', ('n', 2, 1, None, 2, 2, 'plain', None, None, 7, 8), {})",
            "('QuillmereAnnotatedFloat', (1.5, 2, 4, None, 2, 7, 'plain', None, None, 10, 13), {})",
        ]

    def test_a_missing_class_raises_and_is_looked_up_again(self, fake_package):
        folder = self.fake(fake_package, self.FAKE.replace("class QuillmereAnnotatedStr", "class _Later"))
        result = run_python(textwrap.dedent('''
            import _quillmere as q, quillmere
            try:
                q.loads("a: b", option=q.OPT_ANNOTATED)
            except AttributeError as error:
                print("AttributeError", "QuillmereAnnotatedStr" in str(error))
            quillmere.QuillmereAnnotatedStr = quillmere._Later
            print(q.loads("a: b", option=q.OPT_ANNOTATED))
            '''), folder)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines() == ["AttributeError True", "{'a': 'b'}"]

    def test_the_class_is_looked_up_once(self):
        original = quillmere.QuillmereAnnotatedStr

        class Raising(original):
            def __new__(cls, *args):
                raise AssertionError("called")

        q.loads("a: b", option=A)
        quillmere.QuillmereAnnotatedStr = Raising
        try:
            # The cell keeps the class of its first lookup.
            assert type(q.loads("a: b", option=A)["a"]) is original
        finally:
            quillmere.QuillmereAnnotatedStr = original

    def test_the_package_classes_made_in_place_equal_the_call(self):
        d = q.loads("a: 'x'", option=A)
        made = d["a"]
        called = quillmere.QuillmereAnnotatedStr("x", 1, 4, None, 1, 7, "single", None, None, 3, 6)
        assert type(made) is type(called) and made == called
        assert made._annotation == called._annotation

    @pytest.mark.parametrize("text, value, call", [
        ("a: 'x'", "x", (1, 4, None, 1, 7, "single", None, None, 3, 6)),
        ("a: !mytag x", "x", (1, 11, None, 1, 12, "plain", "!mytag", None, 10, 11)),
        ("a: 12", 12, (1, 4, None, 1, 6, "plain", None, None, 3, 5)),
        ("a: 1.5", 1.5, (1, 4, None, 1, 7, "plain", None, None, 3, 6)),
    ])
    def test_the_annotation_made_in_place_reads_as_the_calls_tuple(self, text, value, call):
        made = q.loads(text, option=NUMBERS)["a"]
        kept = made._annotation
        assert kept == call and call == kept and not kept != call and kept != (*call[:-1], 0)
        assert hash(kept) == hash(call) and repr(kept) == repr(call)
        assert len(kept) == 10 and tuple(kept) == call and [*kept] == list(call)
        assert kept[0] == call[0] and kept[-1] == call[-1]
        with pytest.raises(IndexError):
            kept[10]
        for clone in (copy.copy(made), copy.deepcopy(made), pickle.loads(pickle.dumps(made))):
            assert type(clone) is type(made) and clone == value and clone._annotation == call
        assert pickle.loads(pickle.dumps(kept)) == call
