"""Round-trip documents back to text and files: to_yaml, walk, save,
dump_includes and dump_includes_map.

Saves run in a temporary directory. A document whose loaded text the 1.1
upgrade rewrote ("yes" -> "true") carries modification marks without any
edit, which makes it the simplest changed document."""

import os
import stat
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import quillmere
from conftest import SHARED_DIR, run_on_small_stack
from quillmere import (
    OPT_ROUND_TRIP,
    OPT_UPGRADE_1_1,
    OPT_YAML_1_1,
    dump_includes,
    dump_includes_map,
    dumps,
    loads,
    loads_all,
)


def rt(text, option=0, **kwargs):
    return loads(text, option=OPT_ROUND_TRIP | option, **kwargs)


def changed(text="a: yes  # kept\n"):
    """A document whose root file changed: the upgrade rewrote a value."""
    return rt(text, OPT_UPGRADE_1_1)


CHANGED_TEXT = b"%YAML 1.2\n---\na: true  # kept\n"


def files_in(directory):
    """Every name below `directory`: a temporary file left behind shows up."""
    return sorted(str(p.relative_to(directory)) for p in Path(directory).rglob("*"))


# ------------------------------------------------------------- to_yaml


# Inputs that do not load, so have no document to write back.
NOT_LOADING = {
    # As on the plain road: the closing "]" of a flow sequence stands at the
    # indentation of its mapping key, which the flow indentation rule refuses.
    "corpus/otel-demo/compose.yaml": "flow content must be indented more than its block context",
    # As in every conformance test of the scanner: a tab after indentation
    # spaces, before content, is refused as indentation.
    "suite/DK95/00": "a tab cannot be used for indentation",
}


def corpus_and_suite_inputs():
    """(name, bytes) of every corpus file and every valid conformance case."""
    corpus = SHARED_DIR / "corpus" / "files"
    suite = SHARED_DIR / "yaml-test-suite"
    inputs = [("corpus/" + str(p.relative_to(corpus)), p) for p in sorted(corpus.rglob("*")) if p.is_file()]
    inputs += [("suite/" + str(p.parent.relative_to(suite)), p) for p in sorted(suite.rglob("in.yaml"))
               if not (p.parent / "error").exists()]
    return [(name, path.read_bytes()) for name, path in inputs]


def test_unedited_documents_give_back_their_input_byte_for_byte():
    """Every corpus file and valid conformance case: to_yaml() and dumps()
    return the input bytes."""
    inputs = corpus_and_suite_inputs()
    assert len(inputs) > 300
    differing, refused = [], {}
    for name, data in inputs:
        try:
            doc = rt(data)
        except quillmere.QuillmereError as error:
            refused[name] = str(error)
            continue
        if doc.to_yaml() != data or dumps(doc) != data:
            differing.append(name)
    assert differing == []
    assert refused.keys() == NOT_LOADING.keys()
    for name, reason in NOT_LOADING.items():
        assert reason in refused[name]


@pytest.mark.parametrize("encoding", ["utf-16", "utf-16-le", "utf-16-be", "utf-32", "utf-32-be", "utf-8-sig"])
def test_other_encodings_come_back_as_utf8(encoding):
    text = "# ünïcode\nkey: välue  # c\nlist: [a,  b]\n"
    bom = b"\xef\xbb\xbf" if encoding in ("utf-16", "utf-32", "utf-8-sig") else b""
    assert rt(text.encode(encoding)).to_yaml() == bom + text.encode("utf-8")


def test_str_input_and_an_empty_stream():
    assert rt("a:   1  # c\n").to_yaml() == b"a:   1  # c\n"
    assert rt("").to_yaml() == b""
    assert rt("", OPT_UPGRADE_1_1).to_yaml() == b""


def test_a_change_rewrites_only_what_changed_and_keeps_the_separators():
    doc = changed("a: 1   # one\n...\nb: yes\n")
    assert doc.to_yaml() == b"%YAML 1.2\n---\na: 1   # one\n...\nb: true\n"
    assert dumps(doc) == doc.to_yaml()


