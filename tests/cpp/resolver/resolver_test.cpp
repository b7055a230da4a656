// Plain-scalar resolution under the three rule sets, explicit tags, the
// owned form and the 1.1-versus-1.2 comparison.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "resolver/resolver.h"

namespace quillmere::resolver {
namespace {

constexpr ResolveMode k12 = ResolveMode::Core12;
constexpr ResolveMode k11 = ResolveMode::Yaml11;
constexpr ResolveMode kCompat = ResolveMode::Yaml11Compat;

// "Int 15", "Float 0.5", "Bool true", "BigInt", "Str", ... Floats are shown
// with 17 significant digits, so equal text means the same double.
std::string describe(const ResolvedScalar& r) {
    switch (r.kind) {
    case ResolvedKind::Null: return "Null";
    case ResolvedKind::Bool: return r.boolean ? "Bool true" : "Bool false";
    case ResolvedKind::Int: return "Int " + std::to_string(r.integer);
    case ResolvedKind::BigInt: return "BigInt";
    case ResolvedKind::Float: {
        if (std::isnan(r.number)) return "Float nan";
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "Float %.17g", r.number);
        return buffer;
    }
    case ResolvedKind::Str: return "Str";
    case ResolvedKind::Merge: return "Merge";
    case ResolvedKind::Invalid: return "Invalid";
    }
    return "?";
}

struct Case {
    ResolveMode mode;
    const char* text;
    const char* expected;
    const char* tag = nullptr;
    bool quoted = false;
};

std::string mode_name(ResolveMode mode) {
    return mode == k12 ? "Core12" : mode == k11 ? "Yaml11" : "Yaml11Compat";
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << mode_name(c.mode) << " '" << c.text << "'" << (c.tag ? std::string(" tag ") + c.tag : "")
        << (c.quoted ? " quoted" : "");
}

class ResolverRules : public ::testing::TestWithParam<Case> {};

TEST_P(ResolverRules, Resolves) {
    const Case& c = GetParam();
    OptionalTag tag = c.tag ? OptionalTag(c.tag) : std::nullopt;
    EXPECT_EQ(describe(resolve_scalar(c.mode, c.text, c.quoted, tag)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ResolverCore12, ResolverRules,
    ::testing::Values(
        // Null, merge and boolean words, matched whole and case-exactly.
        Case{k12, "", "Null"}, Case{k12, "~", "Null"}, Case{k12, "null", "Null"}, Case{k12, "Null", "Null"},
        Case{k12, "NULL", "Null"}, Case{k12, "nULL", "Str"}, Case{k12, "nul", "Str"}, Case{k12, "<<", "Merge"},
        Case{k12, "true", "Bool true"}, Case{k12, "TRUE", "Bool true"}, Case{k12, "False", "Bool false"},
        Case{k12, "tRue", "Str"}, Case{k12, "yes", "Str"}, Case{k12, "on", "Str"}, Case{k12, "y", "Str"},
        Case{k12, "123", "Str", nullptr, true}, Case{k12, "null", "Str", nullptr, true},
        // Integers.
        Case{k12, "0", "Int 0"}, Case{k12, "-0", "Int 0"}, Case{k12, "+7", "Int 7"}, Case{k12, "-17", "Int -17"},
        Case{k12, "0o17", "Int 15"}, Case{k12, "0O17", "Int 15"}, Case{k12, "0x1F", "Int 31"},
        Case{k12, "0Xff", "Int 255"}, Case{k12, "-0x1F", "Int -31"}, Case{k12, "0x", "Str"},
        Case{k12, "0x+1", "Str"}, Case{k12, "0o8", "Str"}, Case{k12, "0b101", "Str"}, Case{k12, "0123", "Str"},
        Case{k12, "00", "Str"}, Case{k12, "+-5", "Str"}, Case{k12, "--5", "Str"}, Case{k12, "-", "Str"},
        Case{k12, "+", "Str"}, Case{k12, "1_000", "Str"}, Case{k12, "12a", "Str"}, Case{k12, "1:30", "Str"},
        Case{k12, " 1", "Str"},
        // The 64-bit edges and the big-integer rule.
        Case{k12, "9223372036854775807", "Int 9223372036854775807"},
        Case{k12, "-9223372036854775807", "Int -9223372036854775807"},
        Case{k12, "9223372036854775808", "BigInt"}, Case{k12, "-9223372036854775808", "BigInt"},
        Case{k12, "+12345678901234567890", "BigInt"}, Case{k12, "0x7FFFFFFFFFFFFFFF", "Int 9223372036854775807"},
        // Beyond 64 bits in any base, as in decimal.
        Case{k12, "0x8000000000000000", "BigInt"}, Case{k12, "-0x8000000000000000", "BigInt"},
        Case{k12, "0o1000000000000000000000", "BigInt"}, Case{k12, "0x8000000000000000g", "Str"},
        Case{k12, "0b10000000000000000000000000000000000000000000000000000000000000000", "Str"},
        Case{k12, "012345678901234567890", "Str"}, Case{k12, "12345678901234567890_1", "Str"},
        // Around the digit counts that cannot overflow (18 decimal, 15
        // hexadecimal, 20 octal), and an invalid digit at each.
        Case{k12, "999999999999999999", "Int 999999999999999999"},
        Case{k12, "-999999999999999999", "Int -999999999999999999"},
        Case{k12, "9999999999999999999", "BigInt"}, Case{k12, "99999999999999999a", "Str"},
        Case{k12, "0xFFFFFFFFFFFFFFF", "Int 1152921504606846975"}, Case{k12, "0xFFFFFFFFFFFFFFG", "Str"},
        Case{k12, "0xFFFFFFFFFFFFFFFF", "BigInt"}, Case{k12, "0o77777777777777777777", "Int 1152921504606846975"},
        Case{k12, "0o7777777777777777777777", "BigInt"}, Case{k12, "0o7777777777777777778", "Str"},
        // Floats: the special forms, then numbers with '.', 'e' or 'E'.
        Case{k12, ".inf", "Float inf"}, Case{k12, "+.Inf", "Float inf"}, Case{k12, "-.INF", "Float -inf"},
        Case{k12, ".NaN", "Float nan"}, Case{k12, "+.nan", "Str"}, Case{k12, "-.nan", "Str"},
        Case{k12, ".nAn", "Str"}, Case{k12, "inf", "Str"}, Case{k12, "nan", "Str"}, Case{k12, "infinity", "Str"},
        Case{k12, "1e5", "Float 100000"}, Case{k12, "0e5", "Float 0"}, Case{k12, "1E-2", "Float 0.01"},
        Case{k12, ".5", "Float 0.5"}, Case{k12, "1.", "Float 1"}, Case{k12, "-1.e1", "Float -10"},
        Case{k12, "+1.5e3", "Float 1500"}, Case{k12, "-0.0", "Float -0"}, Case{k12, "0123.5", "Float 123.5"},
        Case{k12, "1_000.5", "Str"}, Case{k12, "e5", "Str"}, Case{k12, "1e", "Str"}, Case{k12, "1e+", "Str"},
        Case{k12, ".", "Str"}, Case{k12, "-.", "Str"}, Case{k12, ".e5", "Str"}, Case{k12, "1.5.", "Str"},
        Case{k12, "1.5 ", "Str"}, Case{k12, "0x1p3", "Str"}, Case{k12, "0x1.8p1", "Str"},
        Case{k12, "1.0f", "Str"}, Case{k12, "+-1.5", "Str"},
        // Conversion is exact and correctly rounded, and saturates beyond
        // the double range.
        Case{k12, "0.1", "Float 0.10000000000000001"},
        Case{k12, "2.2250738585072011e-308", "Float 2.2250738585072009e-308"},
        Case{k12, "9007199254740993.0", "Float 9007199254740992"},
        Case{k12, "9007199254740995.0", "Float 9007199254740996"},
        Case{k12, "4.9e-324", "Float 4.9406564584124654e-324"},
        Case{k12, "1.7976931348623157e308", "Float 1.7976931348623157e+308"},
        Case{k12, "1.7976931348623159e308", "Float inf"}, Case{k12, "-1e400", "Float -inf"},
        Case{k12, "1e-400", "Float 0"}, Case{k12, "-1e-400", "Float -0"},
        Case{k12, "0.000000000000000000001e300", "Float 1.0000000000000001e+279"},
        Case{k12, "1000000000000000000000e-330", "Float 1.0000000000000019e-309"},
        Case{k12, "1e99999999999999999999", "Float inf"}));

INSTANTIATE_TEST_SUITE_P(
    ResolverYaml11, ResolverRules,
    ::testing::Values(
        Case{k11, "", "Null"}, Case{k11, "~", "Null"}, Case{k11, "NULL", "Null"}, Case{k11, "<<", "Merge"},
        // Booleans, including the one-letter forms.
        Case{k11, "y", "Bool true"}, Case{k11, "Y", "Bool true"}, Case{k11, "n", "Bool false"},
        Case{k11, "N", "Bool false"}, Case{k11, "On", "Bool true"}, Case{k11, "oN", "Str"},
        Case{k11, "NO", "Bool false"}, Case{k11, "yes", "Bool true"}, Case{k11, "YES", "Bool true"},
        Case{k11, "yEs", "Str"}, Case{k11, "Off", "Bool false"}, Case{k11, "True", "Bool true"},
        Case{k11, "FALSE", "Bool false"}, Case{k11, "x", "Str"}, Case{k11, "yes", "Str", nullptr, true},
        // Integers: octal, binary, hexadecimal and underscores.
        Case{k11, "010", "Int 8"}, Case{k11, "-010", "Int -8"}, Case{k11, "00", "Int 0"}, Case{k11, "08", "Str"},
        Case{k11, "0b101", "Int 5"}, Case{k11, "+0B11", "Int 3"}, Case{k11, "0b2", "Str"}, Case{k11, "0b", "Str"},
        Case{k11, "0x_1F", "Int 31"}, Case{k11, "0x", "Str"}, Case{k11, "0o17", "Str"},
        Case{k11, "1_000", "Int 1000"}, Case{k11, "0_10", "Int 8"}, Case{k11, "_", "Str"}, Case{k11, "-_", "Str"},
        Case{k11, "-", "Str"}, Case{k11, "+-5", "Str"}, Case{k11, "12a", "Str"},
        // Sexagesimal integers.
        Case{k11, "1:30", "Int 90"}, Case{k11, "-1:30", "Int -90"}, Case{k11, "60:30", "Int 3630"},
        Case{k11, "1:0:0", "Int 3600"}, Case{k11, "1:60", "Str"}, Case{k11, "1:-30", "Str"},
        Case{k11, "1:+30", "Str"}, Case{k11, "1::30", "Str"}, Case{k11, "1:", "Str"}, Case{k11, ":30", "Str"},
        Case{k11, "1:3a", "Str"},
        Case{k11, "153722867280912930:7", "Int 9223372036854775807"},
        Case{k11, "153722867280912930:8", "Str"},
        // The 64-bit edges and the big-integer rule, underscores kept.
        Case{k11, "9_223_372_036_854_775_807", "Int 9223372036854775807"},
        Case{k11, "9_223_372_036_854_775_808", "BigInt"}, Case{k11, "-9223372036854775808", "BigInt"},
        Case{k11, "12345678901234567890_1", "BigInt"}, Case{k11, "0x8000000000000000", "BigInt"},
        Case{k11, "0x_8000_0000_0000_0000", "BigInt"}, Case{k11, "0b10000000000000000000000000000000000000000000000000000000000000000", "BigInt"},
        Case{k11, "01777777777777777777777", "BigInt"}, Case{k11, "0777777777777777777777", "Int 9223372036854775807"},
        Case{k11, "01777777777777777777778", "Str"}, Case{k11, "0o1000000000000000000000", "Str"},
        // A sexagesimal integer beyond 64 bits is no number.
        Case{k11, "9223372036854775807:0", "Str"},
        // Floats, plain and sexagesimal.
        Case{k11, "1.5", "Float 1.5"}, Case{k11, "1e5", "Float 100000"}, Case{k11, "1_000.5", "Float 1000.5"},
        Case{k11, "09.5", "Float 9.5"}, Case{k11, ".inf", "Float inf"}, Case{k11, "-.Inf", "Float -inf"},
        Case{k11, ".NAN", "Float nan"}, Case{k11, "inf", "Str"}, Case{k11, "1e", "Str"},
        Case{k11, "1:30.5", "Float 90.5"}, Case{k11, "-1:30.5", "Float -90.5"}, Case{k11, "1:90.5", "Str"},
        Case{k11, "1:60.0", "Str"}, Case{k11, "1:59.5", "Float 119.5"}, Case{k11, "1_0:30.5", "Float 630.5"},
        Case{k11, "1:-30.5", "Str"}, Case{k11, "1::30.5", "Str"}, Case{k11, "1:30e1", "Str"},
        Case{k11, "1:nan.5", "Str"}, Case{k11, "Infinity:0.5", "Float inf"}, Case{k11, "-inf:0.5", "Float -inf"},
        Case{k11, "nan:1.5", "Float nan"}, Case{k11, "1:inf.", "Str"}, Case{k11, "nan", "Str"}, Case{k11, "1:NaN.", "Str"},
        Case{k11, "0x1p3", "Str"}));

INSTANTIATE_TEST_SUITE_P(ResolverYaml11Compat, ResolverRules,
                         ::testing::Values(Case{kCompat, "y", "Str"}, Case{kCompat, "Y", "Str"},
                                           Case{kCompat, "n", "Str"}, Case{kCompat, "N", "Str"},
                                           Case{kCompat, "yes", "Bool true"}, Case{kCompat, "off", "Bool false"},
                                           Case{kCompat, "010", "Int 8"}, Case{kCompat, "1:30", "Int 90"}));

constexpr const char* kLongInt = "tag:yaml.org,2002:int";

// An explicit core tag reads its text by its grammar under the load's rule
// set first and then under the other one; what neither reads is Invalid.
INSTANTIATE_TEST_SUITE_P(
    ResolverTags, ResolverRules,
    ::testing::Values(
        // !!int: leading zeros are decimal in 1.2 and octal in 1.1, each
        // mode's own reading first; forms only one rule set knows are read
        // in every mode; beyond 64 bits a big integer.
        Case{k12, "42", "Int 42", kLongInt}, Case{k12, "42", "Int 42", "!!int", true},
        // The verbatim form of a standard tag, as trees keep it, is that tag.
        Case{k12, "42", "Int 42", "!<tag:yaml.org,2002:int>"}, Case{k11, "x", "Invalid", "!<tag:yaml.org,2002:int>"},
        Case{k12, "42", "Str", "!<tag:yaml.org,2002:int"}, Case{k12, "42", "Str", "!<tag:example.com:int>"},
        Case{k12, "017", "Int 17", "!!int"}, Case{k11, "017", "Int 15", "!!int"},
        Case{kCompat, "017", "Int 15", "!!int"}, Case{k12, "-017", "Int -17", "!!int"},
        Case{k12, "00", "Int 0", "!!int"}, Case{k12, "0o17", "Int 15", "!!int"}, Case{k11, "0o17", "Int 15", "!!int"},
        Case{k12, "0b101", "Int 5", "!!int"}, Case{k12, "1_000", "Int 1000", "!!int"},
        Case{k12, "1:30", "Int 90", "!!int"}, Case{k11, "010", "Int 8", kLongInt},
        Case{k12, "99999999999999999999", "BigInt", "!!int"},
        Case{k11, "123456789012345678901234567890", "BigInt", "!!int"},
        Case{k12, "0x1FFFFFFFFFFFFFFFF", "BigInt", "!!int"}, Case{k11, "-9223372036854775808", "BigInt", "!!int"},
        Case{k12, "abc", "Invalid", "!!int"}, Case{k11, "abc", "Invalid", "!!int"}, Case{k12, "", "Invalid", "!!int"},
        Case{k12, "0x", "Invalid", "!!int"}, Case{k12, "-", "Invalid", "!!int"}, Case{k12, "1.5", "Invalid", "!!int"},
        Case{k11, "08", "Int 8", "!!int"}, Case{k11, "1:60", "Invalid", "!!int"},
        // !!float: integers are floats too, with 1.1 underscores and
        // sexagesimal parts, in every mode.
        Case{k12, "5", "Float 5", "!!float"}, Case{k11, "5", "Float 5", "!!float"},
        Case{k12, "1_000", "Float 1000", "!!float"}, Case{kCompat, "1_000", "Float 1000", "!!float"},
        Case{k12, "1:30", "Float 90", "!!float"}, Case{k11, "1:30.5", "Float 90.5", "!!float"},
        Case{k11, "1_0.5", "Float 10.5", "!!float"}, Case{k12, "-0", "Float -0", "!!float"},
        Case{k12, "0123", "Float 123", "!!float"},
        Case{k12, "123456789012345678901", "Float 1.2345678901234568e+20", "!!float"},
        Case{k12, "1e5", "Float 100000", "tag:yaml.org,2002:float"}, Case{k12, "-.inf", "Float -inf", "!!float"},
        Case{k12, "x", "Invalid", "!!float"}, Case{k11, "abc", "Invalid", "!!float"},
        Case{k12, "", "Invalid", "!!float"}, Case{k12, "0x10", "Invalid", "!!float"},
        // !!bool: the 1.1 words in every mode, the one-letter ones unless
        // the load leaves them out.
        Case{k12, "yes", "Bool true", "!!bool"}, Case{k12, "True", "Bool true", "!!bool"},
        Case{k12, "off", "Bool false", "!!bool"}, Case{k12, "y", "Bool true", "!!bool"},
        Case{k11, "yes", "Bool true", "!!bool"}, Case{k11, "y", "Bool true", "tag:yaml.org,2002:bool"},
        Case{kCompat, "y", "Invalid", "!!bool"}, Case{kCompat, "NO", "Bool false", "!!bool"},
        Case{k11, "maybe", "Invalid", "!!bool"}, Case{k12, "", "Invalid", "!!bool"},
        // !!null reads only the null words.
        Case{k12, "", "Null", "!!null"}, Case{k12, "~", "Null", "!!null"}, Case{k11, "NULL", "Null", "!!null"},
        Case{k12, "abc", "Invalid", "!!null"}, Case{k11, "abc", "Invalid", "tag:yaml.org,2002:null"},
        // !!merge marks a merge key in every mode.
        Case{k12, "x", "Merge", "!!merge"}, Case{k11, "x", "Merge", "!!merge"},
        Case{kCompat, "x", "Merge", "tag:yaml.org,2002:merge"}, Case{k12, "<<", "Merge", "!!merge"},
        // Every other tag gives a string.
        Case{k12, "123", "Str", "!!str"}, Case{k11, "yes", "Str", "!!str"}, Case{k12, "123", "Str", "!"},
        Case{k12, "123", "Str", "!int"}, Case{k12, "123", "Str", "!!Int"}, Case{k12, "~", "Str", "!custom"},
        Case{k12, "123", "Str", "tag:yaml.org,2002:"}, Case{k12, "123", "Str", "tag:example.com,2002:int"}));

struct BigTextCase {
    ResolveMode mode;
    std::string text;
    const char* expected;
};

// A tagged big integer in decimal keeps its text; one written in another
// base, or with leading zeros, gets its decimal digits. Untagged, the same.
TEST(ResolverTags, BigIntegerText) {
    const BigTextCase cases[] = {
        {k12, "99999999999999999999", "99999999999999999999"},
        {k11, "+1_0000_0000_0000_0000_0000", "+1_0000_0000_0000_0000_0000"},
        {k12, "-000099999999999999999999", "-99999999999999999999"},
        {k12, "-0x1FFFFFFFFFFFFFFFF", "-36893488147419103231"},
        {k11, "0777777777777777777777777", "4722366482869645213695"},
        {k12, "0777777777777777777777777", "777777777777777777777777"},
        {k11, "0b1" + std::string(64, '0'), "18446744073709551616"},
        {k12, "1:0:0:0:0:0:0:0:0:0:0:0", "36279705600000000000"},
    };
    for (const BigTextCase& c : cases) {
        ASSERT_EQ(describe(resolve_scalar(c.mode, c.text, false, "!!int")), "BigInt") << c.text;
        std::string storage;
        EXPECT_EQ(big_integer_text(c.mode, c.text, storage), c.expected) << c.text;
        EXPECT_EQ(resolve_scalar_owned(c.mode, c.text, false, "!!int").text, c.expected) << c.text;
    }
    const BigTextCase untagged[] = {
        {k12, "0x8000000000000000", "9223372036854775808"},
        {k12, "-0o1000000000000000000000", "-9223372036854775808"},
        {k12, "+12345678901234567890", "+12345678901234567890"},
        {k11, "0x_1_0000_0000_0000_0000", "18446744073709551616"},
        {k11, "01777777777777777777777", "18446744073709551615"},
        {k11, "-0b1" + std::string(64, '0'), "-18446744073709551616"},
        {k11, "1_2345_6789_0123_4567_8901", "1_2345_6789_0123_4567_8901"},
    };
    for (const BigTextCase& c : untagged) {
        ASSERT_EQ(describe(resolve_scalar(c.mode, c.text, false, std::nullopt)), "BigInt") << c.text;
        std::string storage;
        EXPECT_EQ(big_integer_text(c.mode, c.text, storage), c.expected) << c.text;
        EXPECT_EQ(resolve_scalar_owned(c.mode, c.text, false, std::nullopt).text, c.expected) << c.text;
    }
    // Converting another base costs time quadratic in its length, so very
    // long ones are not read.
    EXPECT_EQ(describe(resolve_scalar(k12, "0x" + std::string(4300, 'f'), false, std::nullopt)), "BigInt");
    EXPECT_EQ(describe(resolve_scalar(k12, "0x" + std::string(4301, 'f'), false, std::nullopt)), "Str");
    EXPECT_EQ(describe(resolve_scalar(k12, "0x" + std::string(4300, 'f'), false, "!!int")), "BigInt");
    EXPECT_EQ(describe(resolve_scalar(k12, "0x" + std::string(4301, 'f'), false, "!!int")), "Invalid");
    EXPECT_EQ(describe(resolve_scalar(k12, std::string(100000, '9'), false, "!!int")), "BigInt");
}

TEST(ResolverTags, InvalidTextMessage) {
    EXPECT_EQ(invalid_tagged_text_message("!!int", "abc"), "cannot read 'abc' as !!int");
    EXPECT_EQ(invalid_tagged_text_message("tag:yaml.org,2002:float", "x"), "cannot read 'x' as !!float");
}

TEST(ResolverOwned, CopiesTextForBigIntAndStrAndRewritesMerge) {
    OwnedResolvedScalar merge = resolve_scalar_owned(k12, "<<", false, std::nullopt);
    EXPECT_EQ(merge.kind, ResolvedKind::Str);
    EXPECT_EQ(merge.text, "<<");

    OwnedResolvedScalar tagged_merge = resolve_scalar_owned(k12, "x", false, "!!merge");
    EXPECT_EQ(tagged_merge.kind, ResolvedKind::Str);
    EXPECT_EQ(tagged_merge.text, "<<");

    std::string input = "12345678901234567890_1";
    OwnedResolvedScalar big = resolve_scalar_owned(k11, input, false, std::nullopt);
    input.assign(input.size(), 'x');
    EXPECT_EQ(big.kind, ResolvedKind::BigInt);
    EXPECT_EQ(big.text, "12345678901234567890_1");

    OwnedResolvedScalar str = resolve_scalar_owned(kCompat, "y", false, std::nullopt);
    EXPECT_EQ(str.kind, ResolvedKind::Str);
    EXPECT_EQ(str.text, "y");

    OwnedResolvedScalar number = resolve_scalar_owned(k11, "1:30", false, std::nullopt);
    EXPECT_EQ(number.kind, ResolvedKind::Int);
    EXPECT_EQ(number.integer, 90);
    EXPECT_TRUE(number.text.empty());
}

TEST(ResolverTypeNames, OneNamePerVariant) {
    EXPECT_EQ(type_name(ResolvedKind::Null), "null");
    EXPECT_EQ(type_name(ResolvedKind::Bool), "bool");
    EXPECT_EQ(type_name(ResolvedKind::Int), "int");
    EXPECT_EQ(type_name(ResolvedKind::BigInt), "int");
    EXPECT_EQ(type_name(ResolvedKind::Float), "float");
    EXPECT_EQ(type_name(ResolvedKind::Str), "str");
    EXPECT_EQ(type_name(ResolvedKind::Merge), "merge");
    EXPECT_EQ(type_name(ResolvedKind::Invalid), "invalid");
}

TEST(ResolverHelpers, StripUnderscoresCopiesOnlyWhenNeeded) {
    std::string storage;
    std::string_view plain = "12345";
    EXPECT_EQ(strip_underscores(plain, storage).data(), plain.data());
    EXPECT_TRUE(storage.empty());
    EXPECT_EQ(strip_underscores("_1__2_", storage), "12");
    EXPECT_EQ(strip_underscores("___", storage), "");
}

struct DifferenceCase {
    ResolveMode mode;
    const char* text;
    const char* expected;  // "old/new", or "" for no difference
    const char* tag = nullptr;
    bool quoted = false;
};

void PrintTo(const DifferenceCase& c, std::ostream* os) {
    *os << mode_name(c.mode) << " '" << c.text << "'" << (c.tag ? std::string(" tag ") + c.tag : "");
}

class ResolverDifference : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(ResolverDifference, Reports) {
    const DifferenceCase& c = GetParam();
    OptionalTag tag = c.tag ? OptionalTag(c.tag) : std::nullopt;
    auto difference = resolution_difference(c.mode, c.text, c.quoted, tag);
    std::string shown = difference ? std::string(difference->first) + "/" + std::string(difference->second) : "";
    EXPECT_EQ(shown, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Resolver, ResolverDifference,
    ::testing::Values(
        DifferenceCase{k11, "no", "bool/str"}, DifferenceCase{k11, "y", "bool/str"},
        DifferenceCase{kCompat, "y", ""}, DifferenceCase{kCompat, "Off", "bool/str"},
        DifferenceCase{k11, "010", "int/str"}, DifferenceCase{k11, "1:30", "int/str"},
        DifferenceCase{k11, "1_000.5", "float/str"}, DifferenceCase{k11, "1_000", "int/str"},
        DifferenceCase{k11, "12345678901234567890_1", "int/str"},
        DifferenceCase{k11, "12345678901234567890", ""}, DifferenceCase{k11, "0x10", ""},
        DifferenceCase{k11, "0o10", ""}, DifferenceCase{k11, "hello", ""}, DifferenceCase{k11, "true", ""},
        DifferenceCase{k11, "<<", ""}, DifferenceCase{k11, "yes", "", nullptr, true},
        DifferenceCase{k11, "x", "", "!!merge"}, DifferenceCase{k11, "yes", "", "!!bool"},
        DifferenceCase{k11, "5", "", "!!float"}, DifferenceCase{kCompat, "y", "", "!!bool"},
        DifferenceCase{k11, "abc", "", "!!int"}, DifferenceCase{k12, "yes", ""},
        DifferenceCase{k12, "010", ""}));

}  // namespace
}  // namespace quillmere::resolver
