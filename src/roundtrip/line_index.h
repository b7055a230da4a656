// LineIndex: line and column of any byte offset of a text.
//
// The composer records where each node ends as a byte offset; the index
// turns that offset into the 0-based line and column that positions show.
// Lines start at byte 0, or at byte 3 after a UTF-8 byte order mark, and
// after every LF, every CR LF pair (one break) and every lone CR:
//
//     "a: 1\r\nb: 2\rc: 3\n"   ->  line starts 0, 6, 11, 17
//
// Columns count code points: every byte that is not a UTF-8 continuation
// byte (0x80-0xBF) between the line start and the offset. The index notes
// which blocks of the text are plain ASCII, where a column is a byte count,
// and which lines are blank: empty after trimming white space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "model/span.h"

namespace quillmere::roundtrip {

struct LinePosition {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

class LineIndex {
public:
    LineIndex() = default;

    std::uint32_t line_count() const { return static_cast<std::uint32_t>(starts_.size()); }
    std::uint64_t line_start(std::uint32_t line) const { return starts_[line]; }
    // Blank lines strictly between lines `after` and `before`.
    std::uint32_t blank_lines_between(std::uint32_t after, std::uint32_t before) const;

    // Line and column of `offset` in `text`, the text the index was built from.
    LinePosition position_of(std::string_view text, std::uint64_t offset) const;
    // The same for an offset at or after `start`, a position in the same
    // text; ends of nodes are found from their starts this way.
    LinePosition position_after(std::string_view text, const Span& start, std::uint64_t offset) const;

private:
    friend LineIndex build_line_index(std::string_view text);
    std::uint32_t column_on_line(std::string_view text, std::uint32_t line, std::uint64_t offset) const;
    std::uint32_t columns_between(std::string_view text, std::uint64_t start, std::uint64_t end) const;
    void note_ascii_blocks(std::string_view text);

    static constexpr std::size_t kAsciiBlock = 256;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint32_t> blank_before_;  // blank lines among lines 0 to i - 1
    std::vector<std::uint8_t> non_ascii_blocks_;  // per block of kAsciiBlock bytes: holds a byte of 0x80 or more
};

LineIndex build_line_index(std::string_view text);

// Code points in `bytes`: the bytes that are not UTF-8 continuation bytes.
std::uint32_t count_code_points(std::string_view bytes);

}  // namespace quillmere::roundtrip
