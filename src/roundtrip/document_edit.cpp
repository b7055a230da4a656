// Edits of a round-trip document through its classes: item assignment, the
// node setters, make_alias and detach.
#include <Python.h>

#include "roundtrip/document_api.h"

namespace quillmere::roundtrip {

namespace {

bool raise_not_built(const char* what) {
    PyErr_Format(PyExc_NotImplementedError, "%s is not implemented yet", what);
    return false;
}

}  // namespace

bool assign_document_item(DocumentState&, PyObject*, PyObject*) { return raise_not_built("item assignment"); }

bool assign_view_item(DocumentState&, const HandleAddress&, PyObject*, PyObject*) {
    return raise_not_built("item assignment");
}

bool set_node_value(DocumentState&, const HandleAddress&, PyObject*) { return raise_not_built("setting value"); }

bool set_node_anchor(DocumentState&, const HandleAddress&, PyObject*) { return raise_not_built("setting anchor"); }

bool set_node_comment(DocumentState&, const HandleAddress&, PyObject*) { return raise_not_built("setting comment"); }

bool set_node_comment_before(DocumentState&, const HandleAddress&, PyObject*) {
    return raise_not_built("setting comment_before");
}

bool make_node_alias(DocumentState&, const HandleAddress&, PyObject*) { return raise_not_built("make_alias()"); }

bool detach_node(DocumentState&, const HandleAddress&) { return raise_not_built("detach()"); }

}  // namespace quillmere::roundtrip
