// Scalar bodies: plain, single- and double-quoted, literal and folded, and
// the errors of each with their positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/token_text.h"

namespace quillmere::testing {
namespace {

struct Case {
    const char* input;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.input)); }

// The texts of the Scalar tokens of `yaml`, byte for byte (NUL included).
std::vector<std::string> scalar_texts(std::string_view yaml) {
    scanner::Scanner s(yaml);
    auto result = scanner::tokenize(s);
    if (!result.ok()) return {"error: " + result.error().message};
    std::vector<std::string> texts;
    for (const Token& t : result.value())
        if (t.kind == TokenKind::Scalar) texts.emplace_back(t.text);
    return texts;
}

class PlainScalar : public ::testing::TestWithParam<Case> {};
TEST_P(PlainScalar, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, PlainScalar,
    ::testing::Values(
        // Where a line of a plain scalar stops.
        Case{"a b  # c", "Scalar(a b)"},
        Case{"a#b", "Scalar(a#b)"},
        Case{"a:b", "Scalar(a:b)"},
        Case{"a :b", "Scalar(a :b)"},
        Case{"a,b [c] {d}", "Scalar(a,b [c] {d})"},
        Case{"[a:b]", "SequenceStart(Flow) Scalar(a:b) SequenceEnd"},
        Case{"[a:[b]]",
             "SequenceStart(Flow) MappingKey Scalar(a) MappingValue SequenceStart(Flow) Scalar(b) SequenceEnd "
             "SequenceEnd"},
        Case{"[a:,b]", "SequenceStart(Flow) MappingKey Scalar(a) MappingValue FlowEntry Scalar(b) SequenceEnd"},
        Case{"[a,b]", "SequenceStart(Flow) Scalar(a) FlowEntry Scalar(b) SequenceEnd"},
        // A ":" that follows no node starts a plain scalar, also after an
        // earlier collection has closed; right after a node it is a value.
        Case{"[:v]", "SequenceStart(Flow) Scalar(:v) SequenceEnd"},
        Case{"- []\n- [:v]",
             "SequenceStart(Block) BlockEntry SequenceStart(Flow) SequenceEnd BlockEntry SequenceStart(Flow) "
             "Scalar(:v) SequenceEnd BlockEnd"},
        Case{"a: {}\nb: [::x]",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue MappingStart(Flow) MappingEnd MappingKey "
             "Scalar(b) MappingValue SequenceStart(Flow) Scalar(::x) SequenceEnd BlockEnd"},
        Case{"[[]\n, {:v}]",
             "SequenceStart(Flow) SequenceStart(Flow) SequenceEnd FlowEntry MappingStart(Flow) Scalar(:v) MappingEnd "
             "SequenceEnd"},
        Case{"[{}:v]", "SequenceStart(Flow) MappingStart(Flow) MappingEnd MappingValue Scalar(v) SequenceEnd"},
        Case{"{a: b}", "MappingStart(Flow) MappingKey Scalar(a) MappingValue Scalar(b) MappingEnd"},
        Case{"[a{b]", "error: missing ',' between flow collection entries @1:3"},
        Case{"\xC3\xA9: \xC3\xBC",
             "MappingStart(Block) MappingKey Scalar(\xC3\xA9) MappingValue Scalar(\xC3\xBC) BlockEnd"},
        // Held-back blanks are kept only between text characters.
        Case{"a   ", "Scalar(a)"},
        Case{"a \t b", "Scalar(a \\t b)"},
        Case{"a  \t\n  b", "Scalar(a b)"},
        Case{"a\n  b   \n", "Scalar(a b)"},
        Case{"a b\t#c", "Scalar(a b)"},
        Case{"a  b \t: c", "MappingStart(Block) MappingKey Scalar(a  b) MappingValue Scalar(c) BlockEnd"},
        Case{"a \xC3\xA9  b \xC3\xA9 \n", "Scalar(a \xC3\xA9  b \xC3\xA9)"},
        Case{"[a b , c ]", "SequenceStart(Flow) Scalar(a b) FlowEntry Scalar(c) SequenceEnd"},
        // Folding over lines.
        Case{"a\n  b", "Scalar(a b)"},
        Case{"a\n\nb", "Scalar(a\\nb)"},
        Case{"a\n\n\n  b", "Scalar(a\\n\\nb)"},
        Case{"a\r\n\r\n b\rc", "Scalar(a\\nb c)"},
        Case{"a: b\n  c\n  d", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b c d) BlockEnd"},
        Case{"[a\n b]", "SequenceStart(Flow) Scalar(a b) SequenceEnd"},
        Case{"a\n---b", "Scalar(a ---b)"},
        Case{"[a\n---\n]", "SequenceStart(Flow) Scalar(a ---) SequenceEnd"},
        // What ends a scalar at the start of the next line.
        Case{"key: a\n- b", "MappingStart(Block) MappingKey Scalar(key) MappingValue Scalar(a) BlockEntry Scalar(b) "
                            "BlockEnd"},
        Case{"key: a\n  - b", "MappingStart(Block) MappingKey Scalar(key) MappingValue Scalar(a - b) BlockEnd"},
        Case{"- a\n-b", "SequenceStart(Block) BlockEntry Scalar(a) BlockEnd Scalar(-b)"},
        Case{"a\n---", "Scalar(a) DocumentStart"},
        Case{"a\n...", "Scalar(a) DocumentEnd"},
        Case{"a\n # c\n b", "Scalar(a) Scalar(b)"},
        Case{"a\n ? b", "Scalar(a) MappingStart(Block) MappingKey Scalar(b) BlockEnd"},
        Case{"[a\n[b]]", "error: missing ',' between flow collection entries @2:1"},
        // Keys.
        Case{"a\nb: c", "error: an implicit mapping key cannot span multiple lines @1:1"},
        Case{"a:\n  b\nc: d", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) MappingKey Scalar(c) "
                              "MappingValue Scalar(d) BlockEnd"},
        Case{"[a\n: b]", "error: the implicit key of a flow sequence pair must be on one line @1:2"},
        Case{"{a\n: b}", "MappingStart(Flow) MappingKey Scalar(a) MappingValue Scalar(b) MappingEnd"},
        Case{"[&x a\nb: c]", "error: missing ',' between flow collection entries @1:5"},
        Case{"[? a\nb: c]", "SequenceStart(Flow) MappingKey Scalar(a b) MappingValue Scalar(c) SequenceEnd"}));

