#include "results/convert/custom_tags.h"

#include "py/text.h"
#include "results/types/tag.h"

namespace quillmere::results {

py::ref tagged_to_python(std::string_view tag, PyObject* value, const DecodeContext& context) {
    if (context.tags || context.tag_handler) {
        py::ref tag_text = py::text_to_str(tag);
        if (!tag_text) return {};
        if (context.tags) {
            PyObject* callable = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
            if (PyDict_GetItemRef(context.tags, tag_text.get(), &callable) < 0) return {};
            py::ref entry = py::ref::steal(callable);  // a new reference, or null
#else
            callable = PyDict_GetItemWithError(context.tags, tag_text.get());
            if (!callable && PyErr_Occurred()) return {};
            py::ref entry = py::ref::borrow(callable);  // borrowed from the dict: take our own
#endif
            if (entry) return py::ref::steal(PyObject_CallOneArg(entry.get(), value));
        }
        if (context.tag_handler) {
            PyObject* call_args[] = {tag_text.get(), value};
            return py::ref::steal(PyObject_Vectorcall(context.tag_handler, call_args, 2, nullptr));
        }
    }
    if (context.passthrough_tag) {
        PyTypeObject* type = tag_type();
        if (!type) return {};
        return new_tag_object(type, tag, value);
    }
    return py::ref::borrow(value);
}

}  // namespace quillmere::results
