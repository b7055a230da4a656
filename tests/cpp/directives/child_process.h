// Checks run in a forked child with fewer means than the test process:
// without openat2 (as before Linux 5.6, or under a sandbox that refuses
// it: a seccomp filter makes the call fail with ENOSYS, so the file-system
// layer walks paths one component at a time), or as an unprivileged user
// when the tests run as root (CI does), where a permission would not hold.
#pragma once

#include <cerrno>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmere::directives::testing {

// The user an unprivileged child runs as ("nobody").
inline constexpr uid_t kUnprivileged = 65534;

// Runs `check` in a forked child once `restrict` succeeded there; what the
// check returned (empty for success), or nothing when `restrict` failed.
inline std::optional<std::string> run_in_child(const std::function<bool()>& restrict,
                                               const std::function<std::string()>& check) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        if (!restrict()) ::_exit(77);
        const std::string verdict = check();
        const ssize_t written = ::write(pipe_fds[1], verdict.data(), verdict.size());
        ::_exit(written == static_cast<ssize_t>(verdict.size()) ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    std::string verdict;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        verdict.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed: " + verdict;
    return verdict;
}

// Nothing when no seccomp filter can be installed here.
inline std::optional<std::string> run_without_openat2(const std::function<std::string()>& check) {
#ifndef SYS_openat2
    return check();
#else
    return run_in_child(
        [] {
            sock_filter filter[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
            if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
                ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
                return false;
            // The filter holds, or the child fails.
            if (::syscall(SYS_openat2, AT_FDCWD, "/", nullptr, 0) >= 0 || errno != ENOSYS) ::_exit(1);
            return true;
        },
        check);
#endif
}

// As kUnprivileged when the process runs as root, else as the process's
// own user, which is unprivileged already. Files the check must reach
// belong to kUnprivileged (when root) and lie in directories it may enter.
inline std::optional<std::string> run_unprivileged(const std::function<std::string()>& check) {
    return run_in_child(
        [] {
            if (::geteuid() != 0) return true;
            return ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivileged) == 0 && ::setuid(kUnprivileged) == 0;
        },
        check);
}

}  // namespace quillmere::directives::testing
