"""The module as the interpreter sees it: names, constants, signatures,
classes, argument handling and re-import."""

import gc
import importlib
import inspect
import pathlib
import sys
import sysconfig
import weakref

import pytest

import _quillmere as q
import quillmere
from conftest import run_python

FUNCTIONS = ["loads", "loads_all", "dumps", "to_json", "schema_ref", "yaml_version", "dump_includes",
             "dump_includes_map"]

CONSTANTS = [
    ("OPT_YAML_1_1", 0x1), ("OPT_PYYAML_COMPAT", 0x2), ("OPT_UPGRADE_1_1", 0x4), ("OPT_YAML_1_1_WARN", 0x8),
    ("OPT_ROUND_TRIP", 0x10), ("OPT_ANNOTATED", 0x20), ("OPT_ANNOTATE_NUMBERS", 0x40), ("OPT_INCLUDES", 0x80),
    ("OPT_INCLUDE_DIR_RECURSIVE", 0x100), ("OPT_SECRETS", 0x200), ("OPT_ENV_VAR", 0x400),
    ("OPT_SECRET_NOT_FOUND_WARN", 0x800), ("OPT_ENV_VAR_NOT_FOUND_WARN", 0x1000), ("OPT_PASSTHROUGH_TAG", 0x2000),
    ("OPT_DUPLICATE_KEYS_ERROR", 0x4000), ("OPT_DUPLICATE_KEYS_WARN", 0x8000), ("OPT_REJECT_COMPLEX_KEYS", 0x10000),
    ("OPT_INDENT_2", 0x20000), ("OPT_INDENT_4", 0x40000), ("OPT_INDENTLESS_SEQUENCES", 0x80000),
    ("OPT_FLOW_STYLE", 0x100000), ("OPT_SORT_KEYS", 0x200000), ("OPT_EXPLICIT_START", 0x400000),
    ("OPT_EXPLICIT_END", 0x800000), ("OPT_SINGLE_QUOTES", 0x1000000), ("OPT_NULL_AS_KEYWORD", 0x2000000),
    ("OPT_NULL_AS_TILDE", 0x4000000), ("OPT_SERIALIZE_NUMPY", 0x8000000), ("OPT_PASSTHROUGH_DATETIME", 0x10000000),
    ("OPT_PASSTHROUGH_DATACLASS", 0x20000000), ("OPT_OMIT_MICROSECONDS", 0x40000000), ("OPT_NAIVE_UTC", 0x80000000),
    ("OPT_UTC_Z", 0x100000000),
]

HAVE_GC = 1 << 14  # Py_TPFLAGS_HAVE_GC

CLASSES = ["QuillmereDocument", "QuillmereDocumentView", "QuillmereNode", "QuillmereTag", "QuillmereAnnotatedDict",
           "QuillmereAnnotatedList"]

SIGNATURES = {
    "loads": "(data, /, *, option=None, include_dir=None, schema=None, schema_resolver=None, tag_handler=None, "
             "tags=None, root_path=None, on_missing_secret=None, on_missing_env_var=None)",
    "loads_all": "(data, /, *, option=None, tag_handler=None, tags=None)",
    "dumps": "(obj, /, *, default=None, option=None, null_style=None, tags=None, width=None)",
    "to_json": "(obj, /, *, default=None, option=None)",
    "schema_ref": "(data, /)",
    "yaml_version": "(data, /)",
    "dump_includes": "(doc, /, *, include_dir=None)",
    "dump_includes_map": "(doc, /)",
}


