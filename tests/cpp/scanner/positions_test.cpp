// Source positions: the reader's line and column counting, the byte-order
// mark, token spans and end offsets, and the comments the scanner collects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanner/reader.h"
#include "support/token_text.h"

namespace quillmere::testing {
namespace {

using scanner::Reader;
using scanner::Scanner;

// One line per token: "Kind line:column offset..end_offset", all 0-based.
std::string positions(std::string_view yaml) {
    Scanner s(yaml);
    auto result = scanner::tokenize(s);
    if (!result.ok()) return "error: " + result.error().message;
    std::string out;
    for (const Token& t : result.value()) {
        out += token_kind_name(t.kind);
        out += ' ' + std::to_string(t.span.line) + ':' + std::to_string(t.span.column) + ' ' +
               std::to_string(t.span.offset) + ".." + std::to_string(t.end_offset) + '\n';
    }
    return out;
}

Span span_at(std::uint32_t line, std::uint32_t column, std::uint64_t offset) { return Span{0, line, column, offset}; }

TEST(Reader, LineBreaks) {
    // LF, CR and CR LF are one break each; the character after is at column 0.
    for (const auto& [text, offset] : std::vector<std::pair<std::string_view, std::uint64_t>>{
             {"a\r\nb", 3}, {"a\rb", 2}, {"a\nb", 2}}) {
        Reader r(text, 0);
        r.advance();
        r.consume_line_break();
        EXPECT_EQ(r.span(), span_at(1, 0, offset)) << ::testing::PrintToString(std::string(text));
        EXPECT_EQ(r.peek_char(), U'b');
    }
    // A CR followed by a CR is two breaks.
    Reader r("\r\rx", 0);
    r.consume_line_break();
    r.consume_line_break();
    EXPECT_EQ(r.span(), span_at(2, 0, 2));
}

TEST(Reader, LookAhead) {
    Reader r("ab", 0);
    EXPECT_FALSE(r.next_is_blank());
    EXPECT_FALSE(r.next_is_break_or_end());
    r.advance();
    EXPECT_FALSE(r.next_is_blank());  // on the last character
    EXPECT_TRUE(r.next_is_break_or_end());
    r.advance();
    EXPECT_TRUE(r.at_end());
    EXPECT_FALSE(r.next_is_blank());
    EXPECT_TRUE(r.next_is_break_or_end());

    Reader blank("a\tb\rc", 0);
    EXPECT_TRUE(blank.next_is_blank());
    blank.advance();
    blank.advance();
    EXPECT_TRUE(blank.next_is_break_or_end());

    // The character after a three-character marker counts characters, not bytes.
    EXPECT_EQ(Reader("---x", 0).peek_char_after_marker(), 'x');
    EXPECT_EQ(Reader("\xC3\xA9\xC3\xA9\xC3\xA9:", 0).peek_char_after_marker(), ':');
    EXPECT_EQ(Reader("---", 0).peek_char_after_marker(), -1);
    Reader short_marker("--", 0);
    short_marker.skip_marker();
    EXPECT_EQ(short_marker.span(), span_at(0, 2, 2));

    EXPECT_EQ(Reader("  \t x", 0).peek_non_blank(), 'x');
    EXPECT_EQ(Reader(" \t ", 0).peek_non_blank(), -1);
}

TEST(Reader, DocumentMarkers) {
    struct Row {
        std::string_view text;
        bool marker;
    };
    for (const Row& row : std::vector<Row>{{"---", true},   {"...", true},  {"--- a", true}, {"---\tx", true},
                                           {"...\r\n", true}, {"---a", false}, {"--", false},  {"-.-", false},
                                           {"..", false}}) {
        EXPECT_EQ(Reader(row.text, 0).at_document_marker(), row.marker) << row.text;
    }
    Reader indented(" ---", 0);
    indented.advance();
    EXPECT_FALSE(indented.at_document_marker());  // only at column 0
}

TEST(Reader, ByteOrderMark) {
    Reader bom("\xEF\xBB\xBFx", 0);
    EXPECT_TRUE(bom.had_bom());
    EXPECT_EQ(bom.span(), span_at(0, 0, 3));
    Reader plain("x", 7);
    EXPECT_FALSE(plain.had_bom());
    EXPECT_EQ(plain.span(), (Span{7, 0, 0, 0}));
}

struct Case {
    const char* input;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.input)); }

