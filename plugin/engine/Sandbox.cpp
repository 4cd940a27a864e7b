#include "engine/Sandbox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Rights of later Landlock versions than the system headers may know, by their published values.
#ifndef LANDLOCK_ACCESS_FS_REFER
#define LANDLOCK_ACCESS_FS_REFER (1ULL << 13)
#endif
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace reelfinch::engine {

namespace {

const char* const kReadableFolders[] = {
    "/etc/fonts",
    "/usr/share/fonts",
    "/usr/local/share/fonts",
    "/usr/share/fontconfig",
    "/var/cache/fontconfig",
    nullptr,
};

// System calls the engine makes once confined: memory, threads of its own (decoding), time, the socket it
// was handed (messages and passed descriptors), the shared pixel buffer, and reading fonts.
const int kAllowedCalls[] = {
    SCMP_SYS(read),
    SCMP_SYS(readv),
    SCMP_SYS(pread64),
    SCMP_SYS(write),
    SCMP_SYS(writev),
    SCMP_SYS(recvmsg),
    SCMP_SYS(sendmsg),
    SCMP_SYS(recvfrom),
    SCMP_SYS(sendto),
    SCMP_SYS(poll),
    SCMP_SYS(ppoll),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),
    SCMP_SYS(statx),
    SCMP_SYS(lseek),
    SCMP_SYS(fstatfs),
    SCMP_SYS(statfs),
    SCMP_SYS(getdents64),
    SCMP_SYS(fcntl),
    SCMP_SYS(dup),
    // A pipe reaches nothing outside the process; the sanitizers test whether memory is readable through one.
    SCMP_SYS(pipe),
    SCMP_SYS(pipe2),
    SCMP_SYS(faccessat),
    SCMP_SYS(faccessat2),
    SCMP_SYS(access),
    SCMP_SYS(readlink),
    SCMP_SYS(readlinkat),
    SCMP_SYS(mmap),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(mprotect),
    SCMP_SYS(madvise),
    SCMP_SYS(brk),
    SCMP_SYS(futex),
    SCMP_SYS(set_robust_list),
    SCMP_SYS(get_robust_list),
    SCMP_SYS(rseq),
    SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity),
    SCMP_SYS(membarrier),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_getres),
    SCMP_SYS(clock_nanosleep),
    SCMP_SYS(nanosleep),
    SCMP_SYS(gettimeofday),
    SCMP_SYS(getpid),
    SCMP_SYS(gettid),
    SCMP_SYS(getuid),
    SCMP_SYS(geteuid),
    SCMP_SYS(getgid),
    SCMP_SYS(getegid),
    SCMP_SYS(getrandom),
    SCMP_SYS(uname),
    SCMP_SYS(sysinfo),
    SCMP_SYS(prlimit64),
    SCMP_SYS(getrlimit),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(sigaltstack),
    SCMP_SYS(restart_syscall),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
};

bool AddRule(scmp_filter_ctx filter, int call, unsigned count = 0, const scmp_arg_cmp* args = nullptr)
{
    return seccomp_rule_add_array(filter, SCMP_ACT_ALLOW, call, count, args) == 0;
}

