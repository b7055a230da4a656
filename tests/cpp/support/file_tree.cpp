#include "support/file_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace quillmere::testing {

namespace fs = std::filesystem;

FileTree::FileTree() {
    std::string pattern = (fs::temp_directory_path() / "quillmere-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = fs::canonical(pattern).string();
}

FileTree::~FileTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string FileTree::path(std::string_view relative) const { return root_ + "/" + std::string(relative); }

void FileTree::write(std::string_view relative, std::string_view text) const {
    const fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void FileTree::directory(std::string_view relative) const { fs::create_directories(path(relative)); }

void FileTree::link(std::string_view relative, std::string_view target) const {
    const fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    fs::create_symlink(std::string(target), file);
}

void FileTree::fifo(std::string_view relative) const {
    const fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    if (::mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
}

WorkingDirectory::WorkingDirectory(const std::string& directory) : previous_(fs::current_path().string()) {
    fs::current_path(directory);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

}  // namespace quillmere::testing
