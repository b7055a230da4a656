#include "results/result_objects.h"

#include <utility>

#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>
#define Py_T_OBJECT_EX T_OBJECT_EX
#define Py_READONLY READONLY
#endif

#include "common/stack_guard.h"
#include "model/located_error.h"
#include "py/errors.h"
#include "py/text.h"
#include "results/convert/big_int.h"

namespace quillmere::results {

namespace {

constexpr const char* kStyleNames[] = {"plain", "single", "double", "literal", "folded"};

py::ref number(std::uint64_t value) { return py::ref::steal(PyLong_FromUnsignedLongLong(value)); }
py::ref number_object(PyObject* made) { return py::ref::steal(made); }
py::ref optional_text(const std::optional<std::string_view>& text) {
    return text ? py::text_to_str(*text) : py::none();
}

// The instance offset of the plain object slot that `name` stands for on
// instances of `type`, when setting it there is all that setting the
// attribute does; 0 otherwise.
Py_ssize_t object_slot(PyTypeObject* type, PyObject* name) {
    if (type->tp_setattro != PyObject_GenericSetAttr) return 0;
    py::ref descriptor = py::ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(type), name));
    if (!descriptor) {
        PyErr_Clear();
        return 0;
    }
    if (!Py_IS_TYPE(descriptor.get(), &PyMemberDescr_Type)) return 0;
    const PyMemberDef* member = reinterpret_cast<PyMemberDescrObject*>(descriptor.get())->d_member;
    if (member->type != Py_T_OBJECT_EX || (member->flags & Py_READONLY) != 0 || member->offset <= 0) return 0;
    return member->offset;
}

// cls(value, *annotation).
py::ref call_scalar_class(PyObject* cls, PyObject* value, const ScalarAnnotation& a) {
    py::ref numbers[] = {number(a.line), number(a.column), number(a.end_line), number(a.end_column), number(a.offset),
                         number(a.end_offset)};
    for (const py::ref& made : numbers) {
        if (!made) return {};
    }
    PyObject* arguments[] = {value,         numbers[0].get(), numbers[1].get(),   a.file,
                             numbers[2].get(), numbers[3].get(), a.style,          a.source_tag,
                             a.source_target,  numbers[4].get(), numbers[5].get()};
    return py::ref::steal(PyObject_Vectorcall(cls, arguments, std::size(arguments), nullptr));
}

bool decode_failure() {
    PyErr_Clear();
    py::decode_error();
    return false;
}

}  // namespace

Annotation ResultObjects::annotation(const Placement& at) const {
    Annotation a;
    a.line = at.span.line + 1;
    a.column = at.span.column + 1;
    if (at.span.file_id < file_names_.size()) a.file = file_names_[at.span.file_id];
    a.end_line = at.end_line + 1;
    a.end_column = at.end_column + 1;
    if (at.source_tag) a.source_tag = std::string(*at.source_tag);
    if (at.source_target) a.source_target = std::string(*at.source_target);
    a.offset = at.span.offset;
    a.end_offset = at.end_offset;
    return a;
}

py::ref ResultObjects::new_dict(const Placement* at) {
    if (!at) return py::ref::steal(PyDict_New());
    PyTypeObject* type = annotated_dict_type();
    if (!type) return {};
    return new_annotated_dict(annotation(*at), type);
}

py::ref ResultObjects::new_list(const Placement* at) {
    if (!at) return py::ref::steal(PyList_New(0));
    PyTypeObject* type = annotated_list_type();
    if (!type) return {};
    return new_annotated_list(annotation(*at), type);
}

ResultObjects::ScalarMaker* ResultObjects::maker(AnnotatedScalarClass which) {
    ScalarMaker& maker = makers_[static_cast<std::size_t>(which)];
    if (maker.cls) return &maker;
    PyObject* cls = annotated_scalar_class(which);
    if (!cls) return nullptr;
    maker.cls = cls;
    // A class is made in place only when calling it would run nothing but
    // the package's constructor: no metaclass call, no __init__ of its own.
    PyTypeObject* base = which == AnnotatedScalarClass::Str   ? &PyUnicode_Type
                         : which == AnnotatedScalarClass::Int ? &PyLong_Type
                                                                    : &PyFloat_Type;
    if (!PyType_Check(cls) || Py_TYPE(cls)->tp_call != PyType_Type.tp_call ||
        !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls), base))
        return &maker;
    py::ref constructor = py::ref::steal(PyObject_GetAttrString(cls, "__new__"));
    py::ref attribute =
        constructor ? py::ref::steal(PyObject_GetAttrString(constructor.get(), "__quillmere_annotation__")) : py::ref();
    py::ref init = py::ref::steal(PyObject_GetAttrString(cls, "__init__"));
    py::ref object_init = py::ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(&PyBaseObject_Type), "__init__"));
    PyErr_Clear();  // a probe that fails only means "call it"
    if (attribute && PyUnicode_Check(attribute.get()) && init && init.get() == object_init.get()) {
        maker.base = base;
        maker.attribute = std::move(attribute);
        maker.slot = object_slot(reinterpret_cast<PyTypeObject*>(cls), maker.attribute.get());
    }
    return &maker;
}

