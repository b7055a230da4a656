#include "py/args.h"

namespace quillmere::py {

namespace {

bool name_equals(PyObject* name, const char* expected) {
#if PY_VERSION_HEX >= 0x030D0000
    return PyUnicode_EqualToUTF8(name, expected) == 1;
#else
    const int result = PyUnicode_CompareWithASCIIString(name, expected);
    if (PyErr_Occurred()) PyErr_Clear();
    return result == 0;
#endif
}

}  // namespace

bool parse_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                     PyObject*& first, PyObject** values) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs > 1) {
        PyErr_Format(PyExc_TypeError, "%s() takes exactly 1 positional argument (%zd given)", signature.function,
                     nargs);
        return false;
    }
    for (std::size_t i = 0; i < signature.keywords.size(); ++i) values[i] = nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        PyObject* value = args[nargs + k];
        bool matched = false;
        if (PyUnicode_Check(name)) {
            for (std::size_t i = 0; i < signature.keywords.size(); ++i) {
                if (name_equals(name, signature.keywords[i])) {
                    values[i] = value == Py_None ? nullptr : value;
                    matched = true;
                    break;
                }
            }
            if (!matched && name_equals(name, signature.positional)) {
                PyErr_Format(PyExc_TypeError,
                             "%s() got some positional-only arguments passed as keyword arguments: '%s'",
                             signature.function, signature.positional);
                return false;
            }
        }
        if (!matched) {
            if (PyUnicode_Check(name)) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.function,
                             name);
            } else {
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.function);
            }
            return false;
        }
    }
    if (nargs < 1) {
        PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos 1)", signature.function,
                     signature.positional);
        return false;
    }
    first = args[0];
    return true;
}

bool parse_method_arguments(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames, PyObject** values) {
    const std::size_t count = signature.parameters.size();
    const auto nargs = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (nargs > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %zu arguments (%zu given)", signature.method, count, nargs);
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) values[i] = i < nargs ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        std::size_t i = 0;
        while (i < count && !(PyUnicode_Check(name) && name_equals(name, signature.parameters[i]))) ++i;
        if (i == count) {
            if (PyUnicode_Check(name)) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.method, name);
            } else {
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.method);
            }
            return false;
        }
        if (values[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", signature.method,
                         signature.parameters[i]);
            return false;
        }
        values[i] = args[nargs + static_cast<std::size_t>(k)];
    }
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (values[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", signature.method,
                         signature.parameters[i], i + 1);
            return false;
        }
    }
    return true;
}

}  // namespace quillmere::py
