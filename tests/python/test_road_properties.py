"""Properties of the annotated and directive roads over the YAML test suite
and the corpus: every road gives the plain road's data for the same text
and options (or the same error); annotated values made while reading agree
in every position with those made from composed trees; and on the corpus,
every position slices its text exactly and survives copying and pickling."""

import bisect
import copy
import math
import pickle

import pytest

import _quillmere as q
import quillmere
from conftest import SHARED_DIR

SUITE = SHARED_DIR / "yaml-test-suite"
CORPUS = SHARED_DIR / "corpus" / "files"
A = q.OPT_ANNOTATED
# A trailing comment naming a directive sends a text down the directive
# road, which composes trees; a text naming none takes the plain road.
MARK = b"# !include !secret !env_var\n"
# Cases where that comment is not a comment but text of the last scalar.
MARK_IS_TEXT = {"DK3J": "the text ends inside a plain multi-line scalar, where '#' after a line break is text"}


def suite_inputs():
    if not SUITE.is_dir():
        return []
    return [pytest.param((folder / "in.yaml").read_bytes(), id=str(folder.relative_to(SUITE)))
            for folder in sorted(p.parent for p in SUITE.rglob("in.yaml"))]


def corpus_inputs():
    if not CORPUS.is_dir():
        return []
    return [pytest.param(path.read_bytes(), id=str(path.relative_to(CORPUS)))
            for path in sorted(CORPUS.rglob("*")) if path.suffix in (".yaml", ".yml")]


INPUTS = suite_inputs() + corpus_inputs()
CORPUS_INPUTS = corpus_inputs()
ANNOTATED_TYPES = (q.QuillmereAnnotatedDict, q.QuillmereAnnotatedList, quillmere.QuillmereAnnotatedStr,
                   quillmere.QuillmereAnnotatedInt, quillmere.QuillmereAnnotatedFloat)
PLACE = ["__line__", "__column__", "__end_line__", "__end_column__", "__offset__", "__end_offset__", "__file__",
         "__source_tag__", "__source_target__"]


def plain(value):
    """The value as plain data, types included (an annotated class counts as
    its base), with NaN equal to itself and dict order kept."""
    if isinstance(value, dict):
        return ("dict", [(plain(k), plain(v)) for k, v in value.items()])
    if isinstance(value, (list, tuple)):
        return (type(value).__mro__[-2].__name__ if isinstance(value, list) else "tuple", [plain(v) for v in value])
    if isinstance(value, bool):
        return ("bool", value)
    if isinstance(value, int):
        return ("int", int(value))
    if isinstance(value, float):
        return ("float", "nan" if math.isnan(value) else float(value))
    if isinstance(value, str):
        return ("str", str(value))
    if isinstance(value, q.QuillmereTag):
        return ("tag", value.tag, plain(value.value))
    return (type(value).__name__, repr(value))


def outcome(load):
    try:
        return ("ok", plain(load()))
    except Exception as error:  # noqa: BLE001 - the error is the outcome
        return ("error", type(error).__name__, str(error))


def places(value, out):
    """Every annotation of a result, in document order."""
    if isinstance(value, ANNOTATED_TYPES):
        out.append((type(value).__name__, *(getattr(value, name) for name in PLACE),
                    getattr(value, "__style__", None)))
    if isinstance(value, dict):
        for key, item in value.items():
            places(key, out)
            places(item, out)
    elif isinstance(value, (list, tuple)):
        for item in value:
            places(item, out)
    return out


def handler(tag, value):
    return ("tagged", tag, plain(value))


@pytest.mark.parametrize("data", INPUTS)
def test_every_road_gives_the_plain_roads_data(data, request):
    expected = outcome(lambda: q.loads(data))
    assert outcome(lambda: q.loads(data, option=A)) == expected
    assert outcome(lambda: q.loads(data, option=A | q.OPT_ANNOTATE_NUMBERS)) == expected
    assert outcome(lambda: q.loads_all(data, option=A)) == outcome(lambda: q.loads_all(data))
    assert (outcome(lambda: q.loads(data, option=A | q.OPT_YAML_1_1, tag_handler=handler))
            == outcome(lambda: q.loads(data, option=q.OPT_YAML_1_1, tag_handler=handler)))
    if data.endswith(b"\n") and request.node.callspec.id not in MARK_IS_TEXT:
        # The comment moves an error at the end of the text: then only the
        # kind of error is compared.
        marked = data + MARK
        for road, option, kwargs in ((q.OPT_INCLUDES | q.OPT_SECRETS, 0, {"tag_handler": handler}),
                                     (q.OPT_ENV_VAR | q.OPT_PASSTHROUGH_TAG, q.OPT_PASSTHROUGH_TAG, {})):
            expected = outcome(lambda: q.loads(data, option=option, **kwargs))
            found = outcome(lambda: q.loads(marked, option=road, include_dir="/nonexistent", **kwargs))
            assert found[:2] == expected[:2] if expected[0] == "error" else found == expected


@pytest.mark.parametrize("data", INPUTS)
def test_values_made_while_reading_are_placed_as_from_trees(data):
    marked = data + MARK if data.endswith(b"\n") else data
    numbers = A | q.OPT_ANNOTATE_NUMBERS
    try:
        read = q.loads(marked, option=numbers)
    except quillmere.QuillmereError:
        return
    composed = q.loads(marked, option=numbers | q.OPT_INCLUDES, include_dir="/nonexistent")
    # The directive road names the root text; reading alone names no file.
    assert [p[:7] + p[8:] for p in places(read, [])] == [p[:7] + p[8:] for p in places(composed, [])]


def line_starts(data):
    starts = [3 if data.startswith(b"\xef\xbb\xbf") else 0]
    i = 0
    while i < len(data):
        if data[i] == 0x0D:
            i += 2 if data[i + 1:i + 2] == b"\n" else 1
            starts.append(i)
        elif data[i] == 0x0A:
            i += 1
            starts.append(i)
        else:
            i += 1
    return starts


@pytest.mark.skipif(not CORPUS_INPUTS, reason=f"no corpus at {CORPUS}")
@pytest.mark.parametrize("data", CORPUS_INPUTS)
def test_corpus_positions(data):
    try:
        value = q.loads(data, option=A | q.OPT_ANNOTATE_NUMBERS)
    except quillmere.QuillmereError:
        pytest.skip("the plain road refuses it too")
    starts = line_starts(data)

    def line_and_column(offset):
        line = bisect.bisect_right(starts, offset) - 1
        prefix = data[starts[line]:offset]
        return line + 1, (len(prefix) if prefix.isascii() else len(prefix.decode("utf-8"))) + 1

    checked = 0
    for found in places(value, []):
        kind, line, column, end_line, end_column, offset, end_offset = found[:7]
        assert (line, column) == line_and_column(offset)
        assert (end_line, end_column) == line_and_column(end_offset)
    stack = [value]
    while stack:
        item = stack.pop()
        if isinstance(item, dict):
            stack.extend(item.keys())
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)
        elif (type(item) is quillmere.QuillmereAnnotatedStr and item.__style__ == "plain"
              and item.__line__ == item.__end_line__):
            assert data[item.__offset__:item.__end_offset__].decode("utf-8") == item
            checked += 1
    if isinstance(value, (dict, list)):
        assert checked > 0
    expected = places(value, [])
    for clone in (copy.copy(value), copy.deepcopy(value)):
        assert clone == value and places(clone, []) == expected
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        clone = pickle.loads(pickle.dumps(value, protocol))
        assert clone == value and places(clone, []) == expected
