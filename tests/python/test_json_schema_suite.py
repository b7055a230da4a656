"""The public JSON Schema conformance cases through loads.

Every group of draft 2020-12 (shared test data) runs, and the groups of
drafts 4, 6 and 7 for the same keywords (Debian's json-schema-test-suite
package, installed by scripts/deps.sh). Each instance is given to loads as
JSON text, which YAML reads as the same data, with the group's schema; a
case passes when loads raises QuillmereSchemaError exactly for the invalid
instances. The groups and cases that the validator decides differently are
listed below with the reason, and the test checks that exactly these
disagree."""

import json
from pathlib import Path

import pytest

import _quillmere as q
from quillmere import exceptions as ex
from conftest import SHARED_DIR

DRAFT_2020_12 = SHARED_DIR / "json-schema-test-suite" / "draft2020-12"
OLDER_DRAFTS = Path("/usr/share/json-schema-test-suite/tests")

# The files of the supported keywords (boolean_schema and const are not in
# draft 4, const and the exclusive keywords' own files not before draft 6).
KEYWORD_FILES = ["additionalProperties", "allOf", "anyOf", "boolean_schema", "const", "enum", "exclusiveMaximum",
                 "exclusiveMinimum", "items", "maxItems", "maxLength", "maximum", "minItems", "minLength", "minimum",
                 "not", "oneOf", "properties", "required", "type"]

PATTERN_PROPERTIES = "patternProperties is not checked: the properties it names count as additional"
PREFIX_ITEMS = "prefixItems is not checked: items applies to every item"
ARRAY_ITEMS = "array-form items is a schema that accepts everything"
FLOAT_INTEGER = "a float with zero fractional part (1.0) is a number, not an integer"
BOOLEAN_EXCLUSIVE = "draft 4's boolean exclusiveMaximum/exclusiveMinimum modifiers are not checked"

# (draft, file, group) -> why some of its cases are decided differently.
GROUPS = {
    ("draft2020-12", "additionalProperties", "additionalProperties being false does not allow other properties"):
        PATTERN_PROPERTIES,
    ("draft2020-12", "additionalProperties", "non-ASCII pattern with additionalProperties"): PATTERN_PROPERTIES,
    ("draft2020-12", "allOf", "allOf combined with anyOf, oneOf"): "multipleOf is not checked",
    ("draft2020-12", "items", "items and subitems"): "$ref and $defs are not followed",
    ("draft2020-12", "items", "prefixItems with no additional items allowed"): PREFIX_ITEMS,
    ("draft2020-12", "items", "prefixItems validation adjusts the starting index for items"): PREFIX_ITEMS,
    ("draft2020-12", "items", "items with heterogeneous array"): PREFIX_ITEMS,
    ("draft2020-12", "not", "collect annotations inside a 'not', even if collection is disabled"):
        "unevaluatedProperties is not checked",
    ("draft2020-12", "properties", "properties, patternProperties, additionalProperties interaction"):
        PATTERN_PROPERTIES,
}
# (draft, file, group, case) -> why that case is decided differently.
CASES = {
    ("draft2020-12", "type", "integer type matches integers", "a float with zero fractional part is an integer"):
        FLOAT_INTEGER,
}
for draft in ("draft4", "draft6", "draft7"):
    GROUPS[(draft, "additionalProperties", "additionalProperties being false does not allow other properties")] = \
        PATTERN_PROPERTIES
    GROUPS[(draft, "additionalProperties", "non-ASCII pattern with additionalProperties")] = PATTERN_PROPERTIES
    GROUPS[(draft, "properties", "properties, patternProperties, additionalProperties interaction")] = \
        PATTERN_PROPERTIES
    GROUPS[(draft, "items", "an array of schemas for items")] = ARRAY_ITEMS
for draft in ("draft6", "draft7"):
    GROUPS[(draft, "items", "items with boolean schemas")] = ARRAY_ITEMS
GROUPS[("draft4", "maximum", "exclusiveMaximum validation")] = BOOLEAN_EXCLUSIVE
GROUPS[("draft4", "minimum", "exclusiveMinimum validation")] = BOOLEAN_EXCLUSIVE


def suite_files():
    files = [("draft2020-12", DRAFT_2020_12 / f"{name}.json") for name in KEYWORD_FILES]
    for draft in ("draft4", "draft6", "draft7"):
        files += [(draft, OLDER_DRAFTS / draft / f"{name}.json") for name in KEYWORD_FILES]
    return [(draft, path) for draft, path in files if draft == "draft2020-12" or path.exists()]


def is_valid(data, schema):
    try:
        q.loads(json.dumps(data, ensure_ascii=False), schema=schema)
    except ex.QuillmereSchemaError:
        return False
    return True


def test_the_cases_are_there():
    assert DRAFT_2020_12.is_dir(), f"missing {DRAFT_2020_12}"
    assert OLDER_DRAFTS.is_dir(), "missing the json-schema-test-suite package (scripts/deps.sh installs it)"


@pytest.mark.parametrize("draft, path", suite_files(), ids=lambda v: v if isinstance(v, str) else v.stem)
def test_suite(draft, path):
    groups = json.loads(path.read_text(encoding="utf-8"))
    disagreeing_groups, disagreeing_cases = set(), set()
    for group in groups:
        for case in group["tests"]:
            if is_valid(case["data"], group["schema"]) != case["valid"]:
                disagreeing_groups.add((draft, path.stem, group["description"]))
                disagreeing_cases.add((draft, path.stem, group["description"], case["description"]))
    listed_groups = {key for key in GROUPS if key[:2] == (draft, path.stem)}
    listed_cases = {key for key in CASES if key[:2] == (draft, path.stem)}
    unexplained = {case for case in disagreeing_cases if case[:3] not in listed_groups and case not in listed_cases}
    assert unexplained == set()
    # Every listed group and case still disagrees, so the list stays exact.
    assert listed_groups <= disagreeing_groups
    assert listed_cases <= disagreeing_cases
