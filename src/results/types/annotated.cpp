#include "results/types/annotated.h"

#include <new>

#include "py/entry.h"
#include "py/errors.h"
#include "py/once_cell.h"
#include "py/text.h"
#include "py/types/types.h"
#include "roundtrip/queries.h"

namespace quillmere::results {

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
    block->set(std::move(annotation));
    return self;
}

PyObject* annotated_dict_new(PyTypeObject* type, PyObject*, PyObject*) {
    return py::guarded([&] { return make_instance(&PyDict_Type, type, annotated_dict_data, Annotation{}).release(); });
}

PyObject* annotated_list_new(PyTypeObject* type, PyObject*, PyObject*) {
    return py::guarded([&] { return make_instance(&PyList_Type, type, annotated_list_data, Annotation{}).release(); });
}

// Members shared by both classes; an annotated list is the only list here.
AnnotatedData* annotated_data(PyObject* self) {
    return PyList_Check(self) ? annotated_list_data(self) : annotated_dict_data(self);
}

py::ref optional_text(const std::optional<std::string>& text) { return text ? py::text_to_str(*text) : py::none(); }

// The getters, one per field; the closure names the field.
enum class Field : std::uintptr_t {
    Line,
    Column,
    File,
    EndLine,
    EndColumn,
    Offset,
    EndOffset,
    SourceTag,
    SourceTarget,
    IsSecret,
    IsEnvVar,
    IsInclude,
};

py::ref field_value(const Annotation& a, Field field) {
    switch (field) {
        case Field::Line:
            return py::ref::steal(PyLong_FromUnsignedLong(a.line));
        case Field::Column:
            return py::ref::steal(PyLong_FromUnsignedLong(a.column));
        case Field::File:
            return optional_text(a.file);
        case Field::EndLine:
            return py::ref::steal(PyLong_FromUnsignedLong(a.end_line));
        case Field::EndColumn:
            return py::ref::steal(PyLong_FromUnsignedLong(a.end_column));
        case Field::Offset:
            return py::ref::steal(PyLong_FromUnsignedLongLong(a.offset));
        case Field::EndOffset:
            return py::ref::steal(PyLong_FromUnsignedLongLong(a.end_offset));
        case Field::SourceTag:
            return optional_text(a.source_tag);
        case Field::SourceTarget:
            return optional_text(a.source_target);
        case Field::IsSecret:
            return py::boolean(a.source_tag == "!secret");
        case Field::IsEnvVar:
            return py::boolean(a.source_tag == "!env_var");
        case Field::IsInclude:
            return py::boolean(roundtrip::is_include_tag(a.source_tag));
    }
    py::raise_fault("unknown annotation field");
    return {};
}

PyObject* get_field(PyObject* self, void* closure) {
    return py::guarded([&]() -> PyObject* {
        AnnotatedData* data = annotated_data(self);
        py::Borrow borrow = py::Borrow::shared(data->borrow);
        if (!borrow.ok()) return nullptr;
        return field_value(data->annotation(), static_cast<Field>(reinterpret_cast<std::uintptr_t>(closure))).release();
    });
}

void* closure_of(Field field) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(field)); }

