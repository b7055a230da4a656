"""Edits of round-trip documents change only what they edit.

Every corpus file and every valid conformance case that loads_all reads is
edited in a few fixed ways, each edit on a freshly loaded document, and the
text to_yaml() then writes is compared with the input, line by line. The
leaves are those walk() lists, document after document (a scalar document
after the first of a stream has no handle, so it has none).

- mark: a leaf marked changed without being changed (`node.anchor =
  node.anchor`: the setter marks the node and, given its own name or None,
  changes nothing) gives back the input byte for byte. The first, the
  middle and the last leaf are marked, each on its own load.
- string: the first, the middle and the last string leaf (not an alias,
  not below a merge key "<<") are given the string "quillmere-edit",
  through the parent's view (`node.value` for the middle one): no input
  line changes but the leaf's own lines and the line of its key or dash.
- comments: after each of those edits every comment of the input comes back
  with its text (a comment line whole, indentation and line break included;
  a comment after content from its "#" to the end of its line), in order,
  except those on the edited leaf's own lines.
- structure: "quillmere_new_key: v" added to the root block mapping (the
  first document's that has one) and to the middle nested block mapping;
  {"k": [1, 2]} assigned over the middle collection value of a mapping and
  over its middle scalar value; the first leaf given the anchor qm_anchor
  and the last leaf of that document made an alias of it (make_alias). No
  input line changes outside the edited nodes; the new key's lines go in
  after the mapping's last line and before the next line of content.
- reload: after every edit above the text loads (loads_all) as the
  document's data (to_dict()), and, loaded on the round-trip road, writes
  the same bytes again.

How lines are compared. An edit may replace the input lines of its regions
by any lines: a value's region runs from the line of its key (or dash) to
its last line, its anchor and tag included (an item of a flow sequence has
no dash line, a document's root no key). The edit passes when the output is
the input with each region so replaced: when the lines between the regions
all come back, in order and unchanged. That is what a line diff says when
it finds every line outside the regions kept, without depending on which of
several equally long alignments the diff picks. An input whose last line
has no line break may gain one there.

Where comments are: a "#" at the start of a line or after a blank, outside
every scalar the document holds (node offsets), starts a comment.

KNOWN_LOSSES names each (property, case) that is let through while it
fails, with the reason. A failing case not listed fails the test, with a
diff; a listed case that passes fails it too (so the list stays true)
unless its reason is a MayPass. Besides, each property must reach its
target share of passing cases. "string" and "structure" are checked on the
corpus; run this file as a script to print every property's figures for
both collections.
"""

import bisect
import concurrent.futures
import dataclasses
import difflib
import functools
import multiprocessing
import os

import pytest

from conftest import SHARED_DIR  # first: it puts the package on the path
import quillmere as q
from test_document_properties import same

RT = q.OPT_ROUND_TRIP
CORPUS = SHARED_DIR / "corpus" / "files"
SUITE = SHARED_DIR / "yaml-test-suite"

NEW_STRING = "quillmere-edit"
NEW_KEY = "quillmere_new_key"
NEW_KEY_VALUE = "v"
NEW_SUBTREE = {"k": [1, 2]}
ANCHOR = "qm_anchor"
# Structural edits whose candidate the document refuses (an anchor an alias
# elsewhere still uses) try the next candidate, up to this many.
CANDIDATES_TRIED = 10


class MayPass(str):
    """The reason for a listed case that may pass as well as fail: one whose
    outcome turns on details the writer is free to choose."""


# (property, case name) -> reason. Case names: a corpus file's path below
# corpus/files, or a conformance id ("M7A3", "6XDY/01"). For example
#     ("string", "faker/en__nation.yml"): "a layout the edit must change: the
#         value stood in a flow collection written over several lines",
#     ("comments", "6HB6"): MayPass("..."),
KNOWN_LOSSES: dict[tuple[str, str], str] = {}

# property -> (edit families it judges, outcome aspect, what a pass means)
PROPERTIES = {
    "mark": (("mark",), "bytes", "marking a leaf changed without changing it gives the input back"),
    "string": (("string",), "lines", "a string leaf edit changes only the leaf's lines"),
    "comments": (("mark", "string"), "comments", "the comments outside the edited leaf come back"),
    "structure": (("structure",), "lines", "an added key, a replaced subtree or a new alias changes "
                                           "only its nodes' lines"),
    "reload": (("mark", "string", "structure"), "reload", "every edit reloads as the document's data "
                                                           "and writes the same bytes again"),
}

