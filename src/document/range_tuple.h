// range_tuple: a node's source range as Python sees it.
#pragma once

#include "py/ref.h"
#include "roundtrip/ast.h"

namespace quillmere::document {

// (line, column, end line, end column), each 1-based, as a new tuple of
// four ints; null with the Python error set when it cannot be made.
py::ref range_tuple(const roundtrip::YamlNode& node);

}  // namespace quillmere::document
