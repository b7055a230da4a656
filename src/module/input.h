// Input text decoding: the `data` argument of every reading function.
//
// `read_input` turns a str, bytes, bytearray or byte buffer into one UTF-8
// text that stays put for the whole call, so the parse can run with the
// interpreter lock released. A str or bytes cannot change, so their UTF-8
// bytes are read where they are, the object held; a bytearray or another
// buffer may be changed by another thread once the lock is released, so
// it is copied, as is any text decoded from UTF-16 or UTF-32.
// `extract_input_text` is the same with a text of the caller's own. Bytes
// are sniffed by their byte-order mark, else by the zero bytes at their
// start, and decoded:
//
//     00 00 FE FF | FF FE 00 00   UTF-32 BE | LE   (marks first)
//     FE FF       | FF FE         UTF-16 BE | LE
//     00 00 00 xx | xx 00 00 00   UTF-32 BE | LE   (zero patterns)
//     00 xx       | xx 00         UTF-16 BE | LE
//     anything else               UTF-8, checked
//
// A byte-order mark is decoded like any other character (U+FEFF stays at
// the start of the text); a str is taken as it is.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "py/ref.h"

namespace quillmere::module {

// The UTF-8 text of a reading call's input: the bytes of an immutable
// object it holds, or a copy of its own.
class InputText {
public:
    std::string_view view() const { return view_; }

private:
    friend bool read_input(PyObject* obj, InputText& input);
    py::ref owner_;
    std::string owned_;
    std::string_view view_;
};

// False with the Python error set on failure.
[[nodiscard]] bool read_input(PyObject* obj, InputText& input);
[[nodiscard]] bool extract_input_text(PyObject* obj, std::string& text);
[[nodiscard]] bool decode_input_bytes(const unsigned char* bytes, std::size_t size, std::string& text);
[[nodiscard]] bool decode_utf16(const unsigned char* bytes, std::size_t size, bool big_endian, std::string& text);
[[nodiscard]] bool decode_utf32(const unsigned char* bytes, std::size_t size, bool big_endian, std::string& text);

}  // namespace quillmere::module
