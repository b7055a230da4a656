"""JSON Schema validation in loads: the schema and schema_resolver
arguments, the exception with its position, the documents that are checked,
schema_ref and the schema comment, limits."""

import gc
import sys
import time

import pytest

import _quillmere as q
from quillmere import exceptions as ex
from conftest import ROOT, SHARED_DIR, run_on_small_stack

sys.path.insert(0, str(ROOT / "bench"))
from harness import visiting_schema  # noqa: E402  (the benchmark's schema that checks every node)

Y11, COMPAT = q.OPT_YAML_1_1, q.OPT_PYYAML_COMPAT

CONFIG_SCHEMA = {
    "type": "object",
    "required": ["name", "port"],
    "properties": {
        "name": {"type": "string", "minLength": 1},
        "port": {"type": "integer", "minimum": 1, "maximum": 65535},
        "tags": {"type": "array", "items": {"type": "string"}},
    },
    "additionalProperties": False,
}


def violation(text, schema, **kwargs):
    with pytest.raises(ex.QuillmereSchemaError) as info:
        q.loads(text, schema=schema, **kwargs)
    error = info.value
    return str(error), error.schema_path, error.line, error.column


class TestViolations:
    @pytest.mark.parametrize("text, message, path, line, column", [
        ("name: api\nport: 70000\n", "value 70000 is greater than maximum 65535", "$.port", 2, 7),
        ("name: api\n", "missing required property 'port'", "$", 1, 1),
        ("# head\n\nname: ''\nport: 1\n", "string is shorter than minLength 1", "$.name", 3, 7),
        ("name: api\nport: 8080\nhost: x\n", "additional property 'host' is not allowed", "$.host", 3, 7),
        ("name: api\nport: '8080'\n", "expected type integer, found string", "$.port", 2, 7),
        ("{name: api, port: 1, tags: [a, b, 3]}", "expected type string, found integer", "$.tags[2]", 1, 35),
        ("name: api\nport: 1\ntags:\n  - a\n  - [b]\n", "expected type string, found array", "$.tags[1]", 5, 5),
        ("- name: api\n", "expected type object, found array", "$", 1, 1),
        # Columns count characters, not bytes.
        ("name: \u00e9\u00e9\u00e9\nport: 1\nh\u00e9: x\n", "additional property 'h\u00e9' is not allowed",
         "$.h\u00e9", 3, 5),
        ("name: api\nport: 1\n\u00e9\u00e9\u00e9: [1, 2]\n", "additional property '\u00e9\u00e9\u00e9' is not allowed",
         "$.\u00e9\u00e9\u00e9", 3, 6),
        # An empty value has no position of its own: its key's is shown.
        ("port: 1\n  # note\nname:\n", "expected type string, found null", "$.name", 3, 1),
    ])
    def test_message_path_and_position(self, text, message, path, line, column):
        assert violation(text, CONFIG_SCHEMA) == (
            f"schema validation failed: {message} at {path} (line {line}, column {column})", path, line, column)

    def test_exception_attributes(self):
        with pytest.raises(ex.QuillmereSchemaError) as info:
            q.loads("a: 1", schema=False)
        error = info.value
        assert isinstance(error, ex.QuillmereError)
        assert error.args == ("schema validation failed: value is not allowed (schema is false) at $ "
                              "(line 1, column 1)",)
        assert (error.schema_path, error.line, error.column) == ("$", 1, 1)
        assert "file" not in vars(error)

    @pytest.mark.parametrize("text, schema, message, path, line, column", [
        # An alias is checked as its anchored node, placed where the alias stands ...
        ("base: &b {port: 1}\nsrv: *b\n", {"properties": {"srv": {"type": "array"}}},
         "expected type array, found object", "$.srv", 2, 6),
        ("base: &b {port: 1}\nsrv: *b\n", {"properties": {"srv": {"required": ["host"]}}},
         "missing required property 'host'", "$.srv", 2, 6),
        # ... and what is inside it where the anchored node has it.
        ("base: &b\n  port: x\nsrv: *b\n",
         {"properties": {"base": True, "srv": {"properties": {"port": {"type": "integer"}}}}},
         "expected type integer, found string", "$.srv.port", 2, 9),
        ("- &x 5\n- *x\n- *x\n", {"items": {"maximum": 4}}, "value 5 is greater than maximum 4", "$[0]", 1, 6),
        ("- &x 5\n- *x\n", {"items": [], "properties": {}, "allOf": [{"items": {"const": 5}}],
                            "anyOf": [{"items": {"maximum": 4}}]},
         "value does not match any of the anyOf schemas", "$", 1, 1),
        # An anchor names its last definition before the alias, as on the plain road.
        ("- &a 1\n- &a x\n- *a\n", {"items": {"anyOf": [{"const": 1}, {"const": "x"}]}, "maxItems": 2},
         "array has more than maxItems 2", "$", 1, 1),
        ("- &a 1\n- &a x\n- *a\n", {"items": [{}], "prefixItems": [], "contains": {},
                                    "allOf": [{"items": {"anyOf": [{"const": 1}, {"type": "integer"}]}}]},
         "value does not match any of the anyOf schemas", "$[1]", 2, 6),
    ])
    def test_aliases(self, text, schema, message, path, line, column):
        assert violation(text, schema) == (
            f"schema validation failed: {message} at {path} (line {line}, column {column})", path, line, column)

    @pytest.mark.parametrize("text, schema, message, path, line, column", [
        # Keys that load as numbers, booleans or null are named by their
        # text as written, in paths and in "properties" and "required".
        ("1: x\n0x2: y\n", {"properties": {"0x2": {"type": "integer"}}},
         "expected type integer, found string", "$.0x2", 2, 6),
        ("true: 1\n~: 2\n", {"required": ["true"], "properties": {"true": {}}, "additionalProperties": False},
         "additional property '~' is not allowed", "$.~", 2, 4),
        ("a: {1.50: x}\n", {"properties": {"a": {"required": ["1.5"]}}},
         "missing required property '1.5'", "$.a", 1, 4),
    ])
    def test_keys_that_are_not_strings(self, text, schema, message, path, line, column):
        assert violation(text, schema) == (
            f"schema validation failed: {message} at {path} (line {line}, column {column})", path, line, column)

    def test_violation_in_the_first_of_several_documents(self):
        assert violation("--- 1\n--- x\n", {"type": "string"})[1:] == ("$", 1, 5)
        assert q.loads("--- x\n--- 1\n", schema={"type": "string"}) == "x"  # later documents are never checked


