"""Editing round-trip documents: item assignment on documents and views, the
node setters, make_alias and detach; what an edit refuses, and that a
refused edit changes nothing."""

import pytest

import _quillmere as q
import quillmere
from conftest import SHARED_DIR

RT = q.OPT_ROUND_TRIP


def rt(text, **kwargs):
    return q.loads(text, option=RT, **kwargs)


def emitted(doc):
    return doc.to_yaml().decode()



def refused(doc, edit, error, message):
    """`edit` raises `error` with `message` and leaves the document as it
    was: its data, and its text (an unedited document's text is its source,
    so no change mark was left behind either)."""
    before, text = doc.to_dict(), doc.to_yaml()
    with pytest.raises(error) as caught:
        edit()
    assert str(caught.value) == message
    assert doc.to_dict() == before
    assert doc.to_yaml() == text


# ------------------------------------------------------------ item assignment

PORT = "# ports\nport: &p 80  # http\ncopy: *p\n"


def test_assignment_keeps_comments_anchor_and_position():
    doc = rt(PORT)
    doc["port"] = 81
    node = doc.node["port"]
    assert (node.value, node.comment, node.anchor, node.style) == (81, "http", "p", "plain")
    assert list(doc.keys()) == ["port", "copy"]
    assert doc.to_dict() == {"port": 81, "copy": 81}
    assert emitted(doc) == "# ports\nport: &p 81  # http\ncopy: *p\n"


def test_new_key_is_appended():
    doc = rt("a: 1\nb: 2\n")
    doc["new"] = "x"
    assert list(doc.keys()) == ["a", "b", "new"]
    assert emitted(doc) == "a: 1\nb: 2\nnew: x\n"


def test_assignment_through_views():
    doc = rt("a:\n  b: [1, 2]\n")
    doc["a"]["b"][1] = {"k": [None, True]}
    doc["a"]["c"] = 1.5
    assert doc.to_dict() == {"a": {"b": [1, {"k": [None, True]}], "c": 1.5}}
    assert q.loads(emitted(doc)) == doc.to_dict()


@pytest.mark.parametrize("text, key, error, message", [
    ("a: 1\n", 0, TypeError, "mapping keys must be str"),
    ("a: 1\n", b"a", TypeError, "mapping keys must be str"),
    ("- 1\n- 2\n- 3\n", "a", TypeError, "'str' object cannot be interpreted as an integer"),
    ("- 1\n- 2\n- 3\n", 3, IndexError, "index out of range"),
    ("- 1\n- 2\n- 3\n", -1, OverflowError, "can't convert negative int to unsigned"),
    ("--- 1\n--- 2\n", "k", TypeError, "'str' object cannot be interpreted as an integer"),
    ("--- 1\n--- 2\n", 2, IndexError, "index out of range"),
    ("", 0, IndexError, "index out of range"),
])
def test_document_assignment_errors(text, key, error, message):
    doc = rt(text)
    with pytest.raises(error) as caught:
        doc[key] = 1
    assert str(caught.value) == message


def test_assignment_on_a_scalar_or_alias_view():
    doc = rt("a: &x [1]\nb: *x\n")
    view = doc["b"]
    refused(doc, lambda: view.__setitem__(0, 2), TypeError, "node is not a mapping or sequence")


def test_index_true_is_one():
    doc = rt("[a, b]\n")
    doc[True] = "c"
    assert doc.to_dict() == ["a", "c"]


def test_stream_of_two_documents_replaces_a_whole_document():
    doc = rt("# one\na: 1\n---\n# two\nb: 2\n")
    doc[1] = {"k": 1}
    assert doc.to_dict() == [{"a": 1}, {"k": 1}]
    assert doc[1]["k"] == 1
    assert doc.node["a"].value == 1


def test_deleting_items_is_refused():
    doc = rt("a: [1]\n")
    for container, key in ((doc, "a"), (doc["a"], 0)):
        refused(doc, lambda: container.__delitem__(key), NotImplementedError, "can't delete item")


def test_replacing_a_collection_makes_handles_below_it_stale():
    doc = rt("a:\n  b: {c: 1}\n")
    below, at = doc["a"]["b"], doc["a"]
    doc["a"] = 5
    with pytest.raises(KeyError, match="stale view"):
        below["c"]
    with pytest.raises(KeyError, match="stale view"):
        below["c"] = 2
    with pytest.raises(KeyError) as caught:
        at["b"]
    assert caught.value.args == ("b",)
    doc["a"] = {"b": {"c": 3}}
    assert below["c"] == 3


def test_value_that_cannot_be_converted_changes_nothing():
    doc = rt("a: 1\n")
    loop = []
    loop.append(loop)
    refused(doc, lambda: doc.__setitem__("a", loop), ValueError,
            "value is too deeply nested to assign (possible self-reference)")
    node = doc.node["a"]
    with pytest.raises(ValueError):
        node.value = loop
    with pytest.raises(TypeError, match="cannot convert"):
        node.value = object()
    assert node.value == 1