PyGetSetDef annotated_getset[] = {
    {"__line__", get_field, nullptr, nullptr, closure_of(Field::Line)},
    {"__column__", get_field, nullptr, nullptr, closure_of(Field::Column)},
    {"__file__", get_field, nullptr, nullptr, closure_of(Field::File)},
    {"__end_line__", get_field, nullptr,
     "The 1-based line of the position just past the node.",
     closure_of(Field::EndLine)},
    {"__end_column__", get_field, nullptr, nullptr, closure_of(Field::EndColumn)},
    {"__offset__", get_field, nullptr,
     "The 0-based byte offset of the node's first source character; with\n"
     "`__end_offset__` it is the exact byte range, so the source bytes can be\n"
     "sliced directly.",
     closure_of(Field::Offset)},
    {"__end_offset__", get_field, nullptr,
     "The 0-based byte offset just past the node's last source character.",
     closure_of(Field::EndOffset)},
    {"__source_tag__", get_field, nullptr,
     "The directive tag (`!secret`, `!env_var`, one of the include tags) or\n"
     "custom tag that produced the node, or `None`.",
     closure_of(Field::SourceTag)},
    {"__source_target__", get_field, nullptr,
     "The directive's argument (secret name, include path or\n"
     "environment-variable spec), or `None`.",
     closure_of(Field::SourceTarget)},
    {"is_secret", get_field, nullptr, "Whether this node's value was produced by a `!secret` directive.",
     closure_of(Field::IsSecret)},
    {"is_env_var", get_field, nullptr, "Whether this node's value was produced by an `!env_var` directive.",
     closure_of(Field::IsEnvVar)},
    {"is_include", get_field, nullptr, "Whether this node's value was produced by any `!include` directive.",
     closure_of(Field::IsInclude)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// (type(self), (), state, list items or None, dict items or None): the
// reduce protocol then calls type(self)(), passes the state to
// __setstate__ and repopulates from the iterator, so copy reuses the
// values and deepcopy recurses into them.
PyObject* annotated_reduce(PyObject* self, PyObject*) {
    return py::guarded([&]() -> PyObject* {
        Annotation annotation;
        {
            AnnotatedData* data = annotated_data(self);
            py::Borrow borrow = py::Borrow::shared(data->borrow);
            if (!borrow.ok()) return nullptr;
            annotation = data->annotation();
        }
        const bool is_list = PyList_Check(self);
        py::ref items;
        if (is_list) {
            items = py::ref::steal(PyObject_GetIter(self));
        } else {
            py::ref name = py::ref::steal(PyUnicode_FromString("items"));
            if (!name) return nullptr;
            py::ref view = py::ref::steal(PyObject_CallMethodNoArgs(self, name.get()));
            if (!view) return nullptr;
            items = py::ref::steal(PyObject_GetIter(view.get()));
        }
        if (!items) return nullptr;
        py::ref arguments = py::ref::steal(PyTuple_New(0));
        py::ref state = annotation_state(annotation);
        if (!arguments || !state) return nullptr;
        PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
        PyObject* list_items = is_list ? items.get() : Py_None;
        PyObject* dict_items = is_list ? Py_None : items.get();
        return PyTuple_Pack(5, type, arguments.get(), state.get(), list_items, dict_items);
    });
}

PyObject* annotated_setstate(PyObject* self, PyObject* state) {
    return py::guarded([&]() -> PyObject* {
        AnnotatedData* data = annotated_data(self);
        py::Borrow borrow = py::Borrow::exclusive(data->borrow);
        if (!borrow.ok()) return nullptr;
        Annotation annotation;
        if (!annotation_from_state(state, annotation)) {
            py::add_argument_note("state");
            return nullptr;
        }
        data->set(std::move(annotation));
        return py::none().release();
    });
}

PyMethodDef annotated_methods[] = {
    {"__reduce__", annotated_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\n"
     "Drive `pickle` and, through their fallback, `copy` and `deepcopy`:\n"
     "rebuild through the no-argument constructor, repopulate through the\n"
     "items iterator (so `copy` reuses the values and `deepcopy` recurses into\n"
     "them), and restore the annotation through `__setstate__`."},
    {"__setstate__", annotated_setstate, METH_O,
     "__setstate__($self, state)\n--\n\n"
     "Restore the source-location fields when unpickling or copying; the\n"
     "items are repopulated separately by the reduce protocol's items\n"
     "iterator."},
    {nullptr, nullptr, 0, nullptr},
};

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
    py::guarded_unraisable(self, [&] { data(self)->~AnnotatedData(); });
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
    {Py_tp_getset, annotated_getset},
    {Py_tp_methods, annotated_methods},
    {0, nullptr},
};

PyType_Slot list_slots[] = {
    {Py_tp_base, &PyList_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(annotated_list_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(annotated_list_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(annotated_list_clear)},
    {Py_tp_doc, const_cast<char*>(kListDoc)},
    {Py_tp_new, reinterpret_cast<void*>(annotated_list_new)},
    {Py_tp_getset, annotated_getset},
    {Py_tp_methods, annotated_methods},
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

Annotation AnnotatedData::annotation() const {
    Annotation a;
    a.line = line_;
    a.column = column_;
    a.end_line = end_line_;
    a.end_column = end_column_;
    a.offset = offset_;
    a.end_offset = end_offset_;
    if (texts_) {
        a.file = texts_->file;
        a.source_tag = texts_->source_tag;
        a.source_target = texts_->source_target;
    }
    return a;
}

void AnnotatedData::set(Annotation a) {
    line_ = a.line;
    column_ = a.column;
    end_line_ = a.end_line;
    end_column_ = a.end_column;
    offset_ = a.offset;
    end_offset_ = a.end_offset;
    if (!a.file && !a.source_tag && !a.source_target) {
        texts_.reset();
        return;
    }
    Texts& t = texts();
    t.file = std::move(a.file);
    t.source_tag = std::move(a.source_tag);
    t.source_target = std::move(a.source_target);
}

void AnnotatedData::set_source_tag(std::string_view tag) { texts().source_tag = std::string(tag); }

AnnotatedData::Texts& AnnotatedData::texts() {
    if (!texts_) texts_ = std::make_unique<Texts>();
    return *texts_;
}

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

py::ref annotation_state(const Annotation& a) {
    py::ref items[] = {
        py::ref::steal(PyLong_FromUnsignedLong(a.line)),
        py::ref::steal(PyLong_FromUnsignedLong(a.column)),
        optional_text(a.file),
        py::ref::steal(PyLong_FromUnsignedLong(a.end_line)),
        py::ref::steal(PyLong_FromUnsignedLong(a.end_column)),
        optional_text(a.source_tag),
        optional_text(a.source_target),
        py::ref::steal(PyLong_FromUnsignedLongLong(a.offset)),
        py::ref::steal(PyLong_FromUnsignedLongLong(a.end_offset)),
    };
    py::ref tuple = py::ref::steal(PyTuple_New(std::size(items)));
    if (!tuple) return {};
    for (std::size_t i = 0; i < std::size(items); ++i) {
        if (!items[i]) return {};
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), items[i].release());  // stolen
    }
    return tuple;
}

namespace {

constexpr Py_ssize_t kStateLength = 9;

// A line or column: an integer in 0..4294967295.
bool u32_from_state(PyObject* item, std::uint32_t& out) {
    const long long value = PyLong_AsLongLong(item);
    if (value == -1 && PyErr_Occurred()) return false;
    if (value < 0 || value > 0xFFFFFFFFLL) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

// An offset: an integer in 0..2^64-1.
bool u64_from_state(PyObject* item, std::uint64_t& out) {
    py::ref index = py::ref::steal(PyNumber_Index(item));
    if (!index) return false;
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = value;
    return true;
}

// A file name or provenance text: None or a str.
bool text_from_state(PyObject* item, std::optional<std::string>& out) {
    if (item == Py_None) {
        out.reset();
        return true;
    }
    if (!PyUnicode_Check(item)) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'", Py_TYPE(item)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(item, &size);
    if (!text) return false;
    out.emplace(text, static_cast<std::size_t>(size));
    return true;
}

}  // namespace

bool annotation_from_state(PyObject* state, Annotation& out) {
    if (!PyTuple_Check(state)) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyTuple'", Py_TYPE(state)->tp_name);
        return false;
    }
    const Py_ssize_t length = PyTuple_GET_SIZE(state);
    if (length != kStateLength) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length %zd, but got tuple of length %zd", kStateLength,
                     length);
        return false;
    }
    auto item = [&](Py_ssize_t i) { return PyTuple_GET_ITEM(state, i); };
    Annotation a;
    if (!u32_from_state(item(0), a.line) || !u32_from_state(item(1), a.column) || !text_from_state(item(2), a.file) ||
        !u32_from_state(item(3), a.end_line) || !u32_from_state(item(4), a.end_column) ||
        !text_from_state(item(5), a.source_tag) || !text_from_state(item(6), a.source_target) ||
        !u64_from_state(item(7), a.offset) || !u64_from_state(item(8), a.end_offset)) {
        return false;
    }
    out = std::move(a);
    return true;
}