class TestDecisions:
    """Decisions that differ from a literal reading of the design."""

    def test_the_document_that_loads_returns_is_checked(self):
        # The first document here is empty: loads returns None, and None is
        # what the schema judges.
        assert q.loads("---\n--- b\n", schema={"type": "null"}) is None
        assert violation("---\n--- b\n", {"type": "string"}) == (
            "schema validation failed: expected type string, found null at $ (line 1, column 1)", "$", 1, 1)
        assert q.loads("--- a\n...\n---\n", schema={"type": "string"}) == "a"

    @pytest.mark.parametrize("text, option, valid", [
        ("x: y", Y11, "boolean"),
        ("x: y", COMPAT, "string"),                 # 1.1 without the one-letter booleans
        ("%YAML 1.1\n---\nx: y", COMPAT, "string"),
        ("%YAML 1.1\n---\nx: n", 0, "boolean"),
        ("x: yes", COMPAT, "boolean"),
        ("x: yes", 0, "string"),
        ("x: 010", Y11, "integer"),
        ("x: 0o10", Y11, "string"),
    ])
    def test_scalars_are_read_with_the_load_s_resolve_mode(self, text, option, valid):
        schema = {"properties": {"x": {"type": valid}}}
        q.loads(text, option=option, schema=schema)
        other = "string" if valid != "string" else "boolean"
        with pytest.raises(ex.QuillmereSchemaError):
            q.loads(text, option=option, schema={"properties": {"x": {"type": other}}})

    @pytest.mark.parametrize("data", [
        "\ufeff# yaml-language-server: $schema=bom.json\na: 1\n",
        b"\xef\xbb\xbf# yaml-language-server: $schema=bom.json\na: 1\n",
        "# yaml-language-server: $schema=bom.json\na: 1\n".encode("utf-16"),
        "\ufeff\n# yaml-language-server: $schema=bom.json\na: 1\n".encode("utf-32-le"),
    ])
    def test_a_byte_order_mark_does_not_hide_the_schema_comment(self, data):
        assert q.schema_ref(data) == "bom.json"
        seen = []
        with pytest.raises(ex.QuillmereSchemaError):
            q.loads(data, schema="auto", schema_resolver=lambda ref: seen.append(ref) or {"type": "string"})
        assert seen == ["bom.json"]

    @pytest.mark.parametrize("text, schema, message", [
        ("1e23", {"maximum": 1e20},
         "value 100000000000000000000000 is greater than maximum 100000000000000000000"),
        ("0.1", {"minimum": 0.30000000000000004}, "value 0.1 is less than minimum 0.30000000000000004"),
        ("2.5", {"exclusiveMaximum": 2.5}, "value 2.5 is not less than 2.5"),
        ("-0.0000025", {"minimum": 0}, "value -0.0000025 is less than minimum 0"),
        ("+100000000000000000000", {"maximum": 10}, "value 100000000000000000000 is greater than maximum 10"),
        ("5", {"minimum": 10 ** 20}, "value 5 is less than minimum 100000000000000000000"),
        ("5", {"minimum": 123456789012345678901234567890},
         "value 5 is less than minimum 123456789012345680000000000000"),
    ])
    def test_numbers_in_messages(self, text, schema, message):
        assert violation(text, schema)[0] == f"schema validation failed: {message} at $ (line 1, column 1)"

    def test_merge_keys_are_applied_first(self):
        text = "base: &b {host: h, port: 1}\nsrv:\n  <<: *b\n  port: 2\n"
        schema = {"properties": {"srv": {"required": ["host", "port"], "additionalProperties": False,
                                         "properties": {"host": {"type": "string"}, "port": {"const": 2}}}}}
        assert q.loads(text, schema=schema)["srv"] == {"port": 2, "host": "h"}
        schema["properties"]["srv"]["properties"]["host"] = {"type": "integer"}
        assert violation(text, schema)[1:] == ("$.srv.host", 1, 17)  # where the merged value was written
        # What no merge takes stays a "<<" key, as loads returns it.
        assert violation("<<: 5\n", {"additionalProperties": False})[1:] == ("$.<<", 1, 5)
        assert q.loads("<<: 5\n", schema={"required": ["<<"]}) == {"<<": 5}
        assert q.loads("<<: [{a: 1}, {b: 2}]\n", schema={"required": ["a", "b"], "maxProperties": 0,
                                                          "additionalProperties": {"type": "integer"}}) == \
            {"a": 1, "b": 2}