class ReadsTheDocument:
    """A number whose conversion reads the document being edited."""

    def __init__(self, doc):
        self.doc = doc

    def __index__(self):
        self.doc["a"]
        return 1


def test_an_index_conversion_that_reads_the_document_is_refused():
    doc = rt("a: [1, 2]\n---\nb: 1\n")
    view = doc[0]["a"]
    refused(doc, lambda: view.__setitem__(ReadsTheDocument(doc), 5), RuntimeError, "Already mutably borrowed")
    refused(doc, lambda: doc.__setitem__(ReadsTheDocument(doc), 5), RuntimeError, "Already mutably borrowed")


class Number:
    """A value whose __index__ and __float__ give or raise what is asked."""

    def __init__(self, index=None, floating=None):
        self.index, self.floating = index, floating

    @staticmethod
    def outcome(value):
        if isinstance(value, BaseException):
            raise value
        if callable(value):
            return value()
        return value

    def __index__(self):
        return self.outcome(self.index)

    def __float__(self):
        return self.outcome(self.floating)

    def __repr__(self):
        return "Number()"


@pytest.mark.parametrize("number, error, message", [
    (Number(index=RuntimeError("boom")), RuntimeError, "boom"),
    (Number(index=KeyboardInterrupt("stop")), KeyboardInterrupt, "stop"),
    (Number(index=MemoryError("full")), MemoryError, "full"),
    (Number(index=TypeError("no"), floating=RuntimeError("boom")), RuntimeError, "boom"),
    (Number(index=TypeError("no"), floating=KeyboardInterrupt("stop")), KeyboardInterrupt, "stop"),
    (Number(index=TypeError("no"), floating=TypeError("no")), TypeError, "cannot convert Number() to a YAML node"),
])
@pytest.mark.parametrize("place", ["value", "item", "nested"])
def test_errors_of_a_values_number_conversion_end_the_edit(number, error, message, place):
    doc = rt("a: 1  # c\nb: [x]\n")
    edit = {
        "value": lambda: setattr(doc.node["a"], "value", number),
        "item": lambda: doc.__setitem__("a", number),
        "nested": lambda: doc["b"].__setitem__(0, {"k": [1, number]}),
    }[place]
    refused(doc, edit, error, message)


def test_number_conversions_that_answer_are_written():
    doc = rt("a: 1\n")
    doc["a"] = [Number(index=2**70), Number(index=TypeError("no"), floating=2.5), Number(index=-3)]
    assert doc.to_dict() == {"a": [2**70, 2.5, -3]}


def test_a_number_conversion_that_reads_the_document_is_refused():
    doc = rt("a: 1\nb: 2\n")
    for number in (Number(index=lambda: doc["b"]), Number(index=TypeError("no"), floating=lambda: doc["b"])):
        refused(doc, lambda: doc.__setitem__("a", number), RuntimeError, "Already mutably borrowed")
        refused(doc, lambda: setattr(doc.node["a"], "value", number), RuntimeError, "Already mutably borrowed")


# ------------------------------------------------------------ node setters

def test_value_none_makes_a_null_keeping_layout():
    doc = rt("a: &x 1  # c\nb: *x\n")
    node = doc.node["a"]
    node.value = None
    assert (node.value, node.anchor, node.comment) == (None, "x", "c")
    assert doc.to_dict() == {"a": None, "b": None}


def test_value_of_the_root_replaces_its_content_and_keeps_the_marker_line():
    doc = rt("--- # start\n[1, 2]\n")
    doc.node.value = {"a": 1}
    assert doc.to_dict() == {"a": 1}
    assert emitted(doc) == "--- # start\na: 1\n"


@pytest.mark.parametrize("tag, kept", [
    ("!!str", None), ("!!int", None), ("!!float", None), ("!<tag:yaml.org,2002:str>", None),
    ("!<!custom>", "!<!custom>"), ("!custom", "!custom"),
])
def test_standard_tags_are_dropped_by_assignment(tag, kept):
    doc = rt(f"a: {tag} 5\n")
    doc["a"] = 7
    assert doc.node["a"].tag == kept
    if kept is None:
        assert q.loads(emitted(doc)) == {"a": 7}


def test_assignment_over_a_tagged_collection():
    doc = rt("a: !!map {b: 1}\nc: !!str x\n")
    doc.node["a"].value = [1]
    doc.node["c"].value = 12
    assert q.loads(emitted(doc)) == {"a": [1], "c": 12}


def test_anchor_setter():
    doc = rt("base: &base 1\nother: 2\n")
    other = doc.node["other"]
    refused(doc, lambda: setattr(other, "anchor", "base"), ValueError,
            "anchor name 'base' is already used by another node")
    refused(doc, lambda: setattr(other, "anchor", ""), ValueError, "anchor name cannot be empty")
    doc.node["base"].anchor = "base"
    other.anchor = "mine"
    assert other.anchor == "mine"
    other.anchor = None
    assert other.anchor is None
    assert emitted(doc) == "base: &base 1\nother: 2\n"


