// The four directory forms over one directory: which files, in what order,
// and how each form puts their documents together.
#include <gtest/gtest.h>

#include <string>

#include "directives/load_support.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

using roundtrip::IncludeSource;
using roundtrip::NodeKind;
using roundtrip::YamlNode;
using testing::load;
using testing::LoadOptions;
using quillmere::testing::FileTree;

//     d/B.yaml        [1, 2]          d/e.yaml       only a comment
//     d/a.yaml        {a: 1}          d/p.yaml       a FIFO
//     d/b.yaml        {b: 2}          d/secrets.yaml {s: 1}
//     d/c.yml         multi, {m: 1}   d/sub/a.yaml   {a: sub}
//     d/caf\xe9.yaml  {u: 1}          d/sub/z.yaml   [z]
// and files that are never read: hidden, other extensions.
class IncludeDir : public ::testing::Test {
protected:
    void SetUp() override {
        tree.write("root/d/B.yaml", "[1, 2]\n");
        tree.write("root/d/a.yaml", "a: 1\n");
        tree.write("root/d/b.yaml", "b: 2\n");
        tree.write("root/d/c.yml", "multi\n---\n{m: 1}\n");
        tree.write("root/d/caf\xe9.yaml", "{u: 1}\n");
        tree.write("root/d/e.yaml", "# empty\n");
        tree.fifo("root/d/p.yaml");
        tree.write("root/d/secrets.yaml", "s: 1\n");
        tree.write("root/d/sub/a.yaml", "a: sub\n");
        tree.write("root/d/sub/z.yaml", "[z]\n");
        tree.write("root/d/.hidden.yaml", "hidden\n");
        tree.write("root/d/.git/x.yaml", "hidden\n");
        tree.write("root/d/notes.txt", "text\n");
        tree.write("root/d/upper.YAML", "upper\n");
        tree.write("root/d/noext", "none\n");
        tree.write("root/file.yaml", "file\n");
    }

    testing::Loaded load_text(const std::string& text, const LoadOptions& options = {}) {
        return load(tree.path("root"), text, tree.path("root/main.yaml"), options);
    }
    std::string first(const std::string& text, const LoadOptions& options = {}) {
        return load_text(text, options).first();
    }

    FileTree tree;
};

TEST_F(IncludeDir, List) {
    EXPECT_EQ(first("!include_dir_list d"), "seq([1, 2], map(a: 1), map(b: 2), multi, {m: 1}, {u: 1})");
    EXPECT_EQ(first("!include_dir_list d", LoadOptions{.secrets = false}),
              "seq([1, 2], map(a: 1), map(b: 2), multi, {m: 1}, {u: 1}, map(s: 1))");
    EXPECT_EQ(first("!include_dir_list d", LoadOptions{.recursive = true}),
              "seq([1, 2], map(a: 1), map(b: 2), multi, {m: 1}, {u: 1}, map(a: sub), [z])");
    // A directory that is not there, or a file: an empty result, no error.
    EXPECT_EQ(first("!include_dir_list nowhere"), "seq()");
    EXPECT_EQ(first("!include_dir_list file.yaml"), "seq()");
}

TEST_F(IncludeDir, Named) {
    EXPECT_EQ(first("!include_dir_named d"), "map(B: [1, 2], a: map(a: 1), b: map(b: 2), c: multi, caf\xEF\xBF\xBD: {u: 1}, e: map())");
    EXPECT_EQ(first("!include_dir_named d", LoadOptions{.recursive = true}),
              "map(B: [1, 2], a: map(a: 1), b: map(b: 2), c: multi, caf\xEF\xBF\xBD: {u: 1}, e: map(), a: map(a: sub), z: [z])");
    EXPECT_EQ(first("!include_dir_named nowhere"), "map()");
}

TEST_F(IncludeDir, MergeList) {
    EXPECT_EQ(first("!include_dir_merge_list d", LoadOptions{.recursive = true}),
              "seq(1, 2, map(a: 1), map(b: 2), multi, {m: 1}, {u: 1}, map(a: sub), z)");
    const testing::Loaded empty = load_text("!include_dir_merge_list ''");
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->message, "!include_dir_merge_list needs an argument");
    EXPECT_EQ(empty.error->kind, DirectiveErrorKind::Include);
}

