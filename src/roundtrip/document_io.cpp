// Serialising, walking and saving a round-trip document.
#include <Python.h>

#include "roundtrip/document_api.h"

namespace quillmere::roundtrip {

namespace {

py::ref raise_not_built(const char* what) {
    PyErr_Format(PyExc_NotImplementedError, "%s is not implemented yet", what);
    return {};
}

}  // namespace

py::ref document_to_yaml(const DocumentState&) { return raise_not_built("to_yaml()"); }

py::ref node_to_yaml(const DocumentState&, const YamlNode&) { return raise_not_built("to_yaml()"); }

py::ref walk_leaves(const DocumentState&, const YamlNode&) { return raise_not_built("walk()"); }

py::ref save_document(const DocumentState&, const std::optional<std::string>&) { return raise_not_built("save()"); }

}  // namespace quillmere::roundtrip