@pytest.mark.parametrize("name", ["a b", "a\tb", "a,b", "a[b", "a]", "{a", "a}", "a\nb", "\r", "a\x01", "\x7f",
                                  "\ufeff", "a\x9f", "a\0b"])
def test_anchor_names_yaml_does_not_allow(name):
    doc = rt("a: 1\n")
    node = doc.node["a"]
    with pytest.raises(ValueError) as caught:
        node.anchor = name
    assert str(caught.value).startswith(f"anchor name '{name}' is not allowed in YAML")
    assert node.anchor is None


@pytest.mark.parametrize("name", ["a:b", "x-1.y_z", "ünï", "\u0085", "*&!|"])
def test_anchor_names_yaml_allows_reload(name):
    doc = rt("a: 1\nb: 2\n")
    doc.node["a"].anchor = name
    doc.node["b"].make_alias(name)
    assert q.loads(emitted(doc)) == {"a": 1, "b": 1}


def test_anchor_name_check_covers_keys_and_the_handles_document():
    doc = rt("? &k key\n: 1\nb: 2\n")
    node = doc.node["b"]
    refused(doc, lambda: setattr(node, "anchor", "k"), ValueError, "anchor name 'k' is already used by another node")

    stream = rt("a: &x 1\n---\nb: 2\nc: &y 3\n")
    second = stream[1].node
    second["b"].anchor = "x"  # defined in the other document only
    refused(stream, lambda: setattr(second["b"], "anchor", "y"), ValueError,
            "anchor name 'y' is already used by another node")
    assert second["b"].anchor == "x"


def test_argument_types():
    node = rt("a: 1\n").node["a"]
    for attribute in ("anchor", "comment", "comment_before"):
        with pytest.raises(TypeError) as caught:
            setattr(node, attribute, 5)
        assert caught.value.__notes__ == ["while processing 'name'" if attribute == "anchor" else
                                          "while processing 'text'"]
    with pytest.raises(TypeError) as caught:
        node.make_alias(5)
    assert caught.value.__notes__ == ["while processing 'name'"]


def test_comment_setter():
    doc = rt("a: 1    # old\nb: 2\n")
    node = doc.node["a"]
    node.comment = "note"
    assert node.comment == "note"
    doc.node["b"].comment = ""
    # A new comment stands one blank after the value; one that replaces a
    # comment keeps its column.
    assert emitted(doc) == "a: 1    # note\nb: 2 #\n"
    node.comment = None
    assert node.comment is None


@pytest.mark.parametrize("text, message", [
    ("two\nlines", "comment text cannot contain a line break"),
    ("ends\r", "comment text cannot contain a line break"),
    ("bell\x07", "comment text cannot contain the character U+0007"),
    ("\ufeffbom", "comment text cannot contain the character U+FEFF"),
    # What YAML 1.1 reads as a line break.
    ("nel\x85x", "comment text cannot contain a line break"),
    ("line\u2028sep", "comment text cannot contain a line break"),
    ("\u2029", "comment text cannot contain a line break"),
])
def test_comment_texts_yaml_cannot_write(text, message):
    doc = rt("a: 1  # keep\n")
    node = doc.node["a"]
    refused(doc, lambda: setattr(node, "comment", text), ValueError, message)
    assert node.comment == "keep"
    if "\r" not in text and "\n" not in text:
        refused(doc, lambda: setattr(node, "comment_before", f"ok\n{text}"), ValueError, message)


def test_comment_before():
    doc = rt("a: 1\nb: 2\nc: [x, y]\n")
    doc.node["b"].comment_before = "one\ntwo"
    doc.node["a"].comment_before = "top"
    doc.node["c"][1].comment_before = ""
    assert doc.node["b"].comment_before == "one\ntwo"
    assert doc.node["a"].comment_before == "top"
    assert q.loads(emitted(doc)) == doc.to_dict()
    doc.node["b"].comment_before = None
    assert doc.node["b"].comment_before is None
    node = doc.node["b"]
    refused(doc, lambda: setattr(node, "comment_before", "a\rb"), ValueError,
            "comment text cannot contain a carriage return")


def test_setters_on_a_stale_node():
    doc = rt("a: {b: 1}\n")
    node = doc.node["a"]["b"]
    doc["a"] = 1
    for attribute, value in (("value", 1), ("anchor", "x"), ("comment", "c"), ("comment_before", "c")):
        with pytest.raises(KeyError, match="stale node"):
            setattr(node, attribute, value)
    with pytest.raises(KeyError, match="stale node"):
        node.detach()


# ------------------------------------------------------------ aliases

ANCHORED = "first: 0\na: &a {x: 1}\nlater: 2\n"