// Without Landlock nothing narrows which files a read-only open reaches, so opening is refused altogether.
bool InstallSeccomp(bool allowReadOnlyOpen)
{
    // Everything not listed fails with EPERM, so a refused call is an error the engine survives, not a death.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return false;
    bool ok = seccomp_attr_set(filter, SCMP_FLTATR_CTL_NNP, 1) == 0;
    for (int call : kAllowedCalls)
        ok = AddRule(filter, call) && ok;
    // Files open for reading only: no write access, no creation, no truncation.
    if (allowReadOnlyOpen) {
        const unsigned long writeFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | O_TMPFILE;
        const scmp_arg_cmp readOnlyOpenat[] = { SCMP_A2(SCMP_CMP_MASKED_EQ, writeFlags, 0) };
        ok = AddRule(filter, SCMP_SYS(openat), 1, readOnlyOpenat) && ok;
        const scmp_arg_cmp readOnlyOpen[] = { SCMP_A1(SCMP_CMP_MASKED_EQ, writeFlags, 0) };
        ok = AddRule(filter, SCMP_SYS(open), 1, readOnlyOpen) && ok;
    }
    // Threads, never processes: clone only with CLONE_THREAD. clone3 hides its flags from the filter, so it
    // answers "not implemented" and the C library falls back to clone.
    const scmp_arg_cmp threadOnly[] = { SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD) };
    ok = AddRule(filter, SCMP_SYS(clone), 1, threadOnly) && ok;
    ok = seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0 && ok;
    // Signals only to itself (abort raises one).
    const scmp_arg_cmp self[] = { SCMP_A0(SCMP_CMP_EQ, uint64_t(getpid())) };
    ok = AddRule(filter, SCMP_SYS(tgkill), 1, self) && ok;
    ok = AddRule(filter, SCMP_SYS(kill), 1, self) && ok;
    // prctl for naming threads and reading settings, never for changing the confinement.
    const scmp_arg_cmp threadName[] = { SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME) };
    ok = AddRule(filter, SCMP_SYS(prctl), 1, threadName) && ok;
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

bool InstallLandlock()
{
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return false;
    landlock_ruleset_attr attr {};
    attr.handled_access_fs = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE
        | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR
        | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR
        | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO
        | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        attr.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        attr.handled_access_fs |= LANDLOCK_ACCESS_FS_TRUNCATE;
    // Only the file-system part of the ruleset record is filled: its size says which version it is.
    const int ruleset = int(syscall(SYS_landlock_create_ruleset, &attr, sizeof(uint64_t), 0));
    if (ruleset < 0)
        return false;
    for (const char* const* folder = kReadableFolders; *folder; ++folder) {
        const int fd = open(*folder, O_PATH | O_CLOEXEC);
        if (fd < 0)
            continue;
        landlock_path_beneath_attr beneath {};
        beneath.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        beneath.parent_fd = fd;
        syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0);
        close(fd);
    }
    const bool ok = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close(ruleset);
    return ok;
}

const char* Word(bool refused)
{
    return refused ? "refused" : "allowed";
}

} // namespace

const char* const* ReadableFolders()
{
    return kReadableFolders;
}

SandboxState EnterSandbox()
{
    SandboxState state;
    state.noNewPrivileges = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    // Landlock first: its calls are not among those the seccomp filter lets through.
    state.landlock = InstallLandlock();
    state.seccomp = InstallSeccomp(state.landlock);
    return state;
}

std::string ProbeSandbox(const std::string& fileToOpen)
{
    std::string out;
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    out += std::string("socket=") + Word(s < 0);
    if (s >= 0)
        close(s);
    const int unixSocket = socket(AF_UNIX, SOCK_STREAM, 0);
    out += std::string(" unix=") + Word(unixSocket < 0);
    if (unixSocket >= 0)
        close(unixSocket);
    const int f = open(fileToOpen.c_str(), O_RDONLY | O_CLOEXEC);
    out += std::string(" open=") + Word(f < 0);
    if (f >= 0)
        close(f);
    const int c = open("/tmp/reelfinch-engine-probe", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    out += std::string(" create=") + Word(c < 0);
    if (c >= 0) {
        close(c);
        unlink("/tmp/reelfinch-engine-probe");
    }
    char* const argv[] = { const_cast<char*>("/bin/true"), nullptr };
    char* const envp[] = { nullptr };
    // execve only returns when it fails.
    out += std::string(" exec=") + Word(execve("/bin/true", argv, envp) < 0);
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    if (child > 0)
        waitpid(child, nullptr, 0);
    out += std::string(" fork=") + Word(child < 0);
    return out;
}

} // namespace reelfinch::engine