class QuotedScalar : public ::testing::TestWithParam<Case> {};
TEST_P(QuotedScalar, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, QuotedScalar,
    ::testing::Values(
        Case{"''", "Scalar'()"},
        Case{"\"\"", "Scalar\"()"},
        Case{"'it''s'", "Scalar'(it's)"},
        Case{"'a\\b # c'", "Scalar'(a\\\\b # c)"},
        Case{"'a\n  b'", "Scalar'(a b)"},
        Case{"'a\n\n  b'", "Scalar'(a\\nb)"},
        Case{"'a\n\n\n b'", "Scalar'(a\\n\\nb)"},
        Case{"'a  \n  b'", "Scalar'(a b)"},
        Case{"\"a\nb\"", "Scalar\"(a b)"},
        Case{"\"a \t\n\t b\"", "Scalar\"(a b)"},
        Case{"\"a\r\n\r\n b\"", "Scalar\"(a\\nb)"},
        // An escaped line break joins without a space; empty lines after it
        // are line feeds.
        Case{"\"a\\\n   b\"", "Scalar\"(ab)"},
        Case{"\"a\\\r\n b\"", "Scalar\"(ab)"},
        Case{"\"a\\\n\n  b\"", "Scalar\"(a\\nb)"},
        // Tabs at the start of the next line are indentation too, and a line
        // of spaces and tabs is an empty line.
        Case{"\"a\\\n\t b\"", "Scalar\"(ab)"},
        Case{"\"a\\\n \t\n\tb\"", "Scalar\"(a\\nb)"},
        // A fold strips the literal blanks before the break, never escaped
        // ones.
        Case{"\"a \\t\n b\"", "Scalar\"(a \\t b)"},
        Case{"\"a\\t\nb\"", "Scalar\"(a\\t b)"},
        Case{"\"a\\\t\n b\"", "Scalar\"(a\\t b)"},
        Case{"\"a\\ \nb\"", "Scalar\"(a  b)"},
        Case{"\"a\\ \t \n b\"", "Scalar\"(a  b)"},
        Case{"\"a\\t \n b\\t\t\n c\"", "Scalar\"(a\\t b\\t c)"},
        // Keys and what may follow a quoted scalar.
        Case{"\"a\": b", "MappingStart(Block) MappingKey Scalar\"(a) MappingValue Scalar(b) BlockEnd"},
        Case{"'a'  : b", "MappingStart(Block) MappingKey Scalar'(a) MappingValue Scalar(b) BlockEnd"},
        Case{"\"a\"\n: b", "Scalar\"(a) MappingStart(Block) MappingValue Scalar(b) BlockEnd"},
        Case{"\"a\" # c", "Scalar\"(a)"},
        Case{"{\"a\":b}", "MappingStart(Flow) Scalar\"(a) MappingValue Scalar(b) MappingEnd"},
        Case{"{\"a\nb\": c}", "MappingStart(Flow) MappingKey Scalar\"(a b) MappingValue Scalar(c) MappingEnd"},
        Case{"a: \"x\n  y\"", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar\"(x y) BlockEnd"}));