def test_make_alias():
    doc = rt(ANCHORED)
    doc.node["later"].make_alias("a")
    assert doc.node["later"].is_alias
    assert doc.to_dict() == {"first": 0, "a": {"x": 1}, "later": {"x": 1}}
    assert emitted(doc) == "first: 0\na: &a {x: 1}\nlater: *a\n"


@pytest.mark.parametrize("path, name, message", [
    (("a",), "a", "anchor '&a' contains the alias that would reference it, which is a cycle"),
    (("a", "x"), "a", "anchor '&a' contains the alias that would reference it, which is a cycle"),
    (("first",), "a", "anchor '&a' must be defined before the alias that references it"),
    (("later",), "nope", "no anchor '&nope' is defined in this document"),
    (("later",), "a\0b", "no anchor '&a\0b' is defined in this document"),  # named whole, not as 'a'
])
def test_make_alias_errors(path, name, message):
    doc = rt(ANCHORED)
    node = doc.node
    for step in path:
        node = node[step]
    refused(doc, lambda: node.make_alias(name), ValueError, message)


def test_make_alias_removes_tag_and_anchor():
    doc = rt("a: &a 1\nb: &b !!str x\n")
    node = doc.node["b"]
    node.make_alias("a")
    assert (node.anchor, node.tag, node.is_alias) == (None, None, True)
    assert q.loads(emitted(doc)) == {"a": 1, "b": 1}


def test_make_alias_works_in_the_handles_document():
    doc = rt("a: &x 0\n---\nb: &x 1\nc: 2\n")
    second = doc[1]
    second.node["c"].make_alias("x")
    assert second.node["c"].is_alias
    assert second.node["c"].target.value == 1
    stream = rt("a: &only 0\n---\nc: 2\n")
    node = stream[1].node["c"]
    refused(stream, lambda: node.make_alias("only"), ValueError, "no anchor '&only' is defined in this document")


def test_detach():
    doc = rt("a: &a {x: 1}  # def\nb: *a  # use\n")
    node = doc.node["b"].detach()
    assert not node.is_alias and node.value == {"x": 1}
    node["x"].value = 2
    assert doc.to_dict() == {"a": {"x": 1}, "b": {"x": 2}}
    assert node.anchor is None


def test_detach_of_a_node_that_is_not_an_alias():
    doc = rt("a: 1\n")
    node = doc.node["a"]
    refused(doc, node.detach, TypeError, "detach() is only valid on an alias node")


@pytest.mark.parametrize(
    "text, option",
    [
        ("a: &x !include f.yaml\nb: *x\n", q.OPT_INCLUDES),
        ("a: &x !secret s\nb: *x\n", q.OPT_SECRETS),
        ("a: &x !env_var QUILLMERE_EDIT_DETACH\nb: *x\n", q.OPT_ENV_VAR),
    ],
)
def test_detach_of_an_alias_whose_anchor_a_directive_replaced(text, option, tmp_path, monkeypatch):
    # The directive's result takes the place of the anchored node, without
    # its anchor: the alias names nothing, as on the plain road.
    (tmp_path / "f.yaml").write_text("k: v\n")
    (tmp_path / "secrets.yaml").write_text("s: 1\n")
    monkeypatch.setenv("QUILLMERE_EDIT_DETACH", "v")
    doc = q.loads(text, option=RT | option, include_dir=str(tmp_path))
    with pytest.raises(quillmere.QuillmereParseError, match=r"^unknown alias: \*x at line 2, column 4$"):
        q.loads(text, option=option, include_dir=str(tmp_path))
    with pytest.raises(KeyError) as caught:
        doc.node["b"].detach()
    assert caught.value.args == ("alias *x has no anchor to detach",)
    assert doc.node["b"].is_alias and doc.to_yaml() == text.encode()


# ------------------------------------------------------------ aliases keep their anchors

def test_removing_or_renaming_a_used_anchor_is_refused():
    doc = rt("a: &a 1\nb: *a\n")
    node = doc.node["a"]
    message = "anchor '&a' is still used by an alias (*a); an edit cannot remove it while the alias remains"
    refused(doc, lambda: setattr(node, "anchor", None), ValueError, message)
    refused(doc, lambda: setattr(node, "anchor", "renamed"), ValueError, message)
    assert node.anchor == "a"
    doc.node["b"].detach()
    node.anchor = None
    assert doc.to_dict() == {"a": 1, "b": 1}


def test_replacing_a_subtree_whose_anchor_an_alias_outside_uses_is_refused():
    text = "a:\n  inner: &in [1]\nb: *in\nc: [&own 2, *own]\n"
    message = "anchor '&in' is still used by an alias (*in); an edit cannot remove it while the alias remains"
    edits = [
        lambda doc: doc.__setitem__("a", 1),
        lambda doc: setattr(doc.node["a"], "value", {}),
        lambda doc: doc.__setitem__("a", {"inner": [1]}),
    ]
    for edit in edits:
        doc = rt(text)
        refused(doc, lambda: edit(doc), ValueError, message)
    # The replaced node's own anchor stays, and aliases inside the replaced
    # subtree go with it.
    doc = rt(text)
    doc["a"]["inner"] = [3]
    assert doc.to_dict()["b"] == [3]
    doc["c"] = "gone"
    assert doc.to_dict() == {"a": {"inner": [3]}, "b": [3], "c": "gone"}


