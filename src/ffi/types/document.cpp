// The type objects of the round-trip document classes.
//
// QuillmereDocument owns the round-trip trees of a whole stream; a
// QuillmereDocumentView is a live proxy onto one collection of it and a
// QuillmereNode a metadata cursor onto any single node, both addressed by a
// path that they walk again on every use. None of the three can be
// instantiated from Python: documents come from loads(...,
// option=OPT_ROUND_TRIP) and handles from a document. The instance layouts
// below carry the object header and the borrow flag; the document state and
// the handles' paths sit beside them. All three take part in garbage
// collection: each instance holds its type, a handle holds its document.
#include "ffi/borrow.h"
#include "ffi/entry.h"
#include "ffi/types/types.h"

namespace quillmere::ffi {

namespace {

struct DocumentObject {
    PyObject_HEAD
    BorrowFlag borrow;
};

struct CursorObject {
    PyObject_HEAD
    PyObject* document;  // strong reference, or null
    BorrowFlag borrow;
};

CursorObject* as_cursor(PyObject* self) { return reinterpret_cast<CursorObject*>(self); }

// Every heap-type instance holds a reference to its type.
int traverse_document(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int clear_document(PyObject*) { return 0; }

// Deallocation runs untrack, clear, free, release the type.
void dealloc_document(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    clear_document(self);
    type->tp_free(self);
    Py_DECREF(type);
}

int traverse_cursor(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_cursor(self)->document);
    return 0;
}

// For both handle classes: the reference to the document is released.
int clear_cursor(PyObject* self) {
    Py_CLEAR(as_cursor(self)->document);
    return 0;
}

void dealloc_cursor(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    guarded_unraisable(self, [&] { clear_cursor(self); });
    type->tp_free(self);
    Py_DECREF(type);
}

constexpr const char* kDocumentDoc =
    "A structure-preserving YAML document returned by `loads(..., OPT_ROUND_TRIP)`.\n"
    "\n"
    "Holds the rich AST (comments, styles, anchors, include boundaries) and, when\n"
    "loaded with includes, the `file_id` \xE2\x86\x92 source-path map used for write-back.";

constexpr const char* kDocumentViewDoc =
    "A live proxy onto a nested node of a [`QuillmereDocument`], addressed by path.";

constexpr const char* kNodeDoc =
    "A metadata-bearing handle onto a single node of a [`QuillmereDocument`].\n"
    "\n"
    "Where [`QuillmereDocumentView`] targets containers and resolves scalars to plain\n"
    "Python values, a `QuillmereNode` is returned for *every* node (scalars included), so\n"
    "comments, source location, scalar/collection style, anchor, and tag are\n"
    "always reachable without knowing the node's path in advance. Obtain the root\n"
    "cursor with `QuillmereDocument.node`, then index into it (`doc.node[\"server\"][\"port\"]`)\n"
    "to address any node in the tree; each index step returns another `QuillmereNode`.\n"
    "\n"
    "Comments follow YAML's own placement. `comment_before` is the standalone\n"
    "comment above a node (above its key, for a mapping value) and `comment` is\n"
    "the inline comment trailing the value on the same line. Both read and write\n"
    "the bare comment text, without the leading `#`.";

PyType_Slot document_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_document)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_document)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_document)},
    {Py_tp_doc, const_cast<char*>(kDocumentDoc)},
    {0, nullptr},
};

PyType_Slot document_view_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_cursor)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_cursor)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_cursor)},
    {Py_tp_doc, const_cast<char*>(kDocumentViewDoc)},
    {0, nullptr},
};

PyType_Slot node_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_cursor)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_cursor)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_cursor)},
    {Py_tp_doc, const_cast<char*>(kNodeDoc)},
    {0, nullptr},
};

// Collected, and not instantiable from Python.
constexpr unsigned kClassFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION;

PyType_Spec document_spec = {
    .name = "builtins.QuillmereDocument",
    .basicsize = static_cast<int>(sizeof(DocumentObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = document_slots,
};

PyType_Spec document_view_spec = {
    .name = "builtins.QuillmereDocumentView",
    .basicsize = static_cast<int>(sizeof(CursorObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = document_view_slots,
};

PyType_Spec node_spec = {
    .name = "builtins.QuillmereNode",
    .basicsize = static_cast<int>(sizeof(CursorObject)),
    .itemsize = 0,
    .flags = kClassFlags,
    .slots = node_slots,
};

}  // namespace

PyObject* create_document_type() { return PyType_FromSpec(&document_spec); }
PyObject* create_document_view_type() { return PyType_FromSpec(&document_view_spec); }
PyObject* create_node_type() { return PyType_FromSpec(&node_spec); }

}  // namespace quillmere::ffi