@pytest.mark.parametrize(
    "text, expected",
    [
        ("a: 1\n", b"%YAML 1.2\n---\na: 1\n"),
        ("%YAML 1.1\n---\na: 1\n", b"%YAML 1.2\n---\na: 1\n"),
        ("\ufeffa: 1\n", b"\xef\xbb\xbf%YAML 1.2\n---\na: 1\n"),
        # The header never changes the data: no second "---" after comments,
        # %TAG lines and blank lines kept with their document.
        ("# head\n---\na: 1\n", b"%YAML 1.2\n# head\n---\na: 1\n"),
        ("%YAML 1.1\n%TAG !e! tag:e.com,2000:\n---\na: !e!x v\n", b"%YAML 1.2\n%TAG !e! tag:e.com,2000:\n---\na: !e!x v\n"),
        ("\n\n%YAML 1.1\n---\na: 1\n", b"%YAML 1.2\n\n\n---\na: 1\n"),
        ("# c\n\n%YAML 1.1\n--- # start\na: 1\n...\n", b"%YAML 1.2\n# c\n\n--- # start\na: 1\n...\n"),
    ],
)
def test_the_upgrade_header_keeps_the_documents(text, expected):
    out = rt(text, OPT_UPGRADE_1_1).to_yaml()
    assert out == expected
    assert loads_all(out) == loads_all(text, option=OPT_YAML_1_1)


@pytest.mark.parametrize(
    "text, expected",
    [
        # No document, no header: it would make one.
        ("", b""),
        ("# only a comment\n", b"# only a comment\n"),
        ("...\n", b"...\n"),
        # The header stands first; "..." lines before the first document go.
        ("...\na: yes\n", b"%YAML 1.2\n---\na: true\n"),
        ("# c\n...\n%TAG !e! tag:e.com,2000:\n--- !e!x yes\n", b"%YAML 1.2\n# c\n%TAG !e! tag:e.com,2000:\n--- !e!x yes\n"),
        # A later document rewritten to 1.2 loses its own %YAML 1.1 line.
        ("a: yes\n...\n%YAML 1.1\n---\nb: yes\n", b"%YAML 1.2\n---\na: true\n---\nb: true\n"),
        ("%YAML 1.1\n---\na: 1\n...\n%YAML 1.1\n%TAG !e! tag:e.com,2000:\n---\nb: !e!x 010\n",
         b"%YAML 1.2\n---\na: 1\n...\n%TAG !e! tag:e.com,2000:\n---\nb: !e!x 010\n"),
    ],
)
def test_the_upgrade_never_changes_the_number_of_documents(text, expected):
    doc = rt(text, OPT_UPGRADE_1_1)
    out = doc.to_yaml()
    assert out == expected
    assert loads_all(out) == loads_all(text, option=OPT_YAML_1_1)


def test_strings_assigned_into_a_document_with_its_own_yaml11_line_are_quoted_by_those_rules():
    # Without the upgrade a later "%YAML 1.1" stays, and readers that go by
    # each document's directive read that document by the 1.1 rules.
    doc = rt("a: 1\n...\n%YAML 1.1\n---\nb: 2\n")
    doc[1]["y"] = "y"
    doc[1]["t"] = "1:30"
    assert doc.to_yaml() == b'a: 1\n...\n%YAML 1.1\n---\nb: 2\n"y": "y"\nt: "1:30"\n'
    # Upgraded, it reads by the 1.2 rules, and the line is gone.
    doc = rt("a: 1\n...\n%YAML 1.1\n---\nb: 2\n", OPT_UPGRADE_1_1)
    doc[1]["y"] = "y"
    assert doc.to_yaml() == b"%YAML 1.2\n---\na: 1\n---\nb: 2\n\"y\": \"y\"\n"


def test_reserved_directives_are_kept_with_their_comments():
    doc = rt("%FOO bar # keep me\n%YAML 1.2\n---\na: 1\n...\n%BAR\n---\nb: 2\n")
    doc[0]["a"] = 3
    assert doc.to_yaml() == b"%FOO bar # keep me\n%YAML 1.2\n---\na: 3\n...\n%BAR\n---\nb: 2\n"


def test_a_view_renders_its_node_alone():
    doc = rt("a:\n  b:   1  # c\n  c: [x,  y]\nd: 2\n")
    assert doc["a"].to_yaml() == b"b:   1  # c\nc: [x, y]\n"
    assert doc["a"]["c"].to_yaml() == b"[x, y]\n"


