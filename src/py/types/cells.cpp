// The type cells of the six classes.
#include <array>
#include <string>

#include "py/errors.h"
#include "py/once_cell.h"
#include "py/types/types.h"

namespace quillmere::py {

namespace {

constexpr std::array<const char*, kClassCount> kClassNames = {
    "QuillmereDocument", "QuillmereDocumentView",  "QuillmereNode",
    "QuillmereTag",      "QuillmereAnnotatedDict", "QuillmereAnnotatedList",
};

std::array<OnceCell, kClassCount> type_cells;

}  // namespace

const char* class_name(ClassId id) { return kClassNames[static_cast<std::size_t>(id)]; }

PyTypeObject* class_type(ClassId id, CreateType create) {
    const auto index = static_cast<std::size_t>(id);
    PyObject* type = type_cells[index].get([&] { return py::ref::steal(create()); });
    return reinterpret_cast<PyTypeObject*>(type);
}

PyTypeObject* class_type_or_fault(ClassId id, CreateType create) {
    if (PyTypeObject* type = class_type(id, create)) return type;
    PyErr_WriteUnraisable(nullptr);
    std::string message = "failed to create type object for `";
    message += class_name(id);
    message += '`';
    raise_fault(message);
    return nullptr;
}

}  // namespace quillmere::py
