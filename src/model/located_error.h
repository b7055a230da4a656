// LocatedError: an error in a text, with where it happened and what kind
// of exception it becomes in Python.
#pragma once

#include <cstdint>
#include <string>

#include "model/span.h"

namespace quillmere {

enum class LocatedErrorKind : std::uint8_t { Parse = 0, DuplicateKey = 1, ComplexKey = 2 };

// An error at a position of the text.
struct LocatedError {
    std::string message;
    Span span;
    LocatedErrorKind kind = LocatedErrorKind::Parse;
};

}  // namespace quillmere
