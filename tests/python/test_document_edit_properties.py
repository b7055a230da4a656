"""Random edits of round-trip documents.

For every corpus file, random leaves are assigned random values (strings
full of YAML indicators, numbers, None, nested lists and dicts) and random
new keys are added; the emitted text then loads as the document's data, and
saving and loading again gives the same bytes.

For every valid conformance case and corpus file, a few edits of every kind
(below) are each followed by the checks of the written text, PyYAML's and
ruamel.yaml's readings included."""

import datetime
import json
import math
import random
import re

import pytest

import _quillmere as q
from conftest import SHARED_DIR
from test_document_edit import emitted
from quillmere.exceptions import QuillmereParseError

RT = q.OPT_ROUND_TRIP

CORPUS = SHARED_DIR / "corpus"
EDITS_PER_FILE = 25
NEW_KEYS_PER_FILE = 5


def corpus_files():
    manifest = json.loads((CORPUS / "manifest.json").read_text())
    return sorted(entry["local"] for entry in manifest if entry.get("loads"))


# Texts that mean something else when written plain, or need escapes.
TRICKY_TEXTS = [
    "", " ", "a: b", "a #b", "#c", "- x", "-", "? q", "&x", "*y", "!t", "!!str", "|", ">", "'q'", '"d"', "%YAML",
    "@at", "`tick", "{", "}", "[", "]", ",", "a, b", "yes", "No", "on", "null", "Null", "~", "true", "False",
    "123", "-7", "0x1F", "0o17", "1e3", ".5", ".inf", "-.Inf", ".nan", "1_000", "12:30", "2001-12-14",
    " lead", "trail ", "two\nlines", "ends\n", "\n", "tab\there", "cr\rx", "quote's", "back\\slash",
    "é ü 中文", "emoji \U0001F600", "nel\x85x", "---", "...", "--- x", "=", "<<", "key:", "a:b",
]
COMMENT_TEXTS = ["", " ", "#", "a: b", "- x", "---", "...", "'", '"', "\t tab", "é", "[", "}"]
KEY_TEXTS = TRICKY_TEXTS + ["plain", "with space", "x" * 40]


