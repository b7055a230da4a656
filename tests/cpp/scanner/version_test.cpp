// sniff_yaml_version: the version of a leading %YAML directive, or none.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scanner/version.h"

namespace quillmere::scanner {
namespace {

struct Case {
    const char* input;
    std::optional<YamlVersion> expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.input)); }

std::string show(const std::optional<YamlVersion>& v) {
    return v ? std::to_string(v->major) + "." + std::to_string(v->minor) : "none";
}

class VersionSniff : public ::testing::TestWithParam<Case> {};

TEST_P(VersionSniff, Finds) {
    EXPECT_EQ(show(sniff_yaml_version(GetParam().input)), show(GetParam().expected));
}

constexpr std::nullopt_t kNone = std::nullopt;
constexpr YamlVersion v(std::uint32_t major, std::uint32_t minor) { return YamlVersion{major, minor}; }

INSTANTIATE_TEST_SUITE_P(
    Scanner, VersionSniff,
    ::testing::Values(
        Case{"%YAML 1.1\n---\na: 1", v(1, 1)},
        Case{"%YAML 1.2", v(1, 2)},
        Case{"", kNone},
        Case{"\n\n  \n", kNone},
        Case{"a: 1", kNone},
        // Only the lines before the first content line count.
        Case{"# c\n\n%TAG ! x\n%YAML 1.1", v(1, 1)},
        Case{"---\n%YAML 1.1", kNone},
        Case{"a\n%YAML 1.1", kNone},
        Case{"%YAML 1.2\n%YAML 1.1", v(1, 2)},
        Case{"%FOO bar\n%\n%#x\n%YAMLX 1.0\n%yaml 1.0\n%YAML 1.1", v(1, 1)},
        // Line ends: LF splits, a CR before it belongs to it, a lone CR does not split.
        Case{"# c\r\n%YAML 1.1\r\n---", v(1, 1)},
        Case{"# c\r%YAML 1.1", kNone},
        Case{"\xEF\xBB\xBF%YAML 1.1", v(1, 1)},
        Case{"\xEF\xBB\xBF", kNone},
        // As the scanner reads them, marks may start any line before it.
        Case{"\xEF\xBB\xBF\xEF\xBB\xBF%YAML 1.1", v(1, 1)},
        Case{"# c\n\xEF\xBB\xBF%YAML 1.1", v(1, 1)},
        Case{"# c\n \xEF\xBB\xBF%YAML 1.1", kNone},
        // White space: trimmed around the line, splitting the words, any
        // White_Space character counting.
        Case{"  %YAML 1.2  ", v(1, 2)},
        Case{"% YAML 1.2", v(1, 2)},
        Case{"%YAML\t1.2\t", v(1, 2)},
        Case{"\xC2\xA0%YAML\xE3\x80\x80" "1.2\xE2\x80\xA8", v(1, 2)},
        Case{"%YAML 1.2 # note", v(1, 2)},
        Case{"%YAML 1.2 and more", v(1, 2)},
        // The version word.
        Case{"%YAML # 1.2", kNone},
        Case{"%YAML", kNone},
        Case{"%YAML\n1.2", kNone},
        Case{"%YAML 1", kNone},
        Case{"%YAML 1.", kNone},
        Case{"%YAML .2", kNone},
        Case{"%YAML .", kNone},
        Case{"%YAML 1.2.3", kNone},
        Case{"%YAML 1..2", kNone},
        Case{"%YAML +1.2", kNone},
        Case{"%YAML 1.-2", kNone},
        Case{"%YAML 1.x", kNone},
        Case{"%YAML 1.2#c", kNone},
        Case{"%YAML \xD9\xA1.2", kNone},
        Case{"%YAML 4294967296.0", kNone},
        Case{"%YAML 0.4294967296", kNone},
        Case{"%YAML 4294967295.4294967295", v(4294967295u, 4294967295u)},
        Case{"%YAML 01.002", v(1, 2)},
        Case{"%YAML 00000000000000000001.0", v(1, 0)},
        Case{"%YAML 2.0", v(2, 0)}));

// The words after "%YAML", as the sniff and the decoder both read them: a
// version too large for the sniff is still well formed for the decoder, and
// words after the version make it malformed unless they are a comment.
TEST(YamlDirective, WellFormedAndVersion) {
    struct DirectiveCase {
        std::vector<std::string_view> arguments;
        bool well_formed;
        std::string version;
    };
    const DirectiveCase cases[] = {
        {{"1.1"}, true, "1.1"},
        {{"1.2", "#", "note"}, true, "1.2"},
        {{"1.2", "#note"}, true, "1.2"},
        {{"1.2", "extra"}, false, "1.2"},
        {{"99999999999.1"}, true, "none"},
        {{"9.9"}, true, "9.9"},
        {{}, false, "none"},
        {{"#", "1.1"}, false, "none"},
        {{"1"}, false, "none"},
        {{"1.1.1"}, false, "none"},
        {{"1.x"}, false, "none"},
        {{".1"}, false, "none"},
    };
    for (const DirectiveCase& c : cases) {
        const YamlDirective directive = read_yaml_directive(c.arguments);
        EXPECT_EQ(directive.well_formed, c.well_formed) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(show(directive.version), c.version) << ::testing::PrintToString(c.arguments);
    }
}

}  // namespace
}  // namespace quillmere::scanner