@pytest.mark.parametrize("text, path, expected", [
    # An alias of a definition outside the view is written as that
    # definition, anchor included, where it is first used.
    ("x: &a 1\ny:\n  z: *a\n  w: *a\n", ("y",), b"z: &a 1\nw: *a\n"),
    ("b: &b 2\nx: &a [1, *b]\ny: {p: *a, q: [*a, *b]}\n", ("y",), b"{p: &a [1, &b 2], q: [*a, *b]}\n"),
    ("b: &b 0\nx: &a {k: *b}\ny:\n- *a\n- *b\n", ("y",), b"- &a {k: &b 0}\n- *b\n"),
    # A definition inside the view stays as it is.
    ("y:\n  a: &a 1\n  b: *a\n", ("y",), b"a: &a 1\nb: *a\n"),
    # The directive lines that its tags are read by.
    ("%TAG !e! tag:example.com,2000:\n---\ny:\n  z: !e!foo 1\n", ("y",),
     b"%TAG !e! tag:example.com,2000:\n---\nz: !e!foo 1\n"),
    ("%YAML 1.1\n---\ny: [yes, 010]\n", ("y",), b"%YAML 1.1\n---\n[yes, 010]\n"),
])
def test_a_view_of_a_node_reads_alone_as_it_reads_in_place(text, path, expected):
    doc = rt(text)
    view = doc
    for step in path:
        view = view[step]
    out = view.to_yaml()
    assert out == expected
    assert loads(out) == view.to_dict()


# ------------------------------------------------------------- walk


@pytest.mark.parametrize(
    "text, leaves",
    [
        ("a: [1, 2]\nb: {c: x}\n", [(("a", 0), 1), (("a", 1), 2), (("b", "c"), "x")]),
        ("5\n", [((), 5)]),
        ("a: []\nb: {}\n", []),
        # A key that is not a scalar has no path step: left out with its value.
        ("[k]: v\nx: ~\n1: one\n", [(("x",), None), (("1",), "one")]),
        # An alias leaf gives what its anchor holds.
        ("a: &r {k: v}\nb: *r\n", [(("a", "k"), "v"), (("b",), {"k": "v"})]),
    ],
)
def test_walk_lists_leaves_with_their_paths(text, leaves):
    assert rt(text).walk() == leaves


def test_walk_of_a_view_and_of_an_empty_stream():
    doc = rt("a:\n  - {b: 1}\n  - c\n")
    assert doc["a"].walk() == [((0, "b"), 1), ((1,), "c")]
    assert rt("").walk() == []


def test_walk_of_a_deep_tree_on_a_small_stack():
    depth = 999
    doc = rt("[" * depth + "x" + "]" * depth)
    ((path, value),) = run_on_small_stack(doc.walk)
    assert path == (0,) * depth and value == "x"


# ------------------------------------------------------------- save


def test_save_of_an_unedited_document_without_a_path_writes_nothing(tmp_path):
    doc = rt("a: 1\n")
    assert doc.save() == []
    assert files_in(tmp_path) == []


def test_save_needs_a_path_when_the_root_changed_and_there_is_no_origin(tmp_path):
    doc = changed()
    with pytest.raises(ValueError) as error:
        doc.save()
    assert str(error.value) == "save() needs a path: this document was not loaded from a file"


def test_save_writes_the_origin_and_keeps_marks(tmp_path):
    target = tmp_path / "conf.yaml"
    doc = changed()
    doc.set_origin(str(target))
    assert doc.save() == [str(target)]
    assert target.read_bytes() == CHANGED_TEXT
    # Nothing is cleared: the next save writes the same file again.
    target.write_bytes(b"x: 0\n")
    assert doc.save() == [str(target)]
    assert target.read_bytes() == CHANGED_TEXT
    assert files_in(tmp_path) == ["conf.yaml"]


def test_save_as_writes_the_loaded_text_and_leaves_the_origin(tmp_path):
    text = b"# top\na:   1  # one\n"
    doc = rt(text)
    doc.set_origin(str(tmp_path / "origin.yaml"))
    copy = tmp_path / "copy.yaml"
    assert doc.save(str(copy)) == [str(copy)]
    assert copy.read_bytes() == text
    assert doc.origin == str(tmp_path / "origin.yaml")
    assert files_in(tmp_path) == ["copy.yaml"]


def test_save_path_must_be_a_str():
    with pytest.raises(TypeError) as error:
        rt("a: 1\n").save(5)
    assert error.value.__notes__ == ["while processing 'path'"]


def test_a_path_holding_a_nul_is_refused_and_named_whole(tmp_path):
    path = f"{tmp_path}/a\0b.yaml"
    with pytest.raises(OSError) as error:
        rt("a: 1\n").save(path)
    assert str(error.value) == f"cannot write {path}: file name contained an unexpected NUL byte"
    assert files_in(tmp_path) == []