namespace {

constexpr const char* kScalarClassNames[] = {"QuillmereAnnotatedStr", "QuillmereAnnotatedInt",
                                             "QuillmereAnnotatedFloat"};
py::OnceCell scalar_class_cells[std::size(kScalarClassNames)];

py::ref import_scalar_class(const char* name) {
    py::ref package = py::ref::steal(PyImport_ImportModule("quillmere"));
    if (!package) return {};
    return py::ref::steal(PyObject_GetAttrString(package.get(), name));
}

// The record holds strings and None only, so it takes no part in garbage
// collection.
struct ScalarAnnotationObject {
    PyObject_HEAD
    ScalarAnnotation fields;  // the four objects held
};

constexpr Py_ssize_t kScalarAnnotationLength = 10;

ScalarAnnotation& fields_of(PyObject* self) { return reinterpret_cast<ScalarAnnotationObject*>(self)->fields; }

PyObject* scalar_annotation_item(PyObject* self, Py_ssize_t index) {
    const ScalarAnnotation& a = fields_of(self);
    switch (index) {
        case 0:
            return PyLong_FromUnsignedLong(a.line);
        case 1:
            return PyLong_FromUnsignedLong(a.column);
        case 2:
            return Py_NewRef(a.file);
        case 3:
            return PyLong_FromUnsignedLong(a.end_line);
        case 4:
            return PyLong_FromUnsignedLong(a.end_column);
        case 5:
            return Py_NewRef(a.style);
        case 6:
            return Py_NewRef(a.source_tag);
        case 7:
            return Py_NewRef(a.source_target);
        case 8:
            return PyLong_FromUnsignedLongLong(a.offset);
        case 9:
            return PyLong_FromUnsignedLongLong(a.end_offset);
        default:
            PyErr_SetString(PyExc_IndexError, "annotation index out of range");
            return nullptr;
    }
}

Py_ssize_t scalar_annotation_length(PyObject*) { return kScalarAnnotationLength; }

// The tuple the record stands for.
py::ref scalar_annotation_tuple(PyObject* self) {
    py::ref tuple = py::ref::steal(PyTuple_New(kScalarAnnotationLength));
    if (!tuple) return {};
    for (Py_ssize_t i = 0; i < kScalarAnnotationLength; ++i) {
        PyObject* item = scalar_annotation_item(self, i);
        if (!item) return {};
        PyTuple_SET_ITEM(tuple.get(), i, item);  // stolen
    }
    return tuple;
}

bool is_scalar_annotation(PyObject* object);

PyObject* scalar_annotation_compare(PyObject* self, PyObject* other, int op) {
    py::ref mine = scalar_annotation_tuple(self);
    if (!mine) return nullptr;
    if (is_scalar_annotation(other)) {
        py::ref theirs = scalar_annotation_tuple(other);
        return theirs ? PyObject_RichCompare(mine.get(), theirs.get(), op) : nullptr;
    }
    if (!PyTuple_Check(other)) Py_RETURN_NOTIMPLEMENTED;
    return PyObject_RichCompare(mine.get(), other, op);
}

Py_hash_t scalar_annotation_hash(PyObject* self) {
    py::ref tuple = scalar_annotation_tuple(self);
    return tuple ? PyObject_Hash(tuple.get()) : -1;
}

PyObject* scalar_annotation_repr(PyObject* self) {
    py::ref tuple = scalar_annotation_tuple(self);
    return tuple ? PyObject_Repr(tuple.get()) : nullptr;
}

// Pickled and copied as the tuple.
PyObject* scalar_annotation_reduce(PyObject* self, PyObject*) {
    py::ref tuple = scalar_annotation_tuple(self);
    return tuple ? Py_BuildValue("(O(O))", reinterpret_cast<PyObject*>(&PyTuple_Type), tuple.get()) : nullptr;
}

void scalar_annotation_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    ScalarAnnotation& a = fields_of(self);
    Py_DECREF(a.file);
    Py_DECREF(a.style);
    Py_DECREF(a.source_tag);
    Py_DECREF(a.source_target);
    PyObject_Free(self);
    Py_DECREF(type);
}

