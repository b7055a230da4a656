// The scalars of every valid conformance case, in order, with the style and
// the exact text that the case's event stream gives them.
//
// Each "=VAL" line of test.event holds one scalar: optional "&anchor" and
// "<tag>" properties, then the style (":" plain, "'", "\"", "|", ">") and the
// text with \\, \n, \t, \r and \b escaped. A plain scalar with empty text is
// an empty node, which has no token; every other =VAL line is one Scalar
// token.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/suite.h"
#include "support/token_text.h"

namespace quillmere::testing {
namespace {

std::string unescape_event_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case '\\': out += '\\'; break;
            default: out += '\\'; out += text[i];
        }
    }
    return out;
}

char style_mark(ScalarStyle style) {
    switch (style) {
        case ScalarStyle::Plain: return ':';
        case ScalarStyle::SingleQuoted: return '\'';
        case ScalarStyle::DoubleQuoted: return '"';
        case ScalarStyle::Literal: return '|';
        case ScalarStyle::Folded: return '>';
    }
    return '?';
}

// "style text" for every scalar of the event stream that has a token.
std::vector<std::string> event_scalars(const std::string& events) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < events.size()) {
        std::size_t end = events.find('\n', start);
        if (end == std::string::npos) end = events.size();
        std::string_view line(events.data() + start, end - start);
        start = end + 1;
        if (line.substr(0, 5) != "=VAL ") continue;
        line.remove_prefix(5);
        // Properties: "&name " and "<tag> ".
        while (!line.empty() && (line.front() == '&' || line.front() == '<')) {
            const std::size_t space = line.find(' ');
            line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
        }
        if (line.empty()) continue;
        const char style = line.front();
        const std::string text = unescape_event_text(line.substr(1));
        if (style == ':' && text.empty()) continue;
        out.push_back(std::string(1, style) + text);
    }
    return out;
}

std::vector<std::string> token_scalars(const TokenList& tokens) {
    std::vector<std::string> out;
    for (const Token& t : tokens)
        if (t.kind == TokenKind::Scalar) out.push_back(style_mark(t.scalar_style()) + std::string(t.text));
    return out;
}

// Cases whose scalars the scanner reads differently, each with the reason.
// The test checks that each listed case really differs, so the list stays
// exact.
const std::map<std::string, std::string> kDeviations = {
    {"L24T/01", "a clip block scalar whose last line ends the text without a line break keeps no line feed (YAML 1.2, 8.1.1.2); the case's data gives it one"},
};

TEST(SuiteScalars, TextsMatchTheEventStreams) {
    namespace fs = std::filesystem;
    const std::vector<SuiteCase> cases = load_suite();
    ASSERT_FALSE(cases.empty()) << "yaml-test-suite not found under '" << shared_dir() << "'";
    int compared = 0;
    for (const SuiteCase& c : cases) {
        if (c.is_error || !fs::exists(fs::path(c.dir) / "test.event")) continue;
        scanner::Scanner s(c.input);
        auto result = scanner::tokenize(s);
        if (!result.ok()) continue;  // reported by SuiteTokenize
        const auto expected = event_scalars(read_file((fs::path(c.dir) / "test.event").string()));
        if (kDeviations.contains(c.id))
            EXPECT_NE(token_scalars(result.value()), expected) << c.id << " is listed as a deviation but matches";
        else
            EXPECT_EQ(token_scalars(result.value()), expected) << c.id;
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace quillmere::testing
