// The module `_quillmere` as the interpreter sees it.
//
// PyInit__quillmere returns the module definition for multi-phase
// initialisation; the exec step `init_module` then fills the module object,
// in this order, appending every name to `__all__`:
//
//     loads, loads_all, dumps, to_json, schema_ref, yaml_version,
//     dump_includes, dump_includes_map              the 8 functions
//     OPT_YAML_1_1 ... OPT_UTC_Z                     the 33 option bits
//     QuillmereDocument, QuillmereDocumentView, QuillmereNode, QuillmereTag,
//     QuillmereAnnotatedDict, QuillmereAnnotatedList the 6 classes
//
// The module has no per-module state: the classes' type objects and every
// cache live in process-wide cells (py/types/cells.cpp), so a second import
// runs the exec step on a new module object and reuses them. Because those
// cells are shared by the whole process, the module declares that it cannot
// run in a sub-interpreter with its own interpreter lock.
#include <array>

#include "document/document_api.h"
#include "module/functions.h"
#include "module/options.h"
#include "py/entry.h"
#include "py/errors.h"
#include "py/ref.h"
#include "py/types/types.h"
#include "results/types/annotated.h"
#include "results/types/tag.h"

namespace quillmere::module {

namespace {

constexpr std::array<PyMethodDef*, 8> kFunctions = {
    &loads_method,       &loads_all_method,     &dumps_method,         &to_json_method,
    &schema_ref_method,  &yaml_version_method,  &dump_includes_method, &dump_includes_map_method,
};

struct ClassEntry {
    py::ClassId id;
    py::CreateType create;
};

constexpr std::array<ClassEntry, py::kClassCount> kClasses = {{
    {py::ClassId::Document, document::create_document_type},
    {py::ClassId::DocumentView, document::create_document_view_type},
    {py::ClassId::Node, document::create_node_type},
    {py::ClassId::Tag, results::create_tag_type},
    {py::ClassId::AnnotatedDict, results::create_annotated_dict_type},
    {py::ClassId::AnnotatedList, results::create_annotated_list_type},
}};

// Appends `name` to the module's `__all__` (made on first use) and sets the
// attribute. 0, or -1 with the error set.
int add_name(PyObject* module, PyObject* name, PyObject* value) {
    py::ref all = py::ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = py::ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    if (!PyList_Check(all.get())) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyList'", Py_TYPE(all.get())->tp_name);
        return -1;
    }
    if (PyList_Append(all.get(), name) < 0) {
        PyErr_Clear();
        py::raise_fault("could not append __name__ to __all__");
        return -1;
    }
    return PyObject_SetAttr(module, name, value);
}

int add_function(PyObject* module, PyObject* module_name, PyMethodDef* def) {
    py::ref function = py::ref::steal(PyCMethod_New(def, module, module_name, nullptr));
    if (!function) return -1;
    py::ref name = py::ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name) return -1;
    if (!PyUnicode_Check(name.get())) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'", Py_TYPE(name.get())->tp_name);
        return -1;
    }
    return add_name(module, name.get(), function.get());
}

int add_int_constant(PyObject* module, const char* name, std::uint64_t value) {
    py::ref key = py::ref::steal(PyUnicode_FromString(name));
    py::ref number = py::ref::steal(PyLong_FromUnsignedLongLong(value));
    if (!key || !number) return -1;
    return add_name(module, key.get(), number.get());
}

int add_class(PyObject* module, const ClassEntry& entry) {
    PyTypeObject* type = py::class_type(entry.id, entry.create);
    if (!type) return -1;
    py::ref name = py::ref::steal(PyUnicode_FromString(py::class_name(entry.id)));
    if (!name) return -1;
    return add_name(module, name.get(), reinterpret_cast<PyObject*>(type));
}

int init_module(PyObject* module) {
    return py::guarded(-1, [&] {
        if (!PyModule_Check(module)) {
            PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyModule'", Py_TYPE(module)->tp_name);
            return -1;
        }
        py::ref module_name = py::ref::steal(PyModule_GetNameObject(module));
        if (!module_name) return -1;
        for (PyMethodDef* def : kFunctions) {
            if (add_function(module, module_name.get(), def) < 0) return -1;
        }
        for (const OptionConstant& constant : kOptionConstants) {
            if (add_int_constant(module, constant.name, constant.value) < 0) return -1;
        }
        for (const ClassEntry& entry : kClasses) {
            if (add_class(module, entry) < 0) return -1;
        }
        install_stack_protection_hooks();
        return 0;
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(init_module)},
#if PY_VERSION_HEX >= 0x030C0000
    // Shared interpreter lock only: the type objects and caches are
    // process-wide, so an interpreter with a lock of its own must not load us.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
#endif
#if PY_VERSION_HEX >= 0x030D0000 && !defined(Py_GIL_DISABLED)
    // Declared on the default build only, where it changes nothing; a
    // free-threaded interpreter re-enables its lock for this module.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_quillmere",  // m_name
    "",            // m_doc
    0,             // m_size: no module state
    nullptr,       // m_methods: the exec step adds the functions
    module_slots,
    nullptr,  // m_traverse
    nullptr,  // m_clear
    nullptr,  // m_free
};

}  // namespace

}  // namespace quillmere::module

PyMODINIT_FUNC PyInit__quillmere(void) { return PyModuleDef_Init(&quillmere::module::module_def); }
