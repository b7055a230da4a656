"""loads with OPT_INCLUDES, OPT_SECRETS and OPT_ENV_VAR: directives resolved
in the composed trees, their provenance on annotated values, directive
errors with include_stack, missing references reported to callables and
warnings, and the plain road's data for everything else."""

import logging
import os
import time

import pytest

import _quillmere as q
from quillmere import exceptions as ex

INC, SEC, ENV, A = q.OPT_INCLUDES, q.OPT_SECRETS, q.OPT_ENV_VAR, q.OPT_ANNOTATED
ALL = INC | SEC | ENV


@pytest.fixture
def conf(tmp_path):
    """An include root holding db.yaml (which includes sub/user.yaml),
    secrets.yaml, base.yaml (with merge keys) and a few broken files."""
    files = {
        "db.yaml": "host: x\nport: 5432\nuser: !include sub/user.yaml\n",
        "sub/user.yaml": "name: admin\n",
        "secrets.yaml": "db_password: hunter2\nlogger: info\n",
        "base.yaml": "defaults: &d {retries: 3, timeout: 10}\nservice: {<<: *d, timeout: 30}\n",
        "sub/broken.yaml": "a: !include missing.yaml\n",
        "bad.yaml": "a: [1\n",
        "complex.yaml": "? [1]\n: v\n",
    }
    for name, text in files.items():
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return tmp_path


def test_directives_resolved(conf, monkeypatch):
    monkeypatch.setenv("QM_TEST_VAR", "hello")
    monkeypatch.delenv("QM_TEST_UNSET", raising=False)
    text = "db: !include db.yaml\npw: !secret db_password\nv: !env_var QM_TEST_VAR\nw: !env_var QM_TEST_UNSET dflt\n"
    expected = {"db": {"host": "x", "port": 5432, "user": {"name": "admin"}}, "pw": "hunter2", "v": "hello",
                "w": "dflt"}
    assert q.loads(text, option=ALL, include_dir=conf) == expected
    assert type(q.loads(text, option=ALL, include_dir=str(conf))) is dict


def test_a_directive_whose_option_is_off_stays_a_tagged_value(conf):
    assert q.loads("a: !include db.yaml\nb: !secret x", option=SEC | q.OPT_SECRET_NOT_FOUND_WARN,
                   include_dir=conf) == {"a": "db.yaml", "b": None}


def test_annotated_provenance_and_files(conf, monkeypatch):
    monkeypatch.setenv("QM_TEST_VAR", "hello")
    text = "db: !include db.yaml\npw: !secret db_password\nv: !env_var QM_TEST_VAR\n"
    d = q.loads(text, option=ALL | A, include_dir=conf)
    root = str(conf / "<root>")
    assert d.__file__ == root and list(d)[0].__file__ == root
    db = d["db"]
    assert (db.is_include, db.__source_tag__, db.__source_target__) == (True, "!include", "db.yaml")
    assert db.__file__ == str(conf / "db.yaml") and db["user"]["name"].__file__ == str(conf / "sub" / "user.yaml")
    # Positions are within the file each value comes from.
    data = (conf / "db.yaml").read_bytes()
    assert data[db["host"].__offset__:db["host"].__end_offset__] == b"x"
    assert (db["host"].__line__, db["host"].__column__) == (1, 7)
    pw = d["pw"]
    assert (pw.is_secret, pw.__source_tag__, pw.__source_target__) == (True, "!secret", "db_password")
    assert (pw.__file__, pw.__line__, pw.__column__) == (root, 2, 13)  # at the directive's scalar
    assert d["v"].is_env_var and d["v"].__source_target__ == "QM_TEST_VAR"
    named = q.loads(text, option=ALL | A, include_dir=conf, root_path=conf / "main.yaml")
    assert named.__file__ == str(conf / "main.yaml")


def test_merge_keys_in_included_files_and_across_them(conf):
    # The same merges as the plain road makes of the same text.
    base = (conf / "base.yaml").read_text()
    assert q.loads("x: !include base.yaml", option=INC, include_dir=conf)["x"] == q.loads(base)
    merged = q.loads("m:\n  <<: !include db.yaml\n  port: 1\n", option=INC | A, include_dir=conf)["m"]
    assert merged == {"port": 1, "host": "x", "user": {"name": "admin"}}
    assert merged["host"].__file__ == str(conf / "db.yaml")


def test_a_missing_include_two_deep(conf):
    with pytest.raises(ex.QuillmereIncludeNotFoundError) as info:
        q.loads("top: !include sub/broken.yaml", option=INC, include_dir=conf)
    lines = str(info.value).split("\n")
    assert len(lines) == 2 and lines[1].startswith("  included from ")
    assert info.value.file == str(conf / "sub" / "missing.yaml")
    assert info.value.include_stack == [(str(conf / "sub" / "broken.yaml"), 1)]
    assert getattr(info.value, "line", None) is None