def test_save_keeps_the_permission_bits_of_the_file_it_replaces(tmp_path):
    target = tmp_path / "conf.yaml"
    target.write_bytes(b"old\n")
    target.chmod(0o640)
    doc = changed()
    doc.set_origin(str(target))
    doc.save()
    assert stat.S_IMODE(target.stat().st_mode) == 0o640
    assert target.read_bytes() == CHANGED_TEXT


def test_save_through_a_symbolic_link_replaces_the_file_and_keeps_the_link(tmp_path):
    real = tmp_path / "real" / "conf.yaml"
    real.parent.mkdir()
    real.write_bytes(b"old\n")
    link = tmp_path / "link.yaml"
    link.symlink_to(real)
    doc = changed()
    doc.set_origin(str(link))
    assert doc.save() == [str(link)]
    assert link.is_symlink() and os.readlink(link) == str(real)
    assert real.read_bytes() == CHANGED_TEXT
    assert files_in(tmp_path) == ["link.yaml", "real", "real/conf.yaml"]


def test_a_failed_save_over_a_directory_changes_nothing(tmp_path):
    (tmp_path / "dir").mkdir()
    doc = changed()
    with pytest.raises(OSError) as error:
        doc.save(str(tmp_path / "dir"))
    assert str(error.value) == f"cannot write {tmp_path / 'dir'}: Is a directory (os error 21)"
    with pytest.raises(OSError, match="No such file or directory"):
        doc.save(str(tmp_path / "missing" / "x.yaml"))
    assert files_in(tmp_path) == ["dir"]


def test_a_failed_save_leaves_the_old_file_whole(tmp_path):
    """A write that cannot finish leaves the target as it was and no
    temporary file. The failure is a file-size limit in a child process, so
    that it holds for root as well (root writes to read-only directories)."""
    target = tmp_path / "conf.yaml"
    target.write_bytes(b"old: 1\n")
    child = textwrap.dedent(f"""
        import resource, signal, sys
        import quillmere
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        doc = quillmere.loads("- yes\\n" * 50, option=quillmere.OPT_ROUND_TRIP | quillmere.OPT_UPGRADE_1_1)
        doc.set_origin({str(target)!r})
        resource.setrlimit(resource.RLIMIT_FSIZE, (16, 16))
        try:
            doc.save()
        except OSError as error:
            print(error)
            sys.exit(0)
        sys.exit("saved past the file-size limit")
        """)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-c", child], env=env, capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith(f"cannot write {target}: File too large"), result.stdout
    assert target.read_bytes() == b"old: 1\n"
    assert files_in(tmp_path) == ["conf.yaml"]


# ------------------------------------------------------------- dump_includes


def test_include_functions_need_a_directive_load():
    doc = rt("a: 1\n")
    message = "document was not loaded with OPT_INCLUDES; nothing to write back"
    with pytest.raises(ValueError, match=message):
        dump_includes(doc)
    with pytest.raises(ValueError, match=message):
        dump_includes_map(doc)


@pytest.mark.parametrize("function", [dump_includes, dump_includes_map])
def test_include_functions_take_a_document(function):
    with pytest.raises(TypeError) as error:
        function({"a": 1})
    assert str(error.value) == "'dict' object cannot be converted to 'QuillmereDocument'"
    assert error.value.__notes__ == ["while processing 'doc'"]


def test_dump_includes_checks_include_dir():
    with pytest.raises(TypeError) as error:
        dump_includes(rt("a: 1\n"), include_dir=5)
    assert error.value.__notes__ == ["while processing 'include_dir'"]


# ------------------------------------------------------------- included files


@pytest.fixture
def conf(tmp_path):
    """An include root with a main file that includes db.yaml twice (a and
    b), a file of two documents (multi) and an untouched file (other)."""
    root = tmp_path / "conf"
    root.mkdir()
    (root / "db.yaml").write_bytes(b"port: 5432  # default\nhost: db\n")
    (root / "multi.yaml").write_bytes(b"first: 1\n---\nsecond: doc  # kept\n")
    (root / "other.yaml").write_bytes(b"untouched: yes\n")
    main = root / "main.yaml"
    main.write_bytes(b"# main\na: !include db.yaml\nb: !include db.yaml\nmulti: !include multi.yaml\n"
                     b"other: !include other.yaml\nlevel: 1\n")
    return root


def load_conf(root, option=0):
    main = root / "main.yaml"
    return rt(main.read_bytes(), quillmere.OPT_INCLUDES | option, include_dir=str(root), root_path=str(main))


def snapshot(directory):
    return {name: (Path(directory) / name).read_bytes() for name in files_in(directory)
            if (Path(directory) / name).is_file()}


