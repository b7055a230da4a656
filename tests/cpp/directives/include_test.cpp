// !include and the directive load over real files: confinement, the chain
// and its limits, every error of a read, and the tree that comes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directives/fixture.h"
#include "directives/load_support.h"
#include "roundtrip/composer.h"
#include "roundtrip/emitter.h"
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

const std::string kOutside = "' resolves outside the configured include directory";

// Loads `text` as conf/main.yaml of the shared tree, with the root conf.
struct ConfLoad {
    FileTree tree;
    ConfLoad() { build_fixture(tree); }
    testing::Loaded operator()(std::string_view text, const LoadOptions& options = {}) const {
        return load(tree.path("conf"), text, tree.path("conf/main.yaml"), options);
    }
};

TEST(Include, TableOverOneTree) {
    ConfLoad conf;
    const FileTree& tree = conf.tree;
    const std::string nul = std::string("a") + '\0' + ".yaml";
    const struct {
        std::string text;
        std::string shown;         // the first document, or "error: " and the message
        DirectiveErrorKind kind;   // for errors: the kind
        std::string path;          // and the path, below the tree
        bool positioned;           // and whether it has a position
    } cases[] = {
        {"x: !include a.yaml", "map(x: map(a: 1))", {}, "", false},
        {"x: !include inner_link.yaml", "map(x: map(a: 1))", {}, "", false},
        {"x: !include sub/b.yaml", "map(x: map(b: 2))", {}, "", false},
        {"x: !include ./sub/../a.yaml", "map(x: map(a: 1))", {}, "", false},
        {"x: !include ../x", "error: '../x" + kOutside, DirectiveErrorKind::IncludeConfinement, "conf/main.yaml",
         false},
        {"x: !include " + tree.path("outside/passwd"), "error: '" + tree.path("outside/passwd") + kOutside,
         DirectiveErrorKind::IncludeConfinement, "conf/main.yaml", false},
        {"x: !include /etc/passwd", "error: '/etc/passwd" + kOutside, DirectiveErrorKind::IncludeConfinement,
         "conf/main.yaml", false},
        {"x: !include file_link.yaml", "error: 'file_link.yaml" + kOutside, DirectiveErrorKind::IncludeConfinement,
         "conf/main.yaml", false},
        {"x: !include dir_link/x.yaml", "error: 'dir_link/x.yaml" + kOutside,
         DirectiveErrorKind::IncludeConfinement, "conf/main.yaml", false},
        {"x: !include dangling.yaml", "error: cannot read included file 'dangling.yaml': not found",
         DirectiveErrorKind::IncludeNotFound, "conf/main.yaml", false},
        {"x: !include nope/../out/passwd", "error: 'nope/../out/passwd" + kOutside,
         DirectiveErrorKind::IncludeConfinement, "conf/main.yaml", false},
        {"x: !include \"a\\0.yaml\"",
         "error: cannot read included file '" + nul + "': file name contained an unexpected NUL byte",
         DirectiveErrorKind::IncludeNotFound, "conf/main.yaml", false},
        {"x: !include_dir_list \"sub\\0\"",
         "error: cannot read included file 'sub" + std::string(1, '\0') +
             "': file name contained an unexpected NUL byte",
         DirectiveErrorKind::IncludeNotFound, "conf/main.yaml", false},
        {"x: !include ../conf2/x.yaml", "error: '../conf2/x.yaml" + kOutside,
         DirectiveErrorKind::IncludeConfinement, "conf/main.yaml", false},
        {"x: !include missing.yaml",
         "error: cannot read included file 'missing.yaml': No such file or directory (os error 2)",
         DirectiveErrorKind::IncludeNotFound, "conf/missing.yaml", false},
        {"x: !include ''", "error: !include needs an argument", DirectiveErrorKind::Include, "conf/main.yaml", false},
        {"x: !include [a.yaml]", "error: !include needs an argument", DirectiveErrorKind::Include, "conf/main.yaml",
         false},
        {"x: !include_dir_list dir_link", "error: 'dir_link" + kOutside, DirectiveErrorKind::IncludeConfinement,
         "conf/main.yaml", false},
        // Listings through a link that leads out: a file always, a
        // directory once the listing goes into subdirectories.
        {"x: !include_dir_list links", "error: '" + tree.path("conf/links/out.yaml") + kOutside,
         DirectiveErrorKind::IncludeConfinement, "conf/main.yaml", false},
        {"x: !include_dir_list links2", "map(x: seq(ok))", {}, "", false},
        {"x: !secret above", "error: secret 'above' is not defined in any secrets.yaml",
         DirectiveErrorKind::SecretNotFound, "conf/main.yaml", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const testing::Loaded loaded = conf(c.text);
        EXPECT_EQ(loaded.first(), c.shown);
        if (!loaded.error) continue;
        EXPECT_EQ(loaded.error->kind, c.kind);
        EXPECT_EQ(loaded.error->path, tree.path(c.path));
        EXPECT_TRUE(loaded.error->chain.empty());
        EXPECT_EQ(loaded.error->position.has_value(), c.positioned);
    }
    const testing::Loaded recursive = conf("x: !include_dir_list links2", LoadOptions{.recursive = true});
    EXPECT_EQ(recursive.first(), "error: '" + tree.path("conf/links2/outdir") + kOutside);
}

TEST(Include, DefaultRootIsTheWorkingDirectory) {
    ConfLoad conf;
    WorkingDirectory in_conf(conf.tree.path("conf"));
    const testing::Loaded found = load(".", "x: !include a.yaml\n", std::nullopt);
    EXPECT_EQ(found.first(), "map(x: map(a: 1))");
    EXPECT_EQ(found.context.sources.file_paths,
              (std::vector<std::string>{"./<root>", conf.tree.path("conf/a.yaml")}));

    // Missing inside a relative root is a failed read, not a confinement.
    const testing::Loaded missing = load(".", "x: !include missing.yaml\n", std::nullopt);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(missing.error->message,
              "cannot read included file 'missing.yaml': No such file or directory (os error 2)");
    EXPECT_EQ(missing.error->path, conf.tree.path("conf/missing.yaml"));
}

TEST(Include, ReadFailures) {
    FileTree tree;
    tree.write("root/bad.yaml", "a: [1\n");
    tree.write("root/latin1.yaml", "caf\xe9: 1\n");
    tree.fifo("root/pipe.yaml");
    tree.directory("root/dir.yaml");
    tree.write("root/outer.yaml", "# the include\n\ninner: !include bad.yaml\n");
    const std::string root = tree.path("root");

    auto failure = [&](std::string_view text) {
        testing::Loaded loaded = load(root, text, tree.path("root/main.yaml"));
        EXPECT_TRUE(loaded.error) << loaded.first();
        return loaded.error.value_or(DirectiveError{});
    };
    const DirectiveError latin1 = failure("!include latin1.yaml");
    EXPECT_EQ(latin1.kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(latin1.message, "cannot read included file 'latin1.yaml': stream did not contain valid UTF-8");
    EXPECT_EQ(latin1.path, tree.path("root/latin1.yaml"));

    // A FIFO would block the load; it is refused without being opened for reading.
    const DirectiveError pipe = failure("!include pipe.yaml");
    EXPECT_EQ(pipe.kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(pipe.message, "cannot read included file 'pipe.yaml': not a regular file");

    const DirectiveError dir = failure("!include dir.yaml");
    EXPECT_EQ(dir.message, "cannot read included file 'dir.yaml': Is a directory (os error 21)");

    // A syntax error in an included file: its message alone, its path, the chain.
    auto composed = roundtrip::parse_documents("a: [1\n");
    ASSERT_FALSE(composed.ok());
    const DirectiveError bad = failure("first: 1\nouter: !include outer.yaml\n");
    EXPECT_EQ(bad.kind, DirectiveErrorKind::Include);
    EXPECT_EQ(bad.message, composed.error().message);
    EXPECT_EQ(bad.path, tree.path("root/bad.yaml"));
    EXPECT_EQ(bad.chain, (IncludeChain{{tree.path("root/outer.yaml"), 1}}));
    EXPECT_FALSE(bad.position.has_value());
    EXPECT_EQ(describe_directive_error(bad), composed.error().message + " in " + tree.path("root/bad.yaml") +
                                                 "\n  included from " + tree.path("root/outer.yaml") + ", line 2");

    // A syntax error in the root text: its message alone, against the root.
    const testing::Loaded root_error = load(root, "a: [1\n", std::nullopt);
    ASSERT_TRUE(root_error.error);
    EXPECT_EQ(root_error.error->kind, DirectiveErrorKind::Include);
    EXPECT_EQ(root_error.error->message, composed.error().message);
    EXPECT_EQ(root_error.error->path, root);
    EXPECT_TRUE(root_error.error->chain.empty());
    EXPECT_EQ(root_error.context.sources.file_paths, std::vector<std::string>{root + "/<root>"});
}

TEST(Include, ChainAcrossFiles) {
    FileTree tree;
    tree.write("root/a.yaml", "x: 1\ny: !include sub/b.yaml\n");
    tree.write("root/sub/b.yaml", "- 1\n- 2\n- !include c.yaml\n");
    const testing::Loaded loaded = load(tree.path("root"), "top: !include a.yaml\n", tree.path("root/main.yaml"));
    ASSERT_TRUE(loaded.error);
    const DirectiveError& error = *loaded.error;
    EXPECT_EQ(error.kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(error.message, "cannot read included file 'c.yaml': No such file or directory (os error 2)");
    EXPECT_EQ(error.path, tree.path("root/sub/c.yaml"));
    EXPECT_EQ(error.chain, (IncludeChain{{tree.path("root/a.yaml"), 0}, {tree.path("root/sub/b.yaml"), 1}}));
    EXPECT_EQ(describe_directive_error(error),
              error.message + " in " + tree.path("root/sub/c.yaml") + "\n  included from " + tree.path("root/a.yaml") +
                  ", line 1\n  included from " + tree.path("root/sub/b.yaml") + ", line 2");
}

// Files d1.yaml ... d{count}.yaml, each including the next; the last holds
// its number.
void write_chain(const FileTree& tree, int count) {
    for (int i = 1; i < count; ++i)
        tree.write("root/d" + std::to_string(i) + ".yaml", "!include d" + std::to_string(i + 1) + ".yaml\n");
    tree.write("root/d" + std::to_string(count) + ".yaml", "end: " + std::to_string(count) + "\n");
}

TEST(Include, FiftyLevelsLoadAndTheFiftyFirstFails) {
    FileTree tree;
    write_chain(tree, 50);
    const testing::Loaded fifty = load(tree.path("root"), "!include d1.yaml", std::nullopt);
    EXPECT_EQ(fifty.first(), "map(end: 50)");
    EXPECT_EQ(fifty.context.sources.file_paths.size(), 51u);
    // Each include set its own provenance on the same root: the outermost
    // first, then each file's in the order the chain entered them.
    ASSERT_EQ(fifty.documents.size(), 1u);
    EXPECT_EQ(fifty.documents[0].source(), (IncludeSource{"!include", "d1.yaml", 1}));
    std::uint32_t level = 1;
    for (const IncludeSource* source = &*fifty.documents[0].source(); source; source = source->inner.get(), ++level)
        EXPECT_EQ(*source, (IncludeSource{"!include", "d" + std::to_string(level) + ".yaml", level}));
    EXPECT_EQ(level, 51u);

    FileTree deeper;
    write_chain(deeper, 51);
    const testing::Loaded failed = load(deeper.path("root"), "!include d1.yaml", std::nullopt);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->kind, DirectiveErrorKind::IncludeDepth);
    EXPECT_EQ(failed.error->message, "include chain exceeds the maximum depth of 50");
    EXPECT_EQ(failed.error->path, deeper.path("root/d50.yaml"));
    ASSERT_EQ(failed.error->chain.size(), 50u);
    EXPECT_EQ(failed.error->chain.front(), (IncludeFrame{deeper.path("root/d1.yaml"), 0}));
    EXPECT_EQ(failed.error->chain.back(), (IncludeFrame{deeper.path("root/d50.yaml"), 0}));
}

TEST(Include, DeepNestingAcrossFiles) {
    // Fifty files, each nesting the next 900 sequences deep: the walk goes
    // 45,000 levels down and must not run out of stack.
    FileTree tree;
    for (int i = 1; i <= 50; ++i) {
        const std::string inner = i < 50 ? "!include d" + std::to_string(i + 1) + ".yaml" : "end";
        tree.write("root/d" + std::to_string(i) + ".yaml", std::string(900, '[') + inner + std::string(900, ']'));
    }
    const testing::Loaded loaded = load(tree.path("root"), "!include d1.yaml", std::nullopt);
    ASSERT_FALSE(loaded.error) << loaded.first();
    const YamlNode* node = &loaded.documents[0];
    std::size_t depth = 0;
    while (node->is(NodeKind::Sequence)) {
        node = &node->items()[0];
        ++depth;
    }
    EXPECT_EQ(depth, 45'000u);
    EXPECT_EQ(quillmere::testing::describe_node(*node), "end");
}

TEST(Include, Cycles) {
    FileTree tree;
    tree.write("root/a.yaml", "b: !include b.yaml\n");
    tree.write("root/b.yaml", "\n\na: !include ./a.yaml\n");
    tree.write("root/self.yaml", "!include self.yaml\n");
    tree.write("root/main.yaml", "m: !include main.yaml\n");
    const std::string root = tree.path("root");

    const testing::Loaded pair = load(root, "x: !include a.yaml\n", std::nullopt);
    ASSERT_TRUE(pair.error);
    EXPECT_EQ(pair.error->kind, DirectiveErrorKind::CircularInclude);
    EXPECT_EQ(pair.error->message, "circular include detected: './a.yaml'");
    EXPECT_EQ(pair.error->path, tree.path("root/a.yaml"));
    EXPECT_EQ(pair.error->chain, (IncludeChain{{tree.path("root/a.yaml"), 0}, {tree.path("root/b.yaml"), 0}}));

    const testing::Loaded self = load(root, "!include self.yaml", std::nullopt);
    ASSERT_TRUE(self.error);
    EXPECT_EQ(self.error->message, "circular include detected: 'self.yaml'");
    EXPECT_EQ(self.error->chain, (IncludeChain{{tree.path("root/self.yaml"), 0}}));

    // The root text is not on the chain: its file is read once more first.
    const testing::Loaded root_file = load(root, "m: !include main.yaml\n", tree.path("root/main.yaml"));
    ASSERT_TRUE(root_file.error);
    EXPECT_EQ(root_file.error->kind, DirectiveErrorKind::CircularInclude);
    EXPECT_EQ(root_file.context.sources.file_paths,
              (std::vector<std::string>{tree.path("root/main.yaml"), tree.path("root/main.yaml")}));
}

TEST(Include, FanOutIsBounded) {
    // Fifty levels, each file including the next twice: 2^50 reads unbounded.
    FileTree tree;
    for (int i = 1; i < 50; ++i) {
        const std::string next = "d" + std::to_string(i + 1) + ".yaml";
        tree.write("root/d" + std::to_string(i) + ".yaml", "- !include " + next + "\n- !include " + next + "\n");
    }
    tree.write("root/d50.yaml", "end\n");
    const testing::Loaded loaded = load(tree.path("root"), "!include d1.yaml", std::nullopt);
    ASSERT_TRUE(loaded.error);
    EXPECT_EQ(loaded.error->kind, DirectiveErrorKind::Include);
    EXPECT_EQ(loaded.error->message, "includes exceed the maximum of 10000 files read by one load");
    EXPECT_EQ(loaded.context.included_files_read, 10'000u);
    EXPECT_EQ(loaded.context.sources.file_paths.size(), 10'001u);
}

TEST(Include, TenThousandFilesAreAllowed) {
    // A hundred listings of a directory of 99 files (the directory counts
    // too): exactly the limit, and one file more is over it.
    FileTree tree;
    for (int i = 0; i < 99; ++i) tree.write("root/d/f" + std::to_string(i) + ".yaml", "x\n");
    std::string text;
    for (int i = 0; i < 100; ++i) text += "- !include_dir_list d\n";
    const testing::Loaded limit = load(tree.path("root"), text, std::nullopt);
    EXPECT_FALSE(limit.error) << limit.first();
    EXPECT_EQ(limit.context.included_files_read, 10'000u);

    const testing::Loaded over = load(tree.path("root"), text + "- !include d/f0.yaml\n", std::nullopt);
    ASSERT_TRUE(over.error);
    EXPECT_EQ(over.error->message, "includes exceed the maximum of 10000 files read by one load");
    EXPECT_EQ(over.error->path, tree.path("root/d/f0.yaml"));
}

// The bytes of every file a load reads count, repeats too: the read that
// would pass the bound fails, located at its directive's chain.
TEST(Include, TheBytesOneLoadReadsAreBounded) {
    FileTree tree;
    tree.write("root/ten.yaml", "k: 123456\n");  // 10 bytes
    tree.write("root/inc.yaml", "- !include ten.yaml\n- !include ten.yaml\n");  // 40 bytes
    tree.write("root/secrets.yaml", "s: 1234567\n");  // 11 bytes
    const std::string text = "a: !include ten.yaml\nb: !include inc.yaml\n";
    const testing::Loaded exact = load(tree.path("root"), text, std::nullopt, LoadOptions{.max_bytes = 70});
    EXPECT_FALSE(exact.error) << exact.first();
    EXPECT_EQ(exact.context.included_bytes_left, 0u);

    const testing::Loaded over = load(tree.path("root"), text, std::nullopt, LoadOptions{.max_bytes = 69});
    ASSERT_TRUE(over.error);
    EXPECT_EQ(over.error->kind, DirectiveErrorKind::Include);
    EXPECT_EQ(over.error->message, "includes exceed the maximum of 268435456 bytes read by one load");
    EXPECT_EQ(over.error->path, tree.path("root/ten.yaml"));
    EXPECT_EQ(over.error->chain, (IncludeChain{{tree.path("root/inc.yaml"), 1}}));

    // A secrets file counts as well, and past the bound it fails the load
    // instead of defining nothing.
    const testing::Loaded secret =
        load(tree.path("root"), "a: !include ten.yaml\nb: !secret s\n", std::nullopt, LoadOptions{.max_bytes = 20});
    ASSERT_TRUE(secret.error);
    EXPECT_EQ(secret.error->message, "includes exceed the maximum of 268435456 bytes read by one load");
    EXPECT_EQ(secret.error->path, tree.path("root/secrets.yaml"));
    EXPECT_EQ(load(tree.path("root"), "b: !secret s\n", std::nullopt, LoadOptions{.max_bytes = 11}).first(),
              "map(b: 1234567)");
}

TEST(Include, ResultsAndProvenance) {
    FileTree tree;
    tree.write("root/comments.yaml", "# only a comment\n");
    tree.write("root/three.yaml", "one\n---\ntwo\n---\nthree\n");
    tree.write("root/again.yaml", "!include three.yaml\n");
    tree.write("root/anchored.yaml", "# head\n&a [1, 2]  # tail\n");
    const std::string text =
        "empty: !include comments.yaml\n"
        "first: !include three.yaml\n"
        "nested: !include again.yaml\n"
        "kept: !include anchored.yaml\n";
    const testing::Loaded loaded = load(tree.path("root"), text, std::nullopt);
    ASSERT_FALSE(loaded.error) << loaded.first();
    EXPECT_EQ(loaded.first(), "map(empty: map(), first: one, nested: one, kept: &a [1, 2])");
    const std::vector<roundtrip::NodePair>& pairs = loaded.documents[0].pairs();

    // An empty file: an empty mapping at the directive, with the file's id.
    const YamlNode& empty = pairs[0].value;
    EXPECT_EQ(empty.span, (Span{0, 0, 16, 16}));
    EXPECT_EQ(empty.end_offset, 16u);
    EXPECT_EQ(empty.end_column, 16u);
    EXPECT_EQ(empty.source(), (IncludeSource{"!include", "comments.yaml", 1}));
    EXPECT_EQ(empty.tag(), std::nullopt);

    // An included root keeps its place in its own file.
    const YamlNode& first = pairs[1].value;
    EXPECT_EQ(first.span.file_id, 2u);
    EXPECT_EQ(first.span.line, 0u);
    EXPECT_EQ(first.source(), (IncludeSource{"!include", "three.yaml", 2}));
    EXPECT_EQ(pairs[2].value.source(), (IncludeSource{"!include", "again.yaml", 3}));
    EXPECT_EQ(pairs[2].value.span.file_id, 4u);
    EXPECT_EQ(pairs[3].value.anchor(), "a");
    EXPECT_EQ(loaded.context.sources.file_paths.size(), 6u);
    EXPECT_EQ(loaded.context.sources.file_texts[2], "one\n---\ntwo\n---\nthree\n");
}

TEST(Include, WhatTheWalkLeavesAlone) {
    FileTree tree;
    tree.write("root/a.yaml", "a\n");
    const std::string root = tree.path("root");
    // Keys are never resolved; values are, in sequences and nested mappings.
    const testing::Loaded keys = load(root, "? !include a.yaml\n: !include a.yaml\nl: [x, {y: !include a.yaml}]\n",
                                      std::nullopt);
    EXPECT_EQ(keys.first(), "map(!include a.yaml: a, l: [x, {y: a}])");
    EXPECT_EQ(keys.documents[0].pairs()[0].key.tag(), "!include");

    // A directive whose option is off stays an ordinary tagged node.
    const testing::Loaded off = load(root, "x: !include a.yaml\ny: !env_var HOME\n", std::nullopt,
                                     LoadOptions{.includes = false, .secrets = true, .env_vars = false});
    EXPECT_EQ(off.first(), "map(x: !include a.yaml, y: !env_var HOME)");
    EXPECT_EQ(off.documents[0].pairs()[0].value.tag(), "!include");
    EXPECT_EQ(off.context.sources.file_paths.size(), 1u);

    // Other tags, and tags that only start like a directive, are walked.
    const testing::Loaded other = load(root, "x: !includes [!include a.yaml]\ny: !!str 1\n", std::nullopt);
    EXPECT_EQ(other.first(), "map(x: !includes [a], y: !!str 1)");

    // A tag is compared as written: the verbatim form is another tag.
    const testing::Loaded verbatim = load(root, "x: !<!include> a.yaml\n", std::nullopt);
    EXPECT_EQ(verbatim.first(), "map(x: !<!include> a.yaml)");

    // Texts in which no enabled directive tag is written are not walked.
    IncludeContext includes = new_include_context(root, true, false, false);
    EXPECT_TRUE(may_hold_directives("a: !include_dir_list d", includes));
    EXPECT_FALSE(may_hold_directives("a: !secret s\nb: !env_var E\nc: '!includ'", includes));
    IncludeContext references = new_include_context(root, false, true, true);
    EXPECT_TRUE(may_hold_directives("a: !secret s", references));
    EXPECT_TRUE(may_hold_directives("a: !env_var E", references));
    EXPECT_FALSE(may_hold_directives("a: !include x.yaml", references));

    // Every document of the root text is resolved, in order.
    const testing::Loaded documents = load(root, "!include a.yaml\n---\nb\n---\n!include a.yaml\n", std::nullopt);
    ASSERT_EQ(documents.documents.size(), 3u);
    EXPECT_EQ(quillmere::testing::describe_node(documents.documents[2]), "a");
    EXPECT_EQ(documents.documents[2].source()->target_file_id, 2u);
}

// Written back, a text keeps the comments that stood with its directives,
// and an included file or a secrets.yaml keeps its own.
TEST(Include, CommentsStayInTheirOwnText) {
    FileTree tree;
    tree.write("root/a.yaml", "# head of a\nx: 1  # x\n# foot of a\n");
    tree.write("root/secrets.yaml", "# about db\ndb: hunter2  # the password\n");
    // The block part is written as it stands; the flow sequence that holds
    // a comment goes over several lines.
    const std::string block =
        "# top\n"
        "inc: !include a.yaml  # parent note\n"
        "pw: !secret db  # my secret\n"
        "env: !env_var HOME  # home\n"
        "below:\n"
        "  # above the directive\n"
        "  !include a.yaml\n"
        "l:\n"
        "  # first\n"
        "  - !include a.yaml  # one\n"
        "\n"
        "  # second\n";
    const std::string text = block + "  - [!secret db,  # in flow\n     !include a.yaml]\n# end\n";
    testing::Loaded loaded = load(tree.path("root"), text, tree.path("root/main.yaml"));
    ASSERT_FALSE(loaded.error) << loaded.first();
    roundtrip::YamlNode& root = loaded.documents[0];
    root.pairs().back().value.comments.modified = true;
    std::string out;
    roundtrip::render_documents(out, roundtrip::NullStyle::Empty, loaded.documents);
    EXPECT_EQ(out, block + "  - [\n      !secret db,  # in flow\n      !include a.yaml\n    ]\n# end\n");
    // The included file is written with its own comments, and nothing of
    // the directive's.
    EXPECT_EQ(roundtrip::render_file_text(root.pairs()[0].value), "# head of a\nx: 1  # x\n# foot of a\n");
    // A secret's node has the comments of its place, not those of secrets.yaml.
    EXPECT_EQ(root.pairs()[1].value.comments.inline_comment(), " my secret");
}

}  // namespace
}  // namespace quillmere::directives