class TestNames:
    def test_all_lists_functions_constants_and_classes_in_order(self):
        assert q.__all__ == FUNCTIONS + [name for name, _ in CONSTANTS] + CLASSES
        assert len(q.__all__) == 47
        for name in q.__all__:
            assert hasattr(q, name)

    def test_import_warns_nothing(self):
        result = run_python("import _quillmere", flags=["-W", "error"])
        assert result.returncode == 0, result.stderr

    def test_module_docstring_is_empty(self):
        assert q.__doc__ == ""

    def test_constants(self):
        for name, value in CONSTANTS:
            assert getattr(q, name) == value and type(getattr(q, name)) is int
        values = [value for _, value in CONSTANTS]
        assert all(v & (v - 1) == 0 for v in values)
        assert len(set(values)) == 33
        assert q.OPT_UTC_Z == 4294967296

    @pytest.mark.parametrize("name", FUNCTIONS)
    def test_text_signature(self, name):
        function = getattr(q, name)
        assert function.__text_signature__ == SIGNATURES[name]
        assert function.__doc__ is None  # the docstring holds the signature alone
        assert function.__module__ == "_quillmere"
        assert str(inspect.signature(function)) == SIGNATURES[name]

    def test_package_reexports_the_module_and_the_package_classes(self):
        for name in q.__all__:
            assert getattr(quillmere, name) is getattr(q, name)
        assert quillmere.QuillmereAnnotatedDict is q.QuillmereAnnotatedDict
        assert quillmere.QuillmereParseError is quillmere.exceptions.QuillmereParseError


class TestClasses:
    @pytest.mark.parametrize("name", ["QuillmereDocument", "QuillmereDocumentView", "QuillmereNode"])
    def test_document_classes_are_not_instantiable(self, name):
        cls = getattr(q, name)
        with pytest.raises(TypeError):
            cls()
        assert cls.__module__ == "builtins"

    @pytest.mark.parametrize("name", CLASSES)
    def test_no_class_can_be_subclassed(self, name):
        with pytest.raises(TypeError):
            type("Sub", (getattr(q, name),), {})

    def test_modules_of_the_classes(self):
        assert q.QuillmereTag.__module__ == "builtins"
        assert q.QuillmereAnnotatedDict.__module__ == "quillmere"
        assert q.QuillmereAnnotatedList.__module__ == "quillmere"

    def test_annotated_containers_are_dict_and_list(self):
        d = q.QuillmereAnnotatedDict(a=1)
        assert isinstance(d, dict) and d == {"a": 1}
        lst = q.QuillmereAnnotatedList([1, 2])
        assert isinstance(lst, list) and lst == [1, 2]
        lst.extend(range(1000))
        del lst
        assert q.QuillmereAnnotatedDict.__text_signature__ == "(*_args, **_kwargs)"
        assert q.QuillmereAnnotatedList.__text_signature__ == "(*_args, **_kwargs)"

    @pytest.mark.parametrize("name", CLASSES)
    def test_every_class_takes_part_in_garbage_collection(self, name):
        assert getattr(q, name).__flags__ & HAVE_GC

    @pytest.mark.parametrize("make", [
        lambda box: q.QuillmereAnnotatedDict(box=box),
        lambda box: q.QuillmereAnnotatedList([box]),
    ])
    def test_annotated_containers_in_a_cycle_are_collected(self, make):
        class Box:
            pass

        box = Box()
        box.container = make(box)
        ref = weakref.ref(box)
        del box
        gc.collect()
        assert ref() is None

    def test_deep_chains_are_released_without_recursion(self):
        result = run_python("""
import _quillmere as q
tag = 1
for _ in range(1_000_000):
    tag = q.QuillmereTag("!t", tag)
del tag
d, lst = q.QuillmereAnnotatedDict(), q.QuillmereAnnotatedList()
for _ in range(1_000_000):
    d, lst = q.QuillmereAnnotatedDict(d=d), q.QuillmereAnnotatedList([lst])
del d, lst
print("released")
""")
        assert result.returncode == 0, result.stderr
        assert result.stdout == "released\n"

    def test_class_docstrings(self):
        assert q.QuillmereDocumentView.__doc__ == (
            "A live proxy onto a nested node of a [`QuillmereDocument`], addressed by path.")
        assert q.QuillmereDocument.__doc__.splitlines()[0] == (
            "A structure-preserving YAML document returned by `loads(..., OPT_ROUND_TRIP)`.")
        assert q.QuillmereNode.__doc__.count("\n") == 12

    def test_second_import_reuses_the_classes(self):
        first = sys.modules.pop("_quillmere")
        try:
            second = importlib.import_module("_quillmere")
            assert second is not first
            assert second.__all__ == first.__all__
            for name in CLASSES:
                assert getattr(second, name) is getattr(first, name)
        finally:
            sys.modules["_quillmere"] = first


