// Indentation that YAML forbids: lines between block levels, nodes at their
// mapping key's column, tabs used as indentation, and flow collection lines
// not indented past their block context. Each table puts the errors, with
// their message and position, next to the valid forms closest to them.
#include <gtest/gtest.h>

#include <string>

#include "support/token_text.h"

namespace quillmere::testing {
namespace {

struct Case {
    const char* input;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.input)); }

class Indentation : public ::testing::TestWithParam<Case> {};
TEST_P(Indentation, Tokens) { EXPECT_EQ(scan_to_text(GetParam().input), GetParam().expected); }

// Block structure: a line at a block mapping's column begins an entry; a
// line indented past the innermost level continues its pending node.
INSTANTIATE_TEST_SUITE_P(
    Block, Indentation,
    ::testing::Values(
        // Less indented than the mapping or sequence above, more than the
        // enclosing one; or indented past a node that is complete.
        Case{"- a: 1\n b: 2\n", "error: a line indented past its block collection must continue the node above it @2:2"},
        Case{"- [a]\n b: 2", "error: a line indented past its block collection must continue the node above it @2:2"},
        Case{"- a: 1\n b", "error: a line indented past its block collection must continue the node above it @2:2"},
        Case{"- - a\n b: 1", "error: a line indented past its block collection must continue the node above it @2:2"},
        Case{"- |\n  x\n b: 1", "error: a line indented past its block collection must continue the node above it @3:2"},
        Case{"a: 'x'\n  b", "error: a line indented past its block collection must continue the node above it @2:3"},
        Case{"a: *x\n  b: 1", "error: a line indented past its block collection must continue the node above it @2:3"},
        Case{"a: b # c\n  d", "error: a line indented past its block collection must continue the node above it @2:3"},
        Case{"a:\n  - b\n  c: 1",
             "error: a line indented past its block collection must continue the node above it @3:3"},
        Case{"- 'a'\n  - b", "error: a sequence entry is indented past its sequence @2:3"},
        Case{"- a: 1\n  b: 2",
             "SequenceStart(Block) BlockEntry MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) "
             "MappingKey Scalar(b) MappingValue Scalar(2) BlockEnd BlockEnd"},
        Case{"- &x\n  b: 1",
             "SequenceStart(Block) BlockEntry Anchor(x) MappingStart(Block) MappingKey Scalar(b) MappingValue "
             "Scalar(1) BlockEnd BlockEnd"},
        Case{"a: !t\n  b: 1",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Tag(!t) MappingStart(Block) MappingKey "
             "Scalar(b) MappingValue Scalar(1) BlockEnd BlockEnd"},
        // At a block mapping's column with no ':' after it.
        Case{"a: 1\n[x]\n", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\n{x: y}\n", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\nx\n", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\n&x b\n", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\n*x", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\n&x\nb: 2", "error: expected ':' after mapping key @2:1"},
        Case{"a: 1\n[x]: 2",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) MappingKey SequenceStart(Flow) "
             "Scalar(x) SequenceEnd MappingValue Scalar(2) BlockEnd"},
        Case{"a: 1\n&x b: 2",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) MappingKey Anchor(x) Scalar(b) "
             "MappingValue Scalar(2) BlockEnd"},
        // A mapping value at its key's own column.
        Case{"description:\nThis is text\nnext: 1", "error: a mapping value must be indented past its mapping key @2:1"},
        Case{"- a:\n  b", "error: a mapping value must be indented past its mapping key @2:3"},
        Case{"x:\n  - a:\n    b\n", "error: a mapping value must be indented past its mapping key @3:5"},
        Case{"a: !t\nb c", "error: a mapping value must be indented past its mapping key @2:1"},
        Case{"a:\n\"b\"", "error: a mapping value must be indented past its mapping key @2:1"},
        Case{"a:\n|\n x", "error: a mapping value must be indented past its mapping key @2:1"},
        Case{"a:\n[b]", "error: a mapping value must be indented past its mapping key @2:1"},
        Case{"a: !t\nb: c",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue Tag(!t) MappingKey Scalar(b) MappingValue "
             "Scalar(c) BlockEnd"},
        Case{"a:\n- b",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue BlockEntry Scalar(b) BlockEnd"},
        Case{"a:\n? b\n: c",
             "MappingStart(Block) MappingKey Scalar(a) MappingValue MappingKey Scalar(b) MappingValue Scalar(c) "
             "BlockEnd"}));

