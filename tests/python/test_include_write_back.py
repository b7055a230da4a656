"""Editing and saving a document assembled from included files: each edit
lands in the file it came from, content that a directive produced (a
directory listing, a secret, an environment variable) is never written
back in its place, anchors and aliases stay in one file, and a missing
secret keeps its directive."""

from pathlib import Path

import pytest

import quillmere
from quillmere import (
    OPT_ENV_VAR,
    OPT_INCLUDES,
    OPT_ROUND_TRIP,
    OPT_SECRETS,
    dump_includes,
    dump_includes_map,
    loads,
)

DIRECTIVES = OPT_ROUND_TRIP | OPT_INCLUDES | OPT_SECRETS | OPT_ENV_VAR


def make_tree(root, files):
    for name, text in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode() if isinstance(text, str) else text)
    return root


def snapshot(root):
    return {str(p.relative_to(root)): p.read_bytes() for p in sorted(Path(root).rglob("*")) if p.is_file()}


def load(root, option=0, **kwargs):
    main = root / "main.yaml"
    doc = loads(main.read_bytes(), option=DIRECTIVES | option, include_dir=str(root), root_path=str(main), **kwargs)
    doc.set_origin(str(main))
    return doc


def reload(root, option=0):
    main = root / "main.yaml"
    return loads(main.read_bytes(), option=(DIRECTIVES & ~OPT_ROUND_TRIP) | option, include_dir=str(root),
                 root_path=str(main))


# ------------------------------------------------------------- directive content is not editable

PRODUCED = {
    "main.yaml": "own: 1\npk: !include pk.yaml\ndb: !include db.yaml\nenv: !include env.yaml\n"
                 "deep: !include deep.yaml\n",
    "pk.yaml": "!include_dir_named d\n",
    "d/x.yaml": "a: 1\n",
    "db.yaml": "!secret db  # in db.yaml\n",
    "secrets.yaml": "db: {user: root, password: hunter2}\n",
    "env.yaml": "!env_var QUILLMERE_WRITE_BACK_TEST\n",
    # Two includes deep, then the listing.
    "deep.yaml": "!include pk.yaml\n",
}

# (what is edited, the edit, the directive it is refused for)
REFUSED_EDITS = [
    ("a value in a listing", lambda doc: doc["pk"]["x"].__setitem__("a", 2), "!include_dir_named"),
    ("a file of a listing", lambda doc: doc["pk"].__setitem__("x", 2), "!include_dir_named"),
    ("a new key in a listing", lambda doc: doc["pk"].__setitem__("y", 2), "!include_dir_named"),
    ("a listing two includes deep", lambda doc: doc["deep"]["x"].__setitem__("a", 2), "!include_dir_named"),
    ("the anchor of a listing", lambda doc: setattr(doc.node["pk"], "anchor", "p"), "!include_dir_named"),
    ("a comment in a listing", lambda doc: setattr(doc.node["pk"]["x"]["a"], "comment", "c"),
     "!include_dir_named"),
    ("a value of a secret", lambda doc: doc["db"].__setitem__("user", "x"), "!secret"),
    ("a new key of a secret", lambda doc: doc["db"].__setitem__("new", "x"), "!secret"),
    ("a node of a secret", lambda doc: setattr(doc.node["db"]["password"], "value", "x"), "!secret"),
    ("a comment in a secret", lambda doc: setattr(doc.node["db"]["password"], "comment", "c"), "!secret"),
    ("the anchor of a secret", lambda doc: setattr(doc.node["db"], "anchor", "s"), "!secret"),
    ("an alias into a secret", lambda doc: doc.node["db"]["user"].make_alias("x"), "!secret"),
    ("the anchor of a variable", lambda doc: setattr(doc.node["env"], "anchor", "e"), "!env_var"),
]


@pytest.fixture
def produced(tmp_path, monkeypatch):
    monkeypatch.setenv("QUILLMERE_WRITE_BACK_TEST", "from the environment")
    return make_tree(tmp_path, PRODUCED)


