#include "py/directive_errors.h"

#include <string>
#include <utility>

#include "common/utf8.h"
#include "py/errors.h"
#include "py/text.h"

namespace quillmere::py {

namespace {

using directives::DirectiveErrorKind;

ExceptionClass class_for_kind(DirectiveErrorKind kind) {
    switch (kind) {
        case DirectiveErrorKind::IncludeNotFound:
            return ExceptionClass::IncludeNotFoundError;
        case DirectiveErrorKind::CircularInclude:
            return ExceptionClass::CircularIncludeError;
        case DirectiveErrorKind::IncludeDepth:
            return ExceptionClass::IncludeDepthError;
        case DirectiveErrorKind::IncludeConfinement:
            return ExceptionClass::IncludeConfinementError;
        case DirectiveErrorKind::SecretNotFound:
            return ExceptionClass::SecretNotFoundError;
        case DirectiveErrorKind::EnvVar:
            return ExceptionClass::EnvVarError;
        default:
            return ExceptionClass::IncludeError;
    }
}

// Each attribute on its own: one the instance refuses is skipped.
void set_attribute(PyObject* exception, const char* name, py::ref value) {
    if (!value || PyObject_SetAttrString(exception, name, value.get()) < 0) PyErr_Clear();
}

py::ref path_text(const std::string& path) { return text_to_str(to_text_lossy(path)); }

}  // namespace

void directive_error_to_exception(const directives::DirectiveError& error) {
    py::ref exception = new_exception(class_for_kind(error.kind), directives::describe_directive_error(error));
    if (!exception) return;  // internal fault, already set
    set_attribute(exception.get(), "file", path_text(error.path));
    if (error.position) {
        set_attribute(exception.get(), "line", py::ref::steal(PyLong_FromUnsignedLong(error.position->line + 1ul)));
        set_attribute(exception.get(), "column",
                      py::ref::steal(PyLong_FromUnsignedLong(error.position->column + 1ul)));
    }
    if (error.kind != DirectiveErrorKind::SecretNotFound && error.kind != DirectiveErrorKind::EnvVar) {
        py::ref stack = py::ref::steal(PyList_New(0));
        for (const directives::IncludeFrame& frame : error.chain) {
            if (!stack) break;
            py::ref path = path_text(frame.path);
            py::ref line = py::ref::steal(PyLong_FromUnsignedLong(frame.line + 1ul));
            py::ref entry = path && line ? py::ref::steal(PyTuple_Pack(2, path.get(), line.get())) : py::ref();
            if (!entry || PyList_Append(stack.get(), entry.get()) < 0) stack.reset();
        }
        set_attribute(exception.get(), "include_stack", std::move(stack));
    }
    raise_exception(std::move(exception));
}

}  // namespace quillmere::py