class TokenPositions : public ::testing::TestWithParam<Case> {};
TEST_P(TokenPositions, SpansAndEndOffsets) { EXPECT_EQ(positions(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, TokenPositions,
    ::testing::Values(
        // Keys inserted for a saved simple key start where the key starts
        // (offset, line and column alike) and end at the ":".
        Case{"&a key: 1",
             "StreamStart 0:0 0..0\n"
             "MappingStart 0:0 0..6\n"
             "MappingKey 0:0 0..6\n"
             "Anchor 0:0 0..0\n"
             "Scalar 0:3 3..6\n"
             "MappingValue 0:6 6..6\n"
             "Scalar 0:8 8..9\n"
             "BlockEnd 0:9 9..9\n"
             "StreamEnd 0:9 9..9\n"},
        // A quoted key spans its quotes; a block scalar ends where its scan
        // stopped, past the indentation of the line that ended it; BlockEnd
        // sits where the level was closed.
        Case{"- \"k\": |\n    x\n  z: 1\nw: 2",
             "StreamStart 0:0 0..0\n"
             "SequenceStart 0:0 0..0\n"
             "BlockEntry 0:0 0..0\n"
             "MappingStart 0:2 2..2\n"
             "MappingKey 0:2 2..2\n"
             "Scalar 0:2 2..5\n"
             "MappingValue 0:5 5..5\n"
             "Scalar 0:7 7..17\n"
             "MappingKey 2:2 17..17\n"
             "Scalar 2:2 17..18\n"
             "MappingValue 2:3 18..18\n"
             "Scalar 2:5 20..21\n"
             "BlockEnd 3:0 22..22\n"
             "BlockEnd 3:0 22..22\n"
             "MappingStart 3:0 22..22\n"
             "MappingKey 3:0 22..22\n"
             "Scalar 3:0 22..23\n"
             "MappingValue 3:1 23..23\n"
             "Scalar 3:3 25..26\n"
             "BlockEnd 3:4 26..26\n"
             "StreamEnd 3:4 26..26\n"},
        // Markers and directives point at their first character; StreamEnd
        // comes after trailing blanks, comments and breaks.
        Case{"%YAML 1.2\n--- 'a'\n...  # end\n",
             "StreamStart 0:0 0..0\n"
             "Directive 0:0 0..0\n"
             "DocumentStart 1:0 10..10\n"
             "Scalar 1:4 14..17\n"
             "DocumentEnd 2:0 18..18\n"
             "StreamEnd 3:0 29..29\n"},
        // A multi-line plain scalar ends after its last text character.
        Case{"a\n  b  \n",
             "StreamStart 0:0 0..0\n"
             "Scalar 0:0 0..5\n"
             "StreamEnd 2:0 8..8\n"},
        Case{"? >\n x\n: [a]",
             "StreamStart 0:0 0..0\n"
             "MappingStart 0:0 0..0\n"
             "MappingKey 0:0 0..0\n"
             "Scalar 0:2 2..7\n"
             "MappingValue 2:0 7..7\n"
             "SequenceStart 2:2 9..9\n"
             "Scalar 2:3 10..11\n"
             "SequenceEnd 2:4 11..11\n"
             "BlockEnd 2:5 12..12\n"
             "StreamEnd 2:5 12..12\n"},
        // Columns count characters: two-byte, four-byte, tabs; CR LF is one break.
        Case{"\xC3\xA9: \xF0\x9F\x98\x80 x\r\nb:\t1",
             "StreamStart 0:0 0..0\n"
             "MappingStart 0:0 0..0\n"
             "MappingKey 0:0 0..0\n"
             "Scalar 0:0 0..2\n"
             "MappingValue 0:1 2..2\n"
             "Scalar 0:3 4..10\n"
             "MappingKey 1:0 12..12\n"
             "Scalar 1:0 12..13\n"
             "MappingValue 1:1 13..13\n"
             "Scalar 1:3 15..16\n"
             "BlockEnd 1:4 16..16\n"
             "StreamEnd 1:4 16..16\n"},
        Case{"- a\r- b\r\n- c\n- d",
             "StreamStart 0:0 0..0\n"
             "SequenceStart 0:0 0..0\n"
             "BlockEntry 0:0 0..0\n"
             "Scalar 0:2 2..3\n"
             "BlockEntry 1:0 4..4\n"
             "Scalar 1:2 6..7\n"
             "BlockEntry 2:0 9..9\n"
             "Scalar 2:2 11..12\n"
             "BlockEntry 3:0 13..13\n"
             "Scalar 3:2 15..16\n"
             "BlockEnd 3:3 16..16\n"
             "StreamEnd 3:3 16..16\n"},
        // After a byte-order mark offsets count its three bytes, columns do not.
        Case{"\xEF\xBB\xBF",
             "StreamStart 0:0 3..3\n"
             "StreamEnd 0:0 3..3\n"},
        Case{"\xEF\xBB\xBF[a, {b: c}] # x\n",
             "StreamStart 0:0 3..3\n"
             "SequenceStart 0:0 3..3\n"
             "Scalar 0:1 4..5\n"
             "FlowEntry 0:2 5..5\n"
             "MappingStart 0:4 7..7\n"
             "MappingKey 0:5 8..8\n"
             "Scalar 0:5 8..9\n"
             "MappingValue 0:6 9..9\n"
             "Scalar 0:8 11..12\n"
             "MappingEnd 0:9 12..12\n"
             "SequenceEnd 0:10 13..13\n"
             "StreamEnd 1:0 19..19\n"},
        // A stream may repeat the mark at the start of any line before a
        // document: there it is no column and no text either.
        Case{"# c\n\xEF\xBB\xBFk: v",
             "StreamStart 0:0 0..0\n"
             "MappingStart 1:0 7..7\n"
             "MappingKey 1:0 7..7\n"
             "Scalar 1:0 7..8\n"
             "MappingValue 1:1 8..8\n"
             "Scalar 1:3 10..11\n"
             "BlockEnd 1:4 11..11\n"
             "StreamEnd 1:4 11..11\n"},
        Case{"a\n...\n\xEF\xBB\xBF\xEF\xBB\xBF--- b",
             "StreamStart 0:0 0..0\n"
             "Scalar 0:0 0..1\n"
             "DocumentEnd 1:0 2..2\n"
             "DocumentStart 2:0 12..12\n"
             "Scalar 2:4 16..17\n"
             "StreamEnd 2:5 17..17\n"}));

// Where a byte-order mark at the start of a line is text: after a
// document's first token; where it is none: before it.
class ByteOrderMarks : public ::testing::TestWithParam<Case> {};
TEST_P(ByteOrderMarks, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, ByteOrderMarks,
    ::testing::Values(
        Case{"# c\n\xEF\xBB\xBFversion: 1",
             "MappingStart(Block) MappingKey Scalar(version) MappingValue Scalar(1) BlockEnd"},
        Case{"# c\n\xEF\xBB\xBF# d\n\xEF\xBB\xBF\n a: 1\n b: 2",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) MappingKey Scalar(b) MappingValue "
             "Scalar(2) BlockEnd"},
        Case{"# c\n\xEF\xBB\xBF%YAML 1.2\n---", "Directive(YAML 1.2) DocumentStart"},
        Case{"a\n...\n\xEF\xBB\xBF---\nb", "Scalar(a) DocumentEnd DocumentStart Scalar(b)"},
        Case{"a\n\xEF\xBB\xBF---\nb", "Scalar(a \xEF\xBB\xBF--- b)"},
        Case{"a: 1\n---\n\xEF\xBB\xBF", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) BlockEnd "
                                          "DocumentStart Scalar(\xEF\xBB\xBF)"},
        Case{"k:\n  \xEF\xBB\xBFv", "MappingStart(Block) MappingKey Scalar(k) MappingValue Scalar(\xEF\xBB\xBFv) "
                                     "BlockEnd"},
        Case{"[a,\n\xEF\xBB\xBF" "b]", "SequenceStart(Flow) Scalar(a) FlowEntry Scalar(\xEF\xBB\xBF" "b) SequenceEnd"},
        Case{"\xEF\xBB\xBFx\xEF\xBB\xBF", "Scalar(x\xEF\xBB\xBF)"}));

