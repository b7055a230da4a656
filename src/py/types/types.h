// The module's six classes and their process-wide type cells.
//
// Each class's type object is created the first time it is requested and
// kept for the life of the process; a second import of the module reuses it.
// The cells are kept here; each class's own file keeps its PyType_Spec and
// passes its creator in with every request. The exec step requests all six,
// so after a successful import they exist.
#pragma once

#include <Python.h>

namespace quillmere::py {

enum class ClassId : int { Document, DocumentView, Node, Tag, AnnotatedDict, AnnotatedList };
inline constexpr int kClassCount = 6;

// "QuillmereDocument" and so on.
const char* class_name(ClassId id);

// A class's creator: a new type object, or null with the error set.
using CreateType = PyObject* (*)();

// The type object (borrowed), created by `create` in its cell on first use;
// null with the creation's Python error set when that fails. The exec step
// uses this form.
PyTypeObject* class_type(ClassId id, CreateType create);

// The same for instance tests and instance creation elsewhere. A creation
// failure here is printed through the unraisable hook and ends in the
// internal fault "failed to create type object for `{}`".
PyTypeObject* class_type_or_fault(ClassId id, CreateType create);

}  // namespace quillmere::py