TEST_F(IncludeDir, MergeNamed) {
    EXPECT_EQ(first("!include_dir_merge_named d", LoadOptions{.recursive = true}),
              "map(a: 1, b: 2, u: 1, a: sub)");
    EXPECT_EQ(first("!include_dir_merge_named nowhere"), "map()");
}

TEST_F(IncludeDir, PositionsAndProvenance) {
    const testing::Loaded loaded = load_text("x:\n  y: !include_dir_named d\n");
    ASSERT_FALSE(loaded.error) << loaded.first();
    const YamlNode& named = loaded.documents[0].pairs()[0].value.pairs()[0].value;
    const Span directive{0, 1, 24, 27};
    EXPECT_EQ(named.span, directive);
    EXPECT_EQ(named.end_offset, 27u);
    EXPECT_EQ(named.end_line, 1u);
    EXPECT_EQ(named.end_column, 24u);
    EXPECT_EQ(named.source(), (IncludeSource{"!include_dir_named", "d", std::nullopt}));
    EXPECT_EQ(named.style(), CollectionStyle::Block);

    // Keys stand at the start of their files; an empty file's value at the
    // directive, without provenance.
    const std::vector<roundtrip::NodePair>& pairs = named.pairs();
    ASSERT_EQ(pairs.size(), 6u);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const YamlNode& key = pairs[i].key;
        EXPECT_EQ(key.span, (Span{static_cast<std::uint32_t>(i + 1), 0, 0, 0}));
        EXPECT_EQ(key.end_offset, 0u);
        EXPECT_EQ(key.scalar_style(), ScalarStyle::Plain);
        EXPECT_EQ(key.source(), std::nullopt);
    }
    EXPECT_EQ(pairs[1].value.span.file_id, 2u);  // a.yaml's own root
    EXPECT_EQ(pairs[5].value.span, directive);
    EXPECT_EQ(pairs[5].value.source(), std::nullopt);
    EXPECT_EQ(loaded.context.sources.file_paths[5], tree.path("root/d/caf\xe9.yaml"));
    EXPECT_EQ(loaded.context.sources.file_texts[5], "{u: 1}\n");

    for (const char* form : {"!include_dir_list", "!include_dir_merge_list", "!include_dir_merge_named"}) {
        const testing::Loaded other = load_text(std::string("k: ") + form + " d\n");
        ASSERT_FALSE(other.error) << form;
        const YamlNode& result = other.documents[0].pairs()[0].value;
        EXPECT_EQ(result.source(), (IncludeSource{form, "d", std::nullopt}));
        const auto column = static_cast<std::uint32_t>(4 + std::string(form).size());
        EXPECT_EQ(result.span, (Span{0, 0, column, column}));
    }
}

TEST_F(IncludeDir, ListedFilesAreOnTheChain) {
    tree.write("root/bad/a.yaml", "one: 1\ntwo: !include missing.yaml\n");
    tree.write("root/bad/inc.yaml", "!include ../file.yaml\n");
    const testing::Loaded included = load_text("- x\n- !include_dir_list bad\n");
    ASSERT_TRUE(included.error);
    EXPECT_EQ(included.error->path, tree.path("root/bad/missing.yaml"));
    EXPECT_EQ(included.error->chain, (IncludeChain{{tree.path("root/bad/a.yaml"), 1}}));

    tree.write("root/bad/a.yaml", "a\n");
    const testing::Loaded provenance = load_text("!include_dir_list bad\n");
    ASSERT_FALSE(provenance.error) << provenance.first();
    EXPECT_EQ(provenance.first(), "seq(a, file)");
    // The item from inc.yaml keeps the provenance of its own include.
    EXPECT_EQ(provenance.documents[0].items()[1].source(), (IncludeSource{"!include", "../file.yaml", 3}));
}

}  // namespace
}  // namespace quillmere::directives
