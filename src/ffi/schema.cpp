// schema_ref: the reference of a `yaml-language-server: $schema=` comment.
//
// The argument is taken here; finding the comment comes with schema
// validation.
#include "ffi/args.h"
#include "ffi/entry.h"
#include "ffi/functions.h"

namespace quillmere::ffi {

namespace {

constexpr Signature kSchemaRefSignature{"schema_ref", "data", {}};

PyObject* schema_ref_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* data = nullptr;
        if (!parse_arguments(kSchemaRefSignature, args, nargsf, kwnames, data, nullptr)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "schema_ref() is not implemented yet");
        return nullptr;
    });
}

}  // namespace

PyMethodDef schema_ref_method = {"schema_ref", as_method(schema_ref_impl), METH_FASTCALL | METH_KEYWORDS,
                                 "schema_ref(data, /)\n--\n\n"};

}  // namespace quillmere::ffi