def test_make_alias_of_an_anchored_node_in_use_is_refused():
    doc = rt("a: &a 1\nb: &b 2\nc: *b\n")
    node = doc.node["b"]
    refused(doc, lambda: node.make_alias("a"), ValueError,
            "anchor '&b' is still used by an alias (*b); an edit cannot remove it while the alias remains")


def test_another_definition_keeps_the_alias_resolved():
    doc = rt("a: &x 1\nb: &x 2\nc: *x\n")
    doc.node["a"].anchor = None
    assert doc.to_dict()["c"] == 2


@pytest.mark.parametrize("text, edit", [
    # Only a later definition would stay: the written text could not be read.
    ("a: {k: &x 1}\nb: *x\nc: &x 2\n", lambda doc: doc.__setitem__("a", 5)),
    ("a: &x 1\nb: *x\nc: &x 2\n", lambda doc: setattr(doc.node["a"], "anchor", None)),
    ("a: &x [1]\nb: &x {k: *x}\n", lambda doc: setattr(doc.node["a"], "anchor", None)),
    # A definition in another document is none for this one.
    ("a: &x 1\nb: *x\n---\nc: &x 2\n", lambda doc: setattr(doc[0].node["a"], "anchor", None)),
])
def test_an_alias_keeps_a_definition_before_it_in_its_document(text, edit):
    doc = rt(text)
    refused(doc, lambda: edit(doc), ValueError,
            "anchor '&x' is still used by an alias (*x); an edit cannot remove it while the alias remains")


def test_replacing_a_document_takes_its_aliases_with_its_anchors():
    doc = rt("a: &x 1\nb: *x\n---\nc: 2\n")
    doc[0] = 5
    assert doc.to_dict() == [5, {"c": 2}]


# ------------------------------------------------------------ new keys

@pytest.mark.parametrize("key", ["123", "a: b", "", "true", "null", "~", "1.5", "a #b", "<<", "- x", "&x", "*y",
                                 "!t", "'q'", " lead", "two\nlines", "plain", "with space", "a:b"])
def test_new_keys_read_back_as_the_same_string(key):
    doc = rt("a: 1\n")
    doc[key] = 2
    assert q.loads(emitted(doc)) == {"a": 1, key: 2}


def test_new_key_quoting_follows_the_quote_preference():
    assert '"123": 1' in emitted(_with_key(rt("a: 1\n")))
    assert "'123': 1" in emitted(_with_key(q.loads("a: 1\n", option=RT | q.OPT_SINGLE_QUOTES)))


def _with_key(doc):
    doc["123"] = 1
    return doc


# ------------------------------------------------------------ content of directives

DIRECTIVES = RT | q.OPT_INCLUDES | q.OPT_SECRETS | q.OPT_ENV_VAR


@pytest.fixture
def directive_doc(tmp_path, monkeypatch):
    (tmp_path / "part.yaml").write_text("k: 1\n")
    (tmp_path / "d").mkdir()
    (tmp_path / "inner.yaml").write_text("k: 1\n")
    (tmp_path / "d" / "one.yaml").write_text("k: 1\nnested: !include ../inner.yaml\n")
    (tmp_path / "secrets.yaml").write_text("pw: hunter2\n")
    monkeypatch.setenv("QUILLMERE_EDIT_TEST", "value")
    text = ("a: &a 0\ninc: !include part.yaml\nlisted: !include_dir_list d\nnamed: !include_dir_named d\n"
            "sec: !secret pw\nenv: !env_var QUILLMERE_EDIT_TEST\n")
    return q.loads(text, option=DIRECTIVES, include_dir=str(tmp_path))


def refused_as_unwritable(doc, edit, tag):
    refused(doc, edit, ValueError, f"cannot edit content produced by {tag}: save() could not write it back")


def test_edits_save_could_not_write_are_refused(directive_doc):
    doc = directive_doc
    listed, named = doc["listed"], doc["named"]
    refused_as_unwritable(doc, lambda: listed.__setitem__(0, 5), "!include_dir_list")
    refused_as_unwritable(doc, lambda: listed[0].__setitem__("k", 5), "!include_dir_list")
    refused_as_unwritable(doc, lambda: listed[0].__setitem__("new", 5), "!include_dir_list")
    refused_as_unwritable(doc, lambda: named.__setitem__("one", 5), "!include_dir_named")
    node = doc.node["named"]["one"]["k"]
    for attribute, value in (("value", 5), ("anchor", "z"), ("comment", "c"), ("comment_before", "c")):
        refused_as_unwritable(doc, lambda: setattr(node, attribute, value), "!include_dir_named")
    refused_as_unwritable(doc, lambda: node.make_alias("a"), "!include_dir_named")
    refused_as_unwritable(doc, lambda: setattr(doc.node["sec"], "anchor", "s"), "!secret")
    refused_as_unwritable(doc, lambda: setattr(doc.node["env"], "anchor", "e"), "!env_var")