struct Escape {
    const char* escape;  // the text between the quotes
    std::string expected;
};

void PrintTo(const Escape& e, std::ostream* os) { *os << ::testing::PrintToString(std::string(e.escape)); }

class DoubleQuotedEscape : public ::testing::TestWithParam<Escape> {};
TEST_P(DoubleQuotedEscape, Appends) {
    const std::string yaml = std::string("\"<") + GetParam().escape + ">\"";
    EXPECT_EQ(scalar_texts(yaml), std::vector<std::string>{"<" + GetParam().expected + ">"});
}

INSTANTIATE_TEST_SUITE_P(
    Scanner, DoubleQuotedEscape,
    ::testing::Values(
        Escape{"\\0", std::string(1, '\0')}, Escape{"\\a", "\a"}, Escape{"\\b", "\b"}, Escape{"\\t", "\t"},
        Escape{"\\\t", "\t"}, Escape{"\\n", "\n"}, Escape{"\\v", "\v"}, Escape{"\\f", "\f"}, Escape{"\\r", "\r"},
        Escape{"\\e", "\x1B"}, Escape{"\\ ", " "}, Escape{"\\\"", "\""}, Escape{"\\/", "/"}, Escape{"\\\\", "\\"},
        Escape{"\\N", "\xC2\x85"}, Escape{"\\_", "\xC2\xA0"}, Escape{"\\L", "\xE2\x80\xA8"},
        Escape{"\\P", "\xE2\x80\xA9"},
        // Hexadecimal escapes, at the edges of each UTF-8 length.
        Escape{"\\x41\\u00e9\\U0001F600", "A\xC3\xA9\xF0\x9F\x98\x80"}, Escape{"\\x00", std::string(1, '\0')},
        Escape{"\\x7F", "\x7F"}, Escape{"\\x80", "\xC2\x80"}, Escape{"\\u07fF", "\xDF\xBF"},
        Escape{"\\u0800", "\xE0\xA0\x80"}, Escape{"\\uD7FF", "\xED\x9F\xBF"}, Escape{"\\uE000", "\xEE\x80\x80"},
        Escape{"\\uFFFF", "\xEF\xBF\xBF"}, Escape{"\\U00010000", "\xF0\x90\x80\x80"},
        Escape{"\\U0010FFFF", "\xF4\x8F\xBF\xBF"}, Escape{"\\x410", "A0"},
        // A high and a low surrogate escape, one after the other, are one
        // character.
        Escape{"\\ud83d\\ude00", "\xF0\x9F\x98\x80"}, Escape{"\\uD800\\uDC00", "\xF0\x90\x80\x80"},
        Escape{"\\uDBFF\\uDFFF", "\xF4\x8F\xBF\xBF"},
        Escape{"\\ud83d\\ude00\\ud83d\\ude01", "\xF0\x9F\x98\x80\xF0\x9F\x98\x81"}));