class TestSchemaArgument:
    def test_auto_needs_a_resolver(self):
        with pytest.raises(ValueError) as info:
            q.loads("a: 1", schema="auto")
        assert str(info.value) == 'schema="auto" requires a schema_resolver callable to resolve the in-file reference'

    def test_resolver_without_schema_fails_before_parsing(self):
        with pytest.raises(ValueError, match='^schema_resolver requires schema="auto"$'):
            q.loads("[unclosed", schema_resolver=print)

    def test_resolver_gets_the_reference_before_the_text_is_parsed(self):
        seen = []

        def resolver(reference):
            seen.append(reference)
            raise LookupError(reference)

        with pytest.raises(LookupError):
            q.loads("# yaml-language-server: $schema=./s.json\n[unclosed", schema="auto", schema_resolver=resolver,
                    tags=[])
        assert seen == ["./s.json"]

    def test_no_comment_no_call(self):
        def resolver(reference):
            raise AssertionError("called")

        assert q.loads("a: 1\n# yaml-language-server: $schema=s.json\n", schema="auto",
                       schema_resolver=resolver) == {"a": 1}

    def test_resolver_returning_none_checks_nothing(self):
        assert q.loads("# yaml-language-server: $schema=s.json\na: 1", schema="auto",
                       schema_resolver=lambda ref: None) == {"a": 1}

    @pytest.mark.parametrize("schema", ["Auto", "auto ", "\udcff", b"auto", "anything"])
    def test_any_other_string_is_itself_the_schema(self, schema):
        # A string is a schema that accepts everything; the resolver is ignored.
        assert q.loads("a: 1", schema=schema, schema_resolver=lambda ref: False) == {"a": 1}

    def test_a_str_subclass_spelling_auto_is_auto(self):
        class Name(str):
            pass

        with pytest.raises(ValueError, match="requires a schema_resolver"):
            q.loads("a: 1", schema=Name("auto"))

    def test_resolver_is_ignored_with_another_schema(self):
        with pytest.raises(ex.QuillmereSchemaError):
            q.loads("# yaml-language-server: $schema=s.json\na: 1", schema={"type": "array"},
                    schema_resolver=lambda ref: True)

    def test_schema_conversion(self):
        class Kind:
            def __init__(self, value):
                self.value = value

        with pytest.raises(ex.QuillmereUnserializableError, match="^type object is not YAML serializable$"):
            q.loads("a: 1", schema={"type": object()})
        # Converted only when there is a document to check.
        assert q.loads("", schema=object()) is None
        assert q.loads("# only a comment", schema={"type": object()}) is None
        # The conversion rules of dumps apply: tuples are lists.
        with pytest.raises(ex.QuillmereSchemaError, match="expected type string | null, found integer"):
            q.loads("5", schema={"type": ("string", "null")})
        assert q.loads("5", schema={"enum": (4, 5)}) == 5

    def test_too_deep_a_schema(self):
        schema = {}
        for _ in range(1000):
            schema = {"not": schema}
        with pytest.raises(ex.QuillmereEncodeError, match="too deeply nested"):
            q.loads("a", schema=schema)

    def test_errors_come_in_order(self):
        with pytest.raises(TypeError, match="^tags must be a dict"):
            q.loads("[unclosed", schema=object(), tags=[])
        with pytest.raises(ex.QuillmereParseError):
            q.loads("[unclosed", schema=object())
        with pytest.raises(ex.QuillmereDuplicateKeyError):
            q.loads("a: 1\na: 2", schema=False, option=q.OPT_DUPLICATE_KEYS_ERROR)

    def test_decoder_warnings_stay_logged_when_the_schema_fails(self, caplog):
        with pytest.raises(ex.QuillmereSchemaError):
            q.loads("a: 1\na: 2", schema=False, option=q.OPT_DUPLICATE_KEYS_WARN)
        assert [r.getMessage() for r in caplog.records] == [
            "duplicate mapping key 'a' at line 2, column 1; keeping the last value"]

    def test_references_are_released(self):
        schema = {"type": "object", "properties": {"a": {"enum": [1, 2]}}}
        result = {"type": "integer"}

        def resolver(reference):
            return result

        text = "# yaml-language-server: $schema=s.json\n5"
        before = sys.getrefcount(schema), sys.getrefcount(result), sys.getrefcount(resolver)
        for _ in range(100):
            q.loads("a: 1", schema=schema)
            q.loads(text, schema="auto", schema_resolver=resolver)
            with pytest.raises(ex.QuillmereSchemaError):
                q.loads("a: 3", schema=schema)
        gc.collect()
        assert (sys.getrefcount(schema), sys.getrefcount(result), sys.getrefcount(resolver)) == before


