// Text from the engine as Python str.
#pragma once

#include <Python.h>

#include <string_view>

#include "py/ref.h"

namespace quillmere::py {

// A new str from UTF-8 text; null with UnicodeDecodeError set when the text
// is not valid UTF-8. ASCII, the common case, is copied straight into a
// compact str without decoding; `ascii` says that the caller knows the text
// is ASCII, so that it is not looked through first.
py::ref text_to_str(std::string_view text, bool ascii = false);

}  // namespace quillmere::py
