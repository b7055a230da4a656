"""Round-trip trees as Python values and Python values as new tree nodes,
through the test probe over the module's conversions: scalars by the
load's rules, hashable keys, aliases as the very object of their anchor
(forward references, self-references and alias bombs included), and the
nodes that edits make."""

import math
import tracemalloc

import pytest

from quillmere import exceptions as ex

probe = pytest.importorskip("_quillmere_tree_probe")


class TestRead:
    @pytest.mark.parametrize("text, expected", [
        ('a: "123"', {"a": "123"}),
        ("a: !!str 123", {"a": "123"}),
        ("a: 123", {"a": 123}),
        ("a: !!int 0x1F", {"a": 31}),
        ("a: 123456789012345678901234567890", {"a": 123456789012345678901234567890}),
        ("a: [~, null, true, 1.5, .inf]", {"a": [None, None, True, 1.5, math.inf]}),
        ("a: !custom x", {"a": "x"}),                     # tags act only in resolution
        ("a:\n", {"a": None}),
        ("<<: {b: 1}\nc: 2", {"<<": {"b": 1}, "c": 2}),   # no merging: the tree as written
        ("a: 1\na: 2", {"a": 2}),                         # first place, last value
        ("? [1, 2]\n: x", {(1, 2): "x"}),
        ("? {a: 1}\n: x", {(("a", 1),): "x"}),
        ("? [[1], {a: [2]}]\n: x", {((1,), (("a", (2,)),)): "x"}),
    ])
    def test_values(self, text, expected):
        assert probe.read(text) == expected

    def test_yaml11_rules(self):
        assert probe.read("a: yes") == {"a": "yes"}
        assert probe.read("a: yes", yaml11=True) == {"a": True}

    def test_key_form(self):
        assert probe.read("[1, [2, {a: 1}]]", key=True) == (1, (2, (("a", 1),)))
        assert probe.read("a", key=True) == "a"

    def test_is_collection(self):
        text = "a: &x [1]\nb: *x\nc: &y 1\nd: *y\ne: {}"
        assert [probe.is_collection(text, [k]) for k in "abcde"] == [True, True, False, False, True]


class TestAliases:
    def test_every_alias_is_the_anchors_object_within_one_read(self):
        first = probe.read("a: &x {k: [1]}\nb: *x\nc: *x")
        assert first["a"] is first["b"] is first["c"]
        second = probe.read("a: &x {k: [1]}\nb: *x\nc: *x")
        assert second["a"] is not first["a"]

    def test_a_redefined_anchor_means_its_latest_definition(self):
        assert probe.read("a: &x 1\nb: *x\nc: &x 2\nd: *x") == {"a": 1, "b": 1, "c": 2, "d": 2}

    def test_an_anchored_collection_key_is_one_object_for_every_alias(self):
        value = probe.read("? &k [1, 2]\n: a\nb: *k\nc: *k")
        assert value == {(1, 2): "a", "b": [1, 2], "c": [1, 2]}
        assert value["b"] is value["c"]

    def test_alias_keys(self):
        assert probe.read("a: &k [1]\n? *k\n: x\n") == {"a": [1], (1,): "x"}
        assert probe.read("a: &k v\n*k : x\n") == {"a": "v", "v": "x"}

    def test_reading_a_node_whose_aliases_point_outside_it(self):
        # The cache starts empty: the alias finds its anchor in the document.
        assert probe.read("a: &x [1, 2]\nb: [*x, *x]", path=["b"]) == [[1, 2], [1, 2]]
        value = probe.read("a: &x [1, 2]\nb: [*x, *x]", path=["b"])
        assert value[0] is value[1]

    def test_forward_reference(self):
        value = probe.read("a: 1\nb: &x [1]", edits=[(["a"], "x")])
        assert value == {"a": [1], "b": [1]} and value["a"] is value["b"]

    def test_self_reference_is_a_list_holding_itself(self):
        value = probe.read("a: &x [1, 2]", edits=[(["a", 0], "x")])
        assert value["a"][0] is value["a"] and value["a"][1] == 2
        value = probe.read("a: &x {k: 1}", edits=[(["a", "k"], "x")])
        assert value["a"]["k"] is value["a"]

    def test_self_reference_inside_a_key_has_no_tuple_form(self):
        value = probe.read("a: &k [1, 2]", path=["a"], edits=[(["a", 0], "k")], key=True)
        assert value == (None, 2)

    def test_unknown_alias_is_the_located_error(self):
        with pytest.raises(ex.QuillmereParseError) as info:
            probe.read("a: 1\nb: 2", edits=[(["b"], "nope")])
        assert str(info.value) == "unknown alias: *nope at line 2, column 4"
        assert (info.value.line, info.value.column, info.value.file) == (2, 4, None)

    def test_alias_bomb_reads_one_object_per_anchor(self):
        lines = ['a0: &a0 ["lol", "lol", "lol", "lol", "lol", "lol", "lol", "lol", "lol"]']
        lines += [f"a{i}: &a{i} [{', '.join([f'*a{i - 1}'] * 9)}]" for i in range(1, 40)]
        text = "\n".join(lines)
        assert len(text) < 4096
        tracemalloc.start()
        try:
            value = probe.read(text, path=["a39"])  # 9**40 nodes if copied
            _, peak = tracemalloc.get_traced_memory()
        finally:
            tracemalloc.stop()
        assert peak < 1_000_000
        assert value[0] is value[8] and value[0][0] is value[1][0]
        keys = probe.read(text, path=["a39"], key=True)
        assert keys[0] is keys[1]


