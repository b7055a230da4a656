#include "ffi/types/annotated.h"

#include <new>

#include "ffi/entry.h"
#include "ffi/types/types.h"

namespace quillmere::ffi {

namespace {

constexpr std::size_t align_up(std::size_t size, std::size_t alignment) {
    return (size + alignment - 1) / alignment * alignment;
}

constexpr std::size_t kDictDataOffset = align_up(sizeof(PyDictObject), alignof(AnnotatedData));
#if PY_VERSION_HEX < 0x030C0000
constexpr std::size_t kListDataOffset = align_up(sizeof(PyListObject), alignof(AnnotatedData));
#endif

// Both constructors accept and ignore any arguments: the base's __init__
// runs afterwards as usual and fills the container.
py::ref make_instance(PyTypeObject* base, PyTypeObject* type, AnnotatedData* (*data)(PyObject*),
                      Annotation annotation) {
    py::ref empty = py::ref::steal(PyTuple_New(0));
    if (!empty) return {};
    py::ref self = py::ref::steal(base->tp_new(type, empty.get(), nullptr));
    if (!self) return {};
    AnnotatedData* block = new (data(self.get())) AnnotatedData();
    block->annotation = std::move(annotation);
    return self;
}

PyObject* annotated_dict_new(PyTypeObject* type, PyObject*, PyObject*) {
    return guarded([&] { return make_instance(&PyDict_Type, type, annotated_dict_data, Annotation{}).release(); });
}

PyObject* annotated_list_new(PyTypeObject* type, PyObject*, PyObject*) {
    return guarded([&] { return make_instance(&PyList_Type, type, annotated_list_data, Annotation{}).release(); });
}

// The collector sees the instance's type (every heap-type instance holds a
// reference to it) and, through the base, the items; the record holds no
// Python object. Clearing is the base's.
int annotated_dict_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return PyDict_Type.tp_traverse(self, visit, arg);
}

int annotated_list_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return PyList_Type.tp_traverse(self, visit, arg);
}

int annotated_dict_clear(PyObject* self) { return PyDict_Type.tp_clear(self); }
int annotated_list_clear(PyObject* self) { return PyList_Type.tp_clear(self); }

// After the untracking: the record is released, then the base's own
// deallocation releases the items and frees the memory, then the
// instance's reference on its heap type goes.
void release_annotated(PyObject* self, PyTypeObject* base, AnnotatedData* (*data)(PyObject*)) {
    PyTypeObject* type = Py_TYPE(self);
    guarded_unraisable(self, [&] { data(self)->~AnnotatedData(); });
    base->tp_dealloc(self);
    Py_DECREF(type);
}

// The trashcan defers the release of containers nested in one another
// deeper than the interpreter's recursion allows (the base's own trashcan
// is for the base type only).
void annotated_dict_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, annotated_dict_dealloc)
    release_annotated(self, &PyDict_Type, annotated_dict_data);
    Py_TRASHCAN_END
}

void annotated_list_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, annotated_list_dealloc)
    release_annotated(self, &PyList_Type, annotated_list_data);
    Py_TRASHCAN_END
}

constexpr const char* kDictDoc =
    "QuillmereAnnotatedDict(*_args, **_kwargs)\n"
    "--\n"
    "\n"
    "A `dict` subclass carrying source-location metadata (`__line__`,\n"
    "`__column__`, `__file__`), returned for mappings in annotated mode.\n"
    "\n"
    "It is constructible like a plain `dict` and round-trips through `copy`,\n"
    "`deepcopy` and `pickle` like any plain subclass; its module is set to\n"
    "`quillmere` so that pickle can locate the class.";

constexpr const char* kListDoc =
    "QuillmereAnnotatedList(*_args, **_kwargs)\n"
    "--\n"
    "\n"
    "A `list` subclass carrying source-location metadata (`__line__`,\n"
    "`__column__`, `__file__`), returned for sequences in annotated mode.\n"
    "\n"
    "It is constructible like a plain `list` and round-trips through `copy`,\n"
    "`deepcopy` and `pickle` like any plain subclass; its module is set to\n"
    "`quillmere` so that pickle can locate the class.";

PyType_Slot dict_slots[] = {
    {Py_tp_base, &PyDict_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(annotated_dict_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(annotated_dict_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(annotated_dict_clear)},
    {Py_tp_doc, const_cast<char*>(kDictDoc)},
    {Py_tp_new, reinterpret_cast<void*>(annotated_dict_new)},
    {0, nullptr},
};

PyType_Slot list_slots[] = {
    {Py_tp_base, &PyList_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(annotated_list_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(annotated_list_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(annotated_list_clear)},
    {Py_tp_doc, const_cast<char*>(kListDoc)},
    {Py_tp_new, reinterpret_cast<void*>(annotated_list_new)},
    {0, nullptr},
};

PyType_Spec dict_spec = {
    .name = "quillmere.QuillmereAnnotatedDict",
    .basicsize = static_cast<int>(kDictDataOffset + sizeof(AnnotatedData)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .slots = dict_slots,
};

PyType_Spec list_spec = {
    .name = "quillmere.QuillmereAnnotatedList",
#if PY_VERSION_HEX >= 0x030C0000
    // Relative size: the interpreter appends the block to the list's own.
    .basicsize = -static_cast<int>(sizeof(AnnotatedData)),
#else
    .basicsize = static_cast<int>(kListDataOffset + sizeof(AnnotatedData)),
#endif
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .slots = list_slots,
};

}  // namespace

AnnotatedData* annotated_dict_data(PyObject* self) {
    return reinterpret_cast<AnnotatedData*>(reinterpret_cast<char*>(self) + kDictDataOffset);
}

AnnotatedData* annotated_list_data(PyObject* self) {
#if PY_VERSION_HEX >= 0x030C0000
    // The class cannot be subclassed, so the instance's type is the class.
    return static_cast<AnnotatedData*>(PyObject_GetTypeData(self, Py_TYPE(self)));
#else
    return reinterpret_cast<AnnotatedData*>(reinterpret_cast<char*>(self) + kListDataOffset);
#endif
}

py::ref new_annotated_dict(Annotation annotation, PyTypeObject* type) {
    return make_instance(&PyDict_Type, type, annotated_dict_data, std::move(annotation));
}

py::ref new_annotated_list(Annotation annotation, PyTypeObject* type) {
    return make_instance(&PyList_Type, type, annotated_list_data, std::move(annotation));
}

PyObject* create_annotated_dict_type() { return PyType_FromSpec(&dict_spec); }
PyObject* create_annotated_list_type() { return PyType_FromSpec(&list_spec); }

}  // namespace quillmere::ffi
