// Confinement to the include root, over one tree with links leading out of
// it; the depth limit, the argument rule and the base directory.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "directives/confine.h"
#include "directives/fixture.h"
#include "directives/paths.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

using roundtrip::YamlNode;
using testing::build_fixture;
using quillmere::testing::FileTree;
using quillmere::testing::WorkingDirectory;

// A context for `root`, holding one source: the file main.yaml in it.
IncludeContext context_in(const std::string& root) {
    IncludeContext context = new_include_context(root, true, true, true);
    register_source(context, join_path(root, "main.yaml"), std::string("{}\n"));
    return context;
}

TEST(Confinement, TableOverOneTree) {
    FileTree tree;
    build_fixture(tree);
    const IncludeContext context = context_in(tree.path("conf"));
    const IncludeChain chain{{tree.path("conf/main.yaml"), 4}};
    const std::string outside_message = "' resolves outside the configured include directory";
    const std::string nul_path = std::string("a") + '\0' + ".yaml";

    const struct {
        std::string argument;
        std::optional<std::string> confined;  // the path returned, or
        DirectiveErrorKind kind;              // the error's kind
        std::string message;                  // and message
    } cases[] = {
        {"a.yaml", tree.path("conf/a.yaml"), {}, ""},
        {"sub/../a.yaml", tree.path("conf/a.yaml"), {}, ""},
        {"inner_link.yaml", tree.path("conf/a.yaml"), {}, ""},
        // A file that does not exist passes; the read reports it.
        {"missing.yaml", tree.path("conf/missing.yaml"), {}, ""},
        {"nope/../sub/b.yaml", tree.path("conf/sub/b.yaml"), {}, ""},
        {"../x", std::nullopt, DirectiveErrorKind::IncludeConfinement, "'../x" + outside_message},
        {"../outside/passwd", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'../outside/passwd" + outside_message},
        {tree.path("outside/passwd"), std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'" + tree.path("outside/passwd") + outside_message},
        {"/etc/passwd", std::nullopt, DirectiveErrorKind::IncludeConfinement, "'/etc/passwd" + outside_message},
        {"file_link.yaml", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'file_link.yaml" + outside_message},
        {"dir_link/x.yaml", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'dir_link/x.yaml" + outside_message},
        {"dir_link/missing.yaml", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'dir_link/missing.yaml" + outside_message},
        // The root's name is a prefix of conf2's text, not of its components.
        {"../conf2/x.yaml", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'../conf2/x.yaml" + outside_message},
        {"../conf2/missing.yaml", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'../conf2/missing.yaml" + outside_message},
        // The lexical form out/passwd lies inside the root; the file it
        // names does not.
        {"nope/../out/passwd", std::nullopt, DirectiveErrorKind::IncludeConfinement,
         "'nope/../out/passwd" + outside_message},
        {"dangling.yaml", std::nullopt, DirectiveErrorKind::IncludeNotFound,
         "cannot read included file 'dangling.yaml': not found"},
        {nul_path, std::nullopt, DirectiveErrorKind::IncludeNotFound,
         "cannot read included file '" + nul_path + "': file name contained an unexpected NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const std::string joined = join_path(directive_base(context, 0), c.argument);
        auto result = confine_path(context, joined, c.argument, 0, chain);
        if (c.confined) {
            ASSERT_TRUE(result.ok()) << result.error().message;
            EXPECT_EQ(result.value(), *c.confined);
            continue;
        }
        ASSERT_FALSE(result.ok()) << result.value();
        const DirectiveError& error = result.error();
        EXPECT_EQ(error.kind, c.kind);
        EXPECT_EQ(error.message, c.message);
        EXPECT_EQ(error.path, tree.path("conf/main.yaml"));
        EXPECT_EQ(error.chain, chain);
        EXPECT_FALSE(error.position.has_value());
    }
}

TEST(Confinement, RelativeRootIsMadeAbsolute) {
    FileTree tree;
    build_fixture(tree);
    WorkingDirectory in_conf(tree.path("conf"));
    IncludeContext context = new_include_context(".", true, false, false);
    EXPECT_EQ(context.root, ".");
    EXPECT_EQ(context.canonical_root, tree.path("conf"));
    register_source(context, "./<root>", std::string());
    EXPECT_EQ(directive_base(context, 0), ".");

    // A file that is missing inside a relative root is inside it.
    auto missing = confine_path(context, "./missing.yaml", "missing.yaml", 0, {});
    ASSERT_TRUE(missing.ok()) << missing.error().message;
    EXPECT_EQ(missing.value(), tree.path("conf/missing.yaml"));
    auto outside = confine_path(context, "./../conf2/missing.yaml", "../conf2/missing.yaml", 0, {});
    ASSERT_FALSE(outside.ok());
    EXPECT_EQ(outside.error().kind, DirectiveErrorKind::IncludeConfinement);

    IncludeContext sub = new_include_context("sub", true, false, false);
    EXPECT_EQ(sub.canonical_root, tree.path("conf/sub"));
    IncludeContext gone = new_include_context("gone/../nowhere", true, false, false);
    EXPECT_EQ(gone.canonical_root, tree.path("conf/nowhere"));
}

TEST(Confinement, RootThatDoesNotExistConfinesEverythingOut) {
    FileTree tree;
    build_fixture(tree);
    IncludeContext context = context_in(tree.path("nowhere"));
    EXPECT_EQ(context.canonical_root, tree.path("nowhere"));
    auto result = confine_path(context, tree.path("conf/a.yaml"), "a.yaml", 0, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, DirectiveErrorKind::IncludeConfinement);
}

TEST(DirectiveBase, DirectoryOfTheDirectivesFile) {
    IncludeContext context = new_include_context("/srv/app", true, false, false);
    register_source(context, "/srv/app/conf/main.yaml", std::nullopt);
    register_source(context, "main.yaml", std::nullopt);
    register_source(context, "/", std::nullopt);
    EXPECT_EQ(directive_base(context, 0), "/srv/app/conf");
    EXPECT_EQ(directive_base(context, 1), "");  // read relative to the working directory
    EXPECT_EQ(directive_base(context, 2), "/srv/app");
    EXPECT_EQ(directive_base(context, 7), "/srv/app");
    EXPECT_EQ(path_for(context, 7), "/srv/app");
}

TEST(DirectiveArgument, NonBlankScalarsOnly) {
    IncludeContext context = new_include_context("/srv/app", true, false, false);
    register_source(context, "/srv/app/main.yaml", std::nullopt);
    const IncludeChain chain{{"/srv/app/x.yaml", 2}};

    YamlNode quoted = YamlNode::scalar(" a.yaml", ScalarStyle::SingleQuoted);
    auto kept = directive_argument(quoted, "!include", context, chain);
    ASSERT_TRUE(kept.ok());
    EXPECT_EQ(kept.value(), " a.yaml");  // not trimmed

    std::vector<YamlNode> bad;
    bad.push_back(YamlNode::scalar("", ScalarStyle::Plain));
    bad.push_back(YamlNode::scalar(" \t\u3000", ScalarStyle::DoubleQuoted));
    bad.push_back(YamlNode::sequence({}, CollectionStyle::Flow));
    bad.push_back(YamlNode::mapping({}, CollectionStyle::Flow));
    bad.push_back(YamlNode::null());
    bad.push_back(YamlNode::alias("a"));
    for (const YamlNode& node : bad) {
        auto result = directive_argument(node, "!include_dir_merge_list", context, chain);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().kind, DirectiveErrorKind::Include);
        EXPECT_EQ(result.error().message, "!include_dir_merge_list needs an argument");
        EXPECT_EQ(result.error().path, "/srv/app/main.yaml");
        EXPECT_EQ(result.error().chain, chain);
    }
}

TEST(IncludeDepth, FiftyFramesIsTheLimit) {
    IncludeContext context = new_include_context("/srv", true, false, false);
    register_source(context, "/srv/f49.yaml", std::nullopt);
    IncludeChain chain(49, IncludeFrame{"/srv/f.yaml", 0});
    EXPECT_TRUE(check_include_depth(context, 0, chain).ok());
    chain.push_back(IncludeFrame{"/srv/f50.yaml", 3});
    auto result = check_include_depth(context, 0, chain);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, DirectiveErrorKind::IncludeDepth);
    EXPECT_EQ(result.error().message, "include chain exceeds the maximum depth of 50");
    EXPECT_EQ(result.error().path, "/srv/f49.yaml");
    EXPECT_EQ(result.error().chain, chain);
}

}  // namespace
}  // namespace quillmere::directives
