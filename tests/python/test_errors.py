"""The bridge from engine errors and warnings to Python: exception classes
and their attributes, the lazy class lookup and its failures, and warnings
on the logger "quillmere"."""

import logging
import textwrap

import pytest

import _quillmere as q
from conftest import run_python
from quillmere import exceptions as ex


class TestLocatedErrors:
    @pytest.mark.parametrize("text, option, cls, message, line, column", [
        ("]", 0, ex.QuillmereParseError, "unexpected ']' with no open flow collection", 1, 1),
        ("a: 1\nb: *x", 0, ex.QuillmereParseError, "unknown alias: *x", 2, 4),
        ("a: 1\na: 2", q.OPT_DUPLICATE_KEYS_ERROR, ex.QuillmereDuplicateKeyError, "duplicate mapping key: a", 2, 1),
        ("1: x\n1: y", q.OPT_DUPLICATE_KEYS_ERROR | q.OPT_DUPLICATE_KEYS_WARN, ex.QuillmereDuplicateKeyError,
         "duplicate mapping key: Int(1)", 2, 1),
        ("? [a]\n: 1", q.OPT_REJECT_COMPLEX_KEYS, ex.QuillmereComplexKeyError,
         "complex mapping key (a sequence used as a key)", 1, 1),
        ("\"\u00e9\u00e9\" x", 0, ex.QuillmereParseError, None, 1, 5),  # characters, not bytes (7)
    ])
    def test_class_message_and_position(self, text, option, cls, message, line, column):
        for function in (q.loads, q.loads_all):
            with pytest.raises(cls) as info:
                function(text, option=option)
            error = info.value
            assert type(error) is cls
            assert error.file is None and error.line == line and error.column == column
            assert str(error).endswith(f" at line {error.line}, column {error.column}")
            if message is not None:
                assert str(error) == f"{message} at line {line}, column {column}"

    @pytest.mark.parametrize("text, key, line, column", [
        ("1: a\n1.0: b", "Float(1.0)", 2, 1),
        ("true: a\n1: b", "Int(1)", 2, 1),
        ("0.0: a\n-0.0: b", "Float(-0.0)", 2, 1),
        ("x: {0: a, false: b}", "Bool(false)", 1, 11),
        ("? [1, 2]\n: a\n? [1.0, 2]\n: b", "Sequence([Float(1.0), Int(2)])", 3, 1),
    ])
    def test_keys_that_collapse_in_a_dict_are_duplicates(self, text, key, line, column, caplog):
        with pytest.raises(ex.QuillmereDuplicateKeyError) as info:
            q.loads(text, option=q.OPT_DUPLICATE_KEYS_ERROR)
        assert str(info.value) == f"duplicate mapping key: {key} at line {line}, column {column}"
        assert (info.value.line, info.value.column) == (line, column)

        caplog.set_level(logging.WARNING, logger="quillmere")
        warned = q.loads(text, option=q.OPT_DUPLICATE_KEYS_WARN)
        assert [r.getMessage() for r in caplog.records] == [
            f"duplicate mapping key '{key}' at line {line}, column {column}; keeping the last value"]
        # Without the options the later value wins, as before.
        assert q.loads(text) == warned and list(warned.values()) in (["b"], [{0: "b"}])

    def test_error_in_a_later_document_fails_the_load(self):
        with pytest.raises(ex.QuillmereDuplicateKeyError) as info:
            q.loads("a: 1\n---\nb: 1\nb: 2\n", option=q.OPT_DUPLICATE_KEYS_ERROR)
        assert info.value.line == 4

    def test_hierarchy(self):
        for cls in (ex.QuillmereParseError, ex.QuillmereDuplicateKeyError, ex.QuillmereComplexKeyError):
            assert issubclass(cls, ValueError) and issubclass(cls, ex.QuillmereError)
        for cls in (ex.QuillmereIncludeNotFoundError, ex.QuillmereCircularIncludeError,
                    ex.QuillmereIncludeDepthError, ex.QuillmereIncludeConfinementError):
            assert issubclass(cls, ex.QuillmereIncludeError)
        assert len(ex.__all__) == 15
        for name in ex.__all__:
            cls = getattr(ex, name)
            assert issubclass(cls, ex.QuillmereError)
            error = cls("message")
            error.extra = 1  # accepts new attributes
            assert str(error) == "message"

    def test_unhashable_key_from_a_tag_callable(self):
        with pytest.raises(ex.QuillmereDecodeError) as info:
            q.loads("? !pair x\n: 1", tags={"!pair": lambda v: [v, v]})
        assert str(info.value) == "mapping key is not hashable in Python"
        assert info.value.__context__ is None  # the interpreter's own TypeError was discarded


def fails_with(result, text):
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == text


