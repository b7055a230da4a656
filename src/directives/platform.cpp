#include "directives/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(SYS_openat2) && __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define QUILLMERE_HAVE_OPENAT2 1
#endif

#include "common/utf8.h"
#include "directives/paths.h"

namespace quillmere::directives {

namespace {

// strerror_r comes in two flavours; each overload takes one.
[[maybe_unused]] const char* error_description(int rc, const char* buffer) {
    return rc == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* error_description(const char* text, const char*) { return text; }

// Closes a descriptor when it goes out of scope, keeping errno for the
// caller.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Opens `path`, which lies in `root`, without leaving `root`: the kernel
// resolves the part below the root and refuses any step out of it, through
// "..", a symbolic link or an absolute link. Where the kernel lacks that
// call (or a sandbox forbids it), the part below the root is walked one
// component at a time, and no component may be a link. Returns -1 with
// errno set.
int open_beneath(const std::string& root, const std::string& path, int flags) {
    const std::optional<std::string> below = path_below(path, root);
    if (!below) {
        errno = EXDEV;
        return -1;
    }
#ifdef O_PATH
    constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    Descriptor directory(::open(root.c_str(), kDirectoryFlags));
    if (directory.get() < 0) return -1;
#ifdef QUILLMERE_HAVE_OPENAT2
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    // EAGAIN: a rename raced with the lookup; a few more tries, then the
    // error stands.
    long fd = -1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        fd = ::syscall(SYS_openat2, directory.get(), below->c_str(), &how, sizeof how);
        if (fd >= 0 || (errno != EINTR && errno != EAGAIN)) break;
    }
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
#endif
    std::string_view rest = *below;
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        if (name == "..") {
            errno = EXDEV;
            return -1;
        }
        const bool last = slash == std::string_view::npos;
        int next;
        do {
            next = ::openat(directory.get(), name.c_str(), (last ? flags : kDirectoryFlags) | O_NOFOLLOW);
        } while (next < 0 && errno == EINTR);
        if (last || next < 0) return next;
        directory.reset(next);
        rest.remove_prefix(slash + 1);
    }
}

}  // namespace

bool contains_nul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

std::string os_error_text(int code) {
    char buffer[256] = {};
    const char* description = error_description(::strerror_r(code, buffer, sizeof buffer), buffer);
    return std::string(description) + " (os error " + std::to_string(code) + ")";
}

