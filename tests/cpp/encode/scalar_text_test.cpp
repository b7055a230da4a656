// Float text and quoted scalar bodies.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <limits>
#include <string>

#include "encode/scalar_text.h"

namespace quillmere::encode {
namespace {

struct FloatCase {
    double value;
    const char* expected;
};

class ScalarTextFloat : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ScalarTextFloat, Formats) { EXPECT_EQ(format_float(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    ScalarText, ScalarTextFloat,
    ::testing::Values(FloatCase{1.0, "1.0"}, FloatCase{-0.0, "-0.0"}, FloatCase{0.0, "0.0"},
                      FloatCase{0.1, "0.1"}, FloatCase{-2.5, "-2.5"}, FloatCase{100.0, "100.0"},
                      FloatCase{0.0001, "0.0001"}, FloatCase{0.00012, "0.00012"}, FloatCase{-0.000123, "-0.000123"},
                      FloatCase{0.00001, "1.0e-05"}, FloatCase{1e15, "1000000000000000.0"},
                      FloatCase{1234567890123456.7, "1234567890123456.8"}, FloatCase{1e16, "1.0e+16"},
                      FloatCase{-1.5e16, "-1.5e+16"}, FloatCase{1e20, "1.0e+20"}, FloatCase{2.5e-10, "2.5e-10"},
                      FloatCase{1.5e300, "1.5e+300"}, FloatCase{123456.789, "123456.789"},
                      FloatCase{std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
                      FloatCase{std::numeric_limits<double>::denorm_min(), "5.0e-324"},
                      FloatCase{std::numeric_limits<double>::infinity(), ".inf"},
                      FloatCase{-std::numeric_limits<double>::infinity(), "-.inf"},
                      FloatCase{std::numeric_limits<double>::quiet_NaN(), ".nan"},
                      FloatCase{-std::numeric_limits<double>::quiet_NaN(), ".nan"}));

// One formatter, three layouts: they differ only outside the positional
// range and for the values that are no numbers.
TEST(ScalarTextFloat, Layouts) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        std::string yaml;
        std::string json;
        std::string debug;
    };
    const Case cases[] = {
        {1.0, "1.0", "1.0", "1.0"},
        {-0.0, "-0.0", "-0.0", "-0.0"},
        {0.0001, "0.0001", "0.0001", "0.0001"},
        {1e15, "1000000000000000.0", "1000000000000000.0", "1000000000000000.0"},
        {1e16, "1.0e+16", "10000000000000000.0", "1e16"},
        {-1.5e20, "-1.5e+20", "-150000000000000000000.0", "-1.5e20"},
        {1.5e-7, "1.5e-07", "0.00000015", "1.5e-7"},
        {2.5e-300, "2.5e-300", "0." + std::string(299, '0') + "25", "2.5e-300"},
        {std::numeric_limits<double>::denorm_min(), "5.0e-324", "0." + std::string(323, '0') + "5", "5e-324"},
        {kInf, ".inf", "null", "inf"},
        {-kInf, "-.inf", "null", "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), ".nan", "null", "NaN"},
    };
    for (const Case& c : cases) {
        char buffer[kFloatTextCapacity];
        EXPECT_EQ(std::string_view(buffer, write_float(buffer, c.value, FloatLayout::Yaml)), c.yaml);
        EXPECT_EQ(std::string_view(buffer, write_float(buffer, c.value, FloatLayout::Json)), c.json);
        EXPECT_EQ(std::string_view(buffer, write_float(buffer, c.value, FloatLayout::Debug)), c.debug);
    }
}

// Every finite text reads back as the same double. The doubles are spread
// over the whole range by stepping through bit patterns.
TEST(ScalarTextFloatRoundTrip, ReadsBackExactly) {
    for (std::uint64_t bits = 1; bits < 0x7FF0000000000000ull; bits += 0x0001234567891234ull) {
        for (double value : {std::bit_cast<double>(bits), -std::bit_cast<double>(bits)}) {
            std::string text = format_float(value);
            ASSERT_NE(text.find('.'), std::string::npos) << text;
            double back = 0.0;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
            ASSERT_EQ(ec, std::errc{}) << text;
            ASSERT_EQ(ptr, text.data() + text.size()) << text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value)) << text;
        }
    }
}

TEST(ScalarTextFloat, AppendsToExistingText) {
    std::string out = "x: ";
    append_float(out, 1e20);
    append_float(out, 0.5);
    EXPECT_EQ(out, "x: 1.0e+200.5");
}

struct QuoteCase {
    std::string text;
    const char* expected;
};

class ScalarTextDoubleQuoted : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(ScalarTextDoubleQuoted, Escapes) {
    const QuoteCase& c = GetParam();
    std::string out;
    write_double_quoted(out, c.text);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ('"' + escape_double_quoted(c.text) + '"', c.expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    ScalarText, ScalarTextDoubleQuoted,
    ::testing::Values(QuoteCase{"", R"("")"}, QuoteCase{"plain text", R"("plain text")"},
                      QuoteCase{"\t\n\"\x07", R"("\t\n\"\x07")"},
                      QuoteCase{"a\0b"s, R"("a\0b")"}, QuoteCase{"\r\\", R"("\r\\")"},
                      QuoteCase{"\x1b[0m\x7f\x01\x1f", R"("\x1b[0m\x7f\x01\x1f")"},
                      QuoteCase{"'single'", R"("'single'")"},
                      QuoteCase{"line sep \u00e9 \U0001F600", "\"line sep \u00e9 \U0001F600\""},
                      QuoteCase{"\"\"", R"("\"\"")"}, QuoteCase{"end\\", R"("end\\")"},
                      // YAML allows no C1 control but NEL, and neither U+FFFE
                      // nor U+FFFF, in a file: only escapes carry them.
                      QuoteCase{"\u0080a\u009f\u00a0", "\"\\x80a\\x9f\u00a0\""},
                      QuoteCase{"\xEF\xBF\xBE\xEF\xBF\xBF\uFFFD\U0001FFFE", "\"\\uFFFE\\uFFFF\uFFFD\U0001FFFE\""},
                      // YAML 1.1 readers fold NEL and the line and paragraph
                      // separators and drop the byte-order mark: escaped too.
                      QuoteCase{"a\u0085b\u2028c\u2029\uFEFFd\u2027\u202A",
                                "\"a\\Nb\\Lc\\P\\uFEFFd\u2027\u202A\""},
                      QuoteCase{"\u0099\"\t\u009b[0m", R"("\x99\"\t\x9b[0m")"}));

TEST(ScalarTextDoubleQuoted, AppendsToExistingText) {
    std::string out = "key: ";
    write_double_quoted(out, "a\tb");
    append_escaped_double_quoted(out, "\"");
    EXPECT_EQ(out, R"(key: "a\tb"\")");
}

TEST(ScalarTextSingleQuoted, DoublesQuotesOnly) {
    const QuoteCase cases[] = {
        {"it's", "'it''s'"}, {"", "''"}, {"'", "''''"}, {"''a''", "'''''a'''''"},
        {"a \"b\" \\n", "'a \"b\" \\n'"}, {"\u00e9t\u00e9", "'\u00e9t\u00e9'"},
    };
    for (const QuoteCase& c : cases) {
        std::string out = ">";
        write_single_quoted(out, c.text);
        EXPECT_EQ(out, std::string(">") + c.expected) << c.text;
    }
}

}  // namespace
}  // namespace quillmere::encode