// QuillmereAnnotatedStr(value, line, column, file, end_line, end_column,
// style, source_tag, source_target, offset, end_offset).
py::ref ResultObjects::annotated_scalar(AnnotatedScalarClass which, py::ref value, const Placement& at) {
    ScalarMaker* made_by = maker(which);
    if (!made_by || !value) return {};
    const auto style = static_cast<std::size_t>(at.style);
    py::ref& style_name = style_names_[style];
    if (!style_name) style_name = py::ref::steal(PyUnicode_InternFromString(kStyleNames[style]));
    PyObject* file = file_object(at.span.file_id);
    py::ref source_tag = optional_text(at.source_tag);
    py::ref source_target = optional_text(at.source_target);
    if (!style_name || !file || !source_tag || !source_target) return {};
    const ScalarAnnotation annotation{
        .line = at.span.line + 1,
        .column = at.span.column + 1,
        .file = file,
        .end_line = at.end_line + 1,
        .end_column = at.end_column + 1,
        .style = style_name.get(),
        .source_tag = source_tag.get(),
        .source_target = source_target.get(),
        .offset = at.span.offset,
        .end_offset = at.end_offset,
    };
    if (!made_by->base) return call_scalar_class(made_by->cls, value.get(), annotation);
    // base.__new__(cls, value), then the annotation in its attribute.
    PyObject* base_arguments = new_arguments(value.get());
    if (!base_arguments) return {};
    py::ref object =
        py::ref::steal(made_by->base->tp_new(reinterpret_cast<PyTypeObject*>(made_by->cls), base_arguments, nullptr));
    py::ref record = object ? new_scalar_annotation(annotation) : py::ref();
    if (!record) return {};
    if (made_by->slot > 0) {
        // A new instance's slot is empty.
        *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(object.get()) + made_by->slot) = record.release();
        return object;
    }
    if (PyObject_SetAttr(object.get(), made_by->attribute.get(), record.get()) < 0) return {};
    return object;
}

// (value,), borrowed: one tuple refilled while nothing else holds it, as
// the interpreter's own iterators do with their result tuples.
PyObject* ResultObjects::new_arguments(PyObject* value) {
    if (!new_arguments_ || Py_REFCNT(new_arguments_.get()) != 1) {
        new_arguments_ = py::ref::steal(PyTuple_Pack(1, value));
        return new_arguments_.get();
    }
    PyObject* tuple = new_arguments_.get();
    PyObject* previous = PyTuple_GET_ITEM(tuple, 0);
    PyTuple_SET_ITEM(tuple, 0, Py_NewRef(value));
    Py_DECREF(previous);
    return tuple;
}

py::ref ResultObjects::scalar(const resolver::ResolvedScalar& scalar, std::string_view text, resolver::ResolveMode mode,
                               const Placement* at, bool annotate_numbers) {
    using resolver::ResolvedKind;
    switch (scalar.kind) {
        case ResolvedKind::Null:
            return py::none();
        case ResolvedKind::Bool:
            return py::boolean(scalar.boolean);
        case ResolvedKind::Int: {
            py::ref value = number_object(PyLong_FromLongLong(scalar.integer));
            if (!at || !annotate_numbers) return value;
            return annotated_scalar(AnnotatedScalarClass::Int, std::move(value), *at);
        }
        case ResolvedKind::BigInt: {
            std::string storage;
            return big_int_to_python(resolver::big_integer_text(mode, text, storage));
        }
        case ResolvedKind::Float: {
            py::ref value = number_object(PyFloat_FromDouble(scalar.number));
            if (!at || !annotate_numbers) return value;
            return annotated_scalar(AnnotatedScalarClass::Float, std::move(value), *at);
        }
        case ResolvedKind::Str:
        case ResolvedKind::Merge: {
            py::ref value = scalar.kind == ResolvedKind::Merge ? py::ref::borrow(merge_text()) : py::text_to_str(text);
            if (!at) return value;
            return annotated_scalar(AnnotatedScalarClass::Str, std::move(value), *at);
        }
        case ResolvedKind::Invalid:
            break;
    }
    py::raise_fault("scalar of no readable kind");
    return {};
}