PyMethodDef scalar_annotation_methods[] = {
    {"__reduce__", scalar_annotation_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot scalar_annotation_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(scalar_annotation_dealloc)},
    {Py_tp_richcompare, reinterpret_cast<void*>(scalar_annotation_compare)},
    {Py_tp_hash, reinterpret_cast<void*>(scalar_annotation_hash)},
    {Py_tp_repr, reinterpret_cast<void*>(scalar_annotation_repr)},
    {Py_tp_methods, scalar_annotation_methods},
    {Py_sq_length, reinterpret_cast<void*>(scalar_annotation_length)},
    {Py_sq_item, reinterpret_cast<void*>(scalar_annotation_item)},
    {0, nullptr},
};

PyType_Spec scalar_annotation_spec = {
    .name = "quillmere._ScalarAnnotation",
    .basicsize = sizeof(ScalarAnnotationObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = scalar_annotation_slots,
};

py::OnceCell scalar_annotation_cell;

PyTypeObject* scalar_annotation_type() {
    return reinterpret_cast<PyTypeObject*>(
        scalar_annotation_cell.get([] { return py::ref::steal(PyType_FromSpec(&scalar_annotation_spec)); }));
}

bool is_scalar_annotation(PyObject* object) {
    PyObject* type = scalar_annotation_cell.peek();
    return type && Py_IS_TYPE(object, reinterpret_cast<PyTypeObject*>(type));
}

}  // namespace

