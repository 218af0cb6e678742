// Preloaded into test programs that run under qemu-user (see CMakeLists.txt):
// waitid(P_PIDFD, ...) through syscall() fails with EINVAL, as on a kernel
// without pidfds, so that Qt's forkfd falls back to fork(). Every other
// system call goes to the C library's syscall().
#include <dlfcn.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {
const long kPidfdIdType = 3; // P_PIDFD, the first argument of waitid

// The programs the test starts get no preload: they run under qemu-user
// through binfmt_misc, whose emulator is a build-machine program.
__attribute__((constructor)) void keepFromChildren()
{
    unsetenv("LD_PRELOAD");
}
} // namespace

extern "C" long syscall(long number, ...) noexcept
{
    va_list ap;
    va_start(ap, number);
    long args[6];
    for (long &arg : args)
        arg = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_waitid && args[0] == kPidfdIdType) {
        errno = EINVAL;
        return -1;
    }
    using SyscallFn = long (*)(long, ...);
    static const auto next = reinterpret_cast<SyscallFn>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, args[0], args[1], args[2], args[3], args[4], args[5]);
}