class BlockScalar : public ::testing::TestWithParam<Case> {};
TEST_P(BlockScalar, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, BlockScalar,
    ::testing::Values(
        // Literal and folded joins.
        Case{"|\n  a\n  b", "Scalar|(a\\nb)"},
        Case{">\n  a\n  b", "Scalar>(a b)"},
        Case{">\n  a\n\n  b", "Scalar>(a\\nb)"},
        Case{">\n  a\n    b\n  c", "Scalar>(a\\n  b\\nc)"},
        Case{">\n  a\n\n    b\n  c", "Scalar>(a\\n\\n  b\\nc)"},
        Case{">\n  a\n  \tb\n  c", "Scalar>(a\\n\\tb\\nc)"},
        Case{">\n\n  a", "Scalar>(\\na)"},
        Case{"|\n  a\tb\n  # not a comment\n", "Scalar|(a\\tb\\n# not a comment\\n)"},
        Case{">\r\n  a\r\n  b\r\n", "Scalar>(a b\\n)"},
        Case{"|\r  a\r\r  b\r", "Scalar|(a\\n\\nb\\n)"},
        // Indentation: detected from the first content line, or explicit
        // relative to the enclosing block level.
        Case{"|\n    a\n  b", "Scalar|(a\\n) Scalar(b)"},
        Case{"|2\n   a", "Scalar|( a)"},
        Case{"- |1\n  a", "SequenceStart(Block) BlockEntry Scalar|( a) BlockEnd"},
        Case{"a:\n  b: |2\n      x",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue MappingStart(Block) MappingKey Scalar(b) "
             "MappingValue Scalar|(  x) BlockEnd BlockEnd"},
        Case{"|\n\n  \n  a", "Scalar|(\\n\\na)"},
        Case{"--- |\nfoo\n---\nbar", "DocumentStart Scalar|(foo\\n) DocumentStart Scalar(bar)"},
        Case{"a: |\n  x\nb: 1",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar|(x\\n) MappingKey Scalar(b) MappingValue "
             "Scalar(1) BlockEnd"},
        // Chomping. Clip keeps the final line break only where the text
        // has one: a last line cut off by the end of the input has none.
        Case{"|-\n  a\n", "Scalar|(a)"},
        Case{"|+\n  a\n\n", "Scalar|(a\\n\\n)"},
        Case{"|\n  a", "Scalar|(a)"},
        Case{"|\n  a\n", "Scalar|(a\\n)"},
        Case{">\n  a", "Scalar>(a)"},
        Case{">\n  a\n", "Scalar>(a\\n)"},
        Case{"|\n  a\n  ", "Scalar|(a\\n)"},
        Case{"|\n  a\n   ", "Scalar|(a\\n )"},
        Case{"a: |\n  x", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar|(x) BlockEnd"},
        Case{"- >\n  x", "SequenceStart(Block) BlockEntry Scalar>(x) BlockEnd"},
        Case{"- |\n  x\n- y", "SequenceStart(Block) BlockEntry Scalar|(x\\n) BlockEntry Scalar(y) BlockEnd"},
        Case{"|+\n  a", "Scalar|(a)"},
        Case{"|-\n  a", "Scalar|(a)"},
        Case{"|-\n  a\n\n\n", "Scalar|(a)"},
        Case{"|\n  a\n\n\n", "Scalar|(a\\n)"},
        Case{"|+\n  a\n\n\n", "Scalar|(a\\n\\n\\n)"},
        Case{">-\n  a\n  b\n\n", "Scalar>(a b)"},
        Case{"|\n", "Scalar|()"},
        Case{"|", "Scalar|()"},
        Case{"|+\n\n", "Scalar|(\\n)"},
        // Header: indicators in either order, the last one winning, and a
        // comment after a blank.
        Case{"|-2\n   a\n", "Scalar|( a)"},
        Case{"|2-\n   a\n", "Scalar|( a)"},
        Case{">+1\n a\n\n", "Scalar>(a\\n\\n)"},
        Case{"|+-\n  a\n\n", "Scalar|(a)"},
        Case{"| #c\n  a", "Scalar|(a)"},
        Case{"|\t# c\n  a", "Scalar|(a)"},
        // Lines of spaces that no content line follows are empty lines.
        Case{"a: |\n  \nb: 1",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar|() MappingKey Scalar(b) MappingValue "
             "Scalar(1) BlockEnd"},
        Case{"a: |+\n    \n  \nb: 1",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar|(\\n\\n) MappingKey Scalar(b) "
             "MappingValue Scalar(1) BlockEnd"},
        Case{"- |+\n\n\n", "SequenceStart(Block) BlockEntry Scalar|(\\n\\n) BlockEnd"},
        Case{"- |+\n   \n", "SequenceStart(Block) BlockEntry Scalar|(\\n) BlockEnd"},
        Case{"- |+\n   ", "SequenceStart(Block) BlockEntry Scalar|(\\n) BlockEnd"},
        // Errors.
        Case{"|0", "error: unexpected content after block scalar indicator @1:2"},
        Case{"|x", "error: unexpected content after block scalar indicator @1:2"},
        Case{"a: >- x", "error: unexpected content after block scalar indicator @1:7"},
        Case{"|#c", "error: a comment must be preceded by whitespace @1:2"},
        Case{"|-#c", "error: a comment must be preceded by whitespace @1:3"},
        Case{"|\n\n   \n  a", "error: a leading empty line in a block scalar is indented more than the content @1:1"},
        Case{"a: >\n     \n   x",
             "error: a leading empty line in a block scalar is indented more than the content @1:4"}));

class ScalarError : public ::testing::TestWithParam<Case> {};
TEST_P(ScalarError, MessageAndPosition) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Scanner, ScalarError,
    ::testing::Values(
        Case{"\"a\nb\": c", "error: an implicit mapping key cannot span multiple lines @1:1"},
        Case{"'a", "error: unterminated single-quoted scalar @1:1"},
        Case{"x: \"a\n\n", "error: unterminated double-quoted scalar @1:4"},
        Case{"'a\n---\n'", "error: a document marker cannot appear inside a quoted scalar @1:1"},
        Case{"--- \"a\n...\n\"", "error: a document marker cannot appear inside a quoted scalar @1:5"},
        Case{"a: \"x\ny\"", "error: a multi-line quoted scalar must be indented past its block context @2:1"},
        Case{"a: 'x\n\n y'\nb:\n  - 'p\n  q'",
             "error: a multi-line quoted scalar must be indented past its block context @6:3"},
        Case{"\"\\q\"", "error: unknown escape character: '\\q' @1:3"},
        Case{"\"\xC3\xA9\\\xC3\xA8\"", "error: unknown escape character: '\\\xC3\xA8' @1:4"},
        Case{"\"\\'\"", "error: unknown escape character: '\\'' @1:3"},
        Case{"\"a\\", "error: unterminated escape sequence @1:1"},
        Case{"\"\\x4g\"", "error: invalid hex digit in unicode escape: 'g' @1:5"},
        Case{"k: \"\\u\xC3\xA9\"", "error: invalid hex digit in unicode escape: '\xC3\xA9' @1:7"},
        Case{"\"\\U0000004\"", "error: invalid hex digit in unicode escape: '\"' @1:11"},
        Case{"\"\\u00", "error: incomplete unicode escape @1:1"},
        Case{"\"\\ud800\"", "error: invalid unicode code point: U+D800 @1:1"},
        Case{"\"\\uDFFF\"", "error: invalid unicode code point: U+DFFF @1:1"},
        Case{"\"\\ude00\\ud83d\"", "error: invalid unicode code point: U+DE00 @1:1"},
        Case{"k: \"\\ud83d\\u0041\"", "error: invalid unicode code point: U+D83D @1:4"},
        Case{"\"\\ud83d\\ud83d\"", "error: invalid unicode code point: U+D83D @1:1"},
        Case{"\"\\ud83d \\ude00\"", "error: invalid unicode code point: U+D83D @1:1"},
        Case{"\"\\ud83d\\U0000DE00\"", "error: invalid unicode code point: U+D83D @1:1"},
        Case{"\"\\ud83d\\ude0\"", "error: invalid hex digit in unicode escape: '\"' @1:13"},
        Case{"\"\\U00110000\"", "error: invalid unicode code point: U+110000 @1:1"},
        Case{"\"\\UFFFFFFFF\"", "error: invalid unicode code point: U+FFFFFFFF @1:1"},
        Case{"\"a\" b", "error: unexpected content after quoted scalar @1:4"},
        Case{"'a'b", "error: unexpected content after quoted scalar @1:4"}));

}  // namespace
}  // namespace quillmere::testing
