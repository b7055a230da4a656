// The file-system calls of a directive load and of writing files back,
// over POSIX.
//
// Paths are byte strings, passed to the system exactly as they are: a name
// that is not UTF-8 is read like any other. A path holding a NUL byte would
// be cut short by the C interface and name another file, so every call here
// checks for one first and fails without calling the system.
//
// Only regular files are read. A FIFO or a device could block the load for
// ever or hand it endless data, so files are opened without blocking and
// checked before a byte is read. Reads and listings are opened beneath the
// include root (openat2 with RESOLVE_BENEATH where the kernel has it, else
// one component at a time, following no link): a directory swapped for a
// link to elsewhere between the confinement check and the read fails the
// read instead of leaving the root. Writes back to included files are
// confined the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace quillmere::directives {

inline constexpr std::string_view kNulByteText = "file name contained an unexpected NUL byte";
inline constexpr std::string_view kInvalidUtf8Text = "stream did not contain valid UTF-8";
inline constexpr std::string_view kNotRegularText = "not a regular file";
inline constexpr std::string_view kTooLargeText = "larger than the bytes left to read";

bool contains_nul(std::string_view path);

// "{description} (os error {code})" with the C library's description.
std::string os_error_text(int code);

// The path made absolute, with every symbolic link resolved; every
// component must exist. Nothing for a path with a NUL byte.
std::optional<std::string> canonicalize(const std::string& path);

// A relative path prefixed with the process's working directory; an
// absolute path, or one whose directory cannot be read, as it is.
std::string absolute_path(const std::string& path);

enum class FileType { Missing, Regular, Directory, Other };

// What the path names, following symbolic links; Missing when the lookup
// fails.
FileType file_type(const std::string& path);

// Whether the path itself (its last component not followed) is a symbolic
// link.
bool is_symbolic_link(const std::string& path);

// The whole text of a regular file as UTF-8, or the error text. `root` is
// the directory the path lies in (component by component); the open does
// not leave it. A file larger than `max_bytes` fails with kTooLargeText,
// before it is read when its size says so, else as soon as the bytes read
// pass the bound.
Result<std::string, std::string> read_text_file(const std::string& root, const std::string& path,
                                                std::uint64_t max_bytes = UINT64_MAX);

// One entry of a directory: its name as raw bytes, what it names (a link
// followed; Missing for a dangling one) and whether it is a link.
struct DirectoryEntry {
    std::string name;
    FileType type = FileType::Missing;
    bool link = false;
};

// A directory open for listing. Opening a subdirectory that is no link
// through the directory that holds it costs one step whatever the depth,
// where opening it by path walks every component again: a walk down a
// tree that opens each directory from its parent is linear in the entries
// it visits.
class OpenedDirectory {
public:
    // `path` opened beneath `root`, as reads are; the error text otherwise.
    static Result<OpenedDirectory, std::string> open(const std::string& root, const std::string& path);

    OpenedDirectory(OpenedDirectory&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OpenedDirectory& operator=(OpenedDirectory&& other) noexcept;
    OpenedDirectory(const OpenedDirectory&) = delete;
    OpenedDirectory& operator=(const OpenedDirectory&) = delete;
    ~OpenedDirectory();

    // The entry `name` of this directory, a directory itself and no link
    // (a link there now fails the open instead of being followed).
    Result<OpenedDirectory, std::string> open_subdirectory(const std::string& name) const;

    // The entries without "." and "..", in the order the system gives them.
    // A failure while reading entries ends the list.
    std::vector<DirectoryEntry> entries() const;

private:
    explicit OpenedDirectory(int fd) : fd_(fd) {}
    int fd_;
};

// The names of a directory's entries as raw bytes, without "." and "..",
// in the order the system gives them, or the error text of the open. A
// failure while reading entries ends the list. `root` as for reads.
Result<std::vector<std::string>, std::string> list_directory(const std::string& root, const std::string& path);

// The value of an environment variable that is set and valid UTF-8. A name
// that no variable can have (empty, or with "=" or a NUL byte) is unset.
std::optional<std::string> environment_variable(std::string_view name);

// One whole file to write: the path as the caller names it, and its bytes.
// A file with `beneath` (an absolute directory with its links resolved:
// the include root) is written only inside it, as files are read.
struct FileWrite {
    std::string path;
    std::string bytes;
    std::string beneath = {};
};

// A write that failed: the path as named and the error text;
// `outside_root` when a confined path led out of its root.
struct WriteFailure {
    std::string path;
    std::string reason;
    bool outside_root = false;
};

// Writes every file or none. Each file is first written in full to a new
// temporary file in the directory of the file it replaces and flushed to
// the disk; only when every one is ready are they renamed over their
// targets, in order. A failure before the renames removes every temporary
// file and leaves every target as it was. (A rename fails only when the
// directory changed meanwhile; the files not yet renamed then stay as they
// were.) Directories and other files that are not regular files are never
// replaced, nor files the process may not write.
//
// The directory of each target is opened once, and the file is looked at,
// created, written and renamed through that descriptor: what happens to
// the directory's path meanwhile (a directory swapped for a link to
// elsewhere) cannot move the write. For a confined file the directory is
// opened beneath the root like a read, so the write cannot leave the root
// either. A path that is a symbolic link replaces the file the link leads
// to and keeps the link; for a confined file the link and every link
// after it must lead to a place beneath the root.
//
// A temporary file is created readable and writable by its owner alone.
// Once its content is written it takes the permission bits of the file it
// replaces (of a new file: 0666 less the umask) and, where the process may
// give them (it runs as root, or owns the file), that file's owner and
// group.
//
//     write_files({{"conf/a.yaml", "a: 1\n"}, {"conf/b.yaml", "b: 2\n"}})
//         conf/.a.yaml.<random>.tmp, conf/.b.yaml.<random>.tmp written,
//         then renamed over conf/a.yaml and conf/b.yaml
Result<void, WriteFailure> write_files(std::span<const FileWrite> files);

}  // namespace quillmere::directives
