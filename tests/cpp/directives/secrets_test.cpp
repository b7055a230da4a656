// !secret over real secrets.yaml files: the upward search, what a file may
// hold, and where the copied value stands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directives/fixture.h"
#include "directives/load_support.h"
#include "roundtrip/composer.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

using roundtrip::IncludeSource;
using roundtrip::NodeKind;
using roundtrip::YamlNode;
using testing::build_fixture;
using testing::load;
using testing::LoadOptions;
using quillmere::testing::FileTree;
using quillmere::testing::WorkingDirectory;

TEST(Secret, NearestFileWinsAndNothingAboveTheRootIsRead) {
    FileTree tree;
    build_fixture(tree);
    const testing::Loaded loaded = load(tree.path("conf"), "n: !secret name\ns: !include sub/app.yaml\nm: !secret name\n",
                                        tree.path("conf/main.yaml"));
    EXPECT_EQ(loaded.first(), "map(n: conf-level, s: map(a: sub-level, b: root-level), m: conf-level)");
    // Each secrets file is read once; the one above the root never.
    EXPECT_EQ(loaded.context.sources.file_paths,
              (std::vector<std::string>{tree.path("conf/main.yaml"), tree.path("conf/secrets.yaml"),
                                        tree.path("conf/sub/app.yaml"), tree.path("conf/sub/secrets.yaml")}));

    const testing::Loaded above = load(tree.path("conf"), "!secret above", tree.path("conf/main.yaml"));
    ASSERT_TRUE(above.error);
    EXPECT_EQ(above.error->kind, DirectiveErrorKind::SecretNotFound);
    EXPECT_EQ(above.context.sources.file_paths.size(), 2u);

    // A root text whose file lies outside the root finds nothing.
    const testing::Loaded outside = load(tree.path("conf"), "!secret name", tree.path("outside/passwd"));
    ASSERT_TRUE(outside.error);
    EXPECT_EQ(outside.error->message, "secret 'name' is not defined in any secrets.yaml");
    EXPECT_EQ(outside.error->path, tree.path("outside/passwd"));

    // The root text under its default name has no file: it looks in the root.
    WorkingDirectory in_conf(tree.path("conf"));
    EXPECT_EQ(load(".", "!secret name", std::nullopt).first(), "conf-level");
}

TEST(Secret, TheCopyStandsAtTheDirective) {
    FileTree tree;
    tree.write("root/secrets.yaml", "# database\ndb: &d\n  host: h  # the host\n  port: 1\n");
    const testing::Loaded loaded = load(tree.path("root"), "x: 1\nconn: !secret db\n", std::nullopt);
    ASSERT_FALSE(loaded.error) << loaded.first();
    const YamlNode& secret = loaded.documents[0].pairs()[1].value;
    EXPECT_EQ(quillmere::testing::describe_node(secret), "&d map(host: h, port: 1)");
    // Start and end both at the directive, so the node never spans two files.
    const Span directive{0, 1, 14, 19};
    EXPECT_EQ(secret.span, directive);
    EXPECT_EQ(secret.end_offset, 19u);
    EXPECT_EQ(secret.end_line, 1u);
    EXPECT_EQ(secret.end_column, 14u);
    EXPECT_EQ(secret.source(), (IncludeSource{"!secret", "db", std::nullopt}));
    EXPECT_EQ(secret.anchor(), "d");
    // What is below keeps its place, and its comments, in secrets.yaml.
    const YamlNode& host = secret.pairs()[0].value;
    EXPECT_EQ(host.span.file_id, 1u);
    EXPECT_EQ(host.span.line, 2u);
    EXPECT_EQ(host.comments.inline_comment(), " the host");
}

TEST(Secret, MissingIsAnErrorOrCollected) {
    FileTree tree;
    tree.write("root/secrets.yaml", "a: 1\n");
    tree.write("root/inc.yaml", "\nk: !secret 'no such'\n");
    const testing::Loaded failed = load(tree.path("root"), "- !include inc.yaml\n", std::nullopt);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->kind, DirectiveErrorKind::SecretNotFound);
    EXPECT_EQ(failed.error->message, "secret 'no such' is not defined in any secrets.yaml");
    EXPECT_EQ(failed.error->path, tree.path("root/inc.yaml"));
    EXPECT_EQ(failed.error->position, (Span{1, 1, 11, 12}));
    EXPECT_EQ(failed.error->chain, (IncludeChain{{tree.path("root/inc.yaml"), 0}}));

    const testing::Loaded collected =
        load(tree.path("root"), "- !include inc.yaml\n- !secret a\n- !secret b\n", std::nullopt,
             LoadOptions{.collect_missing = true});
    EXPECT_EQ(collected.first(), "seq(map(k: ()), 1, ())");
    const YamlNode& missing = collected.documents[0].items()[0].pairs()[0].value;
    // Still the directive, so that it is written back as one.
    EXPECT_EQ(missing.source(), (roundtrip::IncludeSource{"!secret", "no such", std::nullopt}));
    EXPECT_EQ(missing.tag(), std::nullopt);
    EXPECT_EQ(missing.span, (Span{1, 1, 11, 12}));
    ASSERT_EQ(collected.context.missing_secrets.size(), 2u);
    EXPECT_EQ(collected.context.missing_secrets[0].name, "no such");
    EXPECT_EQ(collected.context.missing_secrets[0].file, tree.path("root/inc.yaml"));
    EXPECT_EQ(collected.context.missing_secrets[0].line, 1u);
    EXPECT_EQ(collected.context.missing_secrets[1].name, "b");
    EXPECT_EQ(collected.context.missing_secrets[1].file, tree.path("root/<root>"));
    EXPECT_EQ(collected.context.missing_secrets[1].line, 2u);
}

