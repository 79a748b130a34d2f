// Preloaded into a process under test (LD_PRELOAD): counts the bytes the process writes to files
// and sockets and kills it with SIGKILL the moment the count reaches $TARNLOW_KILL_AFTER_BYTES.
// The write that crosses the limit is cut to end exactly at it, as a power failure in the middle of
// a write would leave it. Pipes and terminals are not counted, so what the process prints does not
// move the point. With $TARNLOW_BYTES_WRITTEN_FILE set, the count at exit is written there, so
// that a test can learn how many bytes a whole run writes and choose its points from that.
// With $TARNLOW_STOP_AFTER_BYTES instead, the write that reaches the count goes out whole and the
// process then stops itself once (SIGSTOP) until it is continued (SIGCONT), so that a screenshot
// can catch a window in the middle of long work.

#include "support/io_vectors.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using tarnlow::test::cutVector;
using tarnlow::test::vectorSize;

std::atomic<long long> written{0};
std::atomic<bool> stoppedOnce{false};

bool stopInsteadOfKill() {
    static const bool value = [] {
        const char* text = std::getenv("TARNLOW_STOP_AFTER_BYTES");
        return text && *text;
    }();
    return value;
}

long long limit() {
    static const long long value = [] {
        const char* text =
            std::getenv(stopInsteadOfKill() ? "TARNLOW_STOP_AFTER_BYTES" : "TARNLOW_KILL_AFTER_BYTES");
        return text && *text ? std::atoll(text) : -1LL;
    }();
    return value;
}

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool counted(int descriptor) {
    struct stat status;
    if (fstat(descriptor, &status) != 0)
        return false;
    return S_ISREG(status.st_mode) || S_ISSOCK(status.st_mode);
}

// How many of `size` bytes may go out; sets `killAfter` when the limit is reached with them.
size_t allowance(int descriptor, size_t size, bool& killAfter) {
    killAfter = false;
    const long long most = limit();
    if (most < 0 || size == 0 || stoppedOnce.load() || !counted(descriptor))
        return size;
    const long long done = written.load();
    if (done + static_cast<long long>(size) < most)
        return size;
    killAfter = true;
    if (stopInsteadOfKill())
        return size;
    return done < most ? static_cast<size_t>(most - done) : 0;
}

void die() {
    if (stopInsteadOfKill()) {
        if (!stoppedOnce.exchange(true))
            kill(getpid(), SIGSTOP);
        return;
    }
    kill(getpid(), SIGKILL);
    for (;;)
        pause();
}

// Adds what went out to a counted descriptor; pipes, terminals and the event loop's wake-up
// descriptors stay out, since how often those are written depends on timing.
ssize_t account(int descriptor, ssize_t result, bool killAfter) {
    if (result > 0 && counted(descriptor))
        written += result;
    if (killAfter)
        die();
    return result;
}

struct ReportAtExit {
    ~ReportAtExit() {
        const char* path = std::getenv("TARNLOW_BYTES_WRITTEN_FILE");
        if (!path || !*path)
            return;
        char text[32];
        const int length = std::snprintf(text, sizeof text, "%lld\n", written.load());
        const int descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (descriptor < 0)
            return;
        if (real<ssize_t (*)(int, const void*, size_t)>("write")(descriptor, text,
                                                                 static_cast<size_t>(length)) < 0)
            std::perror("kill_after_bytes");
        close(descriptor);
    }
} reportAtExit;

} // namespace

extern "C" {

ssize_t write(int descriptor, const void* data, size_t size) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, size, killAfter);
    return account(descriptor, allowed > 0 || !killAfter ? next(descriptor, data, allowed) : 0, killAfter);
}

ssize_t pwrite(int descriptor, const void* data, size_t size, off_t offset) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, size, killAfter);
    return account(descriptor, allowed > 0 || !killAfter ? next(descriptor, data, allowed, offset) : 0,
                   killAfter);
}

ssize_t pwrite64(int descriptor, const void* data, size_t size, off64_t offset) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, size, killAfter);
    return account(descriptor, allowed > 0 || !killAfter ? next(descriptor, data, allowed, offset) : 0,
                   killAfter);
}

ssize_t writev(int descriptor, const iovec* vector, int count) {
    static const auto next = real<ssize_t (*)(int, const iovec*, int)>("writev");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, vectorSize(vector, count), killAfter);
    if (!killAfter)
        return account(descriptor, next(descriptor, vector, count), false);
    const std::vector<iovec> cut = cutVector(vector, count, allowed);
    return account(descriptor, cut.empty() ? 0 : next(descriptor, cut.data(), static_cast<int>(cut.size())),
                   true);
}

ssize_t pwritev(int descriptor, const iovec* vector, int count, off_t offset) {
    static const auto next = real<ssize_t (*)(int, const iovec*, int, off_t)>("pwritev");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, vectorSize(vector, count), killAfter);
    if (!killAfter)
        return account(descriptor, next(descriptor, vector, count, offset), false);
    const std::vector<iovec> cut = cutVector(vector, count, allowed);
    return account(descriptor,
                   cut.empty() ? 0 : next(descriptor, cut.data(), static_cast<int>(cut.size()), offset),
                   true);
}

ssize_t send(int descriptor, const void* data, size_t size, int flags) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, int)>("send");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, size, killAfter);
    return account(descriptor, allowed > 0 || !killAfter ? next(descriptor, data, allowed, flags) : 0,
                   killAfter);
}

ssize_t sendto(int descriptor, const void* data, size_t size, int flags, const sockaddr* address,
               socklen_t addressLength) {
    static const auto next =
        real<ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t)>("sendto");
    bool killAfter = false;
    const size_t allowed = allowance(descriptor, size, killAfter);
    return account(descriptor,
                   allowed > 0 || !killAfter ? next(descriptor, data, allowed, flags, address, addressLength)
                                             : 0,
                   killAfter);
}

ssize_t sendmsg(int descriptor, const msghdr* message, int flags) {
    static const auto next = real<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
    bool killAfter = false;
    const size_t allowed =
        allowance(descriptor, vectorSize(message->msg_iov, static_cast<int>(message->msg_iovlen)), killAfter);
    if (!killAfter)
        return account(descriptor, next(descriptor, message, flags), false);
    std::vector<iovec> cut = cutVector(message->msg_iov, static_cast<int>(message->msg_iovlen), allowed);
    msghdr shortened = *message;
    shortened.msg_iov = cut.data();
    shortened.msg_iovlen = cut.size();
    return account(descriptor, cut.empty() ? 0 : next(descriptor, &shortened, flags), true);
}

} // extern "C"
