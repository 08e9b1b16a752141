// The helper's seccomp filter.
//
// Anything not listed kills the process: a decoder never needs it, so it can only come
// from code that took over the process, and a killed helper fails one photo. Calls that
// libraries make on their own and cope with failing (opening files, asking about paths,
// terminal queries) fail with EPERM instead, so a damaged photo still decodes.
//
// A Strict helper opens nothing: the photo arrives as a descriptor and the pixels leave
// in a memfd. A Fonts helper (metafiles) may open files read-only, because the fonts a
// drawing names are looked up and opened while it is drawn; Landlock keeps those opens
// within the font folders (readable_paths.h), and it can still write nothing, reach no
// network and start no program.
#include "syscall_filter.h"

#include <seccomp.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace tallowin::sandbox {

namespace {

struct ContextFree {
    void operator()(scmp_filter_ctx context) const { seccomp_release(context); }
};

class Rules {
public:
    explicit Rules(scmp_filter_ctx context) : context_(context) {}

    // Calls missing on this architecture resolve to negative numbers and are skipped.
    template <typename... Conditions>
    void Add(uint32_t action, int call, Conditions... conditions) {
        if (call < 0) return;
        constexpr unsigned count = sizeof...(Conditions);
        const int result = seccomp_rule_add(context_, action, call, count, conditions...);
        if (result != 0 && result != -EEXIST && error_ == 0) error_ = result;
    }
    template <typename... Conditions>
    void Allow(int call, Conditions... conditions) { Add(SCMP_ACT_ALLOW, call, conditions...); }
    void Refuse(int call, int error = EPERM) { Add(SCMP_ACT_ERRNO(static_cast<uint32_t>(error)), call); }
    int error() const { return error_; }

private:
    scmp_filter_ctx context_;
    int error_ = 0;
};

// An open with any of these flags could change a file.
constexpr unsigned kWritingFlags[] = {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND};

void AddReadOnlyOpens(Rules& rules, int call, unsigned flagsArgument) {
    unsigned mask = 0;
    for (unsigned flag : kWritingFlags) mask |= flag;
    rules.Allow(call, scmp_arg_cmp{flagsArgument, SCMP_CMP_MASKED_EQ, mask, 0});
    for (unsigned flag : kWritingFlags) {
        rules.Add(SCMP_ACT_ERRNO(EPERM), call, scmp_arg_cmp{flagsArgument, SCMP_CMP_MASKED_EQ, flag, flag});
    }
}

}  // namespace

bool InstallSyscallFilter(codec::sandbox::HelperMode mode, std::string& error) {
    std::unique_ptr<void, ContextFree> owner(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!owner) {
        error = "seccomp_init failed";
        return false;
    }
    scmp_filter_ctx context = owner.get();
    Rules rules(context);

    // Reading the photo and answering.
    for (int call : {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(preadv), SCMP_SYS(lseek),
                     SCMP_SYS(fstat), SCMP_SYS(close), SCMP_SYS(fcntl), SCMP_SYS(write), SCMP_SYS(writev),
                     SCMP_SYS(sendmsg), SCMP_SYS(recvmsg), SCMP_SYS(memfd_create), SCMP_SYS(ftruncate),
                     SCMP_SYS(poll), SCMP_SYS(ppoll)}) {
        rules.Allow(call);
    }
    // fstat is newfstatat(fd, "", AT_EMPTY_PATH) in current C libraries.
    rules.Allow(SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    // Memory, never executable: a library loaded late (a character set converter, a
    // plugin) fails to load instead of ending the helper.
    for (int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
        rules.Allow(call, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
        rules.Add(SCMP_ACT_ERRNO(EPERM), call, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    }
    for (int call : {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(madvise)}) rules.Allow(call);
    // Threads some libraries start for themselves, and the process's own housekeeping.
    rules.Allow(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    rules.Refuse(SCMP_SYS(clone3), ENOSYS);  // the C library then uses clone, which is checked
    rules.Allow(SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid())));
    rules.Allow(SCMP_SYS(prlimit64), SCMP_A2(SCMP_CMP_EQ, 0));  // reading limits only
    for (int call : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
                     SCMP_SYS(sched_getaffinity), SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres),
                     SCMP_SYS(gettimeofday), SCMP_SYS(time), SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep),
                     SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getrandom), SCMP_SYS(getrlimit),
                     SCMP_SYS(sysinfo), SCMP_SYS(uname), SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask),
                     SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack), SCMP_SYS(restart_syscall),
                     SCMP_SYS(exit), SCMP_SYS(exit_group)}) {
        rules.Allow(call);
    }
#ifdef TALLOWIN_SANITIZER_BUILD
    // The sanitizers probe whether memory is readable by writing it into a pipe.
    rules.Allow(SCMP_SYS(pipe2));
#endif
    // What libraries try and cope with failing.
    for (int call : {SCMP_SYS(ioctl), SCMP_SYS(prctl), SCMP_SYS(flock), SCMP_SYS(mkdir), SCMP_SYS(unlink),
                     SCMP_SYS(rename)}) {
        rules.Refuse(call);
    }

    if (mode == codec::sandbox::HelperMode::Fonts) {
        AddReadOnlyOpens(rules, SCMP_SYS(openat), 2);
        AddReadOnlyOpens(rules, SCMP_SYS(open), 1);
        for (int call : {SCMP_SYS(getdents64), SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(statx),
                         SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(access), SCMP_SYS(faccessat),
                         SCMP_SYS(faccessat2), SCMP_SYS(fstatfs), SCMP_SYS(statfs), SCMP_SYS(getcwd),
                         SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid),
                         SCMP_SYS(fadvise64)}) {
            rules.Allow(call);
        }
        rules.Allow(SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0));
    } else {
        for (int call : {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(creat), SCMP_SYS(stat), SCMP_SYS(lstat),
                         SCMP_SYS(statx), SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(access),
                         SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(getcwd), SCMP_SYS(statfs),
                         SCMP_SYS(fstatfs)}) {
            rules.Refuse(call);
        }
        rules.Refuse(SCMP_SYS(openat2), ENOSYS);
        rules.Add(SCMP_ACT_ERRNO(EPERM), SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0));
    }

    if (rules.error() != 0) {
        error = std::string("seccomp rule refused: ") + std::strerror(-rules.error());
        return false;
    }
    const int loaded = seccomp_load(context);
    if (loaded != 0) {
        error = std::string("seccomp_load failed: ") + std::strerror(-loaded);
        return false;
    }
    return true;
}

}  // namespace tallowin::sandbox
