// Preloaded into a process under test (LD_PRELOAD): makes the folder $TARNLOW_DISK_FULL_FOLDER a
// file system that is full once the process has written $TARNLOW_DISK_FULL_AFTER_BYTES bytes to
// files inside it. Where the full disk shows is chosen by $TARNLOW_DISK_FULL_IN:
//   write  (the default) write, pwrite, writev, pwritev and copy_file_range: the write that
//          crosses the limit is cut to end at it, and every later one fails with ENOSPC, as on a
//          file system that ran out of room halfway;
//   fsync  fsync and fdatasync of a file written there fail with ENOSPC once the limit is reached
//          (space that a file system gives out only when it writes back);
//   close  close of such a file fails with ENOSPC (the descriptor is closed all the same).
// Files elsewhere, pipes, sockets and terminals are never touched.

#include "support/io_vectors.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using tarnlow::test::cutVector;
using tarnlow::test::vectorSize;

enum class Where { Write, Fsync, Close };

struct Plan {
    std::string folder;
    long long limit = -1;
    Where where = Where::Write;
};

const Plan& plan() {
    static const Plan value = [] {
        Plan made;
        if (const char* folder = std::getenv("TARNLOW_DISK_FULL_FOLDER"); folder && *folder) {
            made.folder = folder;
            if (made.folder.back() != '/')
                made.folder += '/';
        }
        if (const char* bytes = std::getenv("TARNLOW_DISK_FULL_AFTER_BYTES"); bytes && *bytes)
            made.limit = std::atoll(bytes);
        if (const char* where = std::getenv("TARNLOW_DISK_FULL_IN"); where && *where) {
            if (std::strcmp(where, "fsync") == 0)
                made.where = Where::Fsync;
            else if (std::strcmp(where, "close") == 0)
                made.where = Where::Close;
        }
        return made;
    }();
    return value;
}

std::atomic<long long> written{0};

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Whether the descriptor is a file opened for writing inside the full folder.
bool onFullDisk(int descriptor) {
    const Plan& p = plan();
    if (p.folder.empty() || p.limit < 0 || descriptor < 0)
        return false;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char path[PATH_MAX];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return false;
    return std::string(path, static_cast<size_t>(length)).rfind(p.folder, 0) == 0;
}

bool full() {
    return written.load() >= plan().limit;
}

// How many of `size` bytes fit; -1 with ENOSPC when none does.
ssize_t room(int descriptor, size_t size, bool& counted) {
    counted = onFullDisk(descriptor);
    if (!counted || plan().where != Where::Write || size == 0)
        return static_cast<ssize_t>(size);
    const long long left = plan().limit - written.load();
    if (left <= 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(std::min<long long>(left, static_cast<long long>(size)));
}

ssize_t account(bool counted, ssize_t result) {
    if (counted && result > 0)
        written += result;
    return result;
}

bool failsAt(Where where, int descriptor) {
    return plan().where == where && onFullDisk(descriptor) && full();
}

// An fsync or fdatasync: ENOSPC once the disk is full, the real call otherwise.
int flushed(int descriptor, int (*next)(int)) {
    if (failsAt(Where::Fsync, descriptor)) {
        errno = ENOSPC;
        return -1;
    }
    return next(descriptor);
}

} // namespace

extern "C" {

ssize_t write(int descriptor, const void* data, size_t size) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    bool counted = false;
    const ssize_t allowed = room(descriptor, size, counted);
    return allowed < 0 ? -1 : account(counted, next(descriptor, data, static_cast<size_t>(allowed)));
}

ssize_t pwrite(int descriptor, const void* data, size_t size, off_t offset) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    bool counted = false;
    const ssize_t allowed = room(descriptor, size, counted);
    return allowed < 0 ? -1 : account(counted, next(descriptor, data, static_cast<size_t>(allowed), offset));
}

ssize_t pwrite64(int descriptor, const void* data, size_t size, off64_t offset) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    bool counted = false;
    const ssize_t allowed = room(descriptor, size, counted);
    return allowed < 0 ? -1 : account(counted, next(descriptor, data, static_cast<size_t>(allowed), offset));
}

ssize_t writev(int descriptor, const iovec* vector, int count) {
    static const auto next = real<ssize_t (*)(int, const iovec*, int)>("writev");
    bool counted = false;
    const size_t size = vectorSize(vector, count);
    const ssize_t allowed = room(descriptor, size, counted);
    if (allowed < 0)
        return -1;
    if (static_cast<size_t>(allowed) == size)
        return account(counted, next(descriptor, vector, count));
    const std::vector<iovec> cut = cutVector(vector, count, static_cast<size_t>(allowed));
    return account(counted, next(descriptor, cut.data(), static_cast<int>(cut.size())));
}

ssize_t pwritev(int descriptor, const iovec* vector, int count, off_t offset) {
    static const auto next = real<ssize_t (*)(int, const iovec*, int, off_t)>("pwritev");
    bool counted = false;
    const size_t size = vectorSize(vector, count);
    const ssize_t allowed = room(descriptor, size, counted);
    if (allowed < 0)
        return -1;
    if (static_cast<size_t>(allowed) == size)
        return account(counted, next(descriptor, vector, count, offset));
    const std::vector<iovec> cut = cutVector(vector, count, static_cast<size_t>(allowed));
    return account(counted, next(descriptor, cut.data(), static_cast<int>(cut.size()), offset));
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t size,
                        unsigned int flags) {
    static const auto next =
        real<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned int)>("copy_file_range");
    bool counted = false;
    const ssize_t allowed = room(out, size, counted);
    return allowed < 0
               ? -1
               : account(counted, next(in, inOffset, out, outOffset, static_cast<size_t>(allowed), flags));
}

int fsync(int descriptor) {
    static const auto next = real<int (*)(int)>("fsync");
    return flushed(descriptor, next);
}

int fdatasync(int descriptor) {
    static const auto next = real<int (*)(int)>("fdatasync");
    return flushed(descriptor, next);
}

int close(int descriptor) {
    static const auto next = real<int (*)(int)>("close");
    const bool fails = failsAt(Where::Close, descriptor);
    const int result = next(descriptor);
    if (fails) {
        errno = ENOSPC;
        return -1;
    }
    return result;
}

} // extern "C"
