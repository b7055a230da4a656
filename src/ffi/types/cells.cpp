// The type cells of the six classes.
#include <array>
#include <string>

#include "ffi/errors.h"
#include "ffi/once_cell.h"
#include "ffi/types/types.h"

namespace quillmere::ffi {

namespace {

struct ClassEntry {
    const char* name;
    PyObject* (*create)();
};

constexpr std::array<ClassEntry, kClassCount> kClasses = {{
    {"QuillmereDocument", create_document_type},
    {"QuillmereDocumentView", create_document_view_type},
    {"QuillmereNode", create_node_type},
    {"QuillmereTag", create_tag_type},
    {"QuillmereAnnotatedDict", create_annotated_dict_type},
    {"QuillmereAnnotatedList", create_annotated_list_type},
}};

std::array<OnceCell, kClassCount> type_cells;

PyTypeObject* class_type_or_fault(ClassId id) {
    if (PyTypeObject* type = class_type(id)) return type;
    PyErr_WriteUnraisable(nullptr);
    std::string message = "failed to create type object for `";
    message += class_name(id);
    message += '`';
    raise_fault(message);
    return nullptr;
}

}  // namespace

const char* class_name(ClassId id) { return kClasses[static_cast<std::size_t>(id)].name; }

PyTypeObject* class_type(ClassId id) {
    const auto index = static_cast<std::size_t>(id);
    PyObject* type = type_cells[index].get([&] { return py::ref::steal(kClasses[index].create()); });
    return reinterpret_cast<PyTypeObject*>(type);
}

PyTypeObject* document_type() { return class_type_or_fault(ClassId::Document); }
PyTypeObject* document_view_type() { return class_type_or_fault(ClassId::DocumentView); }
PyTypeObject* node_type() { return class_type_or_fault(ClassId::Node); }
PyTypeObject* tag_type() { return class_type_or_fault(ClassId::Tag); }
PyTypeObject* annotated_dict_type() { return class_type_or_fault(ClassId::AnnotatedDict); }
PyTypeObject* annotated_list_type() { return class_type_or_fault(ClassId::AnnotatedList); }

}  // namespace quillmere::ffi