def random_scalar(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return rng.choice(TRICKY_TEXTS)
    if kind == 1:
        return rng.choice([0, 1, -1, 42, 2 ** 63 - 1, -(2 ** 63), 2 ** 70, -(10 ** 30)])
    if kind == 2:
        return rng.choice([0.0, -0.0, 1.5, -2.25e-10, 1e300, 3.0, math.inf, -math.inf])
    if kind == 3:
        return None
    if kind == 4:
        return rng.choice([True, False])
    return "".join(rng.choice("ab :#-?&*!|>'\"%@`{}[],\n\t\\") for _ in range(rng.randrange(1, 8)))


def random_value(rng, depth=0):
    if depth < 3 and rng.random() < 0.3:
        if rng.random() < 0.5:
            return [random_value(rng, depth + 1) for _ in range(rng.randrange(4))]
        return {rng.choice(KEY_TEXTS): random_value(rng, depth + 1) for _ in range(rng.randrange(4))}
    return random_scalar(rng)


def follow(root, path):
    """The view holding the item at `path`, by item access from `root`."""
    container = root
    for step in path[:-1]:
        container = container[step]
    return container


def document_roots(doc, count):
    """Where paths start: the document itself, or each document's view in a
    stream of several (collections only: a scalar document has no items)."""
    if count == 1:
        return [doc]
    roots = [doc[index] for index in range(count)]
    return [root for root in roots if hasattr(root, "walk")]


def edit_randomly(root, rng):
    # Merge keys are left alone: replacing one changes what the mapping
    # holds by design.
    leaves = [path for path, _ in root.walk() if path and "<<" not in path]
    for path in rng.sample(leaves, min(EDITS_PER_FILE, len(leaves))):
        value = random_value(rng)
        if rng.random() < 0.5:
            follow(root, path)[path[-1]] = value
        else:
            node = root.node
            for step in path:
                node = node[step]
            node.value = value
            # Comments must never change what the text means.
            if rng.random() < 0.3:
                node.comment = rng.choice(COMMENT_TEXTS)
            if rng.random() < 0.3:
                node.comment_before = "\n".join(rng.sample(COMMENT_TEXTS, 2))
    mappings = [path[:-1] for path in leaves if isinstance(path[-1], str)]
    for path in rng.sample(mappings, min(NEW_KEYS_PER_FILE, len(mappings))):
        follow(root, path + (None,))[rng.choice(KEY_TEXTS)] = random_value(rng)


@pytest.mark.parametrize("name", corpus_files())
def test_random_edits_reload_as_the_document_data(name, tmp_path):
    text = (CORPUS / name).read_bytes()
    rng = random.Random(name)
    try:
        doc = q.loads(text, option=RT)
    except QuillmereParseError as error:
        # A file the plain road refuses is refused here with the same error.
        with pytest.raises(QuillmereParseError) as plain:
            q.loads(text)
        assert str(plain.value) == str(error)
        return
    count = len(q.loads_all(text))
    for root in document_roots(doc, count):
        edit_randomly(root, rng)
    # A stream of several documents reads as the list of them.
    data = doc.to_dict()
    out = emitted(doc)
    assert (q.loads(out) if count == 1 else q.loads_all(out)) == data, out
    assert q.loads(out, option=RT).to_dict() == data

    target = tmp_path / "edited.yaml"
    doc.save(str(target))
    saved = target.read_bytes()
    assert saved == out.encode()
    again = q.loads(saved, option=RT)
    again.set_origin(str(target))
    again.save(str(target))
    assert target.read_bytes() == saved


# ---------------------------------------------------------------- every kind of edit
#
# Every valid conformance case and every corpus file gets a few random edits
# of every kind the API allows, each followed by the checks: the emitted
# text loads as the document's data, document for document; reading it back
# gives the same bytes, and so does writing what was read anew; and PyYAML
# (CSafeLoader) and ruamel.yaml (typ="safe") read the same data wherever the
# YAML 1.1 and 1.2 rules agree.
#
# Where the rules agree is decided value by value:
# - quillmere reads the emitted text twice, with every "%YAML" line saying
#   1.2 and saying 1.1; a value the two readings give differently
#   (booleans such as yes and on, octals, sexagesimals, 1_000, 0b1, and the
#   keys made of them) is not compared, the values around it are;
# - a value of a type only the 1.1 type repository has (timestamps,
#   !!binary, !!set, !!omap, !!pairs) is not compared, nor a string that
#   the peer's own resolver types (a plain 2001-12-14, "="), nor a number
#   or boolean that the peer reads as a string (its patterns are narrower:
#   PyYAML's floats need a "."), nor an entry whose key is a collection
#   (which the peers build in ways of their own);
# - where the peer reads the input itself otherwise than quillmere, or
#   cannot read it at all (custom tags, complex keys), the same path, or
#   the peer, is not compared in the edited text either; nor when it
#   refuses an edited text whose input has a tag of the 1.1 type
#   repository or a merge key (an !!omap entry given two keys, a scalar
#   given to a merge key) or whose data has a collection as a mapping key
#   (an alias key whose anchor now holds one).
#
# Inputs of LARGE bytes and more are checked after their last edit only,
# which keeps the test within seconds; their edits are of the same kinds.

try:
    import yaml
except ImportError:
    yaml = None
try:
    from ruamel.yaml import YAML
    from ruamel.yaml.nodes import ScalarNode as RuamelScalarNode
except ImportError:
    YAML = None

SUITE = SHARED_DIR / "yaml-test-suite"
# Inputs of this size and more are checked after their last edit only.
LARGE = 64 * 1024
EDITS_PER_INPUT = 6
ANCHOR_NAMES = ["n1", "n2", "n3"]


def edit_inputs():
    suite = [("suite/" + str(p.parent.relative_to(SUITE)), p) for p in sorted(SUITE.rglob("in.yaml"))
             if not (p.parent / "error").exists()]
    corpus = [("corpus/" + name, CORPUS / name) for name in corpus_files()]
    return [pytest.param(path, id=name) for name, path in suite + corpus]


class Peer:
    def __init__(self, name, load_all, resolve):
        self.name, self.load_all, self.resolve = name, load_all, resolve

    def types(self, text):
        """Whether the peer's own resolver reads the plain `text` as
        something other than a string."""
        return not self.resolve(text).endswith(":str")


def peers():
    readers = []
    if yaml is not None and yaml.__with_libyaml__:
        resolver = yaml.resolver.Resolver()
        readers.append(Peer("PyYAML", lambda text: list(yaml.load_all(text, Loader=yaml.CSafeLoader)),
                            lambda text: resolver.resolve(yaml.ScalarNode, text, (True, False))))
    if YAML is not None:
        ruamel_resolver = YAML(typ="safe").resolver
        readers.append(Peer("ruamel.yaml", lambda text: list(YAML(typ="safe").load_all(text)),
                            lambda text: ruamel_resolver.resolve(RuamelScalarNode, text, (True, False))))
    return readers


PEERS = peers()
PEER_ONLY = (datetime.date, bytes, set, tuple)
VERSION_LINE = re.compile(rb"^%YAML[ \t]+[^ \t\r\n#]*", re.M)


def readings(text):
    """quillmere's two readings of `text`: by the 1.2 and by the 1.1 rules."""
    return (q.loads_all(VERSION_LINE.sub(b"%YAML 1.2", text)),
            q.loads_all(VERSION_LINE.sub(b"%YAML 1.1", text), option=q.OPT_YAML_1_1))


def same_scalar(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, float) and math.isnan(a):
        return math.isnan(b)
    return a == b


def typed_keys(mapping):
    return {(type(key), key): key for key in mapping}


def differences(ours, ours_11, peer, reader, path=()):
    """The paths where `reader` reads otherwise than quillmere, where the
    rule sets agree."""
    if isinstance(peer, PEER_ONLY):
        return
    if isinstance(ours, dict):
        if not isinstance(ours_11, dict):
            return
        if not isinstance(peer, dict):
            yield path
            return
        keys_11, peer_keys = typed_keys(ours_11), typed_keys(peer)
        for key, value in ours.items():
            typed = (type(key), key)
            if typed not in keys_11 or isinstance(key, tuple):
                continue
            if typed not in peer_keys:
                if not (isinstance(key, str) and reader.types(key)):
                    yield path + (key,)
                continue
            yield from differences(value, ours_11[key], peer[key], reader, path + (key,))
        return
    if isinstance(ours, list):
        if not isinstance(ours_11, list) or len(ours_11) != len(ours):
            return
        if not isinstance(peer, list) or len(peer) != len(ours):
            yield path
            return
        for index, (a, b, p) in enumerate(zip(ours, ours_11, peer)):
            yield from differences(a, b, p, reader, path + (index,))
        return
    if not same_scalar(ours, ours_11) or same_scalar(ours, peer):
        return
    if isinstance(ours, str) and not isinstance(peer, (dict, list)) and reader.types(ours):
        return
    if isinstance(peer, str) and not isinstance(ours, str):
        return
    yield path


def peer_differences(text, reader):
    """(document index, path) of every difference of `reader` from
    quillmere on `text`; None when the reader cannot read it."""
    try:
        theirs = reader.load_all(text)
    except Exception:  # noqa: BLE001 - any refusal of the peer's
        return None
    ours, ours_11 = readings(text)
    if len(theirs) != len(ours):
        return {(-1, ())}
    return {(index, path) for index, (a, b, p) in enumerate(zip(ours, ours_11, theirs))
            for path in differences(a, b, p, reader)}


# Tags of the 1.1 type repository and merge keys: what such a node may
# hold after an edit (an !!omap entry of two keys, a scalar merged into a
# mapping) is the peer's to refuse.
YAML11_TYPES = re.compile(rb"!!(omap|pairs|set|binary|timestamp|merge)\b|"
                          rb"tag:yaml\.org,2002:(omap|pairs|set|binary|timestamp|merge)|<<[ \t]*:")


def has_collection_key(value):
    """Whether a value holds a mapping key made of a collection, which
    PyYAML refuses to construct."""
    stack = [value]
    while stack:
        item = stack.pop()
        if isinstance(item, dict):
            if any(isinstance(key, tuple) for key in item):
                return True
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)
    return False


