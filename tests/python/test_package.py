"""The Python side of the package: re-exports and the annotated scalar
classes that annotated loading calls with eleven positional arguments."""

import copy
import pickle

import pytest

import _quillmere
import quillmere

ARGS = (3, 4, "conf.yaml", 3, 9, "double", "!secret", "db_password", 41, 46)
NAMES = ["__line__", "__column__", "__file__", "__end_line__", "__end_column__", "__style__", "__source_tag__",
         "__source_target__", "__offset__", "__end_offset__"]


def test_all_names():
    assert quillmere.__all__[:47] == _quillmere.__all__
    assert set(quillmere.__all__) >= {"QuillmereAnnotatedStr", "QuillmereAnnotatedInt", "QuillmereAnnotatedFloat",
                                      "QuillmereError", "QuillmereParseError"}
    for name in quillmere.__all__:
        assert hasattr(quillmere, name)


@pytest.mark.parametrize("cls", [quillmere.QuillmereAnnotatedDict, quillmere.QuillmereAnnotatedList])
def test_container_classes_pickle_by_reference(cls):
    assert pickle.loads(pickle.dumps(cls)) is cls


@pytest.mark.parametrize("cls, value", [(quillmere.QuillmereAnnotatedStr, "hunter2"),
                                        (quillmere.QuillmereAnnotatedInt, 5432),
                                        (quillmere.QuillmereAnnotatedFloat, 2.5)])
class TestAnnotatedScalars:
    def test_value_and_annotation(self, cls, value):
        scalar = cls(value, *ARGS)
        base = type(value)
        assert isinstance(scalar, base) and scalar == value and hash(scalar) == hash(value)
        assert base(scalar) == value and type(base(scalar)) is base
        assert [getattr(scalar, name) for name in NAMES] == list(ARGS)
        assert scalar.is_secret and not scalar.is_env_var and not scalar.is_include

    def test_copies_keep_the_annotation(self, cls, value):
        scalar = cls(value, *ARGS)
        for clone in (copy.copy(scalar), copy.deepcopy(scalar), pickle.loads(pickle.dumps(scalar))):
            assert type(clone) is cls and clone == value
            assert [getattr(clone, name) for name in NAMES] == list(ARGS)

    def test_provenance_flags(self, cls, value):
        plain = cls(value, 1, 1, None, 1, 2, "plain", None, None, 0, 1)
        assert plain.__file__ is None and plain.__source_tag__ is None
        assert not (plain.is_secret or plain.is_env_var or plain.is_include)
        included = cls(value, 1, 1, "a.yaml", 1, 2, "plain", "!include_dir_named", "dir", 0, 1)
        assert included.is_include and not included.is_secret
        assert cls(value, 1, 1, None, 1, 2, "plain", "!env_var", "HOME", 0, 1).is_env_var

    def test_annotation_is_read_only(self, cls, value):
        with pytest.raises(AttributeError):
            cls(value, *ARGS).__line__ = 7


def test_a_subclass_of_an_annotated_scalar_copies_as_itself():
    class Path(quillmere.QuillmereAnnotatedStr):
        pass

    value = Path("conf.yaml", *ARGS)
    clone = copy.deepcopy(value)
    assert type(clone) is Path and clone == "conf.yaml" and clone.__file__ == "conf.yaml"