TEST(Secret, WhatASecretsFileMayHold) {
    const struct {
        std::string secrets;
        std::string text;
        std::string shown;
    } cases[] = {
        {"k: 1\nk: 2\n", "!secret k", "2"},
        {"[a]: 1\n? {b: 1}\n: 2\nk: v\n", "!secret k", "v"},
        {"my key: v\n", "!secret my key", "v"},
        {"'quoted': v\n", "!secret quoted", "v"},
        {"k: [1, {x: 2}]\n", "!secret k", "[1, {x: 2}]"},
        {"", "!secret k", "error: secret 'k' is not defined in any secrets.yaml"},
        {"# nothing\n", "!secret k", "error: secret 'k' is not defined in any secrets.yaml"},
        {"---\n", "!secret k", "error: secret 'k' is not defined in any secrets.yaml"},
        {"k: 1\n---\nj: 2\n", "!secret j", "error: secret 'j' is not defined in any secrets.yaml"},
        {"logger: debug\nk: v\n", "!secret logger", "error: secret 'logger' is not defined in any secrets.yaml"},
        {"- k\n", "!secret k", "error: secrets.yaml does not contain a dictionary"},
        {"~\n", "!secret k", "error: secrets.yaml does not contain a dictionary"},
        {"k: !secret j\n", "!secret x", "error: secrets not supported in a secrets.yaml file"},
        {"k: [{a: !secret j}]\n", "!secret x", "error: secrets not supported in a secrets.yaml file"},
        // Only values are checked: a tagged key is just its text.
        {"? !secret j\n: v\n", "!secret j", "v"},
        {"k: !env_var HOME\n", "!secret k", "!env_var HOME"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.secrets);
        FileTree tree;
        tree.write("root/secrets.yaml", c.secrets);
        const testing::Loaded loaded = load(tree.path("root"), c.text, std::nullopt);
        EXPECT_EQ(loaded.first(), c.shown);
        if (loaded.error && loaded.error->kind == DirectiveErrorKind::Include) {
            EXPECT_EQ(loaded.error->path, tree.path("root/secrets.yaml"));
            EXPECT_TRUE(loaded.error->chain.empty());
            EXPECT_FALSE(loaded.error->position.has_value());
        }
    }

    FileTree tree;
    tree.write("root/secrets.yaml", "k: [1\n");
    auto composed = roundtrip::parse_documents("k: [1\n");
    ASSERT_FALSE(composed.ok());
    EXPECT_EQ(load(tree.path("root"), "!secret k", std::nullopt).first(),
              "error: invalid secrets.yaml: " + composed.error().message);
}

TEST(Secret, FilesThatAreNotReadAndFilesThatStopTheLoad) {
    // A malformed file ends the load even where a farther file defines the name.
    FileTree tree;
    tree.write("root/secrets.yaml", "k: root\n");
    tree.write("root/sub/secrets.yaml", "- not a mapping\n");
    tree.write("root/sub/app.yaml", "!secret k\n");
    const testing::Loaded malformed = load(tree.path("root"), "!include sub/app.yaml", std::nullopt);
    ASSERT_TRUE(malformed.error);
    EXPECT_EQ(malformed.error->message, "secrets.yaml does not contain a dictionary");
    EXPECT_EQ(malformed.error->path, tree.path("root/sub/secrets.yaml"));
    EXPECT_TRUE(malformed.error->chain.empty());

    // A FIFO, a link out of the root, or bytes that are not UTF-8 define
    // nothing, and the search goes on upwards.
    FileTree quiet;
    quiet.write("outside/secrets.yaml", "k: outside\n");
    quiet.write("root/secrets.yaml", "k: root\n");
    quiet.fifo("root/a/secrets.yaml");
    quiet.link("root/b/secrets.yaml", "../../outside/secrets.yaml");
    quiet.write("root/c/secrets.yaml", "k: caf\xe9\n");
    quiet.write("root/a/x.yaml", "!secret k\n");
    quiet.write("root/b/x.yaml", "!secret k\n");
    quiet.write("root/c/x.yaml", "!secret k\n");
    const testing::Loaded loaded = load(quiet.path("root"),
                                        "[!include a/x.yaml, !include b/x.yaml, !include c/x.yaml]", std::nullopt);
    EXPECT_EQ(loaded.first(), "[root, root, root]");
}

TEST(Secret, LoggerKeyWarnsOncePerLoad) {
    FileTree tree;
    tree.write("root/secrets.yaml", "logger: info\nk: v\n");
    const testing::Loaded loaded = load(tree.path("root"), "[!secret k, !secret k]", std::nullopt);
    EXPECT_EQ(loaded.first(), "[v, v]");
    EXPECT_EQ(loaded.context.warnings,
              std::vector<std::string>{"secrets.yaml: 'logger: debug' expected, but 'logger: info' found"});

    tree.write("root/secrets.yaml", "logger: [debug]\nk: v\n");
    EXPECT_EQ(load(tree.path("root"), "!secret k", std::nullopt).context.warnings,
              std::vector<std::string>{"secrets.yaml: 'logger: debug' expected, but 'logger: ' found"});
    tree.write("root/secrets.yaml", "logger: debug\nk: v\n");
    EXPECT_TRUE(load(tree.path("root"), "!secret k", std::nullopt).context.warnings.empty());
}

}  // namespace
}  // namespace quillmere::directives