def test_a_missing_secret(conf):
    with pytest.raises(ex.QuillmereSecretNotFoundError) as info:
        q.loads("a: 1\nb: !secret nope", option=SEC, include_dir=conf)
    assert str(info.value) == f"secret 'nope' is not defined in any secrets.yaml in {conf / '<root>'}"
    assert (info.value.file, info.value.line, info.value.column) == (str(conf / "<root>"), 2, 12)
    assert not hasattr(info.value, "include_stack") or info.value.include_stack is None


def test_missing_references_reported_in_order(conf, caplog, monkeypatch):
    monkeypatch.delenv("QM_TEST_UNSET", raising=False)
    calls = []
    text = "a: !secret s1\nb: !env_var QM_TEST_UNSET\nc: !secret s2\n"
    with caplog.at_level(logging.WARNING, logger="quillmere"):
        value = q.loads(text, option=SEC | ENV | q.OPT_SECRET_NOT_FOUND_WARN | q.OPT_ENV_VAR_NOT_FOUND_WARN,
                        include_dir=conf, on_missing_secret=lambda *a: calls.append(("secret", *a)),
                        on_missing_env_var=lambda *a: calls.append(("env", *a)))
    assert value == {"a": None, "b": None, "c": None}
    root = str(conf / "<root>")
    assert calls == [("secret", "s1", root, 1), ("secret", "s2", root, 3), ("env", "QM_TEST_UNSET", root, 2)]
    messages = [r.getMessage() for r in caplog.records]
    assert messages == ["secrets.yaml: 'logger: debug' expected, but 'logger: info' found",
                        f"secret 's1' is not defined in any secrets.yaml at {root}:1",
                        f"secret 's2' is not defined in any secrets.yaml at {root}:3",
                        f"environment variable 'QM_TEST_UNSET' is not defined at {root}:2"]


def test_a_callable_without_its_warn_option_gets_the_calls_and_logs_nothing(conf, caplog):
    calls = []
    with caplog.at_level(logging.WARNING, logger="quillmere"):
        q.loads("a: !secret s1", option=SEC, include_dir=conf, on_missing_secret=lambda *a: calls.append(a))
    assert calls == [("s1", str(conf / "<root>"), 1)]
    assert not [r for r in caplog.records if "s1" in r.getMessage()]


def test_a_raising_callable_ends_the_load(conf, monkeypatch):
    monkeypatch.delenv("QM_TEST_UNSET", raising=False)
    secrets = []

    def refuse(*args):
        raise LookupError(args[0])

    with pytest.raises(LookupError, match="QM_TEST_UNSET"):
        q.loads("a: !secret s1\nb: !env_var QM_TEST_UNSET", option=SEC | ENV, include_dir=conf,
                on_missing_secret=lambda *a: secrets.append(a), on_missing_env_var=refuse)
    assert len(secrets) == 1


class TestErrorsInTexts:
    def test_a_syntax_error_of_the_root_text_has_its_position(self, conf):
        for option in (INC, INC | A, ALL):
            with pytest.raises(ex.QuillmereParseError) as info:
                q.loads("a: !include db.yaml\nb: [1\n", option=option, include_dir=conf)
            assert info.value.file is None and info.value.line is not None

    def test_a_syntax_error_of_an_included_text(self, conf):
        with pytest.raises(ex.QuillmereIncludeError) as info:
            q.loads("a: !include bad.yaml", option=INC, include_dir=conf)
        assert info.value.file == str(conf / "bad.yaml")
        # Read again by the fast decoder under OPT_ANNOTATED, with a position.
        with pytest.raises(ex.QuillmereComplexKeyError) as info:
            q.loads("a: !include complex.yaml", option=INC | A | q.OPT_REJECT_COMPLEX_KEYS, include_dir=conf)
        assert (info.value.file, info.value.line) == (str(conf / "complex.yaml"), 1)

    # (error, option, schema, text of the included file, class, line, column)
    ERRORS_IN_INCLUDED_FILES = [
        ("duplicate key", q.OPT_DUPLICATE_KEYS_ERROR, None, "a: 1\nb: 2\na: 3\n", ex.QuillmereDuplicateKeyError, 3, 1),
        ("schema violation", 0, {"properties": {"sub": {"properties": {"b": {"type": "string"}}}}},
         "a: 1\nb: 2\n", ex.QuillmereSchemaError, 2, 4),
        ("complex key", q.OPT_REJECT_COMPLEX_KEYS, None, "a: 1\n? [x]\n: 2\n", ex.QuillmereComplexKeyError, 2, 1),
    ]

    @pytest.mark.parametrize("road", [0, A, q.OPT_ROUND_TRIP], ids=["plain", "annotated", "round trip"])
    @pytest.mark.parametrize("error, option, schema, text, cls, line, column", ERRORS_IN_INCLUDED_FILES,
                             ids=[row[0] for row in ERRORS_IN_INCLUDED_FILES])
    def test_an_error_in_an_included_file_names_that_file(self, tmp_path, road, error, option, schema, text, cls,
                                                         line, column):
        if error == "complex key" and road == q.OPT_ROUND_TRIP:
            pytest.skip("round-trip documents keep complex keys")
        (tmp_path / "sub.yaml").write_text(text)
        with pytest.raises(cls) as info:
            q.loads("top: 1\nsub: !include sub.yaml\n", option=INC | road | option, include_dir=str(tmp_path),
                    schema=schema)
        assert (info.value.file, info.value.line, info.value.column) == (str(tmp_path / "sub.yaml"), line, column)
        # The same error in the root text names no file.
        with pytest.raises(cls) as info:
            q.loads("sub:\n" + "".join("  " + row + "\n" for row in text.splitlines()),
                    option=INC | road | option, include_dir=str(tmp_path), schema=schema)
        assert info.value.file is None

    def test_an_unknown_alias_in_the_root_text(self, conf):
        with pytest.raises(ex.QuillmereParseError) as info:
            q.loads("a: !include db.yaml\nb: *nope", option=INC, include_dir=conf)
        assert str(info.value) == "unknown alias: *nope at line 2, column 4"