class TestClassLookup:
    """Each case runs in a fresh interpreter with a stand-in package."""

    def test_classes_are_looked_up_on_first_need(self, fake_package):
        path = fake_package("import sys\nsys.stdout.write('imported ')\n"
                            "class QuillmereParseError(Exception):\n    pass\n")
        result = run_python(textwrap.dedent("""
            import _quillmere
            _quillmere.loads("a: [1]")
            print("loaded", end=" ")
            for _ in range(2):
                try:
                    _quillmere.loads("]")
                except Exception as error:
                    print(type(error).__name__, end=" ")
        """), path)
        fails_with(result, "loaded imported QuillmereParseError QuillmereParseError")

    def test_missing_exceptions_module(self, tmp_path):
        (tmp_path / "quillmere").mkdir()
        (tmp_path / "quillmere" / "__init__.py").write_text("")
        result = run_python(textwrap.dedent("""
            import _quillmere
            print(_quillmere.loads("a: [1]"), end=" ")
            try:
                _quillmere.loads("]")
            except SystemError as error:
                print(error)
        """), tmp_path)
        fails_with(result, "{'a': [1]} failed to import exception quillmere.exceptions.QuillmereParseError: "
                           "ModuleNotFoundError: No module named 'quillmere.exceptions'")

    def test_missing_class_is_looked_up_again(self, fake_package):
        path = fake_package("")
        result = run_python(textwrap.dedent("""
            import _quillmere, quillmere.exceptions as ex
            try:
                _quillmere.loads("]")
            except SystemError as error:
                print(error)
            class QuillmereParseError(Exception):
                pass
            ex.QuillmereParseError = QuillmereParseError
            try:
                _quillmere.loads("]")
            except QuillmereParseError as error:
                print(error.line)
        """), path)
        fails_with(result, "failed to import exception quillmere.exceptions.QuillmereParseError: "
                           "AttributeError: module 'quillmere.exceptions' has no attribute 'QuillmereParseError'\n1")

    def test_class_that_refuses_attributes(self, fake_package):
        path = fake_package(textwrap.dedent("""
            class QuillmereParseError(Exception):
                def __setattr__(self, name, value):
                    raise AttributeError(name)
        """))
        result = run_python(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("]")
            except Exception as error:
                print(type(error).__name__, error, hasattr(error, "line"))
        """), path)
        fails_with(result, "QuillmereParseError unexpected ']' with no open flow collection at line 1, column 1 "
                           "False")

    def test_class_with_a_raising_attribute(self, fake_package):
        path = fake_package(textwrap.dedent("""
            class QuillmereParseError(Exception):
                @property
                def file(self):
                    return "fixed"
        """))
        result = run_python(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("a:\\n  ]")
            except Exception as error:
                print(error.file, error.line, error.column)
        """), path)
        fails_with(result, "fixed 2 3")  # `file` refused, the others still set

    def test_class_that_is_not_an_exception(self, fake_package):
        path = fake_package("class QuillmereParseError:\n    pass\n")
        result = run_python(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("]")
            except TypeError as error:
                print(error, error.line, error.column, error.file)
        """), path)
        fails_with(result, "exceptions must derive from BaseException 1 1 None")

    def test_class_whose_call_raises(self, fake_package):
        path = fake_package(textwrap.dedent("""
            class QuillmereParseError(Exception):
                def __init__(self, message):
                    raise LookupError("refused: " + message)
        """))
        result = run_python(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("]")
            except LookupError as error:
                print(error, error.line)
        """), path)
        fails_with(result, "refused: unexpected ']' with no open flow collection at line 1, column 1 1")

    def test_lookup_reentered_from_the_package_import(self, fake_package):
        # The exceptions module itself loads invalid YAML while the class cell
        # is being filled: the nested request must not wait on itself.
        path = fake_package(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("]")
            except BaseException as error:
                nested = type(error).__name__
            class QuillmereParseError(Exception):
                pass
        """))
        result = run_python(textwrap.dedent("""
            import _quillmere
            try:
                _quillmere.loads("]")
            except Exception as error:
                import quillmere.exceptions as ex
                print(ex.nested, type(error) is ex.QuillmereParseError)
        """), path, timeout=30)
        fails_with(result, "SystemError True")

    def test_concurrent_first_uses_share_one_class(self, fake_package):
        # The first thread fills the cell and sleeps inside the import (the
        # lock released); the second must wait without holding the lock.
        path = fake_package(textwrap.dedent("""
            import threading, time
            imports = getattr(threading, "imports", 0) + 1
            threading.imports = imports
            time.sleep(0.3)
            class QuillmereParseError(Exception):
                pass
        """))
        result = run_python(textwrap.dedent("""
            import threading, _quillmere
            caught = []
            def load():
                try:
                    _quillmere.loads("]")
                except Exception as error:
                    caught.append(type(error))
            threads = [threading.Thread(target=load) for _ in range(4)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            print(len(caught), len(set(caught)), caught[0].__name__, threading.imports)
        """), path, timeout=30)
        fails_with(result, "4 1 QuillmereParseError 1")


class TestWarnings:
    def test_duplicate_key_warning_reaches_the_logger(self, caplog):
        caplog.set_level(logging.WARNING, logger="quillmere")
        assert q.loads("x%s: 1\n'x%s': 2\n", option=q.OPT_DUPLICATE_KEYS_WARN) == {"x%s": 2}
        [record] = caplog.records
        assert record.name == "quillmere" and record.levelno == logging.WARNING
        assert record.getMessage() == "duplicate mapping key 'x%s' at line 2, column 1; keeping the last value"
        assert record.args == ()

    def test_warnings_come_in_order_from_every_document(self, caplog):
        caplog.set_level(logging.WARNING, logger="quillmere")
        text = "%YAML 1.1\n---\na: yes\nb: on\n...\n%YAML 1.1\n---\nc: 0o17\n"
        assert q.loads_all(text, option=q.OPT_YAML_1_1_WARN) == [{"a": True, "b": True}, {"c": "0o17"}]
        assert [r.getMessage() for r in caplog.records] == [
            "YAML 1.1 syntax 'yes' resolves as bool in 1.1 but str in 1.2 at line 3, column 4",
            "YAML 1.1 syntax 'on' resolves as bool in 1.1 but str in 1.2 at line 4, column 4",
        ]

    def test_loads_warns_of_the_documents_it_does_not_return(self, caplog):
        # loads keeps only the first document's tree; the keys the warnings
        # of the others name must outlive theirs.
        caplog.set_level(logging.WARNING, logger="quillmere")
        text = "a: 1\n---\n? [k, {x: y}]\n: 1\n? [k, {x: y}]\n: 2\n---\nlong key %s: 1\nlong key %s: 2\n"
        assert q.loads(text, option=q.OPT_DUPLICATE_KEYS_WARN) == {"a": 1}
        assert [r.getMessage() for r in caplog.records] == [
            "duplicate mapping key 'Sequence([String(\"k\"), Mapping([(String(\"x\"), String(\"y\"))])])' at line 5, "
            "column 1; keeping the last value",
            "duplicate mapping key 'long key %s' at line 9, column 1; keeping the last value",
        ]

    @pytest.mark.parametrize("text, option, count", [
        ("x: yes", q.OPT_YAML_1_1_WARN, 0),                                   # 1.2 rules: nothing to warn
        ("x: yes", q.OPT_YAML_1_1_WARN | q.OPT_YAML_1_1, 1),
        ("%YAML 1.2\n---\nx: yes", q.OPT_YAML_1_1_WARN | q.OPT_YAML_1_1, 0),  # the directive wins
        ("a: 1\na: 2", q.OPT_DUPLICATE_KEYS_WARN, 1),
        ("a: 1\na: 2", 0, 0),
    ])
    def test_when_warnings_are_logged(self, caplog, text, option, count):
        caplog.set_level(logging.WARNING, logger="quillmere")
        q.loads(text, option=option)
        assert len(caplog.records) == count

    def test_warnings_of_a_failed_decode_are_not_logged(self, caplog):
        caplog.set_level(logging.WARNING, logger="quillmere")
        with pytest.raises(ex.QuillmereParseError):
            q.loads("a: 1\na: 2\nb: ]", option=q.OPT_DUPLICATE_KEYS_WARN)
        assert caplog.records == []

    def test_warnings_take_no_memory_for_their_text(self):
        # Every duplicate key is an alias of a long sequence, so each message
        # is over 7 kB long; the warnings must not hold 140 MB of them.
        result = run_python(textwrap.dedent("""
            import logging, resource
            import _quillmere as q
            logger = logging.getLogger("quillmere")
            logger.addHandler(logging.NullHandler())
            logger.propagate = False
            item = "s" * 150
            text = "base: &a [" + ", ".join([item] * 48) + "]\\nm:\\n" + "  ? *a\\n  : v\\n" * 20000
            def peak_growth(option):
                before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
                q.loads(text, option=option)
                return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
            plain = peak_growth(0)
            warned = peak_growth(q.OPT_DUPLICATE_KEYS_WARN)
            print(plain, warned)
        """))
        assert result.returncode == 0, result.stderr
        plain, warned = map(int, result.stdout.split())
        assert warned < plain + 40 * 1024, (plain, warned)  # kB

    def test_a_raising_handler_does_not_fail_the_load(self):
        class Raising(logging.Handler):
            def handle(self, record):
                raise RuntimeError("handler broke")

        logger = logging.getLogger("quillmere")
        handler = Raising()
        logger.addHandler(handler)
        try:
            assert q.loads("a: 1\na: 2", option=q.OPT_DUPLICATE_KEYS_WARN) == {"a": 2}
            assert q.loads_all("a: 1\na: 2", option=q.OPT_DUPLICATE_KEYS_WARN) == [{"a": 2}]
        finally:
            logger.removeHandler(handler)