class TestSchemaRef:
    @pytest.mark.parametrize("data, expected", [
        ("# yaml-language-server: $schema=./s.json\na: 1\n", "./s.json"),
        ("\n# plain\n#yaml-language-server:$schema=  ../x/y.json  \r\n", "../x/y.json"),
        ("# yaml-language-server: $schema=\n# yaml-language-server: $schema=later.json\n", "later.json"),
        ("a: 1\n# yaml-language-server: $schema=s.json\n", None),
        ("%YAML 1.2\n# yaml-language-server: $schema=s.json\n---\n", None),
        ("# yaml-language-server: $schema=s.json\n[unclosed", "s.json"),  # never parsed
        (b"# yaml-language-server: $schema=s.json", "s.json"),
        (bytearray(b"# yaml-language-server: $schema=\xc3\xa9.json"), "\u00e9.json"),
        ("", None),
    ])
    def test_reference(self, data, expected):
        assert q.schema_ref(data) == expected

    def test_arguments(self):
        with pytest.raises(TypeError, match=r"^loads\(\) requires str, bytes"):
            q.schema_ref(5)
        with pytest.raises(TypeError):
            q.schema_ref()
        with pytest.raises(TypeError):
            q.schema_ref("a", "b")
        with pytest.raises(ValueError, match="^invalid UTF-8"):
            q.schema_ref(b"a\xffb")