class TestArguments:
    @pytest.mark.parametrize("call, message", [
        (lambda: q.loads(), "loads() missing required argument 'data' (pos 1)"),
        (lambda: q.loads("a", 0), "loads() takes exactly 1 positional argument (2 given)"),
        (lambda: q.loads(data="a"),
         "loads() got some positional-only arguments passed as keyword arguments: 'data'"),
        (lambda: q.loads("a", opt=1), "loads() got an unexpected keyword argument 'opt'"),
        (lambda: q.yaml_version("a", option=1), "yaml_version() got an unexpected keyword argument 'option'"),
        (lambda: q.loads_all("a", include_dir="."), "loads_all() got an unexpected keyword argument 'include_dir'"),
        (lambda: q.dump_includes_map(), "dump_includes_map() missing required argument 'doc' (pos 1)"),
    ])
    def test_argument_errors(self, call, message):
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message

    def test_none_counts_as_absent(self):
        assert q.loads("a: 1", option=None, include_dir=None, tag_handler=None, tags=None, root_path=None,
                       on_missing_secret=None, on_missing_env_var=None, schema=None,
                       schema_resolver=None) == {"a": 1}
        assert q.loads_all("a", option=None, tags=None, tag_handler=None) == ["a"]

    @pytest.mark.parametrize("option, error", [(-1, OverflowError), (2 ** 64, OverflowError), (1.0, TypeError),
                                               ("1", TypeError)])
    def test_option_conversion_errors_name_the_argument(self, option, error):
        for function in (q.loads, q.loads_all):
            with pytest.raises(error) as info:
                function("a", option=option)
            assert info.value.__notes__ == ["while processing 'option'"]

    def test_unknown_option_bits_are_ignored(self):
        assert q.loads("a: yes", option=(1 << 63) | (1 << 40)) == {"a": "yes"}
        assert q.loads("a: yes", option=True) == {"a": True}  # bool is an int: OPT_YAML_1_1

    @pytest.mark.parametrize("name", ["include_dir", "root_path"])
    @pytest.mark.parametrize("value", [5, b"dir"])
    def test_path_arguments_must_give_str(self, name, value):
        with pytest.raises(TypeError) as info:
            q.loads("a", **{name: value})
        assert info.value.__notes__ == [f"while processing '{name}'"]

    def test_path_like_arguments_are_accepted(self):
        assert q.loads("a", include_dir=pathlib.Path("."), root_path=pathlib.Path("x.yaml")) == "a"

    def test_path_argument_error_comes_before_input_error(self):
        with pytest.raises(TypeError) as info:
            q.loads(5, include_dir=5)
        assert info.value.__notes__ == ["while processing 'include_dir'"]

    def test_fspath_errors_pass_through(self):
        class Broken:
            def __fspath__(self):
                raise RuntimeError("no path")

        with pytest.raises(RuntimeError, match="no path") as info:
            q.loads("a", include_dir=Broken())
        assert info.value.__notes__ == ["while processing 'include_dir'"]


class TestInterpreters:
    @pytest.mark.skipif(sys.version_info < (3, 12), reason="per-interpreter locks exist from 3.12")
    def test_interpreter_with_its_own_lock_refuses_the_module(self):
        code = f"""
import sys
sys.path.insert(0, {str(pathlib.Path(q.__file__).parent)!r})
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters
own = interpreters.create()  # isolated: its own interpreter lock
script = '''
import sys
sys.path.insert(0, {str(pathlib.Path(q.__file__).parent)!r})
try:
    import _quillmere
    raise SystemExit(3)
except ImportError as error:
    assert "per-interpreter GIL" in str(error) or "subinterpreter" in str(error), error
'''
run = getattr(interpreters, "exec", None) or interpreters.run_string
result = run(own, script)
assert result is None, result
print("refused")
if hasattr(interpreters, "new_config"):  # 3.13: an interpreter sharing the main lock may load it
    shared = interpreters.create("legacy")
    result = run(shared, script.replace("raise SystemExit(3)", "print(_quillmere.loads('a: [1]'))"))
    assert result is None, result
"""
        result = run_python(code)
        assert result.returncode == 0, result.stderr
        assert result.stdout.split()[0] == "refused"

    @pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded build")
    def test_free_threaded_interpreter_enables_its_lock_for_the_module(self):
        result = run_python("import sys, _quillmere; print(sys._is_gil_enabled())")
        assert result.stdout.strip() == "True"
