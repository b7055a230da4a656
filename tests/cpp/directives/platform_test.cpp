// The file-system layer: regular files only, reads that stay beneath the
// root, raw-byte names, and environment variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "directives/child_process.h"
#include "directives/platform.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

using quillmere::testing::FileTree;

std::string read_error(const std::string& root, const std::string& path) {
    Result<std::string, std::string> result = read_text_file(root, path);
    return result.ok() ? "read: " + result.value() : result.error();
}

TEST(Platform, ReadsRegularFilesOnly) {
    FileTree tree;
    tree.write("a.yaml", "a: 1\n");
    tree.write("latin1.yaml", "caf\xe9\n");
    tree.fifo("pipe.yaml");
    tree.directory("dir.yaml");
    const std::string& root = tree.root();

    EXPECT_EQ(read_error(root, tree.path("a.yaml")), "read: a: 1\n");
    // A FIFO with no writer would block an ordinary open for ever.
    EXPECT_EQ(read_error(root, tree.path("pipe.yaml")), "not a regular file");
    EXPECT_EQ(read_error(root, tree.path("dir.yaml")), os_error_text(EISDIR));
    EXPECT_EQ(read_error(root, tree.path("missing.yaml")), "No such file or directory (os error 2)");
    EXPECT_EQ(read_error(root, tree.path("latin1.yaml")), "stream did not contain valid UTF-8");
    EXPECT_EQ(read_error(root, tree.path("a.yaml") + std::string(1, '\0') + "x"),
              "file name contained an unexpected NUL byte");
    EXPECT_EQ(read_error(root, "/dev/zero"), os_error_text(EXDEV));
}

// A path that passed its check, and whose directory was then swapped for a
// link to elsewhere: the read refuses to follow it.
std::string check_reads_stay_beneath() {
    FileTree tree;
    tree.write("outside/secret.yaml", "s: 1\n");
    tree.write("root/in.yaml", "i: 1\n");
    tree.link("root/swapped", "../outside");
    tree.link("root/swapped_file.yaml", "../outside/secret.yaml");
    const std::string root = tree.path("root");
    std::string failures;
    for (const char* path : {"/swapped/secret.yaml", "/swapped_file.yaml", "/../outside/secret.yaml"}) {
        if (read_text_file(root, root + path).ok()) failures += std::string(path) + " read\n";
    }
    if (!read_text_file(root, root + "/in.yaml").ok()) failures += "in.yaml not read\n";
    if (list_directory(root, root + "/swapped").ok()) failures += "swapped listed\n";
    return failures;
}

TEST(Platform, ReadsNeverLeaveTheRoot) {
    EXPECT_EQ(check_reads_stay_beneath(), "");
    const std::optional<std::string> walked = testing::run_without_openat2(check_reads_stay_beneath);
    if (!walked) GTEST_SKIP() << "no seccomp filter can be installed here";
    EXPECT_EQ(*walked, "");
}

TEST(Platform, ListsRawNames) {
    FileTree tree;
    tree.write("d/caf\xe9.yaml", "x\n");
    tree.write("d/b.yaml", "x\n");
    tree.directory("d/sub");
    Result<std::vector<std::string>, std::string> listed = list_directory(tree.root(), tree.path("d"));
    ASSERT_TRUE(listed.ok()) << listed.error();
    std::vector<std::string> names = listed.value();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.yaml", "caf\xe9.yaml", "sub"}));
    // The file that was listed under a name that is not UTF-8 reads as any other.
    EXPECT_TRUE(read_text_file(tree.root(), tree.path("d/caf\xe9.yaml")).ok());

    Result<std::vector<std::string>, std::string> missing = list_directory(tree.root(), tree.path("nope"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");
    Result<std::vector<std::string>, std::string> file = list_directory(tree.root(), tree.path("d/b.yaml"));
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.error(), "Not a directory (os error 20)");
}

TEST(Platform, FileTypesAndLinks) {
    FileTree tree;
    tree.write("f.yaml", "");
    tree.fifo("pipe");
    tree.link("dangling", "nowhere");
    tree.link("dir_link", ".");
    EXPECT_EQ(file_type(tree.path("f.yaml")), FileType::Regular);
    EXPECT_EQ(file_type(tree.path("pipe")), FileType::Other);
    EXPECT_EQ(file_type(tree.path("dangling")), FileType::Missing);
    EXPECT_EQ(file_type(tree.path("dir_link")), FileType::Directory);
    EXPECT_TRUE(is_symbolic_link(tree.path("dangling")));
    EXPECT_FALSE(is_symbolic_link(tree.path("f.yaml")));
    EXPECT_EQ(canonicalize(tree.path("dir_link/f.yaml")), tree.path("f.yaml"));
    EXPECT_EQ(canonicalize(tree.path("dangling")), std::nullopt);
    EXPECT_EQ(canonicalize(tree.path("f.yaml") + std::string(1, '\0')), std::nullopt);
}

TEST(Platform, EnvironmentVariables) {
    ::setenv("QUILLMERE_TEST_SET", "value", 1);
    ::setenv("QUILLMERE_TEST_EMPTY", "", 1);
    ::setenv("QUILLMERE_TEST_LATIN1", "caf\xe9", 1);
    ::setenv("QUILLMERE_TEST_A", "=b", 1);
    EXPECT_EQ(environment_variable("QUILLMERE_TEST_SET"), "value");
    EXPECT_EQ(environment_variable("QUILLMERE_TEST_EMPTY"), "");
    EXPECT_EQ(environment_variable("QUILLMERE_TEST_UNSET"), std::nullopt);
    EXPECT_EQ(environment_variable("QUILLMERE_TEST_LATIN1"), std::nullopt);
    // A name cut short at a NUL, or holding "=", would find another variable.
    EXPECT_EQ(environment_variable(std::string("QUILLMERE_TEST_SET\0x", 20)), std::nullopt);
    EXPECT_EQ(environment_variable("QUILLMERE_TEST_A="), std::nullopt);
    EXPECT_EQ(environment_variable(""), std::nullopt);
}

}  // namespace
}  // namespace quillmere::directives
