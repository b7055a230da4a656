// range_tuple: a node's source range as Python sees it.
#pragma once

#include "ffi/ref.h"
#include "roundtrip/ast.h"

namespace quillmere::roundtrip {

// (line, column, end line, end column), each 1-based, as a new tuple of
// four ints; null with the Python error set when it cannot be made.
py::ref range_tuple(const YamlNode& node);

}  // namespace quillmere::roundtrip
