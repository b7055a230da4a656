// Integers past 64 bits as Python ints.
//
// The decoder and the resolver keep such an integer as the text it was
// written as ("12_345_678_901_234_567_890"); every road that builds results
// makes the int from that text here.
#pragma once

#include <string_view>

#include "py/ref.h"

namespace quillmere::results {

// A decimal integer text (underscores allowed) as int; when it is no
// decimal integer, or has more digits than the interpreter's limit for
// converting text to int, the text without underscores as str.
py::ref big_int_to_python(std::string_view text);

}  // namespace quillmere::results