# (property, collection, share of measured cases that must pass; None:
# every failing case must be listed, with no share to reach).
CHECKS = [
    ("mark", "corpus", 0.98),
    ("mark", "suite", 0.95),
    ("string", "corpus", 0.95),
    ("comments", "corpus", 0.98),
    ("comments", "suite", 0.95),
    ("structure", "corpus", 0.95),
    ("reload", "corpus", None),
    ("reload", "suite", None),
]

FAMILIES = ("mark", "string", "structure")
# Inputs at least this large have their edit families measured apart, so
# that the largest files spread over the worker processes.
SPLIT_SIZE = 256 * 1024
LINE_BREAKS = (b"\n", b"\r\n", b"\r")
SHOWN_FAILURES = 5
DIFF_LINES = 24


# ------------------------------------------------------------ inputs


@functools.cache
def collection_inputs(collection):
    """(name, bytes) of the collection's texts that loads_all reads."""
    if collection == "corpus":
        paths = [(str(p.relative_to(CORPUS)), p) for p in sorted(CORPUS.rglob("*")) if p.is_file()] \
            if CORPUS.is_dir() else []
    else:
        paths = [(str(p.parent.relative_to(SUITE)), p) for p in sorted(SUITE.rglob("in.yaml"))
                 if not (p.parent / "error").exists()] if SUITE.is_dir() else []
    inputs = []
    for name, path in paths:
        data = path.read_bytes()
        try:
            q.loads_all(data)
        except q.QuillmereError:
            continue
        inputs.append((name, data))
    return inputs



# ------------------------------------------------------------ texts


def unterminated(line):
    return not line.endswith((b"\n", b"\r"))


def same_line(before, after):
    """An input line and an output line say the same: equal bytes, or the
    input's last line without a line break and the same with one."""
    return before == after or (unterminated(before) and after[:len(before)] == before
                               and after[len(before):] in LINE_BREAKS)


@dataclasses.dataclass(frozen=True)
class Comment:
    line: int  # index of its line
    inline: bool  # after content on its line
    text: bytes  # the line (a comment line) or from "#" on (inline), line break included


class Text:
    """A text cut into lines (line breaks kept), and where its comments are,
    given the byte spans of the scalars it holds."""

    def __init__(self, data, spans):
        self.data = data
        self.lines = data.splitlines(keepends=True)
        self.starts = []
        offset = 0
        for line in self.lines:
            self.starts.append(offset)
            offset += len(line)
        self.comments = self.find_comments(spans)
        self.comment_offset = {c.line: self.starts[c.line] + len(self.lines[c.line]) - len(c.text)
                               for c in self.comments}
        self.comment_lines = {c.line for c in self.comments if not c.inline}

    def find_comments(self, spans):
        inside = bytearray(len(self.data) + 1)
        for start, end in spans:
            inside[start:end] = b"\x01" * (end - start)
        comments = []
        for index, (line, start) in enumerate(zip(self.lines, self.starts)):
            column = -1
            while (column := line.find(b"#", column + 1)) >= 0:
                if (column == 0 or line[column - 1] in b" \t") and not inside[start + column]:
                    inline = bool(line[:column].strip(b" \t"))
                    comments.append(Comment(index, inline, line[column:] if inline else line))
                    break
        return comments

    def line_of(self, offset):
        return max(bisect.bisect_right(self.starts, offset) - 1, 0)

    def offset_of(self, line, column):
        """The byte offset of a 1-based line and character column."""
        text = self.lines[line - 1].decode("utf-8")
        return self.starts[line - 1] + len(text[:column - 1].encode("utf-8"))

    def last_line(self, offset, end):
        """The last line of the node spanning bytes `offset` to `end`. A block
        scalar's span may end in the indentation of the line after it."""
        while end > offset + 1 and self.data[end - 1] in b" \t":
            end -= 1
        return self.line_of(max(end - 1, offset))

    def is_content(self, index):
        """A line with something on it besides blanks and a comment."""
        return bool(self.lines[index].strip(b" \t\r\n")) and index not in self.comment_lines

    def properties_start(self, offset):
        """Where the anchor and tag written before the node at `offset` begin
        (`offset` itself for a node without them). Comments between them are
        stepped over like blanks."""
        data, start = self.data, offset
        while True:
            end = start
            while True:
                while end > 0 and data[end - 1] in b" \t":
                    end -= 1
                if end == 0 or data[end - 1] not in b"\r\n":
                    break
                end -= 1
                if data[end] == ord("\n") and end > 0 and data[end - 1] == ord("\r"):
                    end -= 1
                end = self.comment_offset.get(self.line_of(end), end)
            word = end
            while word > 0 and data[word - 1] not in b" \t\r\n":
                word -= 1
            # A property may follow a flow indicator with no blank between.
            cut = max([word] + [data.rfind(indicator, word, end) + 1 for indicator in (b"[", b"{", b",")])
            if cut >= end or data[cut] not in b"&!":
                return start
            start = cut
            if cut > word:
                return start

    def place(self, offset, end_line, dash_or_key):
        """(region, own lines) of a node: the region runs from its slot line
        (the line of its key or dash, when `dash_or_key` and the node starts
        a line) to `end_line`; its own lines from its properties on."""
        start = self.properties_start(offset)
        first = self.line_of(start)
        slot = first
        if dash_or_key and not self.data[self.starts[first]:start].strip(b" \t"):
            slot = next((i for i in range(first - 1, -1, -1) if self.is_content(i)), first)
        return (slot, end_line + 1), (first, end_line)

    def next_content(self, index):
        return next((i for i in range(index, len(self.lines)) if self.is_content(i)), len(self.lines))