def test_an_include_dir_that_is_no_path():
    with pytest.raises(TypeError) as info:
        q.loads("a: 1", include_dir=5)
    assert info.value.__notes__ == ["while processing 'include_dir'"]


def test_loads_all_refuses_the_directive_options():
    for option in (INC, SEC, ENV):
        with pytest.raises(ValueError, match="^loads_all\\(\\) does not support"):
            q.loads_all("a: 1", option=option)


@pytest.mark.parametrize("option", [0, A, q.OPT_ROUND_TRIP])
def test_an_alias_stands_for_an_anchor_of_its_own_file(tmp_path, option):
    """Each file is read on its own: an included file that defines the
    same anchor name does not change what the including file's alias
    means, nor does the including file's anchor reach into it."""
    (tmp_path / "t.yaml").write_text("p: &b 2\nq: *b\n")
    (tmp_path / "d").mkdir()
    (tmp_path / "d" / "u.yaml").write_text("- &b [3]\n- *b\n")
    text = "base: &b 1\nother: !include t.yaml\nlist: !include_dir_list d\nlast: *b\n"
    result = q.loads(text, option=INC | option, include_dir=str(tmp_path))
    if option == q.OPT_ROUND_TRIP:
        result = result.to_dict()
    assert result["last"] == 1
    assert result["other"] == {"p": 2, "q": 2}
    assert result["list"] == [[[3], [3]]]


def test_a_deep_recursive_listing_takes_time_linear_in_its_entries(tmp_path):
    """800 nested directories holding one file: every directory is opened
    from its parent, where resolving each path again grew with the cube of
    the depth (seconds at this depth)."""
    depth = 800
    chain = tmp_path / "d" / "/".join(["a"] * depth)
    chain.mkdir(parents=True)
    (chain / "x.yaml").write_text("k: 1\n")
    try:
        start = time.perf_counter()
        result = q.loads("l: !include_dir_list d\n", option=INC | q.OPT_INCLUDE_DIR_RECURSIVE,
                         include_dir=str(tmp_path))
        elapsed = time.perf_counter() - start
        assert result == {"l": [{"k": 1}]}
        assert elapsed < 1.5, elapsed
    finally:
        # Deeper than a recursive removal can go within Python's limit.
        (chain / "x.yaml").unlink()
        for level in range(depth, -1, -1):
            (tmp_path / "d" / "/".join(["a"] * level)).rmdir()


def test_the_bytes_one_load_reads_are_bounded(tmp_path):
    """A file past the bound is refused by its size, before a byte of it is
    read (a sparse file stands for a large one here)."""
    (tmp_path / "big.yaml").touch()
    os.truncate(tmp_path / "big.yaml", (256 << 20) + 1)
    (tmp_path / "mid.yaml").write_text("big: !include big.yaml\n")
    start = time.perf_counter()
    for option in (0, q.OPT_ROUND_TRIP):
        with pytest.raises(ex.QuillmereIncludeError) as info:
            q.loads("a: 1\nm: !include mid.yaml\n", option=INC | option, include_dir=str(tmp_path))
        assert str(info.value).startswith("includes exceed the maximum of 268435456 bytes read by one load in ")
        assert info.value.file == str(tmp_path / "big.yaml")
        assert info.value.include_stack == [(str(tmp_path / "mid.yaml"), 2)]
    assert time.perf_counter() - start < 1