def test_edits_save_writes_are_allowed(directive_doc):
    doc = directive_doc
    doc["inc"]["k"] = 2            # into part.yaml
    doc["inc"]["new"] = 3
    doc["listed"][0]["nested"]["k"] = 4  # an included file inside a listing
    doc["sec"] = "plain now"       # the directive is replaced in the root file
    doc.node["env"].comment = "from the environment"
    doc["named"] = {"one": 1}
    data = doc.to_dict()
    assert data["inc"] == {"k": 2, "new": 3}
    assert data["listed"][0]["nested"] == {"k": 4}
    assert (data["sec"], data["named"]) == ("plain now", {"one": 1})


def test_make_alias_drops_provenance(directive_doc):
    doc = directive_doc
    node = doc.node["inc"]
    node.make_alias("a")
    assert (node.is_include, node.source_tag, node.tag, node.is_alias) == (False, None, None, True)
    assert q.loads(emitted(doc))["inc"] == 0


def test_strings_assigned_into_a_yaml11_document_read_back_as_strings():
    """A document whose %YAML 1.1 directive makes it read by the 1.1 rules
    quotes new strings those rules would read otherwise; a document
    without one quotes them too, since readers of the 1.1 rules take texts
    without a directive by those rules."""
    texts = ["y", "n", "on", "off", "1:20", "0b101", "010", "plain"]
    doc = rt("%YAML 1.1\n---\nlist: [0]\n")
    doc["list"] = texts
    for text in texts:
        doc[text] = text
    out = emitted(doc)
    expected = {"list": texts, **{text: text for text in texts}}
    assert q.loads(out) == doc.to_dict() == expected, out
    assert "plain: plain" in out
    doc = rt("list: [0]\n")
    doc["y"] = "n"
    assert emitted(doc) == 'list: [0]\n"y": "n"\n'


# ------------------------------------------------------------ nesting

TOO_DEEP = "value is too deeply nested to assign here: its file would nest more than 1000 levels, which loading refuses"


def nest(levels):
    """A value `levels` deep: lists around an int."""
    value = 1
    for _ in range(levels - 1):
        value = [value]
    return value


def descend(view, steps):
    for _ in range(steps):
        view = view[0]
    return view


def levels(value):
    """How deep a loaded value nests (deep values do not compare with ==
    within Python's recursion limit)."""
    deepest, pending = 0, [(value, 1)]
    while pending:
        value, level = pending.pop()
        deepest = max(deepest, level)
        children = value.values() if isinstance(value, dict) else value if isinstance(value, list) else ()
        pending.extend((child, level + 1) for child in children)
    return deepest


def refused_deep(doc, edit):
    text = doc.to_yaml()
    with pytest.raises(ValueError) as error:
        edit()
    assert str(error.value) == TOO_DEEP
    assert doc.to_yaml() == text


def test_two_deep_assignments_cannot_nest_a_file_past_what_loading_accepts():
    doc = rt("a: 1\n")
    doc["a"] = nest(991)
    inner = descend(doc["a"], 500)
    refused_deep(doc, lambda: inner.__setitem__(0, nest(991)))
    assert levels(q.loads(doc.to_yaml())) == 992


# Each edit puts a value whose deepest node is at the 1000th level of the
# file (accepted and reloaded), or one level deeper (refused). `depth` is
# the levels left for the value.
NESTING_EDITS = [
    ("sequence item", "a: [[0]]\n", lambda doc, value: doc["a"][0].__setitem__(0, value), 997),
    ("new key", "a: {b: 0}\n", lambda doc, value: doc["a"].__setitem__("new", value), 998),
    ("node value", "a: {b: 0}\n", lambda doc, value: setattr(doc.node["a"]["b"], "value", value), 998),
]


@pytest.mark.parametrize("case, text, edit, depth", NESTING_EDITS, ids=[row[0] for row in NESTING_EDITS])
def test_an_edit_may_nest_to_the_limit_and_no_further(case, text, edit, depth):
    doc = rt(text)
    refused_deep(doc, lambda: edit(doc, nest(depth + 1)))
    edit(doc, nest(depth))
    assert levels(q.loads(doc.to_yaml())) == 1000


def test_a_detached_copy_may_not_nest_past_the_limit():
    doc = rt("a: &x 1\nb: [*x]\n")
    doc.node["a"].value = nest(998)
    doc.node["b"][0].detach()  # b's item at level 3: 998 levels from there reach 1000
    assert levels(q.loads(doc.to_yaml())) == 1000
    doc = rt("a: &x 1\nb: [[*x]]\n")
    doc.node["a"].value = nest(998)
    refused_deep(doc, lambda: doc.node["b"][0][0].detach())


