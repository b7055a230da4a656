// JSON Schema validation in loads: the `schema` and `schema_resolver`
// arguments, the schema step of each road, and schema_ref.
//
//     loads("port: x", schema={"properties": {"port": {"type": "integer"}}})
//       QuillmereSchemaError: schema validation failed: expected type
//       integer, found string at $.port (line 1, column 7)
//
// The schema is the caller's Python object converted to a Value as dumps
// converts objects; the instance is the first document as a YamlNode tree,
// which carries the positions. Only the first document is checked and only
// the first violation raised.
#pragma once

#include <Python.h>

#include <string_view>
#include <vector>

#include "model/value.h"
#include "py/ref.h"
#include "resolver/resolver.h"
#include "roundtrip/ast.h"
#include "schema/validator.h"

namespace quillmere::module {

// Settles `schema` and `schema_resolver` (each borrowed, null when absent)
// before the text is parsed. `out` receives the schema object, or stays
// null when there is none: no schema given, or schema="auto" with no
// schema comment in `text` or a resolver that returned None. False with
// the Python error set: an argument error or the resolver's exception.
[[nodiscard]] bool resolve_schema_argument(PyObject* schema, PyObject* schema_resolver, std::string_view text,
                                           py::ref& out);

// Checks the first of `trees` against `schema` (borrowed; null: nothing to
// check), reading scalars with `mode`. The schema is converted only when
// there is a tree to check. False with the Python error set: the
// conversion's error, or QuillmereSchemaError for the first violation.
// A violation inside an included file names it (`file_paths`: the load's
// sources, empty without directives).
[[nodiscard]] bool validate_against_schema(const std::vector<roundtrip::YamlNode>& trees, PyObject* schema,
                                           resolver::ResolveMode mode,
                                           const std::vector<std::string>& file_paths = {});

// The plain road's schema step: checks `document`, the first decoded
// document of `text` and so the very data that loads returns, against
// `schema` (borrowed). The text is composed again, keeping empty explicit
// documents so that its first tree is the same document, only to place a
// violation, or to check the tree itself when the decoded keys cannot be
// judged (see validate_decoded). A text the composer rejects raises
// QuillmereParseError.
[[nodiscard]] bool validate_text_against_schema(std::string_view text, const Value& document, PyObject* schema,
                                                resolver::ResolveMode mode);

// Raises QuillmereSchemaError "schema validation failed: {} at {} (line {},
// column {})" with `schema_path`, `line` and `column`.
void schema_violation_to_exception(const schema::SchemaViolation& violation,
                                   const std::optional<std::string>& file = std::nullopt);

}  // namespace quillmere::module
