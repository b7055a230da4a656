#include "module/input.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/utf8.h"

namespace quillmere::module {

namespace {

constexpr const char* kInputTypeMessage = "loads() requires str, bytes, bytearray, or a buffer (e.g. memoryview)";

// "B" or "c", alone or after one byte-order character; no format is "B".
bool is_byte_format(const char* format) {
    if (!format) return true;
    if (*format && std::strchr("@=<>!", *format)) ++format;
    return (format[0] == 'B' || format[0] == 'c') && format[1] == '\0';
}

// Whether `text` is UTF-8; a ValueError at the first fault when not.
bool check_input_utf8(std::string_view text) {
    const Utf8Check check = check_utf8(text);
    if (check.valid) return true;
    if (check.error_length == 0) {
        PyErr_Format(PyExc_ValueError, "invalid UTF-8: incomplete utf-8 byte sequence from index %zu",
                     check.valid_up_to);
    } else {
        PyErr_Format(PyExc_ValueError, "invalid UTF-8: invalid utf-8 sequence of %zu bytes from index %zu",
                     check.error_length, check.valid_up_to);
    }
    return false;
}

enum class Encoding { Utf8, Utf16Be, Utf16Le, Utf32Be, Utf32Le };

// The encoding of input bytes, by byte-order mark, else by zero bytes.
Encoding sniff_encoding(const unsigned char* p, std::size_t n) {
    if (n >= 4 && p[0] == 0x00 && p[1] == 0x00 && p[2] == 0xFE && p[3] == 0xFF) return Encoding::Utf32Be;
    if (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0x00 && p[3] == 0x00) return Encoding::Utf32Le;
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return Encoding::Utf16Be;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return Encoding::Utf16Le;
    if (n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0) return Encoding::Utf32Be;
    if (n >= 4 && p[1] == 0 && p[2] == 0 && p[3] == 0) return Encoding::Utf32Le;
    if (n >= 2 && p[0] == 0) return Encoding::Utf16Be;
    if (n >= 2 && p[1] == 0) return Encoding::Utf16Le;
    return Encoding::Utf8;
}

bool buffer_to_text(PyObject* obj, std::string& text) {
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_FULL_RO) < 0) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, kInputTypeMessage);
        return false;
    }
    if (!view.shape || !view.strides || view.itemsize != 1 || !is_byte_format(view.format)) {
        PyBuffer_Release(&view);
        PyErr_SetString(PyExc_TypeError, kInputTypeMessage);
        return false;
    }
    std::vector<unsigned char> copy(static_cast<std::size_t>(view.len));
    const int copied = PyBuffer_ToContiguous(copy.data(), &view, view.len, 'C');
    PyBuffer_Release(&view);
    if (copied < 0) return false;
    return decode_input_bytes(copy.data(), copy.size(), text);
}

}  // namespace

bool read_input(PyObject* obj, InputText& input) {
    if (PyUnicode_Check(obj)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);  // kept by the str
        if (!utf8) return false;  // a lone surrogate: the interpreter's UnicodeEncodeError
        input.owner_ = py::ref::borrow(obj);
        input.view_ = std::string_view(utf8, static_cast<std::size_t>(size));
        return true;
    }
    if (PyBytes_Check(obj)) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(obj));
        const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(obj));
        if (sniff_encoding(bytes, size) != Encoding::Utf8) {
            if (!decode_input_bytes(bytes, size, input.owned_)) return false;
            input.view_ = input.owned_;
            return true;
        }
        const std::string_view text(PyBytes_AS_STRING(obj), size);
        if (!check_input_utf8(text)) return false;
        input.owner_ = py::ref::borrow(obj);
        input.view_ = text;
        return true;
    }
    if (PyByteArray_Check(obj)) {
        if (!decode_input_bytes(reinterpret_cast<const unsigned char*>(PyByteArray_AS_STRING(obj)),
                                static_cast<std::size_t>(PyByteArray_GET_SIZE(obj)), input.owned_))
            return false;
    } else if (!buffer_to_text(obj, input.owned_)) {
        return false;
    }
    input.view_ = input.owned_;
    return true;
}

bool extract_input_text(PyObject* obj, std::string& text) {
    InputText input;
    if (!read_input(obj, input)) return false;
    text.assign(input.view());
    return true;
}

bool decode_input_bytes(const unsigned char* p, std::size_t n, std::string& text) {
    switch (sniff_encoding(p, n)) {
        case Encoding::Utf32Be: return decode_utf32(p, n, true, text);
        case Encoding::Utf32Le: return decode_utf32(p, n, false, text);
        case Encoding::Utf16Be: return decode_utf16(p, n, true, text);
        case Encoding::Utf16Le: return decode_utf16(p, n, false, text);
        case Encoding::Utf8: break;
    }
    text.clear();
    if (!check_input_utf8({reinterpret_cast<const char*>(p), n})) return false;
    text.assign(reinterpret_cast<const char*>(p), n);
    return true;
}

bool decode_utf16(const unsigned char* p, std::size_t n, bool big_endian, std::string& text) {
    text.clear();
    if (n % 2 != 0) {
        PyErr_SetString(PyExc_ValueError, "invalid UTF-16: byte count is not a multiple of 2");
        return false;
    }
    // All units in native order first, then one decoding pass.
    const std::size_t count = n / 2;
    std::vector<std::uint16_t> units(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned hi = p[2 * i + (big_endian ? 0 : 1)];
        const unsigned lo = p[2 * i + (big_endian ? 1 : 0)];
        units[i] = static_cast<std::uint16_t>((hi << 8) | lo);
    }
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t unit = units[i];
        if (unit < 0xD800 || unit > 0xDFFF) {
            append_utf8(text, unit);
            continue;
        }
        if (unit <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            append_utf8(text, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        text.clear();
        PyErr_SetString(PyExc_ValueError, "invalid UTF-16: unpaired surrogate");
        return false;
    }
    return true;
}

bool decode_utf32(const unsigned char* p, std::size_t n, bool big_endian, std::string& text) {
    text.clear();
    if (n % 4 != 0) {
        PyErr_SetString(PyExc_ValueError, "invalid UTF-32: byte count is not a multiple of 4");
        return false;
    }
    for (std::size_t i = 0; i < n; i += 4) {
        std::uint32_t cp;
        if (big_endian) {
            cp = (std::uint32_t{p[i]} << 24) | (std::uint32_t{p[i + 1]} << 16) | (std::uint32_t{p[i + 2]} << 8) |
                 p[i + 3];
        } else {
            cp = (std::uint32_t{p[i + 3]} << 24) | (std::uint32_t{p[i + 2]} << 16) | (std::uint32_t{p[i + 1]} << 8) |
                 p[i];
        }
        if (cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF)) {
            text.clear();
            PyErr_SetString(PyExc_ValueError, "invalid UTF-32: not a Unicode scalar value");
            return false;
        }
        append_utf8(text, cp);
    }
    return true;
}

}  // namespace quillmere::module