class Comparison:
    """An input's lines against an output's: the lengths of their common
    first and last lines, and whether the output is the input with given
    regions replaced."""

    def __init__(self, before, after):
        self.before, self.after = before, after
        shorter = min(len(before), len(after))
        self.head = next((k for k in range(shorter) if not same_line(before[k], after[k])), shorter)
        self.tail = next((k for k in range(shorter) if not same_line(before[-1 - k], after[-1 - k])), shorter)

    def keeps_all_but(self, regions):
        """`regions`: half-open ranges of input lines, in order."""
        kept, start = [], 0
        for low, high in regions:
            if low < start:  # overlapping regions join
                start = max(start, high)
                continue
            kept.append((start, low))
            start = high
        kept.append((start, len(self.before)))
        if len(kept) == 1:
            return self.head == len(self.before) == len(self.after)
        head = kept[0][1]
        tail = len(self.before) - kept[-1][0]
        limit = len(self.after) - tail
        if head > self.head or tail > self.tail or limit < head:
            return False
        position = head
        for low, high in kept[1:-1]:
            size = high - low
            found = next((j for j in range(position, limit - size + 1)
                          if all(self.before[low + k] == self.after[j + k] for k in range(size))), None)
            if found is None:
                return False
            position = found + size
        return True

    def diff(self, low=None):
        """A short unified diff at the first difference when it lies before
        input line `low` (or `low` is None), else at the last difference: the
        first line an edit may change is `low`, so one of the two is a change
        outside the edit's lines."""
        size, context = 120, 2
        first = low is None or self.head < low
        if first:
            before_start = after_start = max(self.head - context, 0)
        else:
            before_start = max(len(self.before) - self.tail + context - size, 0)
            after_start = max(len(self.after) - self.tail + context - size, 0)
        before = self.before[before_start:before_start + size]
        after = self.after[after_start:after_start + size]
        groups = list(difflib.SequenceMatcher(None, before, after).get_grouped_opcodes(context))
        lines = []
        for group in groups[:2] if first else groups[-2:]:
            a, b = group[0][1], group[-1][2]
            c, d = group[0][3], group[-1][4]
            lines.append(f"@@ -{before_start + a + 1},{b - a} +{after_start + c + 1},{d - c} @@")
            for tag, i1, i2, j1, j2 in group:
                if tag == "equal":
                    lines += [" " + shown(line) for line in before[i1:i2]]
                    continue
                lines += ["-" + shown(line) for line in before[i1:i2]]
                lines += ["+" + shown(line) for line in after[j1:j2]]
        if len(lines) > DIFF_LINES:
            lines = lines[:DIFF_LINES] + ["..."]
        return "\n".join("    " + line for line in lines)


def shown(line):
    """A line for a diff, its line break shown when it is not "\\n"."""
    text = line.decode("utf-8", "replace")
    if text.endswith("\n"):
        text = text[:-1]
    elif not text.endswith("\r"):
        text += "  (no line break)"
    return text.replace("\r", "\\r")


def lines_named(region):
    """Input lines [low, high) by their numbers."""
    low, high = region
    return f"line {low + 1}" if high - low == 1 else f"lines {low + 1}-{high}"


