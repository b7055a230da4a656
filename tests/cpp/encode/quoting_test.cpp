// needs_quotes: which strings must be quoted to read back as themselves.
#include <gtest/gtest.h>

#include <string>

#include "encode/quoting.h"

namespace quillmere::encode {
namespace {

struct Case {
    std::string text;
    bool quoted;
};

void PrintTo(const Case& c, std::ostream* os) { *os << "'" << c.text << "'"; }

class NeedsQuotes : public ::testing::TestWithParam<Case> {};

TEST_P(NeedsQuotes, Decides) { EXPECT_EQ(needs_quotes(GetParam().text), GetParam().quoted); }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    NeedsQuotesWords, NeedsQuotes,
    ::testing::Values(Case{"", true}, Case{"~", true}, Case{"yes", true}, Case{"No", true}, Case{"OFF", true},
                      Case{"null", true}, Case{"True", true}, Case{"FALSE", true}, Case{"<<", true},
                      Case{".inf", true}, Case{"-.Inf", true}, Case{"+.INF", true}, Case{".NaN", true},
                      // The one-letter booleans of the 1.1 rules.
                      Case{"y", true}, Case{"Y", true}, Case{"n", true}, Case{"N", true}, Case{"x", false},
                      Case{"yES", false}, Case{"nulls", false}, Case{"hello", false}, Case{"it's", false},
                      Case{".nAn", false}, Case{"inf", false}));

INSTANTIATE_TEST_SUITE_P(
    NeedsQuotesNumbers, NeedsQuotes,
    ::testing::Values(Case{"123", true}, Case{"1e5", true}, Case{"0123", true}, Case{"0o17", true},
                      Case{"0x1F", true}, Case{"0b101", true}, Case{"1_000", true}, Case{"1_000.5", true},
                      Case{"+5", true}, Case{".5", true}, Case{"1.", true}, Case{"99999999999999999999", true},
                      // Integers of the 1.1 pattern without a digit, which its
                      // readers cannot read; "=" is the 1.1 value key.
                      Case{"0b_", true}, Case{"+0x__", true}, Case{"=", true}, Case{"0b_1x", false},
                      Case{"0_x", false}, Case{"==", false},
                      // Sexagesimal numbers of the 1.1 rules, of any size.
                      Case{"1:30", true}, Case{"1:30.5", true}, Case{"12:00:00", true},
                      Case{"99999999999999999999:30", true}, Case{"1:3:0", true}, Case{"1_0:05.5_", true},
                      Case{"1:60", false}, Case{"1:30x", false}, Case{"1::30", false},
                      // What readers with looser patterns take for numbers:
                      // digits and underscores with leading zeros, prefixed
                      // integers, points followed by digits or underscores.
                      Case{"08", true}, Case{"008000", true}, Case{"01234567890123456789", true},
                      Case{"0o_7", true}, Case{"+_", true}, Case{"0x_fF", true}, Case{"._", true},
                      Case{"._5e+3", true}, Case{"0" + std::string(5000, '7'), true},
                      Case{"0x" + std::string(5000, 'f'), true}, Case{"1_0e5", true},
                      Case{"+1_.e-7", true}, Case{"0o8", false}, Case{"0b2", false}, Case{"._e", false},
                      Case{"1_0e", false}, Case{"1e+", false},
                      // Underscores go before the first digit too under the
                      // 1.1 rules.
                      Case{"_1", true}, Case{"__1.5", true}, Case{"_", false}, Case{"_x", false},
                      // Timestamps of the 1.1 rules.
                      Case{"2001-12-14", true}, Case{"2001-12-14t21:59:43.10-05:00", true},
                      Case{"2001-12-14 21:59:43.10 -5", true}, Case{"2001-1-4 1:59:43", true},
                      Case{"2001-12-14T21:59:43Z", true}, Case{"2002-12-14 21:59:43.10 Z", true},
                      Case{"2001-1-4", false}, Case{"2001-12-14x", false}, Case{"2001-12-14 21:59", false},
                      Case{"2001-12-14T21:59:43+123", false}, Case{"20011-12-14", false},
                      Case{"1.2.3", false}, Case{"1a", false}, Case{"+x", false}, Case{".x", false},
                      Case{"1 2", false}, Case{"3 apples", false}));

INSTANTIATE_TEST_SUITE_P(
    NeedsQuotesIndicators, NeedsQuotes,
    ::testing::Values(Case{"-x", true}, Case{"-1", true}, Case{"---", true}, Case{"- a", true},
                      Case{":x", true}, Case{"?x", true}, Case{"!tag", true}, Case{"&a", true},
                      Case{"*a", true}, Case{"#c", true}, Case{"%x", true}, Case{"@x", true},
                      Case{"`x", true}, Case{"'x", true}, Case{"\"x", true}, Case{"|x", true},
                      Case{">x", true}, Case{"[a", true}, Case{"]a", true}, Case{"{a", true},
                      Case{"}a", true}, Case{",a", true}, Case{" x", true}, Case{"\tx", true},
                      Case{"a,b", false}, Case{"a[b]", false}, Case{"a{b}", false}, Case{"a-b", false},
                      Case{"a!b", false}, Case{"a*b", false}, Case{"a?", false}, Case{"a|b", false}));

INSTANTIATE_TEST_SUITE_P(
    NeedsQuotesInside, NeedsQuotes,
    ::testing::Values(Case{"a: b", true}, Case{"a:", true}, Case{"a #b", true}, Case{"x ", true},
                      Case{"x\t", true}, Case{"a:b", false}, Case{"a#b", false}, Case{"http://x.org/#a", false},
                      Case{"a :b", false}, Case{"a\tb", true}, Case{"a\nb", true}, Case{"a\rb", true},
                      Case{"a\x7f", true}, Case{"a\x01z", true}, Case{"a\0z"s, true}, Case{"\x7f", true},
                      Case{"\x1b[0m", true}, Case{"\n", true}, Case{"caf\u00e9", false},
                      Case{"\u00e9t\u00e9: x", true}, Case{"\u0080", true}, Case{"a\u009f", true},
                      Case{"a\u00a0b", false}, Case{"\xEF\xBF\xBEx", true},
                      Case{"x\xEF\xBF\xBF", true}, Case{"\U0010FFFF", false},
                      // What YAML 1.1 readers fold or drop.
                      Case{"a\u0085b", true}, Case{"a\u2028b", true}, Case{"a\u2029", true}, Case{"x\uFFFD\uFEFF", true},
                      Case{"a\u2027b", false}, Case{"a\u202Ab", false}));

INSTANTIATE_TEST_SUITE_P(
    NeedsQuotesMarkers, NeedsQuotes,
    ::testing::Values(Case{"\xEF\xBB\xBF", true}, Case{"\xEF\xBB\xBFx", true}, Case{"x\xEF\xBB\xBF", true},
                      Case{"...", true}, Case{"... x", true}, Case{"...\tx", true}, Case{"...\n", true},
                      Case{"....", false}, Case{"...x", false}, Case{"..", false}, Case{"--- x", true},
                      Case{"a ... b", false}));

}  // namespace
}  // namespace quillmere::encode
