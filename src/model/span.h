// Span: where something starts in a source text.
//
// file_id indexes the load's source table (0 for the text given to the
// call), line and column are 0-based, the column counted in code points,
// and offset is the byte offset into the UTF-8 text.
#pragma once

#include <cstdint>

namespace quillmere {

struct Span {
    std::uint32_t file_id = 0;
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    std::uint64_t offset = 0;

    friend bool operator==(const Span&, const Span&) = default;
};

}  // namespace quillmere
