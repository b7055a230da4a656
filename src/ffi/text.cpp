#include "ffi/text.h"

#include <cstdint>
#include <cstring>

namespace quillmere::ffi {

namespace {

bool is_ascii(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080ull) == 0;
}

}  // namespace

py::ref text_to_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (!is_ascii(text)) return py::ref::steal(PyUnicode_DecodeUTF8(text.data(), size, "strict"));
    py::ref str = py::ref::steal(PyUnicode_New(size, 127));
    if (str && size > 0) std::memcpy(PyUnicode_1BYTE_DATA(str.get()), text.data(), text.size());
    return str;
}

}  // namespace quillmere::ffi
