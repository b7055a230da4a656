#include "module/arguments.h"

#include "py/errors.h"
#include "py/ref.h"

namespace quillmere::module {

bool options_from_argument(PyObject* value, std::uint64_t& options) {
    options = 0;
    if (!value) return true;
    const unsigned long long bits = PyLong_AsUnsignedLongLong(value);
    if (bits == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        py::add_argument_note("option");
        return false;
    }
    options = bits;
    return true;
}

bool path_from_argument(PyObject* value, const char* name, std::optional<std::string>& path) {
    path.reset();
    if (!value) return true;
    py::ref fspath = py::ref::steal(PyOS_FSPath(value));
    if (fspath && !PyUnicode_Check(fspath.get())) {
        PyErr_Format(PyExc_TypeError, "expected a str path, not %s", Py_TYPE(fspath.get())->tp_name);
        fspath.reset();
    }
    py::ref encoded = fspath ? py::ref::steal(PyUnicode_EncodeFSDefault(fspath.get())) : py::ref();
    if (!encoded) {
        py::add_argument_note(name);
        return false;
    }
    path.emplace(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
    return true;
}

}  // namespace quillmere::module