# ------------------------------------------------------------ documents


def root_of(doc, count, document):
    """What paths into a document start from: the document itself for a
    stream of one, else the document's view. A scalar document has no view;
    the first one is reached through the document (doc.node, doc.walk())."""
    if count == 1:
        return doc
    root = doc[document]
    return root if hasattr(root, "walk") else doc if document == 0 else None


def roots(doc, count):
    """(document index, root) of each document that paths reach."""
    found = [(i, root_of(doc, count, i)) for i in range(count)]
    return [(i, root) for i, root in found if root is not None]


def node_at(root, path):
    node = root.node
    for step in path:
        node = node[step]
    return node


def view_at(root, path):
    view = root
    for step in path:
        view = view[step]
    return view


def scalar_spans(doc, count):
    """The byte spans of the document's scalars (but those of the scalar
    documents after the first of a stream, which no path reaches)."""
    spans = []
    for _, root in roots(doc, count):
        for path, _ in root.walk():
            node = node_at(root, path)
            if node.end_offset > node.offset:
                spans.append((node.offset, node.end_offset))
    return spans


@dataclasses.dataclass
class Leaf:
    document: int
    path: tuple
    value: object
    offset: int
    end: int
    alias: bool
    anchor: object
    region: tuple = (0, 0)  # input lines the edit may replace
    own: tuple = (0, -1)  # input lines of the leaf itself: first, last

    @property
    def editable(self):
        """Written with text of its own, neither an alias nor merged in."""
        return self.end > self.offset and not self.alias and "<<" not in self.path


@dataclasses.dataclass
class Edit:
    family: str
    label: str
    apply: object  # (document) -> None
    regions: list  # half-open ranges of input lines the edit may replace, in order
    gap: tuple = None  # or: the lines between which a new key's lines may go, no input line changing
    own: tuple = (0, -1)  # input lines (first, last) whose comments the edit may change
    comments: bool = False  # whether the comments aspect is measured
    leaf: Leaf = None  # the leaf a mark or string edit edits

    def allowed(self, comparison):
        if self.gap:
            return any(comparison.keeps_all_but([(p, p)]) for p in range(self.gap[0], self.gap[1] + 1))
        return comparison.keeps_all_but(self.regions)

    @property
    def low(self):
        """The first input line the edit may change or insert before."""
        return self.gap[0] if self.gap else self.regions[0][0] if self.regions else None

    @property
    def allowed_text(self):
        if self.gap:
            return f"no line, adding lines after line {self.gap[0]} and before line {self.gap[1] + 1}"
        return " and ".join(lines_named(region) for region in self.regions) or "no line"