class ErrorPosition : public ::testing::TestWithParam<Case> {};
TEST_P(ErrorPosition, CountsCharacters) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, ErrorPosition,
    ::testing::Values(
        Case{"\xC3\xA9: \"\\q\"", "error: unknown escape character: '\\q' @1:6"},
        Case{"\xF0\x9F\x98\x80\xF0\x9F\x98\x80: [a}", "error: mismatched flow collection: '}' cannot close a '[' @1:7"},
        Case{"a:\t\t[b} ", "error: mismatched flow collection: '}' cannot close a '[' @1:7"},
        Case{"\xEF\xBB\xBF]", "error: unexpected ']' with no open flow collection @1:1"},
        Case{"- a\r\n- b\r\n]", "error: unexpected ']' with no open flow collection @3:1"},
        Case{"- a\r\r]", "error: unexpected ']' with no open flow collection @3:1"}));

TEST(ScanError, SpanHasOffsetAndFileId) {
    Scanner s("\xEF\xBB\xBFk: \xC3\xA9\n]", 5);
    auto result = scanner::tokenize(s);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().span, (Span{5, 1, 0, 9}));
}

TEST(ScanTokens, FileIdIsCopied) {
    Scanner s("a: [b]", 3);
    auto result = scanner::tokenize(s);
    ASSERT_TRUE(result.ok());
    for (const Token& t : result.value()) EXPECT_EQ(t.span.file_id, 3u) << token_kind_name(t.kind);
}

