// The module's six classes and their process-wide type cells.
//
// Each class's type object is created from a PyType_Spec the first time it
// is requested and kept for the life of the process; a second import of the
// module reuses it. The exec step requests all six, so after a successful
// import they exist.
#pragma once

#include <Python.h>

namespace quillmere::ffi {

enum class ClassId : int { Document, DocumentView, Node, Tag, AnnotatedDict, AnnotatedList };
inline constexpr int kClassCount = 6;

// "QuillmereDocument" and so on.
const char* class_name(ClassId id);

// The type object (borrowed), created in its cell on first use; null with
// the creation's Python error set when that fails. The exec step uses this
// form.
PyTypeObject* class_type(ClassId id);

// The accessors for instance tests and instance creation elsewhere. A
// creation failure here is printed through the unraisable hook and ends in
// the internal fault "failed to create type object for `{}`".
PyTypeObject* document_type();
PyTypeObject* document_view_type();
PyTypeObject* node_type();
PyTypeObject* tag_type();
PyTypeObject* annotated_dict_type();
PyTypeObject* annotated_list_type();

// The creators, one per class: a new type object or null with the error.
PyObject* create_document_type();
PyObject* create_document_view_type();
PyObject* create_node_type();
PyObject* create_tag_type();
PyObject* create_annotated_dict_type();
PyObject* create_annotated_list_type();

}  // namespace quillmere::ffi
