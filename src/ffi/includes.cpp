// dump_includes and dump_includes_map: the included files of a round-trip
// document, written back or returned by path.
//
// The arguments are taken here; rendering the included files comes with
// the round-trip document.
#include "ffi/args.h"
#include "ffi/entry.h"
#include "ffi/functions.h"

namespace quillmere::ffi {

namespace {

constexpr const char* kDumpIncludesKeywords[] = {"include_dir"};
constexpr Signature kDumpIncludesSignature{"dump_includes", "doc", kDumpIncludesKeywords};
constexpr Signature kDumpIncludesMapSignature{"dump_includes_map", "doc", {}};

PyObject* dump_includes_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* doc = nullptr;
        PyObject* values[std::size(kDumpIncludesKeywords)];
        if (!parse_arguments(kDumpIncludesSignature, args, nargsf, kwnames, doc, values)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "dump_includes() is not implemented yet");
        return nullptr;
    });
}

PyObject* dump_includes_map_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* doc = nullptr;
        if (!parse_arguments(kDumpIncludesMapSignature, args, nargsf, kwnames, doc, nullptr)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "dump_includes_map() is not implemented yet");
        return nullptr;
    });
}

}  // namespace

PyMethodDef dump_includes_method = {"dump_includes", as_method(dump_includes_impl), METH_FASTCALL | METH_KEYWORDS,
                                    "dump_includes(doc, /, *, include_dir=None)\n--\n\n"};

PyMethodDef dump_includes_map_method = {"dump_includes_map", as_method(dump_includes_map_impl),
                                        METH_FASTCALL | METH_KEYWORDS, "dump_includes_map(doc, /)\n--\n\n"};

}  // namespace quillmere::ffi
