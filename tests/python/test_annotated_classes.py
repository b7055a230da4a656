"""QuillmereAnnotatedDict and QuillmereAnnotatedList: construction, the
read-only annotation, copying and pickling with the annotation kept, and
the __setstate__ errors."""

import copy
import pickle

import pytest

import _quillmere as q
import quillmere  # noqa: F401  (pickle finds the classes there)

CLASSES = [q.QuillmereAnnotatedDict, q.QuillmereAnnotatedList]
STATE = (3, 5, "conf/db.yaml", 4, 1, "!include", "db.yaml", 41, 77)
GETTERS = ["__line__", "__column__", "__file__", "__end_line__", "__end_column__", "__source_tag__",
           "__source_target__", "__offset__", "__end_offset__"]


def annotated(cls, state=STATE):
    obj = cls({"a": [1], "b": 2}) if cls is q.QuillmereAnnotatedDict else cls([[1], 2])
    obj.__setstate__(state)
    return obj


def annotation(obj):
    return tuple(getattr(obj, name) for name in GETTERS)


@pytest.mark.parametrize("cls", CLASSES)
class TestInstances:
    def test_fresh_instance_has_the_empty_annotation(self, cls):
        obj = cls()
        assert annotation(obj) == (0, 0, None, 0, 0, None, None, 0, 0)
        assert (obj.is_secret, obj.is_env_var, obj.is_include) == (False, False, False)

    def test_constructor_ignores_arguments_and_the_base_fills_the_container(self, cls):
        if cls is q.QuillmereAnnotatedDict:
            assert cls(a=1) == {"a": 1} and cls([("b", 2)]) == {"b": 2}
        else:
            assert cls([1, 2]) == [1, 2] and cls("ab") == ["a", "b"]

    def test_getters_read_the_state_and_are_read_only(self, cls):
        obj = annotated(cls)
        assert annotation(obj) == STATE
        for name in [*GETTERS, "is_secret", "is_env_var", "is_include"]:
            with pytest.raises(AttributeError):
                setattr(obj, name, 1)
        assert annotation(obj) == STATE

    @pytest.mark.parametrize("tag, flags", [
        ("!secret", (True, False, False)),
        ("!env_var", (False, True, False)),
        *[(tag, (False, False, True)) for tag in ["!include", "!include_dir_list", "!include_dir_named",
                                                  "!include_dir_merge_list", "!include_dir_merge_named"]],
        ("!mytag", (False, False, False)),
        ("!includes", (False, False, False)),
        (None, (False, False, False)),
    ])
    def test_provenance_flags(self, cls, tag, flags):
        obj = annotated(cls, (1, 1, None, 1, 2, tag, None, 0, 1))
        assert (obj.is_secret, obj.is_env_var, obj.is_include) == flags

    def test_copy_shares_the_values_deepcopy_copies_them(self, cls):
        obj = annotated(cls)
        shallow, deep = copy.copy(obj), copy.deepcopy(obj)
        for clone in (shallow, deep):
            assert type(clone) is cls and clone == obj and annotation(clone) == STATE
        first = (lambda c: c["a"]) if cls is q.QuillmereAnnotatedDict else (lambda c: c[0])
        assert first(shallow) is first(obj)
        assert first(deep) == first(obj) and first(deep) is not first(obj)

    @pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
    def test_pickle_keeps_class_items_and_annotation(self, cls, protocol):
        obj = annotated(cls)
        clone = pickle.loads(pickle.dumps(obj, protocol))
        assert type(clone) is cls and clone == obj and annotation(clone) == STATE

    def test_a_container_holding_itself_copies_and_pickles(self, cls):
        obj = annotated(cls)
        if cls is q.QuillmereAnnotatedDict:
            obj["self"] = obj
            inner = lambda c: c["self"]  # noqa: E731
        else:
            obj.append(obj)
            inner = lambda c: c[-1]  # noqa: E731
        for clone in (copy.deepcopy(obj), pickle.loads(pickle.dumps(obj))):
            assert inner(clone) is clone and annotation(clone) == STATE

    def test_reduce(self, cls):
        obj = annotated(cls)
        reduced = obj.__reduce__()
        assert reduced[:3] == (cls, (), STATE) and len(reduced) == 5
        if cls is q.QuillmereAnnotatedDict:
            assert reduced[3] is None and list(reduced[4]) == list(obj.items())
        else:
            assert list(reduced[3]) == list(obj) and reduced[4] is None

    def test_setstate_takes_the_whole_unsigned_ranges(self, cls):
        obj = cls()
        state = (4294967295, 0, None, 4294967295, 1, None, None, 2**64 - 1, 0)
        assert obj.__setstate__(state) is None
        assert annotation(obj) == state

    @pytest.mark.parametrize("state, error, message", [
        ((1,) * 8, ValueError, "expected tuple of length 9, but got tuple of length 8"),
        ((1,) * 10, ValueError, "expected tuple of length 9, but got tuple of length 10"),
        ([1] * 9, TypeError, None),
        ((-1, 1, None, 1, 1, None, None, 0, 0), OverflowError, "out of range integral type conversion attempted"),
        ((1, 2**32, None, 1, 1, None, None, 0, 0), OverflowError, "out of range integral type conversion attempted"),
        ((1, 1, None, 1, 2**64, None, None, 0, 0), OverflowError, None),
        ((1, 1, None, "4", 1, None, None, 0, 0), TypeError, None),
        ((1, 1, b"f", 1, 1, None, None, 0, 0), TypeError, None),
        ((1, 1, None, 1, 1, 5, None, 0, 0), TypeError, None),
        ((1, 1, None, 1, 1, None, None, -1, 0), OverflowError, None),
        ((1, 1, None, 1, 1, None, None, 0, 2**64), OverflowError, None),
        ((1, 1, None, 1, 1, None, None, 0, 1.5), TypeError, None),
        # The first bad item decides.
        ((-1, "x", 5, 1, 1, None, None, 0, 0), OverflowError, "out of range integral type conversion attempted"),
    ])
    def test_setstate_errors_leave_the_annotation_unchanged(self, cls, state, error, message):
        obj = annotated(cls)
        with pytest.raises(error) as info:
            obj.__setstate__(state)
        if message is not None:
            assert str(info.value) == message
        assert info.value.__notes__ == ["while processing 'state'"]
        assert annotation(obj) == STATE

    def test_setstate_accepts_a_tuple_subclass_and_index_objects(self, cls):
        class State(tuple):
            pass

        class Index:
            def __index__(self):
                return 7

        obj = cls()
        obj.__setstate__(State((Index(), 1, None, 1, 1, None, None, Index(), 9)))
        assert (obj.__line__, obj.__offset__) == (7, 7)

    def test_reads_during_setstate_are_refused(self, cls):
        obj = annotated(cls)
        seen = []

        class Meddler:
            def __index__(self):
                for attempt in (lambda: obj.__line__, obj.__reduce__, lambda: obj.__setstate__(STATE)):
                    try:
                        attempt()
                    except RuntimeError as error:
                        seen.append(str(error))
                return 9

        obj.__setstate__((Meddler(), 1, None, 1, 1, None, None, 0, 0))
        assert seen == ["Already mutably borrowed", "Already mutably borrowed", "Already borrowed"]
        assert obj.__line__ == 9


def test_docstrings():
    for cls, kind in [(q.QuillmereAnnotatedDict, "dict"), (q.QuillmereAnnotatedList, "list")]:
        assert cls.__doc__.startswith(f"A `{kind}` subclass carrying source-location metadata")
        assert cls.__setstate__.__text_signature__ == "($self, state)"
        assert cls.__reduce__.__text_signature__ == "($self)"
        assert cls.is_secret.__doc__ == "Whether this node's value was produced by a `!secret` directive."
        assert cls.is_env_var.__doc__ == "Whether this node's value was produced by an `!env_var` directive."
        assert cls.is_include.__doc__ == "Whether this node's value was produced by any `!include` directive."
        for name in ["__offset__", "__end_offset__", "__end_line__", "__source_tag__", "__source_target__"]:
            assert getattr(cls, name).__doc__
        for name in ["__line__", "__column__", "__file__"]:
            assert getattr(cls, name).__doc__ is None