py::ref new_scalar_annotation(const ScalarAnnotation& annotation) {
    PyTypeObject* type = scalar_annotation_type();
    if (!type) return {};
    // Every field is set below: no zeroed allocation needed.
    auto* made = static_cast<ScalarAnnotationObject*>(PyObject_Malloc(sizeof(ScalarAnnotationObject)));
    if (!made) return py::ref::steal(PyErr_NoMemory());
    py::ref self = py::ref::steal(PyObject_Init(reinterpret_cast<PyObject*>(made), type));  // holds the type
    ScalarAnnotation& a = fields_of(self.get());
    a = annotation;
    Py_INCREF(a.file);
    Py_INCREF(a.style);
    Py_INCREF(a.source_tag);
    Py_INCREF(a.source_target);
    return self;
}

PyObject* annotated_scalar_class(AnnotatedScalarClass which) {
    const auto index = static_cast<std::size_t>(which);
    return scalar_class_cells[index].get([&] { return import_scalar_class(kScalarClassNames[index]); });
}

PyTypeObject* annotated_dict_type() {
    return py::class_type_or_fault(py::ClassId::AnnotatedDict, create_annotated_dict_type);
}
PyTypeObject* annotated_list_type() {
    return py::class_type_or_fault(py::ClassId::AnnotatedList, create_annotated_list_type);
}
PyObject* create_annotated_dict_type() { return PyType_FromSpec(&dict_spec); }
PyObject* create_annotated_list_type() { return PyType_FromSpec(&list_spec); }

}  // namespace quillmere::results