class TestWrite:
    def scalar(self, text, style="plain"):
        return {"kind": "scalar", "synthetic": False, "bare": True, "text": text, "style": style}

    @pytest.mark.parametrize("value, text", [
        (True, "true"),
        (False, "false"),
        (-5, "-5"),
        (2**70, "1180591620717411303424"),
        (1.0, "1.0"),
        (math.inf, ".inf"),
        (-math.inf, "-.inf"),
        ("plain words", "plain words"),
    ])
    def test_plain_scalars(self, value, text):
        assert probe.write(value) == self.scalar(text)

    def test_numpy_bool(self):
        numpy = pytest.importorskip("numpy")
        assert probe.write(numpy.bool_(False)) == self.scalar("false")
        assert probe.write(numpy.bool_(True)) == self.scalar("true")

    def test_index_and_float_conversions(self):
        class Index:
            def __index__(self):
                return 7

        class Real:
            def __float__(self):
                return 0.5

        assert probe.write(Index()) == self.scalar("7")
        assert probe.write(Real()) == self.scalar("0.5")

    @pytest.mark.parametrize("text, double, single", [
        ("123", "double", "single"),
        ("it's: x", "double", "double"),
        ("a\nb", "double", "double"),
        ("", "double", "single"),
        ("yes", "double", "single"),
        ("words", "plain", "plain"),
    ])
    def test_string_styles(self, text, double, single):
        assert probe.string_style(text, True) == double
        assert probe.string_style(text, False) == single
        assert probe.write(text, prefer_double_quotes=False)["style"] == single

    def test_none_is_a_synthetic_null(self):
        assert probe.write(None) == {"kind": "null", "synthetic": True, "bare": True}

    def test_collections_are_bare_block_nodes(self):
        node = probe.write({"a": [1, None], 2: "x"})
        assert node["kind"] == "mapping" and node["block"] and node["bare"]
        (key_a, seq), (key_2, x) = node["pairs"]
        assert key_a == self.scalar("a") and key_2 == self.scalar("2") and x == self.scalar("x")
        assert seq["block"] and seq["items"] == [self.scalar("1"), {"kind": "null", "synthetic": True,
                                                                     "bare": True}]

    @pytest.mark.parametrize("value", [(1, 2), {1, 2}, b"x", 1j, object()])
    def test_values_of_no_yaml_kind(self, value):
        with pytest.raises(TypeError) as info:
            probe.write({"k": [value]})
        assert str(info.value) == f"cannot convert {value!r} to a YAML node"

    def test_a_failing_repr_passes_through(self):
        class Broken:
            def __repr__(self):
                raise KeyError("repr")

        with pytest.raises(KeyError):
            probe.write(Broken())

    def test_lone_surrogates_are_no_yaml_text(self):
        with pytest.raises(TypeError, match="cannot convert"):
            probe.write("\ud800")

    def test_nesting_limit(self):
        value = deep = []
        for _ in range(999):
            deep.append([])
            deep = deep[0]
        assert probe.write(value)["kind"] == "sequence"
        assert probe.write(1, depth=999) == self.scalar("1")
        with pytest.raises(ValueError, match=r"^value is too deeply nested to assign \(possible self-reference\)$"):
            probe.write(1, depth=1000)
        deep.append(1)
        with pytest.raises(ValueError, match="too deeply nested"):
            probe.write(value)
        looped = []
        looped.append(looped)
        with pytest.raises(ValueError, match="too deeply nested"):
            probe.write(looped)

    def test_a_hook_that_empties_the_list_being_written(self):
        items = []

        class Shrinking:
            def __index__(self):
                items.clear()
                return 1

        items.extend([Shrinking(), 2, 3])
        assert [n["text"] for n in probe.write(items)["items"]] == ["1"]
