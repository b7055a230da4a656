// dumps and to_json: Python objects to YAML or JSON text.
//
// The arguments are taken here; the conversion to Value trees and the
// writers come with the dump road.
#include "ffi/args.h"
#include "ffi/entry.h"
#include "ffi/functions.h"

namespace quillmere::ffi {

namespace {

constexpr const char* kDumpsKeywords[] = {"default", "option", "null_style", "tags", "width"};
constexpr Signature kDumpsSignature{"dumps", "obj", kDumpsKeywords};

constexpr const char* kToJsonKeywords[] = {"default", "option"};
constexpr Signature kToJsonSignature{"to_json", "obj", kToJsonKeywords};

PyObject* dumps_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* obj = nullptr;
        PyObject* values[std::size(kDumpsKeywords)];
        if (!parse_arguments(kDumpsSignature, args, nargsf, kwnames, obj, values)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "dumps() is not implemented yet");
        return nullptr;
    });
}

PyObject* to_json_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* obj = nullptr;
        PyObject* values[std::size(kToJsonKeywords)];
        if (!parse_arguments(kToJsonSignature, args, nargsf, kwnames, obj, values)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "to_json() is not implemented yet");
        return nullptr;
    });
}

}  // namespace

PyMethodDef dumps_method = {"dumps", as_method(dumps_impl), METH_FASTCALL | METH_KEYWORDS,
                            "dumps(obj, /, *, default=None, option=None, null_style=None, tags=None, "
                            "width=None)\n--\n\n"};

PyMethodDef to_json_method = {"to_json", as_method(to_json_impl), METH_FASTCALL | METH_KEYWORDS,
                              "to_json(obj, /, *, default=None, option=None)\n--\n\n"};

}  // namespace quillmere::ffi