def test_the_nesting_of_an_included_file_counts_from_its_own_root(tmp_path):
    (tmp_path / "s.yaml").write_text("k: 0\n")
    (tmp_path / "main.yaml").write_text("[" * 600 + "!include s.yaml" + "]" * 600 + "\n")
    doc = q.loads((tmp_path / "main.yaml").read_bytes(), option=RT | q.OPT_INCLUDES, include_dir=str(tmp_path),
                  root_path=str(tmp_path / "main.yaml"))
    sub = descend(doc, 600)
    refused_deep(doc, lambda: sub.__setitem__("k", nest(1000)))
    sub["k"] = nest(999)  # 1600 levels from the document's root, 1000 in s.yaml
    assert doc.save() == [str(tmp_path / "s.yaml")]
    assert levels(q.loads((tmp_path / "s.yaml").read_bytes())) == 1000
    reloaded = q.loads((tmp_path / "main.yaml").read_bytes(), option=q.OPT_INCLUDES, include_dir=str(tmp_path))
    assert levels(reloaded) == 1600


# ------------------------------------------------------------ what an edit writes reads back

def document_count(doc):
    return int(repr(doc).removeprefix("QuillmereDocument(documents=").removesuffix(")"))


def reloads(doc):
    """The emitted text holds the document's data, document for document,
    and reading it back and writing it anew gives the same text. Returns
    the text."""
    out = emitted(doc)
    count = document_count(doc)
    documents = q.loads_all(out)
    assert len(documents) == count, out
    assert (documents[0] if count == 1 else documents) == doc.to_dict(), out
    again = rt(out)
    if count:
        again.node.anchor = again.node.anchor  # changes nothing, but has the text written anew
    assert emitted(again) == out
    return out


SIX_ZKB = (SHARED_DIR / "yaml-test-suite" / "6ZKB" / "in.yaml").read_text()


@pytest.mark.parametrize("text, index, value, expected", [
    ("a: 1\n...\n%YAML 1.2\n---\nb: 2\n", 1, {"b": 3}, "a: 1\n...\n%YAML 1.2\n---\nb: 3\n"),
    ("a: 1\n...\n%TAG !e! tag:e.org,2024:\n--- !e!x {b: 1}\n", 1, "c",
     "a: 1\n...\n%TAG !e! tag:e.org,2024:\n--- !e!x c\n"),
    # yaml-test-suite 6ZKB: the comment after the empty document stays
    # where it stands.
    (SIX_ZKB, 2, {"matches %": 21}, "Document\n---\n# Empty\n...\n%YAML 1.2\n---\nmatches %: 21\n"),
])
def test_replacing_the_root_of_a_document_with_directives_adds_no_document(text, index, value, expected):
    doc = rt(text)
    doc[index].node.value = value
    assert reloads(doc) == expected


@pytest.mark.parametrize("option, expected", [
    (0, "c: !t\nd:\ne: !t ~\n"),
    (q.OPT_NULL_AS_TILDE, "c: !t\nd: ~\ne: !t ~\n"),
    (q.OPT_NULL_AS_KEYWORD, "c: !t\nd: null\ne: !t ~\n"),
])
def test_none_over_a_tagged_value_reads_back_as_what_the_data_holds(option, expected):
    # A custom tag stays on an empty value, which is what the tag makes of
    # a null (''); a core tag goes, and the null is written in the style
    # (under a custom tag "~" is the text "~", as e shows).
    doc = q.loads("c: !t x\nd: !!str y\ne: !t ~\n", option=RT | option)
    doc["c"] = None
    doc["d"] = None
    assert doc.to_dict() == {"c": "", "d": None, "e": "~"}
    assert reloads(doc) == expected


def test_equal_keys_address_the_entry_the_data_shows():
    doc = rt("a: 1\nb: x\na: 2\n")
    assert (doc["a"], doc.node["a"].value, doc.node["a"].line, doc.get("a", None)) == (2, 2, 3, 2)
    assert doc.walk() == [(("b",), "x"), (("a",), 2)]
    doc["a"] = 5
    assert doc.to_dict() == {"a": 5, "b": "x"}
    assert reloads(doc) == "a: 1\nb: x\na: 5\n"
    doc.node["a"].value = 6
    doc.node["a"].comment_before = "last"
    assert doc.node["a"].comment_before == "last"
    assert reloads(doc) == "a: 1\nb: x\n# last\na: 6\n"
    # The first entry's comments are the mapping's: only the last entry
    # of its key there would write them on the mapping.
    first = rt("a: 1\na: 2\n")
    first.node["a"].comment_before = "c"
    assert reloads(first) == "a: 1\n# c\na: 2\n"
    # An alias is placed by the entry the path names: the last a comes
    # after the anchor.
    anchored = rt("a: 1\nc: &x 2\na: 3\n")
    anchored.node["a"].make_alias("x")
    assert anchored.to_dict() == {"a": 2, "c": 2}
    assert reloads(anchored) == "a: 1\nc: &x 2\na: *x\n"


