// Directory listings: which files the directory forms read, in what order,
// and where a listing stops.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "directives/listing.h"
#include "directives/paths.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

using quillmere::testing::FileTree;

struct Listing {
    std::vector<std::string> stems;
    std::vector<std::string> paths;  // below the tree
};

Result<Listing, DirectiveError> list(const FileTree& tree, const std::string& directory, bool recursive,
                                     bool secrets) {
    IncludeContext context = new_include_context(tree.path("root"), true, secrets, false);
    context.include_dir_recursive = recursive;
    register_source(context, tree.path("root/main.yaml"), std::nullopt);
    QM_TRY_ASSIGN(std::vector<ListingEntry> entries,
                  list_include_dir(context, tree.path(directory), 0, {{tree.path("root/x.yaml"), 1}}));
    Listing listing;
    for (const ListingEntry& entry : entries) {
        listing.stems.push_back(entry.stem);
        listing.paths.push_back(*path_below(entry.path, tree.root()));
    }
    return listing;
}

TEST(Listing, FilesInByteOrderThenSubdirectories) {
    FileTree tree;
    tree.write("root/d/b.yaml", "");
    tree.write("root/d/a.yaml", "");
    tree.write("root/d/B.yaml", "");
    tree.write("root/d/a.yml", "");
    tree.write("root/d/ab.yaml", "");
    tree.write("root/d/c.txt", "");
    tree.write("root/d/d.YAML", "");
    tree.write("root/d/noext", "");
    tree.write("root/d/.hidden.yaml", "");
    tree.write("root/d/.git/x.yaml", "");
    tree.write("root/d/secrets.yaml", "");
    tree.write("root/d/secrets.yml", "");
    tree.write("root/d/x.y.yaml", "");
    tree.write("root/d/sub/c.yaml", "");
    tree.write("root/d/sub/deeper/e.yaml", "");
    tree.write("root/d/sub/z.yaml", "");
    tree.write("root/d/sub2/f.yaml", "");
    tree.fifo("root/d/pipe.yaml");
    tree.write("root/d/caf\xe9.yaml", "");

    auto flat = list(tree, "root/d", false, true);
    ASSERT_TRUE(flat.ok()) << flat.error().message;
    EXPECT_EQ(flat.value().stems, (std::vector<std::string>{"B", "a", "a", "ab", "b", "caf\xEF\xBF\xBD", "secrets", "x.y"}));
    EXPECT_EQ(flat.value().paths,
              (std::vector<std::string>{"root/d/B.yaml", "root/d/a.yaml", "root/d/a.yml", "root/d/ab.yaml",
                                        "root/d/b.yaml", "root/d/caf\xe9.yaml", "root/d/secrets.yml", "root/d/x.y.yaml"}));

    auto without_secrets = list(tree, "root/d", false, false);
    ASSERT_TRUE(without_secrets.ok());
    EXPECT_EQ(without_secrets.value().paths.size(), 9u);
    EXPECT_EQ(without_secrets.value().paths[6], "root/d/secrets.yaml");

    auto recursive = list(tree, "root/d", true, true);
    ASSERT_TRUE(recursive.ok()) << recursive.error().message;
    const std::vector<std::string>& paths = recursive.value().paths;
    const std::vector<std::string> tail(paths.end() - 4, paths.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"root/d/sub/c.yaml", "root/d/sub/z.yaml", "root/d/sub/deeper/e.yaml",
                                              "root/d/sub2/f.yaml"}));
}