// Tabs are separation after an indicator or after the indentation spaces,
// never the indentation of a block collection or of a continuation line.
INSTANTIATE_TEST_SUITE_P(
    Tabs, Indentation,
    ::testing::Values(
        // Between a block indicator and a block collection on its line.
        Case{"-\t- a", "error: a tab cannot be used for indentation @1:2"},
        Case{"- \t- a", "error: a tab cannot be used for indentation @1:3"},
        Case{"?\t- a", "error: a tab cannot be used for indentation @1:2"},
        Case{"?\tkey:", "error: a tab cannot be used for indentation @1:2"},
        Case{":\tkey:", "error: a tab cannot be used for indentation @1:2"},
        Case{"? key:\n:\tkey:", "error: a tab cannot be used for indentation @2:2"},
        Case{"-\t[a]: b", "error: a tab cannot be used for indentation @1:2"},
        Case{"\t[a]: b", "error: a tab cannot be used for indentation @1:1"},
        Case{"-\ta", "SequenceStart(Block) BlockEntry Scalar(a) BlockEnd"},
        Case{"-\t-1", "SequenceStart(Block) BlockEntry Scalar(-1) BlockEnd"},
        Case{"- -\ta", "SequenceStart(Block) BlockEntry SequenceStart(Block) BlockEntry Scalar(a) BlockEnd BlockEnd"},
        Case{"a:\t[b]", "MappingStart(Block) MappingKey Scalar(a) MappingValue SequenceStart(Flow) Scalar(b) "
                        "SequenceEnd BlockEnd"},
        // A leading line of a block scalar, before its indentation is known.
        Case{"foo: |\n\t\nbar: 1", "error: a tab cannot be used for indentation @2:1"},
        Case{"- |\n\t\n- b", "error: a tab cannot be used for indentation @2:1"},
        Case{"foo: |2\n \t\n  x", "error: a tab cannot be used for indentation @2:2"},
        Case{"foo: |\n \t\nbar: 1",
             "MappingStart(Block) MappingKey Scalar(foo) MappingValue Scalar|(\\t\\n) MappingKey Scalar(bar) "
             "MappingValue Scalar(1) BlockEnd"},
        // The start of a line that continues a flow collection or a scalar.
        Case{"- [\n\tfoo,\n foo\n ]", "error: a tab cannot be used for indentation @2:1"},
        Case{"- a\n\t- b\n", "error: a tab cannot be used for indentation @2:1"},
        Case{"a:\n  b: c\n \td", "error: a tab cannot be used for indentation @3:2"},
        Case{"foo: \"bar\n\tbaz\"", "error: a tab cannot be used for indentation @2:1"},
        Case{"foo: \"bar\\\n\tbaz\"", "error: a tab cannot be used for indentation @2:1"},
        Case{"- [\n\t\n foo\n ]", "SequenceStart(Block) BlockEntry SequenceStart(Flow) Scalar(foo) SequenceEnd BlockEnd"},
        Case{"- a\n \t- b", "SequenceStart(Block) BlockEntry Scalar(a - b) BlockEnd"},
        Case{"foo: \"bar\n \tbaz\"", "MappingStart(Block) MappingKey Scalar(foo) MappingValue Scalar\"(bar baz) BlockEnd"},
        Case{"\t[\n\ta]", "SequenceStart(Flow) Scalar(a) SequenceEnd"},
        Case{"a\n\tb", "Scalar(a b)"}));

// A flow collection inside block context: every line of it, its closing
// bracket included, is indented past the block, whatever token ends the
// line before.
INSTANTIATE_TEST_SUITE_P(
    Flow, Indentation,
    ::testing::Values(
        Case{"k: [\n  a\n]", "error: flow content must be indented more than its block context @3:1"},
        Case{"k: [\n  \"a\"\n]", "error: flow content must be indented more than its block context @3:1"},
        Case{"k: [\n  'a'\n]", "error: flow content must be indented more than its block context @3:1"},
        Case{"k: [\n  [a]\n]", "error: flow content must be indented more than its block context @3:1"},
        Case{"k: [a\nb]", "error: flow content must be indented more than its block context @2:1"},
        Case{"k: {a: b\n}", "error: flow content must be indented more than its block context @2:1"},
        Case{"- [a,\n  b\n]", "error: flow content must be indented more than its block context @3:1"},
        Case{"k: [\"a\nb\"]", "error: a multi-line quoted scalar must be indented past its block context @2:1"},
        Case{"k: \"a\\\nb\"", "error: a multi-line quoted scalar must be indented past its block context @2:1"},
        Case{"k: [\n  a\n ]",
             "MappingStart(Block) MappingKey Scalar(k) MappingValue SequenceStart(Flow) Scalar(a) SequenceEnd "
             "BlockEnd"},
        Case{"k: [a\n  b,\n# c\n  d]",
             "MappingStart(Block) MappingKey Scalar(k) MappingValue SequenceStart(Flow) Scalar(a b) FlowEntry "
             "Scalar(d) SequenceEnd BlockEnd"},
        Case{"k: [\"a\n b\"]",
             "MappingStart(Block) MappingKey Scalar(k) MappingValue SequenceStart(Flow) Scalar\"(a b) SequenceEnd "
             "BlockEnd"},
        Case{"[\na\n]", "SequenceStart(Flow) Scalar(a) SequenceEnd"}));

}  // namespace
}  // namespace quillmere::testing
