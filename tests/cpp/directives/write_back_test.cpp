// Writing files back: whole-file writes that land all together or not at
// all, the included files of a tree folded per path, and confinement
// checked again at write time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "directives/load_support.h"
#include "directives/child_process.h"
#include "directives/write_back.h"
#include "support/file_tree.h"

namespace quillmere::directives {
namespace {

namespace fs = std::filesystem;
using quillmere::testing::FileTree;
using roundtrip::NodeKind;
using roundtrip::YamlNode;

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

unsigned permissions(const std::string& path) {
    struct stat info;
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The names in a directory, sorted: temporary files left behind show up.
std::vector<std::string> names_in(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WriteFiles, ReplacesWholeFilesKeepingPermissionsAndLinks) {
    FileTree tree;
    tree.write("d/kept.yaml", "old: text that is longer than the new one\n");
    fs::permissions(tree.path("d/kept.yaml"), fs::perms(0640));
    tree.write("d/real.yaml", "real: 1\n");
    tree.link("d/link.yaml", "real.yaml");
    tree.link("d/chain.yaml", "link.yaml");

    const std::vector<FileWrite> files = {
        {tree.path("d/kept.yaml"), "new: 1\n"},
        {tree.path("d/chain.yaml"), "real: 2\n"},
        {tree.path("d/new.yaml"), "fresh: 1\n"},
    };
    ASSERT_TRUE(write_files(files).ok());
    EXPECT_EQ(read(tree.path("d/kept.yaml")), "new: 1\n");
    EXPECT_EQ(permissions(tree.path("d/kept.yaml")), 0640u);
    // Through two links: the file at the end is replaced, the links stay.
    EXPECT_TRUE(fs::is_symlink(tree.path("d/chain.yaml")));
    EXPECT_TRUE(fs::is_symlink(tree.path("d/link.yaml")));
    EXPECT_EQ(read(tree.path("d/real.yaml")), "real: 2\n");
    EXPECT_EQ(read(tree.path("d/new.yaml")), "fresh: 1\n");
    EXPECT_EQ(names_in(tree.path("d")),
              (std::vector<std::string>{"chain.yaml", "kept.yaml", "link.yaml", "new.yaml", "real.yaml"}));
}

TEST(WriteFiles, AFailureChangesNoFileAndLeavesNoTemporaryFile) {
    FileTree tree;
    tree.write("d/a.yaml", "a: 1\n");
    tree.directory("d/sub");
    tree.fifo("d/pipe");
    const struct {
        std::string failing;  // below the tree
        std::string reason;
    } cases[] = {
        {"d/sub", "Is a directory (os error 21)"},
        {"d/pipe", "not a regular file"},
        {"d/missing/x.yaml", "No such file or directory (os error 2)"},
        {"d/a.yaml\0x", "file name contained an unexpected NUL byte"},
    };
    for (const auto& c : cases) {
        std::string failing = tree.path(c.failing);
        if (c.failing.starts_with("d/a.yaml")) failing = tree.path("d/a.yaml") + std::string(1, '\0') + "x";
        const std::vector<FileWrite> files = {{tree.path("d/a.yaml"), "a: 2\n"}, {failing, "x\n"}};
        auto written = write_files(files);
        ASSERT_FALSE(written.ok()) << c.failing;
        EXPECT_EQ(written.error().path, failing);
        EXPECT_EQ(written.error().reason, c.reason);
        EXPECT_EQ(read(tree.path("d/a.yaml")), "a: 1\n") << c.failing;
        EXPECT_EQ(names_in(tree.path("d")), (std::vector<std::string>{"a.yaml", "pipe", "sub"})) << c.failing;
    }
}

// Root may write any file: as root the check runs as another user.
TEST(WriteFiles, AFileTheProcessMayNotWriteIsNotReplaced) {
    FileTree tree;
    tree.write("d/a.yaml", "a: 1\n");
    tree.write("d/ro.yaml", "ro: 1\n");
    fs::permissions(tree.path("d/ro.yaml"), fs::perms(0444));
    if (::geteuid() == 0) {
        for (const char* relative : {"", "d", "d/a.yaml", "d/ro.yaml"})
            ASSERT_EQ(::chown(tree.path(relative).c_str(), testing::kUnprivileged, testing::kUnprivileged), 0);
    }
    const std::optional<std::string> verdict = testing::run_unprivileged([&]() -> std::string {
        const std::vector<FileWrite> files = {{tree.path("d/a.yaml"), "a: 2\n"}, {tree.path("d/ro.yaml"), "ro: 2\n"}};
        auto written = write_files(files);
        if (written.ok()) return "written";
        return written.error().reason;
    });
    ASSERT_TRUE(verdict) << "cannot run as an unprivileged user";
    EXPECT_EQ(*verdict, "Permission denied (os error 13)");
    EXPECT_EQ(read(tree.path("d/a.yaml")), "a: 1\n");
    EXPECT_EQ(read(tree.path("d/ro.yaml")), "ro: 1\n");
    EXPECT_EQ(names_in(tree.path("d")), (std::vector<std::string>{"a.yaml", "ro.yaml"}));
}

// Writes confined to a root, against links that lead out of it: none is
// followed out, through the file's directory, the file itself or "..";
// a link that stays inside is followed and kept.
std::string check_confined_writes() {
    FileTree tree;
    tree.write("outside/x.yaml", "outside\n");
    tree.write("root/sub/x.yaml", "k: 1\n");
    tree.link("root/swapped", "../outside");
    tree.link("root/file_link.yaml", "../outside/x.yaml");
    tree.link("root/absolute_link.yaml", tree.path("outside/x.yaml"));
    tree.link("root/inner_link.yaml", "sub/x.yaml");
    const std::string root = tree.path("root");
    std::string failures;
    auto fail = [&](const std::string& what) { failures += what + "\n"; };
    for (const char* relative : {"root/swapped/x.yaml", "root/file_link.yaml", "root/absolute_link.yaml",
                                 "root/../outside/x.yaml", "root/swapped/new.yaml"}) {
        const std::vector<FileWrite> files = {{tree.path(relative), "written\n", root}};
        auto written = write_files(files);
        if (written.ok()) fail(std::string(relative) + ": written");
    }
    const std::vector<FileWrite> inside = {{tree.path("root/inner_link.yaml"), "k: 2\n", root}};
    if (auto written = write_files(inside); !written.ok()) fail("inner link: " + written.error().reason);
    if (read(tree.path("root/sub/x.yaml")) != "k: 2\n") fail("inner link: target not replaced");
    if (!fs::is_symlink(tree.path("root/inner_link.yaml"))) fail("inner link: link not kept");
    if (read(tree.path("outside/x.yaml")) != "outside\n") fail("outside file changed");
    if (names_in(tree.path("outside")) != std::vector<std::string>{"x.yaml"}) fail("file created outside");
    if (names_in(tree.path("root/sub")) != std::vector<std::string>{"x.yaml"}) fail("temporary file left");
    return failures;
}

TEST(WriteFiles, ConfinedWritesNeverLeaveTheRoot) {
    EXPECT_EQ(check_confined_writes(), "");
    // Without openat2 the directory is walked one component at a time.
    const std::optional<std::string> walked = testing::run_without_openat2(check_confined_writes);
    if (!walked) GTEST_SKIP() << "no seccomp filter can be installed here";
    EXPECT_EQ(*walked, "");
}

TEST(WriteFiles, ALinkOutOfTheRootIsReportedAsOutside) {
    FileTree tree;
    tree.write("outside/x.yaml", "outside\n");
    tree.directory("root");
    tree.link("root/swapped", "../outside");
    tree.link("root/file_link.yaml", "../outside/x.yaml");
    for (const char* relative : {"root/swapped/x.yaml", "root/file_link.yaml"}) {
        const std::vector<FileWrite> files = {{tree.path(relative), "written\n", tree.path("root")}};
        auto written = write_files(files);
        ASSERT_FALSE(written.ok()) << relative;
        EXPECT_TRUE(written.error().outside_root) << relative;
        EXPECT_EQ(written.error().path, tree.path(relative));
        EXPECT_EQ(written.error().reason, os_error_text(EXDEV));
    }
    // Unconfined, the same link is the caller's to follow.
    const std::vector<FileWrite> unconfined = {{tree.path("root/file_link.yaml"), "written\n"}};
    ASSERT_TRUE(write_files(unconfined).ok());
    EXPECT_EQ(read(tree.path("outside/x.yaml")), "written\n");
}

TEST(WriteFiles, AReplacedFileKeepsItsOwnerGroupAndBits) {
    FileTree tree;
    tree.write("d/kept.yaml", "old\n");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(tree.path("d/kept.yaml").c_str(), 1234, 5678), 0);
    }
    // Set-id bits too: they survive the change of owner.
    fs::permissions(tree.path("d/kept.yaml"), fs::perms(root ? 02640 : 0640));
    const std::vector<FileWrite> files = {{tree.path("d/kept.yaml"), "new\n"}, {tree.path("d/new.yaml"), "n\n"}};
    ASSERT_TRUE(write_files(files).ok());
    struct stat info;
    ASSERT_EQ(::stat(tree.path("d/kept.yaml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, root ? 02640u : 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 1234u);
        EXPECT_EQ(info.st_gid, 5678u);
    } else {
        EXPECT_EQ(info.st_uid, ::geteuid());
    }
    const mode_t umask = ::umask(022);
    ::umask(umask);
    EXPECT_EQ(permissions(tree.path("d/new.yaml")), 0666u & ~umask);
    EXPECT_EQ(names_in(tree.path("d")), (std::vector<std::string>{"kept.yaml", "new.yaml"}));
}

// main.yaml includes x.yaml twice and multi.yaml, a file of two documents,
// once.
struct IncludedTwice {
    FileTree tree;
    testing::Loaded loaded;
    IncludedTwice() {
        tree.write("conf/x.yaml", "k: 1  # one\n");
        tree.write("conf/multi.yaml", "m: 1\n---\nsecond: doc  # kept\n");
        loaded = testing::load(tree.path("conf"), "a: !include x.yaml\nb: !include x.yaml\nc: !include multi.yaml\n",
                               tree.path("conf/main.yaml"));
        EXPECT_FALSE(loaded.error) << loaded.first();
    }
    YamlNode& value_of(std::size_t entry, std::string_view key) {
        for (auto& pair : loaded.documents[0].pairs()[entry].value.pairs()) {
            if (pair.key.text() == key) return pair.value;
        }
        throw std::runtime_error("no key");
    }
    void set(std::size_t entry, std::string_view key, std::string text) {
        YamlNode& node = value_of(entry, key);
        node.mark_rewritten();
        node.text() = std::move(text);
        node.comments.modified = true;
    }
    Result<std::vector<FileWrite>, DirectiveError> collect(IncludedFiles which) {
        return collect_included_files(loaded.documents, loaded.context.sources.file_paths,
                                      loaded.context.sources.file_texts, which);
    }
};

TEST(CollectIncludedFiles, OneFilePerPathAndConflictsRefused) {
    IncludedTwice doc;
    const std::string x = doc.tree.path("conf/x.yaml");
    const std::string conflict =
        "'" + x + "' is included more than once with conflicting edits; write-back cannot store two different "
                  "versions of one file";

    // Nothing edited: no changed file; every file as it was read.
    auto changed = doc.collect(IncludedFiles::Changed);
    ASSERT_TRUE(changed.ok());
    EXPECT_TRUE(changed.value().empty());
    auto all = doc.collect(IncludedFiles::All);
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all.value().size(), 2u);
    EXPECT_EQ(all.value()[0].path, x);
    EXPECT_EQ(all.value()[0].bytes, "k: 1  # one\n");
    EXPECT_EQ(all.value()[1].bytes, "m: 1\n---\nsecond: doc  # kept\n");

    // Edited through one copy: saving writes that copy; writing every file
    // back would store two versions.
    doc.set(0, "k", "2");
    changed = doc.collect(IncludedFiles::Changed);
    ASSERT_TRUE(changed.ok());
    ASSERT_EQ(changed.value().size(), 1u);
    EXPECT_EQ(changed.value()[0].bytes, "k: 2  # one\n");
    all = doc.collect(IncludedFiles::All);
    ASSERT_FALSE(all.ok());
    EXPECT_EQ(all.error().message, conflict);
    EXPECT_EQ(all.error().kind, DirectiveErrorKind::Include);
    EXPECT_EQ(all.error().path, x);

    // The same edit through both copies is one file; different edits fail.
    doc.set(1, "k", "2");
    for (IncludedFiles which : {IncludedFiles::Changed, IncludedFiles::All}) {
        auto same = doc.collect(which);
        ASSERT_TRUE(same.ok());
        EXPECT_EQ(same.value()[0].bytes, "k: 2  # one\n");
    }
    doc.set(1, "k", "3");
    changed = doc.collect(IncludedFiles::Changed);
    ASSERT_FALSE(changed.ok());
    EXPECT_EQ(changed.error().message, conflict);

    // A file of several documents keeps the ones the include does not hold.
    doc.set(1, "k", "2");
    doc.set(2, "m", "5");
    changed = doc.collect(IncludedFiles::Changed);
    ASSERT_TRUE(changed.ok());
    ASSERT_EQ(changed.value().size(), 2u);
    EXPECT_EQ(changed.value()[1].bytes, "m: 5\n---\nsecond: doc  # kept\n");
}

// A chain of includes is one file per include: the last holds the content
// and takes the edits; the others hold the next directive and stay as read.
TEST(CollectIncludedFiles, EachFileOfAChainIsItsOwn) {
    FileTree tree;
    tree.write("conf/a.yaml", "# a\n!include b.yaml  # to b\n");
    tree.write("conf/b.yaml", "!include c.yaml\n");
    tree.write("conf/c.yaml", "k: 1  # one\n");
    tree.write("conf/s.yaml", "!secret db  # from s\n");
    tree.write("conf/secrets.yaml", "db: {password: hunter2}\n");
    testing::Loaded loaded =
        testing::load(tree.path("conf"), "top: !include a.yaml\ndb: !include s.yaml\n", tree.path("conf/main.yaml"));
    ASSERT_FALSE(loaded.error) << loaded.first();
    auto collect = [&](IncludedFiles which) {
        auto files = collect_included_files(loaded.documents, loaded.context.sources.file_paths,
                                            loaded.context.sources.file_texts, which);
        EXPECT_TRUE(files.ok());
        std::vector<std::string> shown;
        for (const FileWrite& file : files.value())
            shown.push_back(fs::path(file.path).filename().string() + " = " + file.bytes);
        return shown;
    };
    const std::vector<std::string> as_read = {"a.yaml = # a\n!include b.yaml  # to b\n", "b.yaml = !include c.yaml\n",
                                              "c.yaml = k: 1  # one\n", "s.yaml = !secret db  # from s\n"};
    EXPECT_EQ(collect(IncludedFiles::All), as_read);
    EXPECT_TRUE(collect(IncludedFiles::Changed).empty());

    YamlNode& top = loaded.documents[0].pairs()[0].value;
    top.pairs()[0].value.text() = "5";
    top.pairs()[0].value.comments.modified = true;
    EXPECT_EQ(collect(IncludedFiles::Changed), (std::vector<std::string>{"c.yaml = k: 5  # one\n"}));
    std::vector<std::string> edited = as_read;
    edited[2] = "c.yaml = k: 5  # one\n";
    EXPECT_EQ(collect(IncludedFiles::All), edited);

    // The root of s.yaml is the secret's directive: its comments are the
    // file's, and it is written back as the directive, never as the value.
    YamlNode& db = loaded.documents[0].pairs()[1].value;
    db.comments.mutable_inline_comment() = " changed";
    db.comments.inline_changed = true;
    db.comments.modified = true;
    EXPECT_EQ(collect(IncludedFiles::Changed),
              (std::vector<std::string>{"c.yaml = k: 5  # one\n", "s.yaml = !secret db  # changed\n"}));
}

TEST(ConfineWrites, APathThatLeadsOutsideTheRootNowFails) {
    IncludedTwice doc;
    doc.set(0, "k", "2");
    auto files = doc.collect(IncludedFiles::Changed);
    ASSERT_TRUE(files.ok());
    const std::string& root = doc.loaded.context.canonical_root;
    EXPECT_TRUE(confine_writes(files.value(), root).ok());
    EXPECT_TRUE(confine_writes(files.value(), "").ok());

    // x.yaml swapped for a link to a file outside the root after the load.
    doc.tree.write("outside/x.yaml", "secret: 1\n");
    fs::remove(doc.tree.path("conf/x.yaml"));
    doc.tree.link("conf/x.yaml", "../outside/x.yaml");
    auto confined = confine_writes(files.value(), root);
    ASSERT_FALSE(confined.ok());
    EXPECT_EQ(confined.error().kind, DirectiveErrorKind::IncludeConfinement);
    EXPECT_EQ(confined.error().message,
              "'" + doc.tree.path("conf/x.yaml") + "' resolves outside the configured include directory");
    EXPECT_EQ(confined.error().path, doc.tree.path("conf/x.yaml"));
}

}  // namespace
}  // namespace quillmere::directives
