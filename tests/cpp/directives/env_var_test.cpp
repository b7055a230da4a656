// !env_var: the name, the default and what a miss becomes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "directives/env_var.h"

namespace quillmere::directives {
namespace {

using namespace std::string_literals;
using roundtrip::IncludeSource;
using roundtrip::NodeKind;
using roundtrip::YamlNode;

YamlNode directive(std::string text) {
    YamlNode node = YamlNode::scalar(std::move(text), ScalarStyle::Plain);
    node.mutable_tag() = "!env_var";
    node.mutable_anchor() = "a";
    node.span = Span{1, 4, 7, 90};
    node.end_offset = 99;
    node.end_line = 4;
    node.end_column = 16;
    return node;
}

IncludeContext context_with_sources() {
    IncludeContext context = new_include_context("/srv", false, false, true);
    register_source(context, "/srv/<root>", std::nullopt);
    register_source(context, "/srv/app.yaml", std::nullopt);
    return context;
}

TEST(EnvVar, ValuesAndDefaults) {
    ::setenv("QUILLMERE_PORT", "8080", 1);
    ::setenv("QUILLMERE_EMPTY", "", 1);
    ::unsetenv("QUILLMERE_UNSET");
    const struct {
        std::string argument;
        std::string value;
    } cases[] = {
        {"QUILLMERE_PORT", "8080"},
        {"QUILLMERE_PORT 9", "8080"},
        {"QUILLMERE_EMPTY default", ""},
        {"QUILLMERE_UNSET 9", "9"},
        {"QUILLMERE_UNSET a   b", "a b"},
        {"  QUILLMERE_UNSET\ta\u3000 b  ", "a b"},
        {"", ""},
        {"   ", ""},
        // A name with a NUL byte, or an "=", names no variable.
        {"QUILLMERE_PORT\0x fallback"s, "fallback"},
        {"QUILLMERE_PORT=8080 fallback", "fallback"},
    };
    IncludeContext context = context_with_sources();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        auto result = resolve_env_var(directive(c.argument), context, {});
        ASSERT_TRUE(result.ok()) << result.error().message;
        const YamlNode& node = result.value();
        ASSERT_TRUE(node.is(NodeKind::Scalar));
        EXPECT_EQ(node.text(), c.value);
        // Quoted, so that digits or "true" stay text.
        EXPECT_EQ(node.scalar_style(), ScalarStyle::SingleQuoted);
        EXPECT_EQ(node.source(), (IncludeSource{"!env_var", c.argument, std::nullopt}));
        EXPECT_EQ(node.span, (Span{1, 4, 7, 90}));
        EXPECT_EQ(node.end_offset, 90u);
        EXPECT_EQ(node.end_line, 4u);
        EXPECT_EQ(node.end_column, 7u);
        EXPECT_EQ(node.tag(), std::nullopt);
        EXPECT_EQ(node.anchor(), std::nullopt);
    }
    EXPECT_TRUE(context.missing_env_vars.empty());
}

TEST(EnvVar, MissingIsAnErrorOrCollected) {
    ::unsetenv("QUILLMERE_UNSET");
    IncludeContext context = context_with_sources();
    const IncludeChain chain{{"/srv/app.yaml", 2}};
    auto result = resolve_env_var(directive("QUILLMERE_UNSET"), context, chain);
    ASSERT_FALSE(result.ok());
    const DirectiveError& error = result.error();
    EXPECT_EQ(error.kind, DirectiveErrorKind::EnvVar);
    EXPECT_EQ(error.message, "environment variable QUILLMERE_UNSET is not defined");
    EXPECT_EQ(error.path, "/srv/app.yaml");
    EXPECT_EQ(error.position, (Span{1, 4, 7, 90}));
    EXPECT_EQ(error.chain, chain);

    context.collect_missing_env_vars = true;
    auto collected = resolve_env_var(directive(" QUILLMERE_UNSET "), context, chain);
    ASSERT_TRUE(collected.ok());
    EXPECT_TRUE(collected.value().is(NodeKind::Null));
    // Still the directive, with its argument as written.
    EXPECT_EQ(collected.value().source(), (roundtrip::IncludeSource{"!env_var", " QUILLMERE_UNSET ", std::nullopt}));
    EXPECT_EQ(collected.value().span, (Span{1, 4, 7, 90}));
    ASSERT_EQ(context.missing_env_vars.size(), 1u);
    EXPECT_EQ(context.missing_env_vars[0].name, "QUILLMERE_UNSET");
    EXPECT_EQ(context.missing_env_vars[0].file, "/srv/app.yaml");
    EXPECT_EQ(context.missing_env_vars[0].line, 4u);

    // A node that is not a scalar reads as the empty text.
    YamlNode sequence = YamlNode::sequence({}, CollectionStyle::Flow);
    sequence.mutable_tag() = "!env_var";
    auto empty = resolve_env_var(sequence, context, chain);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value().text(), "");
}

}  // namespace
}  // namespace quillmere::directives
