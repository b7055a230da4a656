#include "directives/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

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

Result<std::string, std::string> read_text_file(const std::string& root, const std::string& path,
                                                std::uint64_t max_bytes) {
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

    if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return make_err(std::string(kTooLargeText));

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
        // The file grew since its size was taken.
        if (static_cast<std::uint64_t>(n) > max_bytes - text.size()) return make_err(std::string(kTooLargeText));
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (!is_valid_utf8(text)) return make_err(std::string(kInvalidUtf8Text));
    return text;
}

Result<OpenedDirectory, std::string> OpenedDirectory::open(const std::string& root, const std::string& path) {
    if (contains_nul(path)) return make_err(std::string(kNulByteText));
    const int fd = open_beneath(root, path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return make_err(os_error_text(errno));
    return OpenedDirectory(fd);
}

OpenedDirectory& OpenedDirectory::operator=(OpenedDirectory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

OpenedDirectory::~OpenedDirectory() {
    if (fd_ >= 0) ::close(fd_);
}

Result<OpenedDirectory, std::string> OpenedDirectory::open_subdirectory(const std::string& name) const {
    if (contains_nul(name) || name.find('/') != std::string::npos || name == "." || name == "..")
        return make_err(os_error_text(EINVAL));
    int fd;
    do {
        fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return make_err(os_error_text(errno));
    return OpenedDirectory(fd);
}

std::vector<DirectoryEntry> OpenedDirectory::entries() const {
    std::vector<DirectoryEntry> entries;
    // The stream reads through a descriptor of its own, so this one stays
    // open for the subdirectories.
    const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return entries;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return entries;
    }
    ::rewinddir(dir);  // the copy shares its offset with earlier listings
    auto type_of = [](mode_t mode) {
        return S_ISREG(mode) ? FileType::Regular : S_ISDIR(mode) ? FileType::Directory : FileType::Other;
    };
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;  // the end, or a read error: either ends the list
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        DirectoryEntry out{std::string(name)};
        struct stat info;
        switch (entry->d_type) {
            case DT_REG:
                out.type = FileType::Regular;
                break;
            case DT_DIR:
                out.type = FileType::Directory;
                break;
            case DT_LNK:
                out.link = true;
                break;
            case DT_UNKNOWN:
                if (::fstatat(fd_, out.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) break;
                out.link = S_ISLNK(info.st_mode);
                if (!out.link) out.type = type_of(info.st_mode);
                break;
            default:
                out.type = FileType::Other;
                break;
        }
        // A link names what it leads to, wherever that is: the caller
        // confines it.
        if (out.link && ::fstatat(fd_, out.name.c_str(), &info, 0) == 0) out.type = type_of(info.st_mode);
        entries.push_back(std::move(out));
    }
    ::closedir(dir);
    return entries;
}

Result<std::vector<std::string>, std::string> list_directory(const std::string& root, const std::string& path) {
    QM_TRY_ASSIGN(OpenedDirectory directory, OpenedDirectory::open(root, path));
    std::vector<std::string> names;
    for (DirectoryEntry& entry : directory.entries()) names.push_back(std::move(entry.name));
    return names;
}

std::optional<std::string> environment_variable(std::string_view name) {
    if (name.empty() || name.find('=') != std::string_view::npos || contains_nul(name)) return std::nullopt;
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
    return std::string(value);
}

namespace {

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

// The bits the process's umask takes from new files, as the kernel reports
// it; 077 (new files stay private) where it does not. Read, not set: the
// umask is the whole process's, and setting it to read it would race with
// other threads creating files.
mode_t process_umask() {
    Descriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (status.get() < 0) return 077;
    char buffer[4096];
    std::size_t size = 0;
    while (size < sizeof buffer) {
        const ssize_t n = ::read(status.get(), buffer + size, sizeof buffer - size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size += static_cast<std::size_t>(n);
    }
    const std::string_view text(buffer, size);
    const std::size_t at = text.find("\nUmask:");
    if (at == std::string_view::npos) return 077;
    unsigned long value = 0;
    bool digits = false;
    for (std::size_t i = at + 7; i < text.size() && text[i] != '\n'; ++i) {
        if (text[i] >= '0' && text[i] <= '7') {
            value = value * 8 + static_cast<unsigned long>(text[i] - '0');
            digits = true;
        } else if (text[i] != '\t' && text[i] != ' ') {
            return 077;
        }
    }
    return digits ? static_cast<mode_t>(value & 0777) : 077;
}

// A directory a batch writes into, opened once and shared by every file
// of the batch in it.
struct OpenDirectory {
    std::string path;
    bool beneath = false;  // opened beneath the include root
    Descriptor fd{-1};
};

// One file of a batch, written in full to its temporary file.
struct Prepared {
    OpenDirectory* directory;
    std::string name;       // the entry it replaces in that directory
    std::string temporary;  // the temporary file's entry there
};

// The failure of one file: the error text, and whether the path led out of
// the include root.
struct FileFailure {
    std::string reason;
    bool outside_root = false;
};

FileFailure failure_from_errno(int error, bool beneath) {
    return FileFailure{os_error_text(error), beneath && error == EXDEV};
}

class Batch {
public:
    explicit Batch(mode_t umask) : umask_(umask) {}
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() { remove_temporaries(0); }

    Result<void, FileFailure> prepare(const FileWrite& file);
    // Renames every temporary file over its target, in order; the index of
    // the file whose rename failed, and why.
    Result<void, std::pair<std::size_t, std::string>> commit();

private:
    Result<OpenDirectory*, FileFailure> open_directory(const std::string& path, const std::string& beneath);
    void remove_temporaries(std::size_t from);

    mode_t umask_;
    // Stable addresses: the prepared files point at their directory.
    std::vector<std::unique_ptr<OpenDirectory>> directories_;
    std::vector<Prepared> prepared_;
};

Result<OpenDirectory*, FileFailure> Batch::open_directory(const std::string& path, const std::string& beneath) {
    for (const auto& directory : directories_) {
        if (directory->beneath == !beneath.empty() && directory->path == path) return directory.get();
    }
    auto directory = std::make_unique<OpenDirectory>();
    directory->path = path;
    directory->beneath = !beneath.empty();
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (beneath.empty()) {
        directory->fd.reset(::open(path.empty() ? "." : path.c_str(), kFlags));
    } else {
        directory->fd.reset(open_beneath(beneath, path, kFlags));
    }
    if (directory->fd.get() < 0) return make_err(failure_from_errno(errno, directory->beneath));
    directories_.push_back(std::move(directory));
    return directories_.back().get();
}

Result<void, FileFailure> Batch::prepare(const FileWrite& file) {
    if (contains_nul(file.path)) return make_err(FileFailure{std::string(kNulByteText)});
    const bool beneath = !file.beneath.empty();
    // The file that writing replaces: the path itself, or where its chain
    // of symbolic links ends (a relative link read from the link's own
    // directory). Each step is looked at through its directory's
    // descriptor, and a confined step's directory is opened beneath the
    // root, so nothing found here can lie outside it.
    std::string path = beneath ? normalize_path_lexically(file.path) : file.path;
    OpenDirectory* directory = nullptr;
    std::string name;
    struct stat info;
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (hops == 40) return make_err(FileFailure{os_error_text(ELOOP)});
        name = std::string(file_name(path));
        if (name.empty() || name == "." || name == "..")
            return make_err(FileFailure{os_error_text(path.empty() ? ENOENT : EISDIR)});
        QM_TRY_ASSIGN(directory, open_directory(parent_path(path).value_or(""), file.beneath));
        if (::fstatat(directory->fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return make_err(failure_from_errno(errno, false));
            break;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            break;
        }
        std::string link(static_cast<std::size_t>(info.st_size) + 1, '\0');
        const ssize_t n = ::readlinkat(directory->fd.get(), name.c_str(), link.data(), link.size());
        if (n < 0) return make_err(failure_from_errno(errno, false));
        if (static_cast<std::size_t>(n) >= link.size()) continue;  // the link changed under us: read it again
        link.resize(static_cast<std::size_t>(n));
        path = join_path(parent_path(path).value_or(""), link);
        if (beneath) path = normalize_path_lexically(path);
    }
    if (exists && S_ISDIR(info.st_mode)) return make_err(FileFailure{os_error_text(EISDIR)});
    if (exists && !S_ISREG(info.st_mode)) return make_err(FileFailure{std::string(kNotRegularText)});
    // Renaming would replace a file that the process may not write; writing
    // it in place would be refused, and so is this.
    if (exists && ::faccessat(directory->fd.get(), name.c_str(), W_OK, 0) != 0)
        return make_err(failure_from_errno(errno, false));

    // Private from the start: no other user can open the file while it is
    // incomplete, whatever the umask and the directory's permissions.
    std::string temporary;
    Descriptor out(-1);
    for (int attempt = 0; out.get() < 0; ++attempt) {
        std::uint64_t random = 0;
        if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            random ^= static_cast<std::uint64_t>(::getpid()) << 20 ^ static_cast<std::uint64_t>(attempt);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random));
        temporary = "." + name + suffix;
        out.reset(::openat(directory->fd.get(), temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0 && (errno != EEXIST || attempt == 16)) return make_err(failure_from_errno(errno, false));
    }
    auto fail = [&] {
        const int error = errno;
        out.reset(-1);
        ::unlinkat(directory->fd.get(), temporary.c_str(), 0);
        return make_err(failure_from_errno(error, false));
    };
    if (!write_all(out.get(), file.bytes)) return fail();
    // The content is whole: now the target's owner and group, where the
    // process may give them (as root, or the group of a file it owns when
    // it belongs to that group; otherwise the file becomes the process's,
    // as any rewritten file would), then its permission bits (after the
    // owner, which clears set-id bits).
    if (exists && (::geteuid() == 0 || info.st_uid == ::geteuid())) {
        const uid_t owner = ::geteuid() == 0 ? info.st_uid : static_cast<uid_t>(-1);
        if (::fchown(out.get(), owner, info.st_gid) != 0 && errno != EPERM) return fail();
    }
    const mode_t mode = exists ? info.st_mode & 07777 : 0666 & ~umask_;
    if (::fchmod(out.get(), mode) != 0) return fail();
    if (::fsync(out.get()) != 0) return fail();
    const int fd = out.release();
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlinkat(directory->fd.get(), temporary.c_str(), 0);
        return make_err(failure_from_errno(error, false));
    }
    prepared_.push_back({directory, std::move(name), std::move(temporary)});
    return Ok{};
}

Result<void, std::pair<std::size_t, std::string>> Batch::commit() {
    for (std::size_t i = 0; i < prepared_.size(); ++i) {
        const Prepared& file = prepared_[i];
        const int fd = file.directory->fd.get();
        if (::renameat(fd, file.temporary.c_str(), fd, file.name.c_str()) != 0) {
            const int error = errno;
            remove_temporaries(i);
            prepared_.clear();
            return make_err(std::pair{i, os_error_text(error)});
        }
    }
    prepared_.clear();
    // Makes the renames last (best effort: a file system without directory
    // flushes still has the files renamed).
    for (const auto& directory : directories_) ::fsync(directory->fd.get());
    return Ok{};
}

void Batch::remove_temporaries(std::size_t from) {
    for (std::size_t i = from; i < prepared_.size(); ++i)
        ::unlinkat(prepared_[i].directory->fd.get(), prepared_[i].temporary.c_str(), 0);
}

}  // namespace

Result<void, WriteFailure> write_files(std::span<const FileWrite> files) {
    Batch batch(process_umask());
    for (const FileWrite& file : files) {
        if (auto prepared = batch.prepare(file); !prepared.ok()) {
            FileFailure failure = std::move(prepared).error();
            return make_err(WriteFailure{file.path, std::move(failure.reason), failure.outside_root});
        }
    }
    if (auto committed = batch.commit(); !committed.ok()) {
        auto [index, reason] = std::move(committed).error();
        return make_err(WriteFailure{files[index].path, std::move(reason)});
    }
    return Ok{};
}

}  // namespace quillmere::directives
