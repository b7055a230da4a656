#include "py/text.h"

#include <cstdint>
#include <cstring>

#include "common/utf8.h"

namespace quillmere::py {

py::ref text_to_str(std::string_view text, bool ascii) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (!ascii && !is_ascii(text)) return py::ref::steal(PyUnicode_DecodeUTF8(text.data(), size, "strict"));
    py::ref str = py::ref::steal(PyUnicode_New(size, 127));
    if (str && size > 0) std::memcpy(PyUnicode_1BYTE_DATA(str.get()), text.data(), text.size());
    return str;
}

}  // namespace quillmere::py
