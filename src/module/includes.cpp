// dump_includes and dump_includes_map: the included files of a round-trip
// document, written back or returned by path.
//
// The arguments are taken here; rendering, folding and writing the files
// is the document's (document_api.h), under a shared borrow that lasts
// for the call.
#include <optional>
#include <string>

#include "document/document_api.h"
#include "module/arguments.h"
#include "module/functions.h"
#include "py/args.h"
#include "py/entry.h"
#include "py/errors.h"

namespace quillmere::module {

namespace {

constexpr const char* kDumpIncludesKeywords[] = {"include_dir"};
constexpr py::Signature kDumpIncludesSignature{"dump_includes", "doc", kDumpIncludesKeywords};
constexpr py::Signature kDumpIncludesMapSignature{"dump_includes_map", "doc", {}};

// `doc` as a shared borrow of a QuillmereDocument; nothing, with a
// TypeError or the borrow error noted with "doc", otherwise.
std::optional<document::SharedDocument> extract_document_argument(PyObject* doc) {
    if (!document::is_document(doc)) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'QuillmereDocument'",
                         Py_TYPE(doc)->tp_name);
        }
        py::add_argument_note("doc");
        return std::nullopt;
    }
    std::optional<document::SharedDocument> document = document::SharedDocument::take(doc);
    if (!document) py::add_argument_note("doc");
    return document;
}

PyObject* dump_includes_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* doc = nullptr;
        PyObject* values[std::size(kDumpIncludesKeywords)];
        if (!py::parse_arguments(kDumpIncludesSignature, args, nargsf, kwnames, doc, values)) return nullptr;
        std::optional<document::SharedDocument> document = extract_document_argument(doc);
        if (!document) return nullptr;
        // Checked, then unused: the files go to the paths the document
        // recorded when it was loaded.
        std::optional<std::string> include_dir;
        if (!path_from_argument(values[0], "include_dir", include_dir)) return nullptr;
        if (!document::write_included_files(document->state())) return nullptr;
        return py::none().release();
    });
}

PyObject* dump_includes_map_impl(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return py::guarded([&]() -> PyObject* {
        PyObject* doc = nullptr;
        if (!py::parse_arguments(kDumpIncludesMapSignature, args, nargsf, kwnames, doc, nullptr)) return nullptr;
        std::optional<document::SharedDocument> document = extract_document_argument(doc);
        if (!document) return nullptr;
        return document::included_files_map(document->state()).release();
    });
}

}  // namespace

PyMethodDef dump_includes_method = {"dump_includes", py::as_method(dump_includes_impl), METH_FASTCALL | METH_KEYWORDS,
                                    "dump_includes(doc, /, *, include_dir=None)\n--\n\n"};

PyMethodDef dump_includes_map_method = {"dump_includes_map", py::as_method(dump_includes_map_impl),
                                        METH_FASTCALL | METH_KEYWORDS, "dump_includes_map(doc, /)\n--\n\n"};

}  // namespace quillmere::module