// Comments as the scanner collects them: "text@line:column+offset".
std::vector<std::string> comments(std::string_view yaml) {
    Scanner s(yaml, 0, /*collect_comments=*/true);
    auto result = scanner::tokenize(s);
    std::vector<std::string> out;
    if (!result.ok()) out.push_back("error: " + result.error().message);
    for (const ScannedComment& c : s.comments())
        out.push_back(c.text + "@" + std::to_string(c.span.line) + ":" + std::to_string(c.span.column) + "+" +
                      std::to_string(c.span.offset));
    return out;
}

using Comments = std::vector<std::string>;

TEST(ScanComments, Text) {
    // The text as it stands after the "#", up to the line break: blanks
    // after the "#" and at the end stay, so it is written back as it was.
    EXPECT_EQ(comments("# x  \n#  x\n#\n#x\r\n# a\t\n"),
              (Comments{" x  @0:0+0", "  x@1:0+6", "@2:0+11", "x@3:0+13", " a\t@4:0+17"}));
    EXPECT_EQ(comments("# h\xC3\xA9llo\xE3\x80\x80\xC2\xA0\xE2\x80\x83 \n#\xC2\xA0x\xC2\xA0y"),
              (Comments{" h\xC3\xA9llo\xE3\x80\x80\xC2\xA0\xE2\x80\x83 @0:0+0", "\xC2\xA0x\xC2\xA0y@1:0+18"}));
    EXPECT_EQ(comments("#\t x"), (Comments{"\t x@0:0+0"}));
}

TEST(ScanComments, WhereTheyAre) {
    EXPECT_EQ(comments("# one\na: 1 # two\n  # three\nb: [c, # four\n  d] #five"),
              (Comments{" one@0:0+0", " two@1:5+11", " three@2:2+19", " four@3:7+34", "five@4:5+46"}));
    EXPECT_EQ(comments("\xC3\xA9 # c"), (Comments{" c@0:2+3"}));
    // Right after a byte-order mark a "#" is at the start of the text, or
    // of its line before a document.
    EXPECT_EQ(comments("\xEF\xBB\xBF# c\nk: v"), (Comments{" c@0:0+3"}));
    EXPECT_EQ(comments("# c\n\xEF\xBB\xBF# d\nk: v"), (Comments{" c@0:0+0", " d@1:0+7"}));
    // "#" glued to content is not a comment.
    EXPECT_EQ(comments("a#b: c#d"), (Comments{}));
    // Neither a block scalar's header comment nor "#" lines in its content
    // are collected.
    EXPECT_EQ(comments("| # header\n  # content\n# after"), (Comments{" after@2:0+23"}));
    EXPECT_EQ(comments("'# not': \"# either\""), (Comments{}));
}

TEST(ScanComments, CollectedOnlyWhenAsked) {
    Scanner s("# a\nb: c # d\n");
    ASSERT_TRUE(scanner::tokenize(s).ok());
    EXPECT_TRUE(s.comments().empty());
}

TEST(ScanComments, KeptAfterAFailedScan) {
    EXPECT_EQ(comments("# before\n]\n# after"),
              (Comments{"error: unexpected ']' with no open flow collection", " before@0:0+0"}));
}

}  // namespace
}  // namespace quillmere::testing
