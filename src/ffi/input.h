// Input text decoding: the `data` argument of every reading function.
//
// `extract_input_text` turns a str, bytes, bytearray or byte buffer into
// one owned UTF-8 text that belongs to the call, so the parse can run with
// the interpreter lock released. Bytes are sniffed by their byte-order mark,
// else by the zero bytes at their start, and decoded:
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

namespace quillmere::ffi {

// False with the Python error set on failure.
[[nodiscard]] bool extract_input_text(PyObject* obj, std::string& text);
[[nodiscard]] bool decode_input_bytes(const unsigned char* bytes, std::size_t size, std::string& text);
[[nodiscard]] bool decode_utf16(const unsigned char* bytes, std::size_t size, bool big_endian, std::string& text);
[[nodiscard]] bool decode_utf32(const unsigned char* bytes, std::size_t size, bool big_endian, std::string& text);

}  // namespace quillmere::ffi