@pytest.mark.parametrize("what, edit, directive", REFUSED_EDITS, ids=[row[0] for row in REFUSED_EDITS])
def test_content_a_directive_produced_cannot_be_edited_through_an_include(produced, what, edit, directive):
    doc = load(produced)
    doc.node["own"].anchor = "x"
    before, text, files = doc.to_dict(), doc.to_yaml(), snapshot(produced)
    with pytest.raises(ValueError) as error:
        edit(doc)
    assert str(error.value) == f"cannot edit content produced by {directive}: save() could not write it back"
    assert (doc.to_dict(), doc.to_yaml()) == (before, text)
    assert dump_includes_map(doc) == {str(produced / name): files[name]
                                      for name in ("pk.yaml", "db.yaml", "env.yaml", "deep.yaml")}
    doc.save()
    after = snapshot(produced)
    assert after.pop("main.yaml") != files.pop("main.yaml")  # the anchor set on own
    assert after == files


def test_a_secret_is_never_written_in_clear(produced):
    """The directive node itself may carry comments: they are written with
    the directive, in the file that holds it."""
    doc = load(produced)
    doc.node["db"].comment = "the database"
    doc.node["pk"].comment = "listed"
    doc["own"] = 2
    doc.save()
    dump_includes(doc)
    for name, data in snapshot(produced).items():
        assert name == "secrets.yaml" or b"hunter2" not in data, name
    files = snapshot(produced)
    assert files["pk.yaml"] == b"!include_dir_named d\n"
    assert files["db.yaml"] == b"!secret db  # in db.yaml\n"
    assert b"pk: !include pk.yaml # listed\ndb: !include db.yaml # the database\n" in files["main.yaml"]
    assert reload(produced) == doc.to_dict()


def test_a_directive_node_can_be_replaced_whole(produced):
    doc = load(produced)
    doc["db"] = {"user": "app"}
    doc["pk"] = [1]
    doc.save()
    files = snapshot(produced)
    assert files["db.yaml"] == PRODUCED["db.yaml"].encode()
    assert files["pk.yaml"] == PRODUCED["pk.yaml"].encode()
    assert reload(produced) == doc.to_dict()
    assert b"user: app" in files["main.yaml"] and b"include_dir" not in files["main.yaml"]


# ------------------------------------------------------------- an edit lands in its file

CHAINS = [
    # (files, path to the edited mapping, the file the edit lands in)
    ({"main.yaml": "top: !include a.yaml\n", "a.yaml": "!include b.yaml  # via b\n", "b.yaml": "k: 1  # one\n"},
     ("top",), "b.yaml"),
    ({"main.yaml": "top: !include a.yaml\n", "a.yaml": "!include sub/b.yaml\n", "sub/b.yaml": "!include c.yaml\n",
      "sub/c.yaml": "# c\nk: 1\n"}, ("top",), "sub/c.yaml"),
    ({"main.yaml": "- !include a.yaml\n", "a.yaml": "outer: !include b.yaml\n", "b.yaml": "!include c.yaml\n",
      "c.yaml": "k: 1\n"}, (0, "outer"), "c.yaml"),
]


@pytest.mark.parametrize("files, path, lands_in", CHAINS, ids=["two files", "three files", "inside an include"])
def test_an_edit_through_chained_includes_lands_in_the_last_file(tmp_path, files, path, lands_in):
    root = make_tree(tmp_path, files)
    before = snapshot(root)
    doc = load(root)
    target = doc
    for step in path:
        target = target[step]
    target["k"] = 5
    target["new"] = "x"
    assert doc.save() == [str(root / lands_in)]
    after = snapshot(root)
    edited = after.pop(lands_in)
    before_text = before.pop(lands_in)
    assert after == before
    assert edited == before_text.replace(b"k: 1", b"k: 5") + b"new: x\n"
    assert reload(root) == doc.to_dict()
    # Every file of the chain is there to write back, each with its text.
    texts = dump_includes_map(doc)
    assert set(texts) == {str(root / name) for name in files if name != "main.yaml"}
    assert texts[str(root / lands_in)] == edited
    assert all(texts[str(root / name)] == data for name, data in before.items() if name != "main.yaml")


