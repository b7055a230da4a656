// The schema driver of loads and the schema_ref function.
//
// The caller's schema reaches validation in three steps: the argument is
// settled before anything is parsed (schema="auto" asks the resolver for
// the schema named in the text's `yaml-language-server: $schema=` comment),
// the schema object is converted to a Value once a document is there to
// check, and the first violation of the first document becomes the
// exception. On the plain road the decoded document is checked, and the
// text is composed again only when there is a violation to place:
//
//     loads(text, schema="auto", schema_resolver=lambda ref: schemas[ref])
//     schema_ref("# yaml-language-server: $schema=./s.json\na: 1")  -> "./s.json"
#include "module/schema.h"

#include <optional>
#include <string>
#include <utility>

#include "common/arena.h"
#include "module/convert/encode.h"
#include "module/directive_load.h"
#include "module/functions.h"
#include "module/input.h"
#include "py/args.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/text.h"
#include "roundtrip/composer.h"
#include "schema/modeline.h"

namespace quillmere::module {

namespace {

// A str whose UTF-8 form is exactly "auto"; a str without a UTF-8 form is not.
bool is_auto(PyObject* schema) {
    if (!PyUnicode_Check(schema)) return false;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(schema, &size);
    if (!text) {
        PyErr_Clear();
        return false;
    }
    return std::string_view(text, static_cast<std::size_t>(size)) == "auto";
}

}  // namespace

bool resolve_schema_argument(PyObject* schema, PyObject* schema_resolver, std::string_view text, py::ref& out) {
    out.reset();
    if (!schema) {
        if (!schema_resolver) return true;
        PyErr_SetString(PyExc_ValueError, "schema_resolver requires schema=\"auto\"");
        return false;
    }
    if (!is_auto(schema)) {
        out = py::ref::borrow(schema);
        return true;
    }
    if (!schema_resolver) {
        PyErr_SetString(PyExc_ValueError,
                        "schema=\"auto\" requires a schema_resolver callable to resolve the in-file reference");
        return false;
    }
    const std::optional<std::string> reference = schema::find_schema_modeline(text);
    if (!reference) return true;
    py::ref argument = py::text_to_str(*reference);
    if (!argument) return false;
    py::ref resolved = py::ref::steal(PyObject_CallOneArg(schema_resolver, argument.get()));
    if (!resolved) return false;
    if (resolved.get() != Py_None) out = std::move(resolved);
    return true;
}

void schema_violation_to_exception(const schema::SchemaViolation& violation, const std::optional<std::string>& file) {
    const std::uint32_t line = violation.line + 1;
    const std::uint32_t column = violation.column + 1;
    const std::string message = "schema validation failed: " + violation.message + " at " + violation.path +
                                " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
    py::ref exception = py::new_exception(py::ExceptionClass::SchemaError, message);
    if (!exception) return;  // internal fault, already set
    auto set = [&](const char* name, py::ref value) {
        if (!value || PyObject_SetAttrString(exception.get(), name, value.get()) < 0) PyErr_Clear();
    };
    set("schema_path", py::text_to_str(violation.path));
    if (file) set("file", py::text_to_str(*file));
    set("line", py::ref::steal(PyLong_FromUnsignedLong(line)));
    set("column", py::ref::steal(PyLong_FromUnsignedLong(column)));
    py::raise_exception(std::move(exception));
}

namespace {

// Checks the first tree against a converted schema.
bool validate_tree(const roundtrip::YamlNode& root, const Value& schema, resolver::ResolveMode mode,
                   const std::vector<std::string>& file_paths) {
    const std::optional<schema::SchemaViolation> violation = schema::validate_document(root, schema, mode);
    if (!violation) return true;
    schema_violation_to_exception(*violation, included_file_name(file_paths, violation->file_id));
    return false;
}

}  // namespace

bool validate_against_schema(const std::vector<roundtrip::YamlNode>& trees, PyObject* schema,
                             resolver::ResolveMode mode, const std::vector<std::string>& file_paths) {
    if (!schema || trees.empty()) return true;
    Arena arena;
    const std::optional<Value> schema_value = object_to_value(schema, EncodeContext{}, arena);
    if (!schema_value) return false;
    return validate_tree(trees.front(), *schema_value, mode, file_paths);
}

bool validate_text_against_schema(std::string_view text, const Value& document, PyObject* schema,
                                  resolver::ResolveMode mode) {
    Arena arena;
    const std::optional<Value> schema_value = object_to_value(schema, EncodeContext{}, arena);
    if (!schema_value) return false;
    schema::DecodedCheck check = schema::validate_decoded(document, *schema_value, mode);
    if (check.outcome == schema::DecodedCheck::Outcome::Valid) return true;
    auto composed = roundtrip::compose_text(text, roundtrip::ComposeOptions{.file_id = 0, .keep_empty = true});
    if (!composed.ok()) {
        const ScanError& error = composed.error();
        py::parse_error_to_exception(LocatedError{error.message, error.span});
        return false;
    }
    const std::vector<roundtrip::YamlNode>& trees = composed.value();
    if (trees.empty()) {
        py::raise_fault("the composer found no document where the decoder found one");
        return false;
    }
    if (check.outcome == schema::DecodedCheck::Outcome::Undecided)
        return validate_tree(trees.front(), *schema_value, mode, {});
    schema::locate_violation(trees.front(), mode, check.violation);
    schema_violation_to_exception(check.violation);
    return false;
}

namespace {

constexpr py::Signature kSchemaRefSignature{"schema_ref", "data", {}};

PyObject* schema_ref_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* data = nullptr;
        if (!py::parse_arguments(kSchemaRefSignature, args, nargsf, kwnames, data, nullptr)) return nullptr;
        std::string text;
        if (!extract_input_text(data, text)) return nullptr;
        const std::optional<std::string> reference = schema::find_schema_modeline(text);
        if (!reference) return py::none().release();
        return py::text_to_str(*reference).release();
    });
}

}  // namespace

PyMethodDef schema_ref_method = {"schema_ref", py::as_method(schema_ref_impl), METH_FASTCALL | METH_KEYWORDS,
                                 "schema_ref(data, /)\n--\n\n"};

}  // namespace quillmere::module