bool ResultObjects::set_entry(PyObject* dict, PyObject* key, PyObject* value) {
    PyObject* existing = PyDict_SetDefault(dict, key, value);  // borrowed
    if (!existing) return decode_failure();
    if (existing == value) return true;
    FirstValues& first = first_values_[dict];
    if (!first.overrides) {
        first.dict = py::ref::borrow(dict);
        first.overrides = py::ref::steal(PyDict_New());
        if (!first.overrides) return false;
    }
    if (!PyDict_SetDefault(first.overrides.get(), key, existing) || PyDict_SetItem(dict, key, value) < 0)
        return decode_failure();
    return true;
}

bool ResultObjects::mark_tagged(PyObject* result) {
    // None is also what a null becomes; only a null is told apart by it.
    if (result == Py_None) return true;
    tagged_.try_emplace(result, py::ref::borrow(result));
    return true;
}

PyObject* ResultObjects::merge_text() {
    if (!merge_text_) merge_text_ = py::ref::steal(PyUnicode_InternFromString("<<"));
    return merge_text_.get();
}

bool ResultObjects::flatten(Merges& merges, PyObject* source, py::ref& leftover) {
    if (tagged_.contains(source)) {
        leftover = py::ref::borrow(source);
        return true;
    }
    if (PyDict_Check(source)) {
        if (merges.brought_.insert(source).second) merges.steps_.push_back(Merges::Step{py::ref::borrow(source), {}});
        return true;
    }
    if (source == Py_None) return true;
    if (!PyList_Check(source)) {
        leftover = py::ref::borrow(source);
        return true;
    }
    // A list flattened once already brings nothing new, and leaves the same.
    if (auto it = merges.flattened_.find(source); it != merges.flattened_.end()) {
        leftover = py::ref::borrow(it->second.leftover.get());
        return true;
    }
    std::vector<py::ref> rest;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(source); ++i) {
        py::ref item = py::ref::borrow(PyList_GET_ITEM(source, i));
        py::ref item_leftover;
        if (!with_stack_guard([&] { return flatten(merges, item.get(), item_leftover); })) return false;
        if (item_leftover) rest.push_back(std::move(item_leftover));
    }
    if (!rest.empty()) {
        // What stays behind of an annotated list keeps its annotation.
        py::ref list;
        if (PyList_CheckExact(source)) {
            list = new_list(nullptr);
        } else if (PyTypeObject* type = annotated_list_type()) {
            list = new_annotated_list(annotated_list_data(source)->annotation(), type);
        }
        if (!list) return false;
        for (const py::ref& item : rest) {
            if (PyList_Append(list.get(), item.get()) < 0) return false;
        }
        leftover = std::move(list);
    }
    merges.flattened_.emplace(source, Merges::Flattened{py::ref::borrow(source), py::ref::borrow(leftover.get())});
    return true;
}

bool ResultObjects::apply_merges(PyObject* dict, Merges& merges) {
    for (const Merges::Step& step : merges.steps_) {
        if (step.key) {
            if (PyDict_SetItem(dict, step.key.get(), step.object.get()) < 0) return decode_failure();
            continue;
        }
        PyObject* source = step.object.get();
        if (source == dict) continue;
        const auto first = first_values_.find(source);
        PyObject* overrides = first == first_values_.end() ? nullptr : first->second.overrides.get();
        // A snapshot: the keys' comparisons may run Python code.
        py::ref items = py::ref::steal(PyDict_Items(source));
        if (!items) return false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
            PyObject* pair = PyList_GET_ITEM(items.get(), i);
            PyObject* key = PyTuple_GET_ITEM(pair, 0);
            const int present = PyDict_Contains(dict, key);
            if (present < 0) return decode_failure();
            if (present != 0) continue;
            PyObject* value = PyTuple_GET_ITEM(pair, 1);
            if (overrides) {
                if (PyObject* first_value = PyDict_GetItemWithError(overrides, key)) {
                    value = first_value;  // borrowed from `overrides`, which outlives the loop
                } else if (PyErr_Occurred()) {
                    return decode_failure();
                }
            }
            if (PyDict_SetItem(dict, key, value) < 0) return decode_failure();
        }
    }
    return true;
}

PyObject* ResultObjects::file_object(std::uint32_t file_id) {
    if (file_id >= file_names_.size()) return Py_None;
    if (file_objects_.size() <= file_id) file_objects_.resize(file_names_.size());
    py::ref& object = file_objects_[file_id];
    if (!object) object = py::text_to_str(file_names_[file_id]);
    return object.get();
}

void ResultObjects::raise_at(std::string message, const Span& span) {
    std::optional<std::string_view> file;
    if (span.file_id > 0 && span.file_id < file_names_.size()) file = file_names_[span.file_id];
    py::located_error_to_exception(LocatedError{std::move(message), span, LocatedErrorKind::Parse}, file);
}

}  // namespace quillmere::results