class Source:
    """One input: its text, the edits made to it, and their outcomes."""

    def __init__(self, name, data):
        self.name, self.data = name, data
        self.count = len(q.loads_all(data))
        doc = q.loads(data, option=RT)
        self.leaves = []
        self.collections = []  # (document, path, node) of every collection leaves lie in, in order
        seen = set()
        for document, root in roots(doc, self.count):
            for path, value in root.walk():
                node = node_at(root, path)
                self.leaves.append(Leaf(document, path, value, node.offset, node.end_offset, node.is_alias,
                                        node.anchor))
                for depth in range(len(path)):
                    if (document, path[:depth]) not in seen:
                        seen.add((document, path[:depth]))
                        self.collections.append((document, path[:depth], node_at(root, path[:depth])))
        self.text = Text(data, [(leaf.offset, leaf.end) for leaf in self.leaves if leaf.end > leaf.offset])
        self.edits = {"mark": self.mark_edits(), "string": self.string_edits(doc),
                      "structure": self.structure_edits(doc)}
        del self.collections
        self.outcomes = {}

    def where(self, document, path):
        return (f"{path!r}" if path else "the root") + (f" of document {document + 1}" if self.count > 1 else "")

    def locate(self, doc, leaf):
        """Fills in the leaf's region and own lines."""
        parent = node_at(root_of(doc, self.count, leaf.document), leaf.path[:-1]) if leaf.path else None
        flow_item = parent is not None and repr(parent) == "QuillmereNode(sequence)" and parent.style == "flow"
        # A document's root has no key or dash line: its "---" line holds
        # its properties, if any.
        leaf.region, leaf.own = self.text.place(leaf.offset, self.text.last_line(leaf.offset, leaf.end),
                                                bool(leaf.path) and not flow_item)
        return leaf

    def collection_lines(self, doc, document, path):
        """(start offset, last line) of the collection at `path`."""
        root = root_of(doc, self.count, document)
        start_line, start_column, _, _ = view_at(root, path).range()
        node = node_at(root, path)
        return self.text.offset_of(start_line, start_column), self.text.last_line(node.offset, node.end_offset)

    # -------------------------------------------------------- the edits

    def mark_edits(self):
        def mark(leaf):
            def apply(doc):
                node = node_at(root_of(doc, self.count, leaf.document), leaf.path)
                node.anchor = node.anchor
            return apply

        edits = []
        for leaf in picks(self.leaves):
            # A leaf without text of its own has no lines.
            own = self.text.place(leaf.offset, self.text.last_line(leaf.offset, leaf.end), False)[1] \
                if leaf.end > leaf.offset else (0, -1)
            edits.append(Edit("mark", f"marking {self.where(leaf.document, leaf.path)}", mark(leaf), [],
                              own=own, comments=True, leaf=leaf))
        return edits

    def string_edits(self, doc):
        def assign(leaf, through_view):
            def apply(doc):
                root = root_of(doc, self.count, leaf.document)
                if through_view and leaf.path:
                    view_at(root, leaf.path[:-1])[leaf.path[-1]] = NEW_STRING
                else:
                    node_at(root, leaf.path).value = NEW_STRING
            return apply

        edits = []
        strings = [leaf for leaf in self.leaves if leaf.editable and isinstance(leaf.value, str)]
        for index, leaf in enumerate(picks(strings)):
            self.locate(doc, leaf)
            through_view = index != 1 and bool(leaf.path)
            label = f"assigning {NEW_STRING!r} to {self.where(leaf.document, leaf.path)}" \
                    + (" through its view" if through_view else " through node.value")
            edits.append(Edit("string", label, assign(leaf, through_view), [leaf.region], own=leaf.own,
                              comments=True, leaf=leaf))
        return edits

    def structure_edits(self, doc):
        edits = []
        mappings = [(document, path) for document, path, node in self.collections
                    if repr(node) == "QuillmereNode(mapping)" and node.style == "block" and "<<" not in path]
        root_mapping = next(((d, p) for d, p in mappings if p == ()), None)
        nested = [(d, p) for d, p in mappings if p != ()]
        for target in (root_mapping, middle(nested)):
            if target is None:
                continue
            document, path = target
            _, last = self.collection_lines(doc, document, path)
            label = f"adding the key {NEW_KEY!r} to the mapping at {self.where(document, path)}"
            edits.append(Edit("structure", label, add_key(self.count, document, path), [],
                              gap=(last + 1, self.text.next_content(last + 1))))
        collections = [(d, p) for d, p, _ in self.collections if p and isinstance(p[-1], str) and "<<" not in p]
        for document, path in around_middle(collections)[:CANDIDATES_TRIED]:
            start, last = self.collection_lines(doc, document, path)
            region = self.text.place(start, last, True)[0]
            if self.replaceable(document, path):
                edits.append(self.subtree_edit("a collection value", document, path, region))
                break
        # A scalar without an anchor can always be replaced.
        scalars = [leaf for leaf in self.leaves if leaf.editable and leaf.anchor is None and leaf.path
                   and isinstance(leaf.path[-1], str)]
        if scalars:
            leaf = self.locate(doc, middle(scalars))
            edits.append(self.subtree_edit("a scalar value", leaf.document, leaf.path, leaf.region))
        pair = self.alias_pair()
        if pair:
            first, later = (self.locate(doc, leaf) for leaf in pair)
            label = f"anchoring {self.where(first.document, first.path)} as &{ANCHOR} and making " \
                    f"{later.path!r} an alias of it"
            edits.append(Edit("structure", label, make_alias(self.count, first, later),
                              [first.region, later.region]))
        return edits

    def replaceable(self, document, path):
        """Whether the document takes {"k": [1, 2]} at `path` (it refuses to
        drop an anchor that an alias outside still uses)."""
        doc = q.loads(self.data, option=RT)
        try:
            view_at(root_of(doc, self.count, document), path[:-1])[path[-1]] = NEW_SUBTREE
        except ValueError:
            return False
        return True

    def subtree_edit(self, what, document, path, region):
        def apply(doc):
            view_at(root_of(doc, self.count, document), path[:-1])[path[-1]] = NEW_SUBTREE

        return Edit("structure", f"replacing {what} {self.where(document, path)} by {NEW_SUBTREE!r}", apply,
                    [region])

    def alias_pair(self):
        """The first and the last scalar leaf of the first document with two
        leaves that can take an anchor and become an alias."""
        by_document = {}
        for leaf in self.leaves:
            if leaf.editable and leaf.anchor is None:
                by_document.setdefault(leaf.document, []).append(leaf)
        for leaves in by_document.values():
            if len(leaves) > 1 and leaves[0].end <= leaves[-1].offset:
                return leaves[0], leaves[-1]
        return None

    # -------------------------------------------------------- outcomes

    def outcomes_of(self, family):
        """For each edit of the family, {aspect: failure message} of the
        aspects it fails."""
        if family not in self.outcomes:
            self.outcomes[family] = [self.run(edit) for edit in self.edits[family]]
        return self.outcomes[family]

    def run(self, edit):
        """The edit made on a fresh document: the aspects it fails."""
        doc = q.loads(self.data, option=RT)
        try:
            edit.apply(doc)
            out = doc.to_yaml()
            data = doc.to_dict()
        except Exception as error:  # noqa: BLE001 - every aspect fails with it
            message = f"{edit.label}: {type(error).__name__}: {error}"
            return dict.fromkeys(("bytes", "lines", "comments", "reload"), message)
        failures = {}
        comparison = Comparison(self.text.lines, out.splitlines(keepends=True))
        if out != self.data:
            failures["bytes"] = f"{edit.label} changed the text:\n{comparison.diff()}"
        if not edit.allowed(comparison):
            failures["lines"] = f"{edit.label} changed lines it may not (it may change " \
                                f"{edit.allowed_text}):\n{comparison.diff(edit.low)}"
        again = None
        try:
            reloaded = q.loads_all(out)
            again = q.loads(out, option=RT)
        except q.QuillmereError as error:
            failures["reload"] = f"after {edit.label} the text does not load: {error}\n{comparison.diff()}"
        else:
            if not same(reloaded, [data] if self.count == 1 else data):
                failures["reload"] = f"after {edit.label} the text loads as other data\n{comparison.diff()}"
            elif again.to_yaml() != out:
                failures["reload"] = f"after {edit.label} the text, loaded again, writes other bytes"
        if edit.comments and out != self.data:
            lost = self.lost_comments(edit, out, again)
            if lost:
                failures["comments"] = f"after {edit.label}, {len(lost)} comment(s) did not come back, " \
                                       f"the first at {lost[0]}\n{comparison.diff()}"
        return failures

    def lost_comments(self, edit, out, again):
        """The input comments outside the edit's own lines that do not come
        back in order in the output ("line N: text")."""
        first, last = edit.own
        wanted = [c for c in self.text.comments if not first <= c.line <= last]
        positions = {}  # (inline, text) -> ascending indices among the output's comments
        for index, comment in enumerate(Text(out, scalar_spans(again, self.count)).comments if again else []):
            positions.setdefault((comment.inline, comment.text), []).append(index)
        lost, position = [], 0
        for comment in wanted:
            texts = [comment.text] + ([comment.text + end for end in LINE_BREAKS] if unterminated(comment.text)
                                      else [])
            found = []
            for text in texts:
                indices = positions.get((comment.inline, text), [])
                k = bisect.bisect_left(indices, position)
                if k < len(indices):
                    found.append(indices[k])
            if found:
                position = min(found) + 1
            else:
                lost.append(f"line {comment.line + 1}: {comment.text!r}")
        return lost


