#include "results/convert/big_int.h"

#include <string>

#include "py/text.h"

namespace quillmere::results {

py::ref big_int_to_python(std::string_view text) {
    std::string digits;
    digits.reserve(text.size());
    for (char c : text) {
        if (c != '_') digits.push_back(c);
    }
    char* end = nullptr;
    py::ref number = py::ref::steal(PyLong_FromString(digits.c_str(), &end, 10));
    if (number) return number;
    PyErr_Clear();
    return py::text_to_str(digits);
}

}  // namespace quillmere::results
