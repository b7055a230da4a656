// The YAML writer's layout: exact texts for given trees and configurations,
// each also decoded again to check that it reads back as the same tree.
#include "encode/emitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "support/trees.h"

namespace quillmere::encode {
namespace {

using Tree = testing::TreeBuilder;
using testing::write_yaml;

struct Layout {
    const char* name;
    std::function<Value(Tree&)> build;
    std::function<void(EmitterConfig&)> configure;
    std::string expected;
};

void PrintTo(const Layout& layout, std::ostream* os) { *os << layout.name; }

class EmitterLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(EmitterLayout, WritesAndReadsBack) {
    const Layout& c = GetParam();
    Tree t;
    const Value value = c.build(t);
    EmitterConfig config;
    if (c.configure) c.configure(config);
    const std::string text = write_yaml(value, config);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(testing::yaml_read_back_fault(text, value, config), "") << text;
}

const auto kDefaults = [](EmitterConfig&) {};
const auto kIndentless = [](EmitterConfig& c) { c.indentless_sequences = true; };
const auto kIndent4 = [](EmitterConfig& c) { c.indent = 4; };
const auto kFlow = [](EmitterConfig& c) { c.flow_style = true; };
const auto kSingle = [](EmitterConfig& c) { c.prefer_double_quotes = false; };
const auto kWidth20 = [](EmitterConfig& c) { c.width = 20; };

Value ab_list(Tree& t) { return t.map({{t.s("a"), t.i(1)}, {t.s("b"), t.seq({t.i(1), t.i(2)})}}); }
Value k_is(Tree& t, std::string_view text) { return t.map({{t.s("k"), t.s(text)}}); }
Value date_time(Tree& t, std::string_view text) {
    Value value = t.s(text);
    value.note_date_time_text();
    return value;
}

INSTANTIATE_TEST_SUITE_P(
    EmitterCollections, EmitterLayout,
    ::testing::Values(
        Layout{"MappingWithList", ab_list, kDefaults, "a: 1\nb:\n  - 1\n  - 2\n"},
        Layout{"Indentless", ab_list, kIndentless, "a: 1\nb:\n- 1\n- 2\n"},
        Layout{"Indent4", ab_list, kIndent4, "a: 1\nb:\n    - 1\n    - 2\n"},
        Layout{"Indent0CountsAsOne", ab_list, [](EmitterConfig& c) { c.indent = 0; }, "a: 1\nb:\n - 1\n - 2\n"},
        Layout{"CompactMapping",
               [](Tree& b) { return b.seq({b.map({{b.s("a"), b.i(1)}, {b.s("b"), b.i(2)}})}); }, kDefaults,
               "- a: 1\n  b: 2\n"},
        Layout{"CompactMappingIndent4",
               [](Tree& b) { return b.seq({b.map({{b.s("a"), b.i(1)}, {b.s("b"), b.i(2)}})}); }, kIndent4,
               "- a: 1\n  b: 2\n"},
        Layout{"NestedMappingIndent4",
               [](Tree& b) { return b.map({{b.s("a"), b.map({{b.s("b"), b.i(1)}})}}); }, kIndent4,
               "a:\n    b: 1\n"},
        Layout{"ListOfLists", [](Tree& b) { return b.seq({b.seq({b.i(1), b.i(2)})}); }, kDefaults,
               "-\n  - 1\n  - 2\n"},
        Layout{"EmptyCollections", [](Tree& b) { return b.map({{b.s("a"), b.seq({})}, {b.s("b"), b.map({})}}); },
               kDefaults, "a: []\nb: {}\n"},
        Layout{"EmptyRootSequence", [](Tree& b) { return b.seq({}); }, kDefaults, "[]\n"},
        Layout{"FlowStyle", ab_list, kFlow, "{a: 1, b: [1, 2]}\n"},
        Layout{"FlowStyleNested",
               [](Tree& b) { return b.seq({b.map({{b.s("a"), b.seq({})}}), b.seq({b.null()})}); }, kFlow,
               "[{a: []}, [null]]\n"},
        Layout{"CollectionKeys",
               [](Tree& b) {
                   return b.map({{b.seq({b.s("a"), b.s("b")}), b.i(1)}, {b.map({{b.s("x"), b.i(2)}}), b.i(3)}});
               },
               kDefaults, "[a, b]: 1\n{x: 2}: 3\n"},
        Layout{"ScalarKeys",
               [](Tree& b) {
                   return b.map({{b.i(-1), b.null()}, {b.f(1.5), b.null()}, {b.null(), b.null()},
                                 {Value::boolean(true), b.null()}});
               },
               kDefaults, "-1:\n1.5:\nnull:\ntrue:\n"},
        Layout{"ExplicitMarkers", ab_list,
               [](EmitterConfig& c) {
                   c.explicit_start = true;
                   c.explicit_end = true;
               },
               "---\na: 1\nb:\n  - 1\n  - 2\n...\n"},
        Layout{"MarkersAroundScalar", [](Tree& b) { return b.s("x"); },
               [](EmitterConfig& c) {
                   c.explicit_start = true;
                   c.explicit_end = true;
               },
               "---\nx\n...\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmitterNulls, EmitterLayout,
    ::testing::Values(
        Layout{"Empty", [](Tree& b) { return b.map({{b.s("a"), b.null()}}); }, kDefaults, "a:\n"},
        Layout{"Keyword", [](Tree& b) { return b.map({{b.s("a"), b.null()}}); },
               [](EmitterConfig& c) { c.null_style = NullStyle::Keyword; }, "a: null\n"},
        Layout{"Tilde", [](Tree& b) { return b.map({{b.s("a"), b.null()}}); },
               [](EmitterConfig& c) { c.null_style = NullStyle::Tilde; }, "a: ~\n"},
        Layout{"EmptyItem", [](Tree& b) { return b.seq({b.null(), b.i(1)}); }, kDefaults, "-\n- 1\n"},
        Layout{"EmptyRoot", [](Tree& b) { return b.null(); }, kDefaults, "null\n"},
        Layout{"TildeRoot", [](Tree& b) { return b.null(); },
               [](EmitterConfig& c) { c.null_style = NullStyle::Tilde; }, "~\n"},
        Layout{"EmptyInFlow", [](Tree& b) { return b.map({{b.s("a"), b.seq({b.null()})}}); }, kFlow,
               "{a: [null]}\n"},
        Layout{"TildeInFlow", [](Tree& b) { return b.map({{b.s("a"), b.seq({b.null()})}}); },
               [](EmitterConfig& c) {
                   c.flow_style = true;
                   c.null_style = NullStyle::Tilde;
               },
               "{a: [~]}\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmitterStrings, EmitterLayout,
    ::testing::Values(
        Layout{"EmptyDouble", [](Tree& b) { return b.s(""); }, kDefaults, "\"\"\n"},
        Layout{"EmptySingle", [](Tree& b) { return b.s(""); }, kSingle, "''\n"},
        Layout{"Yes", [](Tree& b) { return k_is(b, "yes"); }, kDefaults, "k: \"yes\"\n"},
        Layout{"Number", [](Tree& b) { return k_is(b, "123"); }, kDefaults, "k: \"123\"\n"},
        Layout{"Exponent", [](Tree& b) { return k_is(b, "1e5"); }, kDefaults, "k: \"1e5\"\n"},
        Layout{"LeadingZero", [](Tree& b) { return k_is(b, "0123"); }, kDefaults, "k: \"0123\"\n"},
        Layout{"Dash", [](Tree& b) { return k_is(b, "-x"); }, kDefaults, "k: \"-x\"\n"},
        Layout{"ColonSpace", [](Tree& b) { return k_is(b, "a: b"); }, kDefaults, "k: \"a: b\"\n"},
        Layout{"HashAfterSpace", [](Tree& b) { return k_is(b, "a #b"); }, kDefaults, "k: \"a #b\"\n"},
        Layout{"TrailingSpace", [](Tree& b) { return k_is(b, "x "); }, kDefaults, "k: \"x \"\n"},
        // What a YAML 1.1 reader reads as a number, a boolean or a date.
        Layout{"Sexagesimal", [](Tree& b) { return k_is(b, "1:30"); }, kDefaults, "k: \"1:30\"\n"},
        Layout{"OneLetter", [](Tree& b) { return k_is(b, "y"); }, kDefaults, "k: \"y\"\n"},
        Layout{"Timestamp", [](Tree& b) { return k_is(b, "2001-12-14"); }, kSingle, "k: '2001-12-14'\n"},
        Layout{"LeadingZeros", [](Tree& b) { return k_is(b, "008000"); }, kDefaults, "k: \"008000\"\n"},
        // The text of a date or time object stays plain where it reads as a
        // timestamp, in a key too (a ':' inside a flow collection still
        // quotes it); a time of day is a sexagesimal number.
        Layout{"DateTimeObjects",
               [](Tree& b) {
                   return b.map({{date_time(b, "2001-12-14"), date_time(b, "2001-12-14T21:59:43.10+00:00")},
                                 {b.s("t"), b.seq({date_time(b, "21:59:43"), date_time(b, "yes")})}});
               },
               kFlow, "{2001-12-14: \"2001-12-14T21:59:43.10+00:00\", t: [\"21:59:43\", \"yes\"]}\n"},
        Layout{"DateTimeInBlock", [](Tree& b) { return b.seq({date_time(b, "2001-12-14 21:59:43.10 -5")}); },
               kDefaults, "- 2001-12-14 21:59:43.10 -5\n"},
        Layout{"Apostrophe", [](Tree& b) { return k_is(b, "it's"); }, kDefaults, "k: it's\n"},
        Layout{"CommaInBlock", [](Tree& b) { return k_is(b, "a,b"); }, kDefaults, "k: a,b\n"},
        Layout{"CommaInFlow", [](Tree& b) { return k_is(b, "a,b"); }, kFlow, "{k: \"a,b\"}\n"},
        Layout{"ColonAndQuestionMarkInBlock", [](Tree& b) { return b.seq({b.s("a:b"), b.s("a?b")}); }, kDefaults,
               "- a:b\n- a?b\n"},
        Layout{"ColonAndQuestionMarkInFlow",
               [](Tree& b) { return b.map({{b.s("a:b"), b.seq({b.s("http://x"), b.s("a?")})}}); }, kFlow,
               "{\"a:b\": [\"http://x\", \"a?\"]}\n"},
        Layout{"BracketInFlowKey", [](Tree& b) { return b.seq({b.map({{b.s("a]"), b.i(1)}})}); }, kFlow,
               "[{\"a]\": 1}]\n"},
        Layout{"QuoteWithSinglePreferred", [](Tree& b) { return k_is(b, "'x"); }, kSingle, "k: \"'x\"\n"},
        Layout{"SinglePreferred", [](Tree& b) { return k_is(b, "a: b"); }, kSingle, "k: 'a: b'\n"},
        Layout{"ControlCharacters", [](Tree& b) { return k_is(b, std::string_view("a\tb\0\x7f\r", 6)); },
               kSingle, "k: \"a\\tb\\0\\x7f\\r\"\n"},
        Layout{"MergeKeyText", [](Tree& b) { return b.map({{b.s("<<"), b.s("<<")}}); }, kDefaults,
               "\"<<\": \"<<\"\n"},
        Layout{"DocumentMarkers", [](Tree& b) { return b.seq({b.s("... x"), b.s("--- x"), b.s("...x")}); },
               kDefaults, "- \"... x\"\n- \"--- x\"\n- ...x\n"},
        Layout{"RootDocumentEnd", [](Tree& b) { return b.s("... x"); }, kDefaults, "\"... x\"\n"},
        // What YAML 1.1 readers fold or drop: escaped, whatever the preference.
        Layout{"LineSeparators", [](Tree& b) { return b.seq({b.s("a\u2028b"), b.s("a\u2029")}); }, kSingle,
               "- \"a\\Lb\"\n- \"a\\P\"\n"},
        Layout{"Nel", [](Tree& b) { return k_is(b, "a\u0085b"); }, kSingle, "k: \"a\\Nb\"\n"},
        Layout{"ByteOrderMark", [](Tree& b) { return k_is(b, "a\uFEFF"); }, kSingle, "k: \"a\\uFEFF\"\n"},
        Layout{"NelInLines", [](Tree& b) { return k_is(b, "a\n\u0085\n"); }, kDefaults, "k: \"a\\n\\N\\n\"\n"},
        // No file may hold them: double quotes, whatever the preference.
        Layout{"C1ControlsAndNonCharacters",
               [](Tree& b) { return b.map({{b.s("\u009fk"), b.s("a\u0080")}, {b.s("x"), b.s("\xEF\xBF\xBFy")}}); },
               kSingle, "\"\\x9fk\": \"a\\x80\"\nx: \"\\uFFFFy\"\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmitterLiterals, EmitterLayout,
    ::testing::Values(
        Layout{"Strip", [](Tree& b) { return k_is(b, "a\nb"); }, kDefaults, "k: |-\n  a\n  b\n"},
        Layout{"Clip", [](Tree& b) { return k_is(b, "a\nb\n"); }, kDefaults, "k: |\n  a\n  b\n"},
        Layout{"Keep", [](Tree& b) { return k_is(b, "a\nb\n\n"); }, kDefaults, "k: |+\n  a\n  b\n\n"},
        Layout{"LeadingSpaceIsQuoted", [](Tree& b) { return k_is(b, " a\nb"); }, kDefaults,
               "k: \" a\\nb\"\n"},
        Layout{"LeadingTabIsQuoted", [](Tree& b) { return k_is(b, "\ta\nb"); }, kDefaults,
               "k: \"\\ta\\nb\"\n"},
        Layout{"LeadingSpaceAfterEmptyLine", [](Tree& b) { return k_is(b, "\n a"); }, kDefaults,
               "k: \"\\n a\"\n"},
        Layout{"CarriageReturnIsQuoted", [](Tree& b) { return k_is(b, "a\r\nb"); }, kDefaults,
               "k: \"a\\r\\nb\"\n"},
        Layout{"C1ControlIsQuoted", [](Tree& b) { return k_is(b, "a\n\u0090b\n"); }, kDefaults,
               "k: \"a\\n\\x90b\\n\"\n"},
        Layout{"NonCharacterIsQuoted", [](Tree& b) { return k_is(b, "a\n\xEF\xBF\xBE"); }, kDefaults,
               "k: \"a\\n\\uFFFE\"\n"},
        Layout{"OneLineFeed", [](Tree& b) { return k_is(b, "\n"); }, kDefaults, "k: |+\n\n"},
        Layout{"TwoLineFeeds", [](Tree& b) { return k_is(b, "\n\n"); }, kDefaults, "k: |+\n\n\n"},
        Layout{"LeadingEmptyLines", [](Tree& b) { return k_is(b, "\n\na\n"); }, kDefaults, "k: |\n\n\n  a\n"},
        Layout{"InnerEmptyAndIndentedLines", [](Tree& b) { return k_is(b, "a\n\n  b\n\tc"); }, kDefaults,
               "k: |-\n  a\n\n    b\n  \tc\n"},
        Layout{"BlankLine", [](Tree& b) { return k_is(b, "a\n  \n"); }, kDefaults, "k: |\n  a\n    \n"},
        Layout{"SequenceItem", [](Tree& b) { return b.seq({b.s("a\nb")}); }, kIndent4, "- |-\n  a\n  b\n"},
        Layout{"CompactMappingValue", [](Tree& b) { return b.seq({b.map({{b.s("k"), b.s("a\n")}})}); },
               kDefaults, "- k: |\n    a\n"},
        Layout{"Root", [](Tree& b) { return b.s("a\n# not a comment\n--- x\n"); }, kDefaults,
               "|\n  a\n  # not a comment\n  --- x\n"},
        Layout{"RootLineFeedsWithEnd", [](Tree& b) { return b.s("\n\n"); },
               [](EmitterConfig& c) { c.explicit_end = true; }, "|+\n\n\n...\n"},
        Layout{"InFlowIsQuoted", [](Tree& b) { return b.seq({b.s("a\nb")}); }, kFlow, "[\"a\\nb\"]\n"},
        Layout{"KeyIsQuoted", [](Tree& b) { return b.map({{b.s("a\nb"), b.i(1)}}); }, kDefaults,
               "\"a\\nb\": 1\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmitterScalars, EmitterLayout,
    ::testing::Values(
        Layout{"Floats",
               [](Tree& b) {
                   return b.seq({b.f(1.0), b.f(1e20), b.f(std::numeric_limits<double>::infinity()),
                                 b.f(-std::numeric_limits<double>::infinity()), b.f(-0.0)});
               },
               kDefaults, "- 1.0\n- 1.0e+20\n- .inf\n- -.inf\n- -0.0\n"},
        Layout{"Integers",
               [](Tree& b) {
                   return b.seq({b.i(0), b.i(std::numeric_limits<std::int64_t>::min() + 1), Value::boolean(false)});
               },
               kDefaults, "- 0\n- -9223372036854775807\n- false\n"},
        Layout{"BigInts",
               [](Tree& b) {
                   return b.map({{Value::big_int("-9223372036854775809", b.arena),
                                  Value::big_int("+123456789012345678901", b.arena)}});
               },
               kDefaults, "-9223372036854775809: +123456789012345678901\n"}));

INSTANTIATE_TEST_SUITE_P(
    EmitterTags, EmitterLayout,
    ::testing::Values(
        Layout{"Root", [](Tree& b) { return b.tag("!x", b.s("v")); }, kDefaults, "!x v\n"},
        Layout{"RootMapping", [](Tree& b) { return b.tag("!x", b.map({{b.s("a"), b.s("b")}})); }, kDefaults,
               "!x\n  a: b\n"},
        Layout{"RootMappingFlow", [](Tree& b) { return b.tag("!x", b.map({{b.s("a"), b.s("b")}})); }, kFlow,
               "!x {a: b}\n"},
        Layout{"Value", [](Tree& b) { return b.map({{b.s("k"), b.tag("!x", b.seq({b.s("a")}))}}); },
               kIndentless, "k: !x\n- a\n"},
        Layout{"Key", [](Tree& b) { return b.map({{b.tag("!x", b.s("k")), b.tag("!y", b.s("v\n"))}}); },
               kDefaults, "!x k: !y |\n  v\n"},
        Layout{"EmptyCollections",
               [](Tree& b) {
                   return b.seq({b.tag("!x", b.seq({})), b.tag("!y", b.map({})),
                                 b.map({{b.tag("!z", b.map({})), b.tag("!w", b.seq({}))}})});
               },
               kDefaults, "- !x []\n- !y {}\n- !z {}: !w []\n"},
        // Under an item the inner sequence may not start at the item's own
        // column: it would read as the next items of the outer sequence.
        Layout{"SequenceItemIndentless",
               [](Tree& b) { return b.seq({b.tag("!x", b.seq({b.s("a")})), b.s("b")}); }, kIndentless,
               "- !x\n  - a\n- b\n"},
        Layout{"InFlow", [](Tree& b) { return b.seq({b.tag("!x", b.s("a")), b.tag("!", b.seq({}))}); }, kFlow,
               "[!x a, ! []]\n"},
        Layout{"Verbatim", [](Tree& b) { return b.map({{b.s("k"), b.tag("!<tag:example.com,2024:x>", b.s("v"))}}); },
               kDefaults, "k: !<tag:example.com,2024:x> v\n"}));

// Width 20; continuation lines one step deeper than the line the text
// started on, and always past the enclosing block level.
INSTANTIATE_TEST_SUITE_P(
    EmitterFolding, EmitterLayout,
    ::testing::Values(
        Layout{"Plain", [](Tree& b) { return k_is(b, "aaa bbb ccc ddd eee fff ggg"); }, kWidth20,
               "k: aaa bbb ccc ddd\n  eee fff ggg\n"},
        Layout{"DoubleSpacesStay", [](Tree& b) { return k_is(b, "aaa bbb ccc  ddd eee fff"); }, kWidth20,
               "k: aaa bbb ccc  ddd\n  eee fff\n"},
        Layout{"RootPlain", [](Tree& b) { return b.s("aaaa bbbb cccc dddd eeee ffff"); }, kWidth20,
               "aaaa bbbb cccc dddd\n  eeee ffff\n"},
        Layout{"Indent4", [](Tree& b) { return b.map({{b.s("k"), k_is(b, "aaa bbb ccc ddd eee fff")}}); },
               [](EmitterConfig& c) {
                   c.width = 20;
                   c.indent = 4;
               },
               "k:\n    k: aaa bbb ccc\n        ddd eee fff\n"},
        Layout{"DoubleQuoted", [](Tree& b) { return k_is(b, "a: bbb ccc ddd eee fff"); }, kWidth20,
               "k: \"a: bbb ccc ddd\n  eee fff\"\n"},
        Layout{"SingleQuotedFolded", [](Tree& b) { return k_is(b, "a: bbb ccc ddd eee fff"); },
               [](EmitterConfig& c) {
                   c.width = 20;
                   c.prefer_double_quotes = false;
               },
               "k: 'a: bbb ccc ddd\n  eee fff'\n"},
        Layout{"CompactMappingFirstEntry",
               [](Tree& b) { return b.seq({b.map({{b.s("k"), b.s("aaa bbb ccc ddd eee fff")}})}); }, kWidth20,
               "- k: aaa bbb ccc ddd\n    eee fff\n"},
        Layout{"CompactMappingQuoted",
               [](Tree& b) { return b.seq({b.map({{b.s("k"), b.s("a: bbb ccc ddd eee fff")}})}); }, kWidth20,
               "- k: \"a: bbb ccc ddd\n    eee fff\"\n"},
        Layout{"CompactMappingLaterEntry",
               [](Tree& b) {
                   return b.seq({b.map({{b.s("a"), b.i(1)}, {b.s("k"), b.s("aaa bbb ccc ddd eee fff")}})});
               },
               kWidth20, "- a: 1\n  k: aaa bbb ccc ddd\n    eee fff\n"},
        Layout{"SequenceItem", [](Tree& b) { return b.seq({b.s("aaa bbb ccc ddd eee fff ggg")}); }, kWidth20,
               "- aaa bbb ccc ddd\n  eee fff ggg\n"},
        Layout{"FlowSeparators",
               [](Tree& b) { return b.seq({b.s("aaaa"), b.s("bbbb"), b.s("cccc"), b.s("dddd"), b.s("eeee")}); },
               [](EmitterConfig& c) {
                   c.width = 20;
                   c.flow_style = true;
               },
               "[aaaa, bbbb, cccc, dddd,\n  eeee]\n"},
        Layout{"FlowNested",
               [](Tree& b) {
                   return b.map({{b.s("k"), b.map({{b.s("a"), b.seq({b.s("bbbbbb"), b.s("cccccc"), b.s("ddd")})}})}});
               },
               [](EmitterConfig& c) {
                   c.width = 20;
                   c.flow_style = true;
               },
               "{k: {a: [bbbbbb, cccccc,\n  ddd]}}\n"},
        // An implicit key stays on one line, flow keys and their contents too.
        Layout{"KeysNeverFold",
               [](Tree& b) {
                   return b.map({{b.s("aaa bbb ccc ddd eee fff"), b.i(1)},
                                 {b.seq({b.s("aaaa bbbb"), b.s("cccc"), b.s("dddd"), b.s("eeee")}), b.i(2)}});
               },
               kWidth20, "aaa bbb ccc ddd eee fff: 1\n[aaaa bbbb, cccc, dddd, eeee]: 2\n"},
        Layout{"FlowKeysNeverFold",
               [](Tree& b) { return b.seq({b.map({{b.s("aaa bbb ccc ddd eee fff ggg"), b.s("v")}})}); },
               [](EmitterConfig& c) {
                   c.width = 20;
                   c.flow_style = true;
               },
               "[{aaa bbb ccc ddd eee fff ggg: v}]\n"},
        // No continuation line starts with an indicator the scanner would
        // act on: "? ", "- ", ": " or "#".
        Layout{"NoBreakBeforeIndicator", [](Tree& b) { return k_is(b, "aaaaaaaaaaa ? b - c"); },
               [](EmitterConfig& c) { c.width = 5; }, "k: aaaaaaaaaaa ?\n  b -\n  c\n"},
        Layout{"QuotedBreaksBeforeIndicator", [](Tree& b) { return k_is(b, "aaaaaaaaaaa: ? b"); },
               [](EmitterConfig& c) { c.width = 12; }, "k: \"aaaaaaaaaaa:\n  ? b\"\n"},
        // A fold after an escaped tab would lose the tab.
        Layout{"NoBreakAfterEscapedTab", [](Tree& b) { return k_is(b, "aaaa\t bbbb\\t cccc"); },
               [](EmitterConfig& c) { c.width = 12; }, "k: \"aaaa\\t bbbb\\\\t\n  cccc\"\n"},
        Layout{"NoFoldAtZeroWidth", [](Tree& b) { return k_is(b, "aaa bbb ccc ddd eee fff ggg hhh iii jjj"); },
               kDefaults, "k: aaa bbb ccc ddd eee fff ggg hhh iii jjj\n"}));

TEST(EmitterSortKeys, NonStringKeysFirstThenBytewise) {
    Tree t;
    const Value value = t.map({{t.s("b"), t.i(1)},
                               {t.s("a"), t.i(2)},
                               {t.i(7), t.i(3)},
                               {t.s("ab"), t.i(4)},
                               {t.s("\xC3\xA9"), t.i(5)},
                               {t.null(), t.i(6)}});
    EmitterConfig config;
    config.sort_keys = true;
    EXPECT_EQ(write_yaml(value, config), "7: 3\nnull: 6\na: 2\nab: 4\nb: 1\n\xC3\xA9: 5\n");
    config.flow_style = true;
    EXPECT_EQ(write_yaml(value, config), "{7: 3, null: 6, a: 2, ab: 4, b: 1, \xC3\xA9: 5}\n");
}

// Past 20 entries the merge sort takes over; it must be stable like the
// insertion sort, with duplicates and non-string keys in stored order.
TEST(EmitterSortKeys, LongMappingsSortStably) {
    for (std::size_t n : {std::size_t(5), std::size_t(21), std::size_t(64), std::size_t(100)}) {
        Tree t;
        std::vector<Pair> pairs;
        std::uint32_t seed = 12345;
        for (std::size_t i = 0; i < n; ++i) {
            seed = seed * 1103515245 + 12345;
            const std::uint32_t r = (seed >> 16) % 9;
            Value key = r == 0 ? t.i(static_cast<std::int64_t>(i)) : t.s(std::string(1 + r % 3, char('a' + r)));
            pairs.push_back(Pair{key, t.i(static_cast<std::int64_t>(i))});
        }
        std::vector<const Pair*> order;
        order.push_back(nullptr);  // appends after what the vector holds
        ordered_entries(pairs, true, order);
        ASSERT_EQ(order.size(), n + 1);
        std::vector<const Pair*> expected;
        for (const Pair& p : pairs) expected.push_back(&p);
        const auto text = [](const Pair* p) { return p->key.is(ValueKind::String) ? p->key.text() : ""; };
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const Pair* a, const Pair* b) { return text(a) < text(b); });
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), order.begin() + 1)) << n;

        std::vector<const Pair*> stored;
        ordered_entries(pairs, false, stored);
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(stored[i], &pairs[i]);
    }
}

TEST(EmitterTag, UnsafeTagsAreWrittenVerbatim) {
    struct Case {
        std::string_view tag;
        std::string_view written;
    };
    const Case cases[] = {
        {"!x", "!x"},
        {"!", "!"},
        {"!!str", "!!str"},
        {"!my-tag/a%21;b", "!my-tag/a%21;b"},
        {"!<tag:x,2024:y>", "!<tag:x,2024:y>"},
        {"x", "!<x>"},
        {"tag:yaml.org,2002:merge", "!<tag:yaml.org,2002:merge>"},
        {"", "!<>"},
        {"!a b", "!<!a%20b>"},
        {"!a\n- b: c", "!<!a%0A-%20b:%20c>"},
        {"!a,b", "!<!a,b>"},
        {"!a{b}", "!<!a%7Bb%7D>"},
        {"!a!b", "!<!a!b>"},
        {"!a%zz", "!<!a%25zz>"},
        {"!<x", "!<!%3Cx>"},
        {"!<a b>", "!<a%20b>"},
        {"!<a>b>", "!<a%3Eb>"},
        {"!\xC3\xA9", "!<!%C3%A9>"},
    };
    for (const Case& c : cases) {
        std::string out;
        append_tag(out, c.tag);
        EXPECT_EQ(out, c.written) << c.tag;
    }
}

// Whatever the tag, the document keeps its shape and decodes; a tag that
// was written as it stands reads back as itself.
TEST(EmitterTag, TagsCannotInjectStructure) {
    const std::string_view tags[] = {"!a b", "!a\n- b: c", "!a,b", "!a]", "!a}", "!a!b", "!<x", "!<a> b",
                                     "x # c", "!a\r", "!a\t", "!!a b", "!<!a>"};
    for (const std::string_view tag : tags) {
        for (const bool flow : {false, true}) {
            Tree t;
            const Value value =
                t.map({{t.s("k"), t.tag(tag, t.s("v"))}, {t.tag(tag, t.s("key")), t.seq({t.tag(tag, t.seq({}))})}});
            EmitterConfig config;
            config.flow_style = flow;
            const std::string text = write_yaml(value, config);
            auto decoded = decode::decode_documents(text, decode::DecodeOptions{});
            ASSERT_TRUE(decoded.ok()) << text << decoded.error().message;
            ASSERT_EQ(decoded.value().documents.size(), 1u) << text;
            const Value& doc = decoded.value().documents[0];
            ASSERT_TRUE(doc.is(ValueKind::Mapping)) << text;
            ASSERT_EQ(doc.pairs().size(), 2u) << text;
            const Value& tagged = doc.pairs()[0].value;
            ASSERT_TRUE(tagged.is(ValueKind::Tagged)) << text;
            std::string written;
            append_tag(written, tag);
            EXPECT_EQ(tagged.tagged_value().tag, written) << text;
            EXPECT_TRUE(values_equal(tagged.tagged_value().inner, t.s("v"))) << text;
        }
    }
}

TEST(EmitterLiteral, Eligibility) {
    struct Case {
        std::string_view text;
        bool eligible;
    };
    const Case cases[] = {
        {"a\nb", true},  {"a", false},      {"\n", true},     {"\n\n\n", true},   {" a\nb", false},
        {"\ta\nb", false}, {"\n a", false}, {"a\n b", true},  {"a\r\nb", false},  {"a\nb\x7f", false},
        {"a\n\tb", true}, {std::string_view("a\n\0", 3), false}, {"\xEF\xBB\xBF" "a\nb", false},
        {"a\n\xC2\x85", false}, {"a\n\xE2\x80\xA8", false}, {"a\n\xE2\x80\xA7", true}, {"a\n\xC2\x9F", false}, {"\xC2\x80\nb", false}, {"a\n\xEF\xBF\xBE", false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_literal_eligible(c.text), c.eligible) << c.text;
}

// Deep trees are written through the stack guard; 100,000 levels would
// exhaust the native stack otherwise.
TEST(EmitterDepth, DeepTreesDoNotExhaustTheStack) {
    Tree t;
    constexpr std::size_t kDepth = 100000;
    Value value = t.i(1);
    for (std::size_t i = 0; i < kDepth; ++i) {
        Value* items = t.arena.allocate_array<Value>(1);
        items[0] = i % 2 ? value : t.tag("!t", value);
        value = i % 3 ? Value::sequence(items, 1) : t.map({{t.s("k"), items[0]}});
    }
    EmitterConfig config;
    config.flow_style = true;
    const std::string text = write_yaml(value, config);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_GT(text.size(), 2 * kDepth);
}

}  // namespace
}  // namespace quillmere::encode