def test_an_included_file_edited_through_the_document_is_saved_alone(conf):
    doc = load_conf(conf)
    doc["multi"]["first"] = 2
    before = snapshot(conf)
    # Only the included file changed: no origin is needed.
    assert doc.save() == [str(conf / "multi.yaml")]
    after = snapshot(conf)
    # The file's second document, which the include does not hold, stays.
    assert after.pop("multi.yaml") == b"first: 2\n---\nsecond: doc  # kept\n"
    before.pop("multi.yaml")
    assert after == before


def test_a_file_included_twice_saves_one_text_or_refuses_two(conf):
    doc = load_conf(conf)
    doc["a"]["port"] = 6000
    doc["b"]["port"] = 6000
    assert doc.save() == [str(conf / "db.yaml")]
    assert (conf / "db.yaml").read_bytes() == b"port: 6000  # default\nhost: db\n"

    doc["b"]["port"] = 7000
    before = snapshot(conf)
    with pytest.raises(quillmere.QuillmereIncludeError) as error:
        doc.save()
    assert str(error.value).startswith(
        f"'{conf / 'db.yaml'}' is included more than once with conflicting edits; write-back cannot store two "
        "different versions of one file")
    assert snapshot(conf) == before


def test_save_checks_the_origin_before_writing_any_file(conf):
    doc = load_conf(conf)
    doc["multi"]["first"] = 2
    doc["level"] = 2
    before = snapshot(conf)
    with pytest.raises(ValueError, match="save\\(\\) needs a path"):
        doc.save()
    assert snapshot(conf) == before

    # The root file cannot be written: the included file is not written either.
    doc.set_origin(str(conf))
    with pytest.raises(OSError, match="Is a directory"):
        doc.save()
    assert snapshot(conf) == before

    doc.set_origin(str(conf / "main.yaml"))
    assert doc.save() == [str(conf / "multi.yaml"), str(conf / "main.yaml")]
    assert (conf / "main.yaml").read_bytes().endswith(b"level: 2\n")
    assert (conf / "main.yaml").read_bytes().startswith(b"# main\na: !include db.yaml\n")


def test_an_included_file_that_leads_outside_the_root_at_save_time_is_refused(conf, tmp_path):
    doc = load_conf(conf)
    doc["multi"]["first"] = 2
    outside = tmp_path / "outside.yaml"
    outside.write_bytes(b"secret: 1\n")
    (conf / "multi.yaml").unlink()
    (conf / "multi.yaml").symlink_to(outside)
    for write in (doc.save, lambda: dump_includes(doc)):
        with pytest.raises(quillmere.QuillmereIncludeConfinementError, match="resolves outside the configured"):
            write()
        assert outside.read_bytes() == b"secret: 1\n"


def test_dump_includes_map_gives_every_included_file(conf):
    doc = load_conf(conf)
    texts = dump_includes_map(doc)
    assert texts == {str(conf / name): (conf / name).read_bytes() for name in ("db.yaml", "multi.yaml", "other.yaml")}

    # Edited through one of its two includes, db.yaml would need two texts.
    doc["a"]["port"] = 1
    with pytest.raises(quillmere.QuillmereIncludeError, match="included more than once with conflicting edits"):
        dump_includes_map(doc)
    doc["b"]["port"] = 1
    assert dump_includes_map(doc)[str(conf / "db.yaml")] == b"port: 1  # default\nhost: db\n"


def test_dump_includes_writes_to_the_recorded_paths(conf, tmp_path):
    doc = load_conf(conf)
    doc["multi"]["first"] = 3
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    assert dump_includes(doc, include_dir=str(elsewhere)) is None
    assert files_in(elsewhere) == []
    assert (conf / "multi.yaml").read_bytes() == b"first: 3\n---\nsecond: doc  # kept\n"
    assert (conf / "other.yaml").read_bytes() == b"untouched: yes\n"
    assert files_in(conf) == ["db.yaml", "main.yaml", "multi.yaml", "other.yaml"]


def test_a_failed_dump_includes_raises_value_error_and_writes_nothing(conf):
    doc = load_conf(conf)
    doc["multi"]["first"] = 3
    (conf / "other.yaml").unlink()
    (conf / "other.yaml").mkdir()
    before = snapshot(conf)
    with pytest.raises(ValueError) as error:
        dump_includes(doc)
    assert str(error.value) == f"cannot write {conf / 'other.yaml'}: Is a directory (os error 21)"
    assert snapshot(conf) == before and files_in(conf / "other.yaml") == []
