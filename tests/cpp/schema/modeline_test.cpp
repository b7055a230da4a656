// The schema comment finder.
#include <gtest/gtest.h>

#include "schema/modeline.h"

namespace quillmere::schema {
namespace {

TEST(SchemaModeline, FindsTheReferenceBeforeTheContent) {
    struct Case {
        const char* text;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"# yaml-language-server: $schema=./s.json\na: 1\n", "./s.json"},
        {"\n# plain comment\n#yaml-language-server:$schema= ./s.json \t\na: 1", "./s.json"},
        {"  \t# yaml-language-server:   $schema=https://x/y.json  \r\na: 1", "https://x/y.json"},
        {"# yaml-language-server: $schema=a b", "a b"},
        {"# yaml-language-server: $schema=s.json", "s.json"},
        // Unicode white space counts, as around the reference.
        {"#\xE3\x80\x80yaml-language-server:\xC2\xA0$schema=s.json\xE2\x80\xA8", "s.json"},
        // An empty reference is skipped for a later line.
        {"# yaml-language-server: $schema=\n# yaml-language-server: $schema=  \n"
         "# yaml-language-server: $schema=later.json\n",
         "later.json"},
        // A byte order mark is no content.
        {"\xEF\xBB\xBF# yaml-language-server: $schema=bom.json\na: 1", "bom.json"},
        {"\xEF\xBB\xBF\n# yaml-language-server: $schema=bom.json", "bom.json"},
        // Anything else before it hides it.
        {"a: 1\n# yaml-language-server: $schema=s.json\n", std::nullopt},
        {"---\n# yaml-language-server: $schema=s.json\n", std::nullopt},
        {"%YAML 1.2\n# yaml-language-server: $schema=s.json\n", std::nullopt},
        {"# Yaml-Language-Server: $schema=s.json\n", std::nullopt},
        {"# yaml-language-server: $Schema=s.json\n", std::nullopt},
        {"# yaml-language-server $schema=s.json\n", std::nullopt},
        {"# $schema=s.json\n", std::nullopt},
        {"", std::nullopt},
        {"\n\n   \n", std::nullopt},
        // A lone carriage return breaks no line.
        {"# note\r# yaml-language-server: $schema=s.json\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(find_schema_modeline(c.text), c.expected);
    }
}

}  // namespace
}  // namespace quillmere::schema