class TestLimits:
    def test_alias_bomb(self):
        # Five levels of ten aliases: a5 stands for over a million nodes,
        # within the plain road's budget of ten million. The decoded data
        # is checked whole, in time linear in it; the violation is placed
        # through the tree, whose copy stops at a million nodes.
        lines = ["a0: &a0 [x, x, x, x, x, x, x, x, x, x]"]
        for level in range(1, 6):
            lines.append(f"a{level}: &a{level} [" + ", ".join([f"*a{level - 1}"] * 10) + "]")
        text = "\n".join(lines) + "\n"
        leaf = {"type": "string"}
        for _ in range(6):
            leaf = {"type": "array", "items": leaf}
        started = time.perf_counter()
        q.loads(text, schema={"properties": {"a5": leaf}})
        assert time.perf_counter() - started < 30
        leaf = {"maxLength": 0}
        for _ in range(6):
            leaf = {"items": leaf}
        assert violation(text, {"properties": {"a5": leaf}}) == (
            "schema validation failed: string is longer than maxLength 0 at $.a5[0][0][0][0][0][0] (line 1, column 10)",
            "$.a5[0][0][0][0][0][0]", 1, 10)

    def test_deep_documents_on_a_small_stack(self):
        depth = 990
        text = "[" * depth + "x" + "]" * depth
        schema = {"not": {"type": "array"}}
        deep = {"type": "string"}
        for _ in range(depth):
            deep = {"items": deep}

        def check():
            q.loads(text, schema=deep)
            with pytest.raises(ex.QuillmereSchemaError):
                q.loads(text, schema=schema)
            return True

        assert run_on_small_stack(check)


def corpus_files():
    root = SHARED_DIR / "corpus" / "files"
    return sorted(p for p in root.rglob("*") if p.is_file() and p.suffix in (".yaml", ".yml"))


def json_like(value):
    """No NaN (equal to nothing) and no tuple keys (a mapping key that
    Python holds as a tuple is no longer a mapping)."""
    if isinstance(value, float):
        return value == value
    if isinstance(value, list):
        return all(json_like(item) for item in value)
    if isinstance(value, dict):
        return all(not isinstance(key, tuple) and json_like(key) and json_like(item) for key, item in value.items())
    return True


class TestCorpus:
    """Every corpus file: the schema judges the very data that loads returns."""

    @pytest.mark.parametrize("path", corpus_files(), ids=lambda p: p.name)
    def test_the_loaded_document_meets_a_schema_made_from_it(self, path):
        text = path.read_bytes()
        try:
            document = q.loads(text)
        except ex.QuillmereParseError:
            pytest.skip("the plain road refuses this file: there is no document to check")
        assert q.loads(text, schema=visiting_schema(document)) == document
        if json_like(document):
            q.loads(text, schema={"const": document})
