// A temporary directory tree for tests that read files: made empty in the
// system's temporary folder, filled by the test, removed with everything in
// it when the FileTree goes out of scope. Links are never followed on
// removal.
#pragma once

#include <string>
#include <string_view>

namespace quillmere::testing {

class FileTree {
public:
    FileTree();
    ~FileTree();
    FileTree(const FileTree&) = delete;
    FileTree& operator=(const FileTree&) = delete;

    // The tree's absolute, canonical path.
    const std::string& root() const { return root_; }
    // `relative` below the root.
    std::string path(std::string_view relative) const;

    // Each creates the parent directories it needs.
    void write(std::string_view relative, std::string_view text) const;
    void directory(std::string_view relative) const;
    void link(std::string_view relative, std::string_view target) const;
    void fifo(std::string_view relative) const;

private:
    std::string root_;
};

// Runs the process in `directory` until the guard goes out of scope.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& directory);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string previous_;
};

}  // namespace quillmere::testing