def test_a_chain_ending_in_a_secret_keeps_each_file(tmp_path):
    root = make_tree(tmp_path, {"main.yaml": "db: !include a.yaml\n", "a.yaml": "!include b.yaml\n",
                                "b.yaml": "!secret db\n", "secrets.yaml": "db: {password: hunter2}\n"})
    doc = load(root)
    with pytest.raises(ValueError, match="cannot edit content produced by !secret"):
        doc["db"]["password"] = "x"
    assert dump_includes_map(doc) == {str(root / "a.yaml"): b"!include b.yaml\n",
                                      str(root / "b.yaml"): b"!secret db\n"}


# ------------------------------------------------------------- anchors stay in their file

ANCHORED = {
    "main.yaml": "base: &b 1\nsub: !include s.yaml\nother: !include t.yaml\nlast: 0\n",
    "s.yaml": "x: &s 1\ny: 2\n",
    "t.yaml": "p: &b 2\nq: 3\nr: *b\n",
}

CROSSING = "anchor '&{}' is defined in another file: an alias can only refer to an anchor of its own file"
ORPHAN = "anchor '&b' is still used by an alias (*b); an edit cannot remove it while the alias remains"

# (case, the edit, the message)
CROSSING_EDITS = [
    ("root anchor, alias in an included file", lambda doc: doc.node["sub"]["y"].make_alias("b"), None),
    ("included anchor, alias in the root file", lambda doc: doc.node["last"].make_alias("s"), CROSSING.format("s")),
    ("two included files", lambda doc: doc.node["other"]["q"].make_alias("s"), CROSSING.format("s")),
    ("an included file's root as the anchor", lambda doc: doc.node["last"].make_alias("root"),
     CROSSING.format("root")),
    ("an anchor removed while another file defines its name", lambda doc: setattr(doc.node["other"]["p"], "anchor",
                                                                                 None), ORPHAN),
    ("an anchor renamed while another file defines its name", lambda doc: setattr(doc.node["other"]["p"], "anchor",
                                                                                 "c"), ORPHAN),
]


@pytest.mark.parametrize("case, edit, message", CROSSING_EDITS, ids=[row[0] for row in CROSSING_EDITS])
def test_an_alias_and_its_anchor_never_end_up_in_different_files(tmp_path, case, edit, message):
    root = make_tree(tmp_path, ANCHORED)
    doc = load(root)
    # The root of s.yaml is anchored in s.yaml, where save() writes it.
    doc.node["sub"].anchor = "root"
    doc.save()
    assert snapshot(root)["s.yaml"] == b"&root\nx: &s 1\ny: 2\n"
    files = snapshot(root)
    with pytest.raises(ValueError) as error:
        edit(doc)
    if message is None:
        # t.yaml defines &b too, after s.yaml: the alias would find it in
        # the assembled document, and no definition in its own file.
        message = CROSSING.format("b")
    assert str(error.value) == message
    doc.save()
    dump_includes(doc)
    assert snapshot(root) == files
    assert reload(root) == doc.to_dict()


def test_an_alias_to_an_anchor_of_its_own_file_is_saved_there(tmp_path):
    root = make_tree(tmp_path, ANCHORED)
    doc = load(root)
    doc.node["sub"]["y"].make_alias("s")
    # t.yaml's own &b, not the root file's, although the root file's comes first.
    doc.node["other"]["q"].make_alias("b")
    doc.node["last"].make_alias("b")
    assert sorted(doc.save()) == sorted(str(root / name) for name in ("main.yaml", "s.yaml", "t.yaml"))
    files = snapshot(root)
    assert files["s.yaml"] == b"x: &s 1\ny: *s\n"
    assert files["t.yaml"] == b"p: &b 2\nq: *b\nr: *b\n"
    assert files["main.yaml"].endswith(b"last: *b\n")
    assert reload(root) == doc.to_dict() == {"base": 1, "sub": {"x": 1, "y": 1}, "other": {"p": 2, "q": 2, "r": 2},
                                             "last": 1}


# ------------------------------------------------------------- missing secrets keep their directive