def check_peers(out, source, data):
    for reader in PEERS:
        found = peer_differences(out, reader)
        if found == set():
            continue
        inherent = peer_differences(source, reader)
        if inherent is None:
            continue  # the peer cannot read the input either
        if found is None and (YAML11_TYPES.search(source) or has_collection_key(data)):
            continue
        assert found is not None, (reader.name, "cannot read", out)
        assert found <= inherent, (reader.name, sorted(found - inherent, key=repr)[:5], out)


def check_written(doc, source):
    """The checks after an edit."""
    out = doc.to_yaml()
    data = doc.to_dict()
    count = int(repr(doc).removeprefix("QuillmereDocument(documents=").removesuffix(")"))
    documents = q.loads_all(out)
    assert len(documents) == count, out
    assert (documents[0] if count == 1 else documents) == data, out
    again = q.loads(out, option=RT)
    assert again.to_yaml() == out
    if count and out != source:
        # Changes nothing, but has every document written anew: what the
        # emitter wrote, it writes again.
        again.node.anchor = again.node.anchor
        assert again.to_yaml() == out, out
    check_peers(out, source, data)


# Refusals an edit may meet on any input; each leaves the document as it
# was.
REFUSALS = ("anchor '&", "anchor name '", "no anchor '&", "cannot edit content produced by")


