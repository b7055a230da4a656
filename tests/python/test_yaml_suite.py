"""Every case of the YAML test suite, loaded from Python with loads_all.

A case with an in.json file must load to those values (compared as JSON: key
texts as JSON writes them); a case marked as an error must raise
QuillmereParseError; every other case must load. KNOWN_DIFFERENCES lists the
cases whose result differs, each with the reason; they are expected to fail
so that a fix shows up."""

import json
from pathlib import Path

import pytest

import _quillmere as q
from conftest import SHARED_DIR
from quillmere import exceptions as ex

SUITE = SHARED_DIR / "yaml-test-suite"

KNOWN_DIFFERENCES = {
    "DK95/00": "the scanner rejects a tab after the indentation spaces of a line, before content "
               "(\"a tab cannot be used for indentation\"), so this valid case raises",
    "L24T/01": "a clip block scalar whose last line ends the text without a line break keeps no line feed "
               "(YAML 1.2, 8.1.1.2); the case's data gives it one",
}


def load_cases():
    if not SUITE.is_dir():
        return []
    return sorted(str(path.parent.relative_to(SUITE)) for path in SUITE.rglob("in.yaml"))


def json_documents(text):
    decoder = json.JSONDecoder()
    documents, index = [], 0
    while True:
        while index < len(text) and text[index].isspace():
            index += 1
        if index == len(text):
            return documents
        value, index = decoder.raw_decode(text, index)
        documents.append(value)


def as_json(value):
    """The value as JSON would give it back: keys become their JSON texts."""
    if isinstance(value, dict):
        return {json.dumps(k) if not isinstance(k, str) else k: as_json(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_json(v) for v in value]
    if isinstance(value, float) and value.is_integer():
        return int(value)
    return value


CASES = [
    pytest.param(case, marks=pytest.mark.xfail(reason=KNOWN_DIFFERENCES[case], strict=True))
    if case in KNOWN_DIFFERENCES else case
    for case in load_cases()
]


@pytest.mark.skipif(not CASES, reason=f"no test suite at {SUITE}")
@pytest.mark.parametrize("case", CASES or ["none"])
def test_case(case):
    folder = SUITE / case
    data = (folder / "in.yaml").read_bytes()
    if (folder / "error").exists():
        with pytest.raises(ex.QuillmereParseError):
            q.loads_all(data)
        return
    documents = q.loads_all(data)
    if (folder / "in.json").exists():
        expected = json_documents((folder / "in.json").read_text(encoding="utf-8"))
        assert [as_json(d) for d in documents] == [as_json(d) for d in expected]


def load_failure(data, option):
    """The class, message and position that loads raises, or None."""
    try:
        q.loads(data, option=option)
    except ex.QuillmereError as error:
        return type(error).__name__, str(error), error.line, error.column
    return None


@pytest.mark.skipif(not CASES, reason=f"no test suite at {SUITE}")
@pytest.mark.parametrize("case", load_cases() or ["none"])
def test_round_trip_road_fails_where_the_plain_road_fails(case):
    # The round-trip tree is composed by the same parser as the plain road's
    # values: malformed text fails on both roads with the same error, and
    # text the plain road loads gives a document.
    data = (SUITE / case / "in.yaml").read_bytes()
    assert load_failure(data, q.OPT_ROUND_TRIP) == load_failure(data, 0)