TEST(Listing, LinksLoopsAndTheRoot) {
    FileTree tree;
    tree.write("outside/o.yaml", "");
    tree.write("root/d/a.yaml", "");
    tree.write("root/d/sub/b.yaml", "");
    tree.link("root/d/sub/up", "..");        // a loop back to d
    tree.link("root/d/sub/self", ".");       // and to itself
    tree.link("root/d/again", "sub");        // a second way into sub
    tree.write("root/other/c.yaml", "");
    tree.link("root/d/other_link", "../other");

    auto result = list(tree, "root/d", true, false);
    ASSERT_TRUE(result.ok()) << result.error().message;
    // Each directory is listed once, under the first name that reaches it.
    EXPECT_EQ(result.value().paths,
              (std::vector<std::string>{"root/d/a.yaml", "root/d/sub/b.yaml", "root/other/c.yaml"}));

    // A subdirectory link that leads out of the root ends the listing, with
    // recursion; without it, directories are not looked into.
    tree.link("root/d/zz_out", "../../outside");
    auto out = list(tree, "root/d", true, false);
    ASSERT_FALSE(out.ok());
    EXPECT_EQ(out.error().kind, DirectiveErrorKind::IncludeConfinement);
    EXPECT_EQ(out.error().message,
              "'" + tree.path("root/d/zz_out") + "' resolves outside the configured include directory");
    EXPECT_EQ(out.error().path, tree.path("root/main.yaml"));
    EXPECT_EQ(out.error().chain, (IncludeChain{{tree.path("root/x.yaml"), 1}}));
    EXPECT_TRUE(list(tree, "root/d", false, false).ok());

    // A file link that leads out fails either way; a dangling one is not found.
    tree.link("root/d/zz_file.yaml", "../../outside/o.yaml");
    auto file = list(tree, "root/d", false, false);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error().kind, DirectiveErrorKind::IncludeConfinement);
    std::filesystem::remove(tree.path("root/d/zz_file.yaml"));
    tree.link("root/d/zz_dangling.yaml", "nowhere.yaml");
    auto dangling = list(tree, "root/d", false, false);
    ASSERT_FALSE(dangling.ok());
    EXPECT_EQ(dangling.error().kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(dangling.error().message,
              "cannot read included file '" + tree.path("root/d/zz_dangling.yaml") + "': not found");
}

TEST(Listing, UnreadableDirectory) {
    FileTree tree;
    tree.write("root/d/a.yaml", "");
    auto result = list(tree, "root/d/a.yaml", false, false);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, DirectiveErrorKind::IncludeNotFound);
    EXPECT_EQ(result.error().message, "cannot read directory: Not a directory (os error 20)");
    EXPECT_EQ(result.error().path, tree.path("root/d/a.yaml"));
}

// Directories count toward the bound of the files one load reads, so a
// deep or wide tree fails with that bound's error instead of running on.
TEST(Listing, DirectoriesCountTowardTheReadBound) {
    FileTree tree;
    tree.write("root/d/a/b/c.yaml", "");
    IncludeContext context = new_include_context(tree.path("root"), true, false, false);
    context.include_dir_recursive = true;
    context.included_files_read = kMaxIncludedFiles - 3;
    auto listed = list_include_dir(context, tree.path("root/d"), 0, {});
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(context.included_files_read, kMaxIncludedFiles);
    context.included_files_read = kMaxIncludedFiles - 2;
    listed = list_include_dir(context, tree.path("root/d"), 0, {{tree.path("root/x.yaml"), 1}});
    ASSERT_FALSE(listed.ok());
    EXPECT_EQ(listed.error().kind, DirectiveErrorKind::Include);
    EXPECT_EQ(listed.error().message, "includes exceed the maximum of 10000 files read by one load");
    EXPECT_EQ(listed.error().path, tree.path("root/d/a/b"));
    EXPECT_EQ(listed.error().chain, (IncludeChain{{tree.path("root/x.yaml"), 1}}));
}

// More subdirectories wait at once than stay open beside their parents:
// those are opened by path, in the same order, and links inside the root
// are followed into their targets as before.
TEST(Listing, ManyWaitingSubdirectoriesAndLinks) {
    FileTree tree;
    std::string level = "root/d";
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i) {
        tree.write(level + "/b/f" + std::to_string(i) + ".yaml", "");
        level += "/a";
    }
    tree.write(level + "/end.yaml", "");
    tree.write("root/elsewhere/linked.yaml", "");
    tree.link("root/d/c", "../elsewhere");
    tree.link("root/d/a/up", "../..");  // back to root: listed once
    auto listed = list(tree, "root/d", true, false);
    ASSERT_TRUE(listed.ok()) << listed.error().message;
    // Pre-order: each level's "a" (the deep chain) before its "b".
    // Pre-order: each level's "a" (the deep chain) before its "b"; every
    // directory once, so "elsewhere" is listed once although two links
    // lead there.
    std::vector<std::string> stems{"end"};
    for (int i = 99; i >= 0; --i) stems.push_back("f" + std::to_string(i));
    stems.push_back("linked");
    EXPECT_EQ(listed.value().stems, stems);
    EXPECT_EQ(listed.value().paths[100], "root/d/b/f0.yaml");
    EXPECT_EQ(listed.value().paths[101], "root/elsewhere/linked.yaml");
}

}  // namespace
}  // namespace quillmere::directives