def random_place(root, data, rng):
    """(path, node) of a node reached by a random walk down from `root`,
    whose data is `data`; merged keys, which no entry holds, end the walk,
    and merge keys are not followed."""
    path, node, value = (), root.node, data
    while rng.random() < 0.8:
        if isinstance(value, dict):
            # What a merge key leaves behind is not the shape of its node.
            steps = [key for key in value if isinstance(key, str) and key != "<<"]
        elif isinstance(value, list):
            steps = list(range(len(value)))
        else:
            break
        if not steps:
            break
        step = rng.choice(steps)
        if isinstance(step, str) and step not in node:
            break
        path, node, value = path + (step,), node[step], value[step]
    return path, node


def container_view(root, path):
    """The view holding the item at `path`, by item access from `root`;
    None when the way passes an alias, whose view takes no items (its node
    does)."""
    container = root
    for step in path[:-1]:
        container = container[step]
        if repr(container).endswith("(alias)"):
            return None
    return container


def one_edit(root, rng):
    """One random edit of `root` (a document or a document's view)."""
    data = root.to_dict()
    places = [random_place(root, data, rng) for _ in range(12)]
    path, node = places[0]
    kind = rng.randrange(9)
    if kind == 0 and path:
        container = container_view(root, path)
        if container is None:
            node.value = random_value(rng)
        else:
            container[path[-1]] = random_value(rng)
    elif kind == 1:
        node.value = random_value(rng) if rng.random() < 0.8 else None
    elif kind == 2:
        for place, target in places:
            container = container_view(root, place + (None,))
            if container is not None and isinstance(target.value, dict) and not target.is_alias:
                container[rng.choice(KEY_TEXTS)] = random_value(rng)
                break
    elif kind == 3:
        node.comment = rng.choice(COMMENT_TEXTS + [None])
    elif kind == 4:
        node.comment_before = rng.choice([None, "\n".join(rng.sample(COMMENT_TEXTS, 2))])
    elif kind == 5 and not node.is_alias:
        node.anchor = rng.choice(ANCHOR_NAMES)
    elif kind == 6:
        anchors = [target.anchor for _, target in places if target.anchor is not None]
        if anchors:
            node.make_alias(rng.choice(anchors))
    elif kind == 7:
        for _, target in places:
            if target.is_alias and target.target is not None:
                target.detach()
                break
    else:
        # A subtree in place of anything.
        node.value = {rng.choice(KEY_TEXTS): random_value(rng) for _ in range(rng.randrange(1, 4))}


def edit_roots(doc, count):
    if count == 1:
        return [doc]
    roots = []
    for index in range(count):
        item = doc[index]
        roots.append(item if hasattr(item, "node") else None)
    return [root for root in roots if root is not None]


@pytest.mark.parametrize("path", edit_inputs())
def test_every_kind_of_edit_reads_back_as_the_document_data(path):
    edit_and_check(path, str(path.relative_to(SHARED_DIR)))


def edit_and_check(path, seed):
    source = path.read_bytes()
    try:
        doc = q.loads(source, option=RT)
    except QuillmereParseError:
        # Refused as on the plain road (test_random_edits_reload_as_the_document_data).
        return
    count = len(q.loads_all(source))
    if count == 0:
        return  # nothing to edit
    large = len(source) >= LARGE
    rng = random.Random(seed)
    for step in range(EDITS_PER_INPUT):
        roots = edit_roots(doc, count)
        try:
            if count != 1 and (not roots or rng.random() < 0.15):
                # A whole document of a stream, scalar documents included.
                doc[rng.randrange(count)] = random_value(rng)
            elif roots:
                one_edit(rng.choice(roots), rng)
        except ValueError as error:
            assert str(error).startswith(REFUSALS), error
        if not large or step == EDITS_PER_INPUT - 1:
            check_written(doc, source)