std::optional<std::string> canonicalize(const std::string& path) {
    if (contains_nul(path)) return std::nullopt;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::string absolute_path(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return path;
    std::string out = join_path(cwd, path);
    std::free(cwd);
    return out;
}

FileType file_type(const std::string& path) {
    struct stat info;
    if (contains_nul(path) || ::stat(path.c_str(), &info) != 0) return FileType::Missing;
    if (S_ISREG(info.st_mode)) return FileType::Regular;
    if (S_ISDIR(info.st_mode)) return FileType::Directory;
    return FileType::Other;
}

bool is_symbolic_link(const std::string& path) {
    struct stat info;
    return !contains_nul(path) && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

Result<std::string, std::string> read_text_file(const std::string& root, const std::string& path) {
    if (contains_nul(path)) return make_err(std::string(kNulByteText));
    // Devices and FIFOs are refused before they are opened (opening some
    // devices acts on them), and again after, should the path have changed
    // in between; the open does not block on a FIFO.
    if (!path_below(path, root)) return make_err(os_error_text(EXDEV));
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return make_err(std::string(kNotRegularText));
    Descriptor file(open_beneath(root, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) return make_err(os_error_text(errno));
    if (::fstat(file.get(), &info) != 0) return make_err(os_error_text(errno));
    if (S_ISDIR(info.st_mode)) return make_err(os_error_text(EISDIR));
    if (!S_ISREG(info.st_mode)) return make_err(std::string(kNotRegularText));

    std::string text;
    if (info.st_size > 0) text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return make_err(os_error_text(errno));
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (!is_valid_utf8(text)) return make_err(std::string(kInvalidUtf8Text));
    return text;
}

Result<std::vector<std::string>, std::string> list_directory(const std::string& root, const std::string& path) {
    if (contains_nul(path)) return make_err(std::string(kNulByteText));
    Descriptor fd(open_beneath(root, path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return make_err(os_error_text(errno));
    DIR* dir = ::fdopendir(fd.get());
    if (dir == nullptr) return make_err(os_error_text(errno));
    fd.release();  // the DIR stream owns the descriptor now
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;  // the end, or a read error: either ends the list
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

std::optional<std::string> environment_variable(std::string_view name) {
    if (name.empty() || name.find('=') != std::string_view::npos || contains_nul(name)) return std::nullopt;
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
    return std::string(value);
}

namespace {

// The file that writing to `path` replaces: the path itself, or where its
// chain of symbolic links ends (a relative link read from the link's own
// directory). Nothing, with errno set, when the chain cannot be read or
// does not end.
std::optional<std::string> write_target(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string link(static_cast<std::size_t>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) >= link.size()) continue;  // the link changed under us: read it again
        link.resize(static_cast<std::size_t>(n));
        path = join_path(parent_path(path).value_or(""), link);
    }
    errno = ELOOP;
    return std::nullopt;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A temporary file beside `target` holding `bytes`, flushed and closed,
// with the target's permission bits when the target exists (else the
// process's default for new files). Its path, or the error text.
Result<std::string, std::string> write_temporary(const std::string& target, std::string_view bytes) {
    struct stat info;
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return make_err(os_error_text(EISDIR));
    if (exists && !S_ISREG(info.st_mode)) return make_err(std::string(kNotRegularText));
    // Renaming would replace a file that the process may not write; writing
    // it in place would be refused, and so is this.
    if (exists && ::access(target.c_str(), W_OK) != 0) return make_err(os_error_text(errno));
    const std::string_view name = file_name(target);
    if (name.empty()) return make_err(os_error_text(target.empty() ? ENOENT : EISDIR));
    const std::string directory = parent_path(target).value_or("");

    std::string temporary;
    Descriptor file(-1);
    for (int attempt = 0; file.get() < 0; ++attempt) {
        std::uint64_t random = 0;
        if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            random ^= static_cast<std::uint64_t>(::getpid()) << 20 ^ static_cast<std::uint64_t>(attempt);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random));
        temporary = join_path(directory, "." + std::string(name) + suffix);
        // The process's umask applies to the new file as to any other.
        file.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.get() < 0 && (errno != EEXIST || attempt == 16)) return make_err(os_error_text(errno));
    }
    auto fail = [&] {
        const int error = errno;
        file.reset(-1);
        ::unlink(temporary.c_str());
        return make_err(os_error_text(error));
    };
    if (exists && ::fchmod(file.get(), info.st_mode & 07777) != 0) return fail();
    if (!write_all(file.get(), bytes) || ::fsync(file.get()) != 0) return fail();
    const int fd = file.release();
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return make_err(os_error_text(error));
    }
    return temporary;
}

// Makes the renames in `directory` last (best effort: a file system
// without directory flushes still has the files renamed).
void flush_directory(const std::string& directory) {
    Descriptor fd(::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

Result<void, WriteFailure> write_files(std::span<const FileWrite> files) {
    struct Prepared {
        std::string target;
        std::string temporary;
    };
    std::vector<Prepared> prepared;
    prepared.reserve(files.size());
    auto remove_temporaries = [&](std::size_t from) {
        for (std::size_t i = from; i < prepared.size(); ++i) ::unlink(prepared[i].temporary.c_str());
    };
    for (const FileWrite& file : files) {
        auto fail = [&](std::string reason) {
            remove_temporaries(0);
            return make_err(WriteFailure{file.path, std::move(reason)});
        };
        if (contains_nul(file.path)) return fail(std::string(kNulByteText));
        std::optional<std::string> target = write_target(file.path);
        if (!target) return fail(os_error_text(errno));
        Result<std::string, std::string> temporary = write_temporary(*target, file.bytes);
        if (!temporary.ok()) return fail(std::move(temporary).error());
        prepared.push_back({std::move(*target), std::move(temporary).value()});
    }
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        if (::rename(prepared[i].temporary.c_str(), prepared[i].target.c_str()) != 0) {
            const int error = errno;
            remove_temporaries(i);
            return make_err(WriteFailure{files[i].path, os_error_text(error)});
        }
    }
    for (const Prepared& file : prepared) flush_directory(parent_path(file.target).value_or(""));
    return Ok{};
}

}  // namespace quillmere::directives
