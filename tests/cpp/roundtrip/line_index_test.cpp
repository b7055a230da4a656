// Line starts and positions of byte offsets.
#include <gtest/gtest.h>

#include "roundtrip/line_index.h"

namespace quillmere::roundtrip {
namespace {

struct Case {
    const char* text;
    std::uint64_t offset;
    std::uint32_t line;
    std::uint32_t column;
};

class Positions : public ::testing::TestWithParam<Case> {};

TEST_P(Positions, OfOffsets) {
    const std::string_view text = GetParam().text;
    const LineIndex index = build_line_index(text);
    const LinePosition position = index.position_of(text, GetParam().offset);
    EXPECT_EQ(position.line, GetParam().line) << text << " @" << GetParam().offset;
    EXPECT_EQ(position.column, GetParam().column) << text << " @" << GetParam().offset;
    // Found from the start of the text, the same position.
    const std::uint64_t first = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const LinePosition after = index.position_after(text, Span{0, 0, 0, first}, GetParam().offset);
    EXPECT_EQ(after.line, position.line);
    EXPECT_EQ(after.column, position.column);
}

INSTANTIATE_TEST_SUITE_P(
    LineIndex, Positions,
    ::testing::Values(Case{"", 0, 0, 0}, Case{"abc", 3, 0, 3},
                      // LF, CR LF (one break) and lone CR.
                      Case{"a\nb\r\nc\rd", 2, 1, 0}, Case{"a\nb\r\nc\rd", 4, 1, 2},
                      Case{"a\nb\r\nc\rd", 5, 2, 0}, Case{"a\nb\r\nc\rd", 7, 3, 0},
                      Case{"a\r", 2, 1, 0}, Case{"a\r\n", 3, 1, 0}, Case{"\n\n\n", 3, 3, 0},
                      // Columns count code points.
                      Case{"\xC3\xA9t\xC3\xA9", 5, 0, 3}, Case{"x\n\xE2\x82\xAC\xF0\x9F\x98\x80!", 10, 1, 3},
                      Case{"long ascii line, then \xC3\xA9\nok", 24, 0, 23},
                      // After a byte order mark, the first line starts at byte 3.
                      Case{"\xEF\xBB\xBF" "ab", 3, 0, 0}, Case{"\xEF\xBB\xBF" "ab", 5, 0, 2},
                      Case{"\xEF\xBB\xBF" "a\nb", 6, 1, 1}));

TEST(LineIndex, LineStarts) {
    const std::string_view text = "a\r\n\r\n  \rb";
    const LineIndex index = build_line_index(text);
    ASSERT_EQ(index.line_count(), 4u);
    EXPECT_EQ(index.line_start(1), 3u);
    EXPECT_EQ(index.line_start(2), 5u);
    EXPECT_EQ(index.line_start(3), 8u);
}

TEST(LineIndex, LongLines) {
    // Breaks and non-ASCII bytes anywhere, and far from each other.
    for (std::size_t at : {0, 1, 7, 8, 9, 23, 255, 256, 257, 600}) {
        std::string text(700, 'x');
        text[at] = '\n';
        text += "\xC3\xA9z";
        const LineIndex index = build_line_index(text);
        ASSERT_EQ(index.line_count(), 2u) << at;
        const LinePosition end = index.position_of(text, text.size());
        EXPECT_EQ(end.line, 1u);
        EXPECT_EQ(end.column, 700 - at - 1 + 2) << at;
        const LinePosition before = index.position_of(text, at);
        EXPECT_EQ(before.column, at) << at;
    }
}

}  // namespace
}  // namespace quillmere::roundtrip