@pytest.mark.parametrize("text, value, expected", [
    # The comment of the header line is the place's.
    ("a: | # hdr\n  x\n", "w", "a: w # hdr\n"),
    ("a: |2- # hdr\n   x\n", "y\nz\n", "a: | # hdr\n  y\n  z\n"),
    ("a: > #hdr\n  x\nb: 1\n", 7, "a: 7 #hdr\nb: 1\n"),
    # A text of several lines over a block scalar keeps the block style.
    ("run: |\n  echo a\n  echo b\n", "echo c\necho d\n", "run: |\n  echo c\n  echo d\n"),
    ("run: >\n  a b\n", "one\ntwo", "run: >-\n  one\n\n  two\n"),
    ("- |\n  x\n", " lead\nnext\n", "- |4\n     lead\n    next\n"),
    # One line, or no block scalar before: the style the text needs.
    ("run: |\n  echo a\n", "one", "run: one\n"),
    ("run: x\n", "two\nlines\n", 'run: "two\\nlines\\n"\n'),
])
def test_assignment_over_a_block_scalar(text, value, expected):
    doc = rt(text)
    if text.startswith("-"):
        doc[0] = value
    else:
        doc[text.split(":")[0]] = value
    assert reloads(doc) == expected


def test_a_multi_line_text_over_a_literal_is_written_as_dumps_writes_it():
    doc = rt("run: |\n  echo a\n")
    doc["run"] = "echo c\necho d\n"
    assert emitted(doc).encode() == q.dumps({"run": "echo c\necho d\n"})


@pytest.mark.parametrize("option, expected", [
    (0, "key:\n  # c\n  null\nnext: 1\n"),
    (q.OPT_NULL_AS_TILDE, "key:\n  # c\n  ~\nnext: 1\n"),
    (q.OPT_NULL_AS_KEYWORD, "key:\n  # c\n  null\nnext: 1\n"),
])
def test_none_below_its_key_with_comments_is_written_where_it_reads_back(option, expected):
    doc = q.loads("key:\n  # c\n  value\nnext: 1\n", option=RT | option)
    doc["key"] = None
    out = reloads(doc)
    assert out == expected
    assert not any(line and not line.strip() for line in out.split("\n"))
    assert q.loads(out, option=RT).node["key"].value is None


@pytest.mark.parametrize("text, path, expected", [
    ("a:\n  b: 1\n", ("a",), "a: # mv\n  b: 1\n"),
    ("a:\n- 1\n- 2\n", ("a",), "a: # mv\n- 1\n- 2\n"),
    ("a: &x\n  b: 1\nc: *x\n", ("a",), "a: &x # mv\n  b: 1\nc: *x\n"),
    ("top:\n  a:\n    - {b: 1}\n", ("top", "a"), "top:\n  a: # mv\n    - {b: 1}\n"),
])
def test_an_inline_comment_on_a_block_collection_reads_back_as_its_own(text, path, expected):
    doc = rt(text)
    node = doc.node
    for step in path:
        node = node[step]
    node.comment = "mv"
    assert reloads(doc) == expected
    node = rt(expected).node
    for step in path:
        node = node[step]
    assert node.comment == "mv"
    assert node[0 if isinstance(node.value, list) else "b"].comment_before is None


def test_an_anchor_on_an_alias_is_refused():
    doc = rt("a: &x 1\nb: *x\nc: 2\n")
    alias = doc.node["b"]
    refused(doc, lambda: setattr(alias, "anchor", "y"), ValueError, "an alias node cannot have an anchor")
    alias.anchor = None
    doc.node["c"].make_alias("x")
    node = doc.node["c"]
    refused(doc, lambda: setattr(node, "anchor", "z"), ValueError, "an alias node cannot have an anchor")
    assert reloads(doc) == "a: &x 1\nb: *x\nc: *x\n"
    detached = doc.node["c"].detach()
    detached.anchor = "z"
    assert reloads(doc) == "a: &x 1\nb: *x\nc: &z 1\n"


@pytest.mark.parametrize("tag, kept", [
    ("!<tag:yaml.org,2002:int>", None),
    ("!e!int", None),
    ("!!str", None),
    ("!e!x", "!e!x"),
    ("!!foo", "!!foo"),
])
def test_assignment_drops_a_core_tag_by_what_it_names(tag, kept):
    # !e! names the core prefix; !! is redefined, so !!foo is a custom tag.
    handles = "%TAG !e! tag:yaml.org,2002:\n" if tag.startswith("!e!") and tag != "!e!x" else \
        "%TAG !e! tag:example.com,2000:\n" if tag == "!e!x" else \
        "%TAG !! tag:example.com,2000:\n" if tag == "!!foo" else ""
    doc = rt(f"{handles}---\na: {tag} 5\n")
    doc["a"] = "x"
    assert doc.node["a"].tag == kept
    assert doc.to_dict() == {"a": "x"}
    reloads(doc)
