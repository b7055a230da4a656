"""Every road reads mutated texts alike: the conformance cases and the
corpus files, with lines deleted, repeated, swapped and shifted, and
indicators, properties, tabs and odd characters inserted, must give the
same data on the plain road, the annotated road, the directive road with
nothing to include, and the round-trip document's to_dict(), or be refused
by all four with the same exception type, message and position.

The mutants are drawn from seeded generators, so a run is repeatable. The
test command runs MUTANTS per input; set QUILLMERE_ROAD_MUTANTS for a
longer run (and QUILLMERE_ROAD_SEED for other mutants):

    QUILLMERE_ROAD_MUTANTS=5000 QUILLMERE_ROAD_SEED=7 pytest tests/python/test_road_mutants.py
"""

import os
import random

import pytest

import _quillmere as q
from conftest import SHARED_DIR
from test_road_properties import plain

SUITE = SHARED_DIR / "yaml-test-suite"
CORPUS = SHARED_DIR / "corpus" / "files"
MUTANTS = int(os.environ.get("QUILLMERE_ROAD_MUTANTS", "100"))
SEED = os.environ.get("QUILLMERE_ROAD_SEED", "0")
# Large corpus files take long on the tree roads: they get few mutants.
LARGE = 16_000

# What a mutation inserts: indicators, properties, markers, directives,
# numbers and characters that scanners treat specially.
PIECES = [":", ": ", "- ", "? ", "[", "]", "{", "}", ",", "#", " #", "&a ", "*a", "!t ", "!!int ", "!!str ",
          "!!merge ", "<<: ", "<<", "|", ">", "|-", ">+", "'", '"', "%YAML 1.1\n", "---\n", "...\n", "\t", "\n",
          "  ", "\ufeff", "~", "0x", "\\", "!", "&", "*", "!!merge : ", "<<: *a", "&x [", "0o", "9" * 20, "\r",
          "\r\n", "!<tag:yaml.org,2002:int> ", "%TAG ! tag:yaml.org,2002:\n", "\x00", "\u2028", "\x85",
          "!!null ", "!!float ", "!!bool ", "? [", "- -", ": -", "|2", ">-\n", "''", '\\"', "\\x", "[]", "{}"]
# A first line naming a directive sends a text down the directive road's
# trees; without one the directive road takes the plain road's decoder.
MARK = "# !include\n"


def mutate(text, rng):
    lines = text.split("\n")
    kind = rng.randrange(8)
    if kind == 0 and len(lines) > 1:
        del lines[rng.randrange(len(lines))]
    elif kind == 1:
        i = rng.randrange(len(lines))
        lines.insert(i, lines[i])
    elif kind == 2 and len(lines) > 1:
        i, j = rng.randrange(len(lines)), rng.randrange(len(lines))
        lines[i], lines[j] = lines[j], lines[i]
    elif kind == 6:
        i = rng.randrange(len(lines))
        lines[i] = "  " + lines[i]
    elif kind == 7:
        i = rng.randrange(len(lines))
        lines[i] = lines[i][1:]
    else:
        at = rng.randrange(len(text) + 1)
        piece = "\t" if kind == 5 else rng.choice(PIECES)
        return text[:at] + piece + text[at:]
    return "\n".join(lines)


def mutants(name, text, count):
    rng = random.Random(f"{SEED}:{name}")
    for _ in range(count):
        mutant = text
        for _ in range(rng.randrange(1, 4)):
            mutant = mutate(mutant, rng)
        if rng.random() < 0.3:
            mutant = MARK + mutant
        # A quarter under the YAML 1.1 rules, which a round-trip document
        # does not take from the option: it reads by its text's header.
        yield mutant, (q.OPT_YAML_1_1 if rng.random() < 0.25 else 0)


def outcome(load):
    try:
        return ("ok", plain(load()))
    except Exception as error:  # noqa: BLE001 - the error is the outcome
        return ("error", type(error).__name__, str(error), getattr(error, "line", None),
                getattr(error, "column", None))


def disagreements(text, option, include_dir):
    """The roads whose outcome differs from the plain road's, with theirs."""
    first = outcome(lambda: q.loads(text, option=option))
    found = {}
    for road, extra, kwargs in (("annotated", q.OPT_ANNOTATED, {}),
                                ("directive", q.OPT_INCLUDES, {"include_dir": include_dir})):
        got = outcome(lambda: q.loads(text, option=option | extra, **kwargs))
        if got != first:
            found[road] = got
    if not option:
        # to_dict() holds every document: the one document's value, or the
        # list of them, as loads_all gives them.
        every = outcome(lambda: q.loads_all(text))
        expected = every
        if every[0] == "ok" and len(every[1][1]) == 1:
            expected = ("ok", every[1][1][0])
        got = outcome(lambda: q.loads(text, option=q.OPT_ROUND_TRIP).to_dict())
        if got != expected:
            found["round trip"] = got
    return first, found


def inputs():
    found = []
    if SUITE.is_dir():
        for path in sorted(SUITE.rglob("in.yaml")):
            found.append(pytest.param(path, id="suite/" + str(path.parent.relative_to(SUITE))))
    if CORPUS.is_dir():
        for path in sorted(CORPUS.rglob("*")):
            if path.suffix in (".yaml", ".yml"):
                found.append(pytest.param(path, id="corpus/" + str(path.relative_to(CORPUS))))
    return found


@pytest.mark.parametrize("path", inputs())
def test_every_road_reads_mutants_alike(path, tmp_path):
    text = path.read_bytes().decode("utf-8", "replace")
    count = MUTANTS if len(text) < LARGE else max(1, MUTANTS // 40)
    for mutant, option in mutants(str(path.relative_to(SHARED_DIR)), text, count):
        first, found = disagreements(mutant, option, str(tmp_path))
        assert not found, (mutant, option, first, found)


@pytest.mark.parametrize("text", [
    # Found by mutation: a text its core tag cannot read is refused where
    # it stands, before a later syntax error, on the round-trip road too.
    "- !!int 1~\n\n------\n",
    "!!int a\n: 'b': c\n",
    # A merge key that brings nothing, inside a mapping key.
    "? [<<: ]: x\n",
    "? <<:\n: v\n",
])
def test_mutants_found_once(text, tmp_path):
    assert disagreements(text, 0, str(tmp_path))[1] == {}


@pytest.mark.parametrize("text, line, column", [
    (b"a: x\x00y", 1, 5),
    (b"&a\x00b x", 1, 3),
    (b"a: x\x7fy", 1, 5),
    ("a: 'x\u0080'".encode(), 1, 6),
    ("# c\u009f\na: 1".encode(), 1, 4),
    ("a: 1\nb: \"\ufffe\"".encode(), 2, 5),
    ("- \uffff".encode(), 1, 3),
    (b"a: |\n  x\x1by\n", 2, 4),
    (b"a: !t\x01 x", 1, 6),
])
def test_non_printable_characters_are_refused_alike(text, line, column, tmp_path):
    """A character outside YAML's printable set is a parse error at the
    character on every road; NEL is printable and loads."""
    first, found = disagreements(text, 0, str(tmp_path))
    assert found == {}
    assert first[0] == "error" and first[1] == "QuillmereParseError", first
    assert "non-printable character" in first[2]
    assert (first[3], first[4]) == (line, column)
    assert q.loads("a: x\u0085y".encode()) == {"a": "x\u0085y"}
