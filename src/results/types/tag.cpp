#include "results/types/tag.h"

#include <cstring>
#include <new>
#include <string>

#include "py/entry.h"
#include "py/errors.h"
#include "py/types/types.h"

namespace quillmere::results {

namespace {

using py::BorrowFlag;

TagObject* as_tag(PyObject* self) { return reinterpret_cast<TagObject*>(self); }

PyObject* tag_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return py::guarded([&]() -> PyObject* {
        static const char* keywords[] = {"tag", "value", nullptr};
        PyObject* tag = nullptr;
        PyObject* value = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:QuillmereTag.__new__", const_cast<char**>(keywords), &tag,
                                         &value)) {
            return nullptr;
        }
        if (!PyUnicode_Check(tag)) {
            PyErr_Format(PyExc_TypeError, "expected str, not %s", Py_TYPE(tag)->tp_name);
            py::add_argument_note("tag");
            return nullptr;
        }
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(tag, &size);
        if (!text) {
            py::add_argument_note("tag");
            return nullptr;
        }
        return new_tag_object(type, std::string_view(text, static_cast<std::size_t>(size)), value).release();
    });
}

// The collector's view of an instance: its type (every heap-type instance
// holds a reference to it) and its value. A tag whose value leads back to
// the tag is a cycle that only the collector can free.
int tag_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_tag(self)->value);
    return 0;
}

// Breaks a cycle through the tag: the value is released, and the getter and
// dumps see None from then on.
int tag_clear(PyObject* self) {
    Py_CLEAR(as_tag(self)->value);
    return 0;
}

// Untrack, clear, free, release the type. The trashcan defers the release
// of a long chain of tags nested in one another's values, which would
// otherwise recurse once per tag.
void tag_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, tag_dealloc)
    py::guarded_unraisable(self, [&] {
        tag_clear(self);
        TagObject* tag = as_tag(self);
        PyMem_Free(tag->tag);
        tag->tag = nullptr;
        tag->borrow.~BorrowFlag();
    });
    type->tp_free(self);
    Py_DECREF(type);
    Py_TRASHCAN_END
}

PyObject* tag_repr(PyObject* self) {
    return py::guarded([&]() -> PyObject* {
        TagObject* tag = as_tag(self);
        py::Borrow borrow = py::Borrow::shared(tag->borrow);
        if (!borrow.ok()) return nullptr;
        std::string text = "QuillmereTag('";
        text.append(tag->tag, static_cast<std::size_t>(tag->tag_size));
        text += "', ...)";
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

PyObject* tag_get_tag(PyObject* self, void*) {
    return py::guarded([&]() -> PyObject* {
        TagObject* tag = as_tag(self);
        py::Borrow borrow = py::Borrow::shared(tag->borrow);
        if (!borrow.ok()) return nullptr;
        return PyUnicode_FromStringAndSize(tag->tag, tag->tag_size);
    });
}

PyObject* tag_get_value(PyObject* self, void*) {
    return py::guarded([&]() -> PyObject* {
        TagObject* tag = as_tag(self);
        py::Borrow borrow = py::Borrow::shared(tag->borrow);
        if (!borrow.ok()) return nullptr;
        return (tag->value ? py::ref::borrow(tag->value) : py::none()).release();
    });
}

PyGetSetDef tag_getset[] = {
    {"tag", tag_get_tag, nullptr, nullptr, nullptr},
    {"value", tag_get_value, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char* kTagDoc =
    "QuillmereTag(tag, value)\n"
    "--\n"
    "\n"
    "A custom-tagged YAML value, returned when `OPT_PASSTHROUGH_TAG` is set and\n"
    "accepted by `dumps` to emit a `!tag value` back out.\n"
    "\n"
    "Holds the original tag (e.g. `!mytag`) and the resolved inner `value`.";

PyType_Slot tag_slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(tag_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(tag_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(tag_clear)},
    {Py_tp_doc, const_cast<char*>(kTagDoc)},
    {Py_tp_new, reinterpret_cast<void*>(tag_new)},
    {Py_tp_repr, reinterpret_cast<void*>(tag_repr)},
    {Py_tp_getset, tag_getset},
    {0, nullptr},
};

PyType_Spec tag_spec = {
    .name = "builtins.QuillmereTag",
    .basicsize = static_cast<int>(sizeof(TagObject)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC,
    .slots = tag_slots,
};

}  // namespace

py::ref new_tag_object(PyTypeObject* type, std::string_view tag, PyObject* value) {
    char* text = static_cast<char*>(PyMem_Malloc(tag.size() + 1));
    if (!text) return py::ref::steal(PyErr_NoMemory());
    std::memcpy(text, tag.data(), tag.size());
    text[tag.size()] = '\0';
    py::ref self = py::ref::steal(type->tp_alloc(type, 0));
    if (!self) {
        PyMem_Free(text);
        return {};
    }
    TagObject* object = as_tag(self.get());
    object->tag = text;  // owned by the instance from here on
    object->tag_size = static_cast<Py_ssize_t>(tag.size());
    object->value = py::ref::borrow(value).release();  // the instance's own reference
    new (&object->borrow) py::BorrowFlag(0);
    return self;
}

PyTypeObject* tag_type() { return py::class_type_or_fault(py::ClassId::Tag, create_tag_type); }
PyObject* create_tag_type() { return PyType_FromSpec(&tag_spec); }

}  // namespace quillmere::results
