// Inputs built by code: the flow nesting limit and very long runs of tabs.
#include <gtest/gtest.h>

#include <string>

#include "support/token_text.h"

namespace quillmere::testing {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// `depth` nested flow collections, alternating "[" and "{" from the outside
// in, around one scalar, all closed.
std::string nested_flow(std::size_t depth) {
    std::string open, close;
    for (std::size_t i = 0; i < depth; ++i) {
        const bool mapping = i % 2 == 1;
        open += mapping ? '{' : '[';
        close.insert(close.begin(), mapping ? '}' : ']');
    }
    return open + "x" + close;
}

TEST(FlowNesting, ThousandLevelsScan) {
    const std::string yaml = nested_flow(scanner::kMaxFlowDepth);
    scanner::Scanner s(yaml);
    auto result = scanner::tokenize(s);
    ASSERT_TRUE(result.ok()) << result.error().message;
    // StreamStart, 1000 starts, the scalar, 1000 ends, StreamEnd.
    EXPECT_EQ(result.value().size(), 2 * scanner::kMaxFlowDepth + 3);
    EXPECT_EQ(result.value()[scanner::kMaxFlowDepth + 1].text, "x");
}

TEST(FlowNesting, LevelThousandAndOneFails) {
    EXPECT_EQ(scan_to_text(nested_flow(scanner::kMaxFlowDepth + 1)),
              "error: maximum nesting depth (1000) exceeded @1:1001");
    // The limit counts open collections, not brackets seen: after closing,
    // the same depth is allowed again.
    const std::string twice = nested_flow(scanner::kMaxFlowDepth) + "\n" + nested_flow(scanner::kMaxFlowDepth);
    scanner::Scanner s(twice);
    EXPECT_TRUE(scanner::tokenize(s).ok());
    // Inside a block mapping, at the thousand-and-first bracket of the value.
    EXPECT_EQ(scan_to_text("key:\n  " + std::string(1001, '[')),
              "error: maximum nesting depth (1000) exceeded @2:1003");
}

struct TabCase {
    std::string before;  // text before the run of tabs
    std::string after;   // text after it
    const char* expected;
};

void PrintTo(const TabCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.before + "<1 MiB of tabs>" + c.after);
}

class LongTabRun : public ::testing::TestWithParam<TabCase> {};

TEST_P(LongTabRun, Tokens) {
    const std::string yaml = GetParam().before + std::string(kMiB, '\t') + GetParam().after;
    EXPECT_EQ(scan_to_text(yaml), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scanner, LongTabRun,
    ::testing::Values(
        // At the start of a line: allowed before a break, the end, "[" or "{" ...
        TabCase{"", "\na: 1", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) BlockEnd"},
        TabCase{"", "", ""},
        TabCase{"a: 1\n", "", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(1) BlockEnd"},
        TabCase{"", "[a]", "SequenceStart(Flow) Scalar(a) SequenceEnd"},
        TabCase{"  ", " {a: b}", "MappingStart(Flow) MappingKey Scalar(a) MappingValue Scalar(b) MappingEnd"},
        // ... and refused at the first tab of a run that leads to anything else.
        TabCase{"", "a", "error: a tab cannot be used for indentation @1:1"},
        TabCase{"", "\n\t\tb", "error: a tab cannot be used for indentation @2:1"},
        TabCase{"\t[a]\n", "b", "error: a tab cannot be used for indentation @2:1"},
        TabCase{"- [a]\n  ", "# c", "error: a tab cannot be used for indentation @2:3"},
        // After content on the line, and inside flow collections, like spaces.
        TabCase{"a:", "b", "MappingStart(Block) MappingKey Scalar(a) MappingValue Scalar(b) BlockEnd"},
        TabCase{"[\n", "a]", "SequenceStart(Flow) Scalar(a) SequenceEnd"}));

TEST(LongTabRun, HeldBackInsideAPlainScalar) {
    const std::string tabs(kMiB, '\t');
    const std::string yaml = "a" + tabs + "b" + tabs;
    scanner::Scanner s(yaml);
    auto result = scanner::tokenize(s);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.value().size(), 3u);
    EXPECT_EQ(result.value()[1].text, "a" + tabs + "b");
    EXPECT_EQ(result.value()[2].span.column, 2 * kMiB + 2);
}

TEST(LongTabRun, ManyRunsOnManyLines) {
    std::string yaml;
    for (int i = 0; i < 64; ++i) yaml += std::string(16 * 1024, '\t') + (i % 2 ? "\n" : " \t \n");
    yaml += "- a\n" + std::string(kMiB, '\t') + "\n- b";
    EXPECT_EQ(scan_to_text(yaml), "SequenceStart(Block) BlockEntry Scalar(a) BlockEntry Scalar(b) BlockEnd");
}

}  // namespace
}  // namespace quillmere::testing
