// Block and flow structure, keys, indicators and document markers.
#include <gtest/gtest.h>

#include <string_view>

#include "support/token_text.h"

namespace quillmere::testing {
namespace {

struct Case {
    const char* input;
    const char* expected;
};

class Structure : public ::testing::TestWithParam<Case> {};

TEST_P(Structure, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Scanner, Structure,
    ::testing::Values(
        Case{"", ""},
        Case{"  \n\n# only a comment\n   # another\n", ""},
        Case{"key: value",
             "MappingStart(Block) MappingKey Scalar(key) MappingValue Scalar(value) BlockEnd"},
        Case{"&a key: 1",
             "MappingStart(Block) MappingKey Anchor(a) Scalar(key) MappingValue Scalar(1) BlockEnd"},
        Case{"{a: 1}", "MappingStart(Flow) MappingKey Scalar(a) MappingValue Scalar(1) MappingEnd"},
        Case{"{!t a: 1}", "MappingStart(Flow) Tag(!t) Scalar(a) MappingValue Scalar(1) MappingEnd"},
        Case{"key:\n- a\n- b",
             "MappingStart(Block) MappingKey Scalar(key) MappingValue BlockEntry Scalar(a) BlockEntry "
             "Scalar(b) BlockEnd"},
        Case{"- a\n -b", "SequenceStart(Block) BlockEntry Scalar(a -b) BlockEnd"},
        Case{"-a", "Scalar(-a)"},
        Case{"--- a: b", "error: a block collection cannot start on the same line as --- @1:6"},
        Case{"--- - a", "error: a block collection cannot start on the same line as --- @1:5"},
        Case{"--- ? a", "error: a block collection cannot start on the same line as --- @1:5"},
        Case{"--- a", "DocumentStart Scalar(a)"},
        Case{"--- |\n  x\n", "DocumentStart Scalar|(x\\n)"},
        Case{"- ---", "SequenceStart(Block) BlockEntry Scalar(---) BlockEnd"},
        Case{"key: ...",
             "MappingStart(Block) MappingKey Scalar(key) MappingValue Scalar(...) BlockEnd"},
        Case{"\ta: 1", "error: a tab cannot be used for indentation @1:1"},
        Case{"\t# comment", "error: a tab cannot be used for indentation @1:1"},
        Case{"\t[a]", "SequenceStart(Flow) Scalar(a) SequenceEnd"},
        Case{"\t\n", ""},
        Case{" \ta: 1", "error: a tab cannot be used for indentation @1:2"},
        Case{"\t\n\ta", "error: a tab cannot be used for indentation @2:1"},
        Case{"\t[a]\n \t\tb", "error: a tab cannot be used for indentation @2:2"},
        Case{"a:\n\t- b", "error: a tab cannot be used for indentation @2:1"},
        Case{"- a\n \t\n- b", "SequenceStart(Block) BlockEntry Scalar(a) BlockEntry Scalar(b) BlockEnd"},
        Case{"a: \tb", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) BlockEnd"},
        Case{"[\ta,\tb]", "SequenceStart(Flow) Scalar(a) FlowEntry Scalar(b) SequenceEnd"},
        Case{"a#b", "Scalar(a#b)"},
        Case{"a #b", "Scalar(a)"},
        Case{"key: [\n  a,\n]",
             "error: flow content must be indented more than its block context @3:1"},
        Case{"[\na\n]", "SequenceStart(Flow) Scalar(a) SequenceEnd"},
        Case{"a: b: c",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) MappingStart(Block) "
             "MappingValue Scalar(c) BlockEnd BlockEnd"},
        Case{"... x", "error: unexpected content after document-end marker (...) @1:1"},
        Case{"... # note", "DocumentEnd"},
        Case{"%YAML 1.2 # note", "Directive(YAML 1.2 # note)"},
        // Flow collections.
        Case{"[a, b]: c",
             "MappingStart(Block) MappingKey SequenceStart(Flow) Scalar(a) FlowEntry Scalar(b) SequenceEnd "
             "MappingValue Scalar(c) BlockEnd"},
        Case{"[a\n, b]: c", "error: a multiline flow collection cannot be an implicit mapping key @2:4"},
        Case{"[a}", "error: mismatched flow collection: '}' cannot close a '[' @1:3"},
        Case{"]", "error: unexpected ']' with no open flow collection @1:1"},
        Case{"{a]", "error: mismatched flow collection: ']' cannot close a '{' @1:3"},
        Case{"}", "error: unexpected '}' with no open flow collection @1:1"},
        Case{"{a: [b", "error: unclosed flow collection at end of input @1:7"},
        Case{"[a]#c", "error: a comment must be preceded by whitespace @1:4"},
        Case{"\"a\"#c", "error: a comment must be preceded by whitespace @1:4"},
        Case{"[a] b", "error: unexpected content after flow collection @1:4"},
        Case{"[a] # c", "SequenceStart(Flow) Scalar(a) SequenceEnd"},
        Case{"[a]: b",
             "MappingStart(Block) MappingKey SequenceStart(Flow) Scalar(a) SequenceEnd MappingValue "
             "Scalar(b) BlockEnd"},
        Case{"[a", "error: unclosed flow collection at end of input @1:3"},
        Case{"[a b]", "SequenceStart(Flow) Scalar(a b) SequenceEnd"},
        Case{"[a, , b]", "error: empty flow entry (stray ',') @1:5"},
        Case{"[- ]", "error: a plain scalar cannot be a bare '-' here @1:2"},
        Case{"[\"a\" b]", "error: missing ',' between flow collection entries @1:6"},
        Case{"[*a b]", "error: missing ',' between flow collection entries @1:5"},
        Case{"[[a] b]", "error: missing ',' between flow collection entries @1:6"},
        Case{"[\"a\"\n: b]", "error: the implicit key of a flow sequence pair must be on one line @2:1"},
        Case{"[[a]\n: b]", "error: the implicit key of a flow sequence pair must be on one line @2:1"},
        Case{"[a\n: b]", "error: the implicit key of a flow sequence pair must be on one line @1:2"},
        Case{"[a, ]", "SequenceStart(Flow) Scalar(a) FlowEntry SequenceEnd"},
        Case{"[a: b]", "SequenceStart(Flow) MappingKey Scalar(a) MappingValue Scalar(b) SequenceEnd"},
        Case{"{\"a\":b}", "MappingStart(Flow) Scalar\"(a) MappingValue Scalar(b) MappingEnd"},
        Case{"{a:b}", "MappingStart(Flow) Scalar(a:b) MappingEnd"},
        Case{"[a:[b]]", "SequenceStart(Flow) MappingKey Scalar(a) MappingValue SequenceStart(Flow) Scalar(b) SequenceEnd SequenceEnd"},
        Case{"[\n---\n]", "error: a document marker is not allowed inside a flow collection @2:1"},
        Case{"[a,#c\n]", "error: a comment must be preceded by whitespace @1:4"},
        Case{"@x", "error: '@' is a reserved indicator and cannot start a plain scalar @1:1"},
        Case{"[`x]", "error: '`' is a reserved indicator and cannot start a plain scalar @1:2"},
        Case{", x", "error: a plain scalar cannot start with ',' @1:1"},
        // Properties.
        Case{"key:\n&a value", "error: a node property must be indented past its mapping key @2:1"},
        Case{"key:\n  &a value",
             "MappingStart(Block) MappingKey Scalar(key) MappingValue Anchor(a) Scalar(value) BlockEnd"},
        Case{"key: &a value",
             "MappingStart(Block) MappingKey Scalar(key) MappingValue Anchor(a) Scalar(value) BlockEnd"},
        Case{"* x", "error: expected alias name @1:1"},
        Case{"& x", "error: expected anchor name @1:1"},
        Case{"[*a,b]", "SequenceStart(Flow) Alias(a) FlowEntry Scalar(b) SequenceEnd"},
        Case{"!", "Tag(!)"},
        Case{"!foo x", "Tag(!foo) Scalar(x)"},
        Case{"!!str x", "Tag(!!str) Scalar(x)"},
        Case{"!e!tag x", "Tag(!e!tag) Scalar(x)"},
        Case{"!<tag:x> y", "Tag(!<tag:x>) Scalar(y)"},
        Case{"!<x", "error: unterminated verbatim tag @1:1"},
        Case{"!<x y> z", "error: unterminated verbatim tag @1:1"},
        Case{"!<x\ny>", "error: unterminated verbatim tag @1:1"},
        Case{"a: !<x\ty> z", "error: unterminated verbatim tag @1:4"},
        Case{"!a{b x", "Tag(!a{b) Scalar(x)"},
        Case{"!a[b] x", "error: unexpected ']' with no open flow collection @1:5"},
        // Block sequences and mappings.
        Case{"- a\n- b", "SequenceStart(Block) BlockEntry Scalar(a) BlockEntry Scalar(b) BlockEnd"},
        Case{"- - a\n  - b\n- c",
             "SequenceStart(Block) BlockEntry SequenceStart(Block) BlockEntry Scalar(a) BlockEntry Scalar(b) "
             "BlockEnd BlockEntry Scalar(c) BlockEnd"},
        Case{"a: - b", "error: a block sequence cannot start on the same line as its mapping key @1:4"},
        Case{"- - a\n  - b\n - c", "error: a sequence entry is indented past its sequence @3:2"},
        Case{"&a - b", "error: a block sequence entry cannot follow an anchor or tag on the same line @1:4"},
        Case{"a:\n  - b\n   - c", "MappingStart(Block) MappingKey Scalar(a) MappingValue SequenceStart(Block) "
                                  "BlockEntry Scalar(b - c) BlockEnd BlockEnd"},
        Case{"- a\n  - b", "SequenceStart(Block) BlockEntry Scalar(a - b) BlockEnd"},
        Case{"a:\n  b: 1\n c: 2",
             "error: a line indented past its block collection must continue the node above it @3:2"},
        Case{"? a\n: b",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) BlockEnd"},
        // Compact mappings after an explicit key or value indicator.
        Case{"? a: b",
             "MappingStart(Block) MappingKey MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) "
             "BlockEnd BlockEnd"},
        Case{"? a\n: moon: white",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue MappingStart(Block) MappingKey Scalar(moon) "
             "MappingValue Scalar(white) BlockEnd BlockEnd"},
        Case{": moon: white",
             "MappingStart(Block) MappingValue MappingStart(Block) MappingKey Scalar(moon) MappingValue Scalar(white) "
             "BlockEnd BlockEnd"},
        // A key saved before a block scalar does not survive it.
        Case{"- !t |\n  x\n- [k]: v",
             "SequenceStart(Block) BlockEntry Tag(!t) Scalar|(x\\n) BlockEntry MappingStart(Block) MappingKey "
             "SequenceStart(Flow) Scalar(k) SequenceEnd MappingValue Scalar(v) BlockEnd BlockEnd"},
        Case{"- &x |\n  x\n- [k]: v",
             "SequenceStart(Block) BlockEntry Anchor(x) Scalar|(x\\n) BlockEntry MappingStart(Block) MappingKey "
             "SequenceStart(Flow) Scalar(k) SequenceEnd MappingValue Scalar(v) BlockEnd BlockEnd"},
        Case{"- *a |\n  x\n- [k]: v",
             "SequenceStart(Block) BlockEntry Alias(a) Scalar|(x\\n) BlockEntry MappingStart(Block) MappingKey "
             "SequenceStart(Flow) Scalar(k) SequenceEnd MappingValue Scalar(v) BlockEnd BlockEnd"},
        Case{"- !t >\n  x\n- {k: 1}: v",
             "SequenceStart(Block) BlockEntry Tag(!t) Scalar>(x\\n) BlockEntry MappingStart(Block) MappingKey "
             "MappingStart(Flow) MappingKey Scalar(k) MappingValue Scalar(1) MappingEnd MappingValue Scalar(v) "
             "BlockEnd BlockEnd"},
        // Nor does a key saved before "?": the ":" after it is the
        // explicit key's.
        Case{"!t ? : x", "Tag(!t) MappingStart(Block) MappingKey MappingStart(Block) MappingValue Scalar(x) BlockEnd "
                         "BlockEnd"},
        Case{"a: 1\n&x ? b\n: c", "error: expected ':' after mapping key @2:1"},
        Case{"\"a\": b",
             "MappingStart(Block) MappingKey Scalar\"(a) MappingValue Scalar(b) BlockEnd"},
        Case{"\"a\" b", "error: unexpected content after quoted scalar @1:4"},
        Case{"a\nb: c", "error: an implicit mapping key cannot span multiple lines @1:1"},
        Case{"%TAG ! x\n--- a", "Directive(TAG ! x) DocumentStart Scalar(a)"}));

// A character outside YAML's printable set is refused where it stands,
// before any token and wherever it is (a tag, a key, a comment, a quoted
// scalar): written back raw, a NUL in a tag would make the text unreadable.
// NEL, U+FEFF and the characters around the refused ranges are printable.
TEST(Structure, NonPrintableCharacters) {
    using namespace std::string_view_literals;
    struct Refused {
        std::string_view text;
        std::string_view expected;
    };
    const Refused refused[] = {
        {"a: !\0t x"sv, "error: the non-printable character U+0000 is not allowed in YAML @1:5"},
        {"!<!\0> x"sv, "error: the non-printable character U+0000 is not allowed in YAML @1:4"},
        {"a: !t\x01 x", "error: the non-printable character U+0001 is not allowed in YAML @1:6"},
        {"- !<x\x7Fy> z", "error: the non-printable character U+007F is not allowed in YAML @1:6"},
        {"[!\xC3\xA9\x1B]", "error: the non-printable character U+001B is not allowed in YAML @1:4"},
        {"a: x\0y"sv, "error: the non-printable character U+0000 is not allowed in YAML @1:5"},
        {"&a\0b x"sv, "error: the non-printable character U+0000 is not allowed in YAML @1:3"},
        {"# c\x08\na: 1", "error: the non-printable character U+0008 is not allowed in YAML @1:4"},
        {"a: 1\r\nb: 'x\x1F'", "error: the non-printable character U+001F is not allowed in YAML @2:6"},
        {"a: |\n  \xC3\xA9\xC2\x80", "error: the non-printable character U+0080 is not allowed in YAML @2:4"},
        {"\xEF\xBB\xBF" "a: \xC2\x9F", "error: the non-printable character U+009F is not allowed in YAML @1:4"},
        {"a: \"\xEF\xBF\xBE\"", "error: the non-printable character U+FFFE is not allowed in YAML @1:5"},
        {"- ---------------- \xEF\xBF\xBF", "error: the non-printable character U+FFFF is not allowed in YAML @1:20"},
        // An error further on is not reported first.
        {"]\n\x7F", "error: the non-printable character U+007F is not allowed in YAML @2:1"},
    };
    for (const auto& [text, expected] : refused) EXPECT_EQ(scan_to_text(text), expected) << text;
    EXPECT_EQ(scan_to_text("a\xC2\x85" "b \xC2\xA0\xEF\xBB\xBF\xEF\xBF\xBD\xEE\x80\x80\xF0\x9F\x98\x80\t~"),
              "Scalar(a\xC2\x85" "b \xC2\xA0\xEF\xBB\xBF\xEF\xBF\xBD\xEE\x80\x80\xF0\x9F\x98\x80\\t~)");
}

}  // namespace
}  // namespace quillmere::testing