def picks(items):
    """The first, the middle and the last item, each once."""
    indices = sorted({0, len(items) // 2, len(items) - 1}) if items else []
    return [items[i] for i in indices]


def middle(items):
    return items[len(items) // 2] if items else None


def around_middle(items):
    return items[len(items) // 2:] + items[:len(items) // 2][::-1]


def add_key(count, document, path):
    def apply(doc):
        view_at(root_of(doc, count, document), path)[NEW_KEY] = NEW_KEY_VALUE
    return apply


def make_alias(count, first, later):
    def apply(doc):
        root = root_of(doc, count, first.document)
        node_at(root, first.path).anchor = ANCHOR
        node_at(root, later.path).make_alias(ANCHOR)
    return apply


# ------------------------------------------------------------ measuring


def measure_input(task):
    """(name, {family: outcomes}) of one input's edits of the given
    families: the work of one worker process."""
    collection, index, families = task
    name, data = collection_inputs(collection)[index]
    source = Source(name, data)
    return name, {family: source.outcomes_of(family) for family in families}


@functools.cache
def collection_outcomes(collection):
    """{case name: {family: outcomes}} of every input of the collection,
    measured in forked worker processes (in this one where fork is not to
    be had), the largest inputs first."""
    inputs = collection_inputs(collection)
    order = sorted(range(len(inputs)), key=lambda index: -len(inputs[index][1]))
    tasks = [(collection, index, families) for index in order
             for families in ([(family,) for family in FAMILIES] if len(inputs[index][1]) >= SPLIT_SIZE
                              else [FAMILIES])]
    results = {name: {} for name, _ in inputs}
    workers = min(os.cpu_count() or 1, 8)
    if workers > 1 and "fork" in multiprocessing.get_all_start_methods():
        context = multiprocessing.get_context("fork")
        with concurrent.futures.ProcessPoolExecutor(workers, mp_context=context) as pool:
            done = list(pool.map(measure_input, tasks))
    else:
        done = [measure_input(task) for task in tasks]
    for name, outcomes in done:
        results[name].update(outcomes)
    return results


def measure(prop, collection):
    """{case name: failure messages} of the cases the property measures
    (those with at least one of its edits); an empty list is a pass."""
    families, aspect, _ = PROPERTIES[prop]
    results = {}
    for name, outcomes in collection_outcomes(collection).items():
        edits = [failures for family in families for failures in outcomes[family]]
        if edits:
            results[name] = [failures[aspect] for failures in edits if aspect in failures]
    return results


def figure(prop, collection, results):
    passed = sum(not failures for failures in results.values())
    share = passed / len(results) if results else 1.0
    return f"{prop} on {collection}: {passed} of {len(results)} pass ({share:.1%})", share


@pytest.mark.parametrize("prop, collection, target", CHECKS, ids=[f"{p}-{c}" for p, c, _ in CHECKS])
def test_edits_change_only_what_they_edit(prop, collection, target):
    if not collection_inputs(collection):
        pytest.skip(f"no {collection} inputs under {SHARED_DIR}")
    results = measure(prop, collection)
    line, share = figure(prop, collection, results)
    line += f", target {target:.0%}" if target is not None else ", every failing case listed"
    print(line)
    names = {name for name, _ in collection_inputs(collection)}
    listed = {name: reason for (p, name), reason in KNOWN_LOSSES.items() if p == prop and name in names}
    unlisted = [name for name, failures in results.items() if failures and name not in listed]
    passing = [name for name, reason in listed.items()
               if name in results and not results[name] and not isinstance(reason, MayPass)]
    unmeasured = [name for name in listed if name not in results]
    problems = []
    if target is not None and share < target:
        problems.append(f"below the target: {PROPERTIES[prop][2]} on {share:.1%} of the cases")
    if unlisted:
        problems.append(f"{len(unlisted)} failing case(s) not in KNOWN_LOSSES: {', '.join(unlisted)}")
        for name in unlisted[:SHOWN_FAILURES]:
            problems.append(f"{name}: {results[name][0]}")
    if passing:
        problems.append(f"listed in KNOWN_LOSSES but passing (remove them): {', '.join(passing)}")
    if unmeasured:
        problems.append(f"listed in KNOWN_LOSSES but without an edit of this property: {', '.join(unmeasured)}")
    assert not problems, "\n".join([line, *problems])


def test_every_known_loss_names_a_checked_property_and_case():
    for prop, name in KNOWN_LOSSES:
        assert any(p == prop and name in dict(collection_inputs(c)) for p, c, _ in CHECKS), (prop, name)


# ------------------------------------------------------------ the measure itself

BEFORE = [b"a\n", b"b\n", b"c\n", b"d\n", b"e\n"]


@pytest.mark.parametrize(
    "after, regions, kept",
    [
        (BEFORE, [], True),
        (BEFORE[:4] + [b"e\r\n"], [], False),
        ([b"a\n", b"B\n", b"c\n", b"d\n", b"e\n"], [(1, 2)], True),
        ([b"a\n", b"B\n", b"c\n", b"d\n", b"e\n"], [(2, 3)], False),
        ([b"a\n", b"c\n", b"d\n", b"e\n"], [(1, 2)], True),
        ([b"a\n", b"b\n", b"x\n", b"y\n", b"c\n", b"d\n", b"e\n"], [(2, 2)], True),
        ([b"a\n", b"b\n", b"x\n", b"c\n", b"d\n", b"e\n"], [(3, 3)], False),
        ([b"a\n", b"B\n", b"c\n", b"D\n", b"e\n"], [(1, 2), (3, 4)], True),
        ([b"a\n", b"B\n", b"C\n", b"D\n", b"e\n"], [(1, 2), (3, 4)], False),
        ([b"a\n", b"B\n", b"D\n", b"e\n"], [(1, 2), (2, 4)], True),
        ([b"a\n", b"B\n", b"c\n", b"c\n", b"D\n", b"e\n"], [(1, 2), (3, 4)], True),
    ],
)
def test_comparison_keeps_every_line_outside_the_regions(after, regions, kept):
    assert Comparison(BEFORE, after).keeps_all_but(regions) is kept


def test_a_last_line_without_a_line_break_may_gain_one():
    before = [b"a: 1\n", b"b: 2"]
    assert Comparison(before, [b"a: 1\n", b"b: 2\n", b"c: 3\n"]).keeps_all_but([(2, 2)])
    assert not Comparison(before, [b"a: 1\n", b"b: 2 \n"]).keeps_all_but([(2, 2)])


def test_comments_are_found_outside_scalars():
    data = b"a: 1 # one\n  # two\nb: 'x # no\n  # no'\nc: |\n  # no\n # three\nd: x#no\n"
    found = Text(data, scalar_spans(q.loads(data, option=RT), 1)).comments
    assert [(c.line, c.inline, c.text) for c in found] == [
        (0, True, b"# one\n"), (1, False, b"  # two\n"), (6, False, b" # three\n")]


@pytest.mark.parametrize(
    "text, path, region, own",
    [
        ("a:\n  b: x\n", ("a", "b"), (1, 2), (1, 1)),
        ("a:\n  # c\n\n  x\n", ("a",), (0, 4), (3, 3)),
        ("a: &x !t\n  # c\n  v\n", ("a",), (0, 3), (0, 2)),
        ("a: [&x b]\n", ("a", 0), (0, 1), (0, 0)),
        ("-\n  v\n", (0,), (0, 2), (1, 1)),
        ("- a\n- 'b\n  c'\n- d\n", (1,), (1, 3), (1, 2)),
        ("[a,\n b]\n", (1,), (1, 2), (1, 1)),
        ("{a: 1,\n b:\n  2}\n", ("b",), (1, 3), (2, 2)),
        ("a: |\n  x\n # c\nb: 1\n", ("a",), (0, 2), (0, 1)),
        ("--- !t\nv\n", (), (0, 2), (0, 1)),
    ],
)
def test_the_region_of_a_leaf_runs_from_its_key_or_dash_line(text, path, region, own):
    data = text.encode()
    source = Source("example", data)
    leaf = next(leaf for leaf in source.leaves if leaf.path == path and leaf.document == source.count - 1)
    source.locate(q.loads(data, option=RT), leaf)
    assert (leaf.region, leaf.own) == (region, own)


def test_an_edit_made_by_splicing_the_text_passes_the_measure():
    """The string edit done by hand (the leaf's text replaced, nothing else)
    passes the string and comments checks: the measure asks for nothing a
    writer cannot give. Every conformance case and the corpus files up to
    64 KB."""
    checked, refused = 0, []
    inputs = collection_inputs("suite") + [(name, data) for name, data in collection_inputs("corpus")
                                           if len(data) <= 64 * 1024]
    for source in (Source(name, data) for name, data in inputs):
        for edit in source.edits["string"]:
            leaf, data = edit.leaf, source.data
            # A block scalar's span ends with its line break and perhaps the
            # next line's indentation: both stay.
            text = data[leaf.offset:leaf.end].rstrip(b" \t")
            out = data[:leaf.offset] + NEW_STRING.encode() + (b"\n" if text.endswith(b"\n") else b"") \
                + data[leaf.offset + len(text):]
            comparison = Comparison(source.text.lines, out.splitlines(keepends=True))
            lost = source.lost_comments(edit, out, q.loads(out, option=RT))
            if not edit.allowed(comparison) or lost:
                refused.append(f"{source.name}: {edit.label}: {lost[:1]}\n{comparison.diff()}")
            checked += 1
    assert checked > 500 and not refused, "\n".join(refused[:SHOWN_FAILURES])


if __name__ == "__main__":
    for collection in ("corpus", "suite"):
        for prop in PROPERTIES:
            print(figure(prop, collection, measure(prop, collection))[0])