MISSING_WAYS = [
    ("warn option", quillmere.OPT_SECRET_NOT_FOUND_WARN | quillmere.OPT_ENV_VAR_NOT_FOUND_WARN, {}),
    ("callables", 0, {"on_missing_secret": lambda *reference: None, "on_missing_env_var": lambda *reference: None}),
]


@pytest.mark.parametrize("way, option, callables", MISSING_WAYS, ids=[row[0] for row in MISSING_WAYS])
def test_a_missing_secret_or_variable_is_null_and_written_back_as_its_directive(tmp_path, monkeypatch, way, option,
                                                                               callables):
    monkeypatch.delenv("QUILLMERE_UNSET_VARIABLE", raising=False)
    root = make_tree(tmp_path, {
        "main.yaml": "api_key: !secret api_key  # from the vault\nhost: !env_var QUILLMERE_UNSET_VARIABLE\n"
                     "sub: !include sub.yaml\nother: 1\n",
        "sub.yaml": "token: !secret token\nk: 1\n",
    })
    doc = load(root, option, **callables)
    assert doc.to_dict() == {"api_key": None, "host": None, "sub": {"token": None, "k": 1}, "other": 1}
    node = doc.node["api_key"]
    assert (node.value, node.is_secret, node.source_target) == (None, True, "api_key")
    assert doc.node["host"].is_env_var
    doc["other"] = 2
    doc["sub"]["k"] = 2
    doc.save()
    files = snapshot(root)
    assert files["main.yaml"] == (b"api_key: !secret api_key  # from the vault\n"
                                  b"host: !env_var QUILLMERE_UNSET_VARIABLE\nsub: !include sub.yaml\nother: 2\n")
    assert files["sub.yaml"] == b"token: !secret token\nk: 2\n"
    # Once the secret is defined, the saved files read it.
    (root / "secrets.yaml").write_text("api_key: k1\ntoken: t1\n")
    monkeypatch.setenv("QUILLMERE_UNSET_VARIABLE", "db")
    assert reload(root) == {"api_key": "k1", "host": "db", "sub": {"token": "t1", "k": 2}, "other": 2}


# ------------------------------------------------------------- comments on the directive line

COMMENTED = {
    "main.yaml": "sub: !include s.yaml  # why\nlist:\n  - 0\n  # above the item\n  - !include s.yaml  # item\n"
                 "pw: !secret pw\nk: 1\n",
    "s.yaml": "# head of s\nx: 1  # in s\n",
    "secrets.yaml": "pw: hunter2\n",
}


def test_the_comments_of_an_include_line_are_the_node_comments(tmp_path):
    root = make_tree(tmp_path, COMMENTED)
    doc = load(root)
    assert doc.node["sub"].comment == "why"
    assert (doc.node["list"][1].comment, doc.node["list"][1].comment_before) == ("item", "above the item")
    assert doc.node["sub"]["x"].comment == "in s"

    doc.node["sub"].comment = "because"
    doc.node["list"][1].comment_before = "the second item"
    doc.node["pw"].comment = "from the vault"
    assert doc.node["sub"].comment == "because"
    assert doc.save() == [str(root / "main.yaml")]
    files = snapshot(root)
    assert files["s.yaml"] == COMMENTED["s.yaml"].encode()
    assert files["main.yaml"] == (b"sub: !include s.yaml # because\nlist:\n  - 0\n  # the second item\n"
                                  b"  - !include s.yaml  # item\npw: !secret pw # from the vault\nk: 1\n")
    assert reload(root) == doc.to_dict()


@pytest.mark.parametrize("value, written", [(5, b"sub: 5  # why\n"), ({"v": 2}, b"sub:  # why\n  v: 2\n")])
def test_replacing_an_included_value_keeps_the_comment_of_its_line(tmp_path, value, written):
    root = make_tree(tmp_path, COMMENTED)
    doc = load(root)
    doc["sub"] = value
    assert doc.node["sub"].comment == "why"
    doc.save()
    main = snapshot(root)["main.yaml"]
    assert main.startswith(written)
    # The included file's own comments stay in it.
    assert b"head of s" not in main and b"in s" not in main
    assert reload(root) == doc.to_dict()
