// SPDX-License-Identifier: GPL-3.0-or-later
// A full disk for the tests, preloaded (LD_PRELOAD) into a test or into a program it starts: writes to
// regular files under one folder fail with ENOSPC once a given number of bytes has been written there,
// as on a file system with that much room left; a write across the limit is written in part, as the
// system does. Everything else passes through. The folder and the room come from
// TONVIX_FULL_DISK="<folder>:<bytes>" at the start, or from tonvix_full_disk() while the program runs.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <limits.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::mutex Guard;
std::string Folder; // with a trailing slash; empty: no full disk
long long Room = 0;

using TWrite = ssize_t (*)(int, const void*, size_t);
using TPwrite = ssize_t (*)(int, const void*, size_t, off_t);
using TWritev = ssize_t (*)(int, const iovec*, int);

template <class T> T Next(const char* name)
{
    return reinterpret_cast<T>(dlsym(RTLD_NEXT, name));
}

// The bytes of a write of `count` to `descriptor` that fit, or -1 with errno when none does.
ssize_t Allowed(int descriptor, size_t count)
{
    std::lock_guard lock(Guard);
    if (Folder.empty() || count == 0)
        return static_cast<ssize_t>(count);
    struct stat status
    {
    };
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return static_cast<ssize_t>(count);
    char link[64], path[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0 || std::strncmp(path, Folder.data(), Folder.size()) != 0)
        return static_cast<ssize_t>(count);
    if (Room <= 0) {
        errno = ENOSPC;
        return -1;
    }
    const auto allowed = static_cast<ssize_t>(std::min<long long>(Room, static_cast<long long>(count)));
    Room -= allowed;
    return allowed;
}

void Set(const char* folder, long long room)
{
    std::lock_guard lock(Guard);
    Folder = folder != nullptr && *folder != '\0' ? std::string(folder) + '/' : std::string();
    Room = room;
}

struct TFromEnvironment
{
    TFromEnvironment()
    {
        const char* given = std::getenv("TONVIX_FULL_DISK");
        if (given == nullptr)
            return;
        const std::string text(given);
        const auto colon = text.rfind(':');
        if (colon != std::string::npos)
            Set(text.substr(0, colon).c_str(), std::atoll(text.c_str() + colon + 1));
    }
} FromEnvironment;

} // namespace

extern "C" {

// The folder (a real path, no trailing slash) and the bytes that may still be written under it; a
// null or empty folder ends the full disk.
__attribute__((visibility("default"))) void tonvix_full_disk(const char* folder, long long room)
{
    Set(folder, room);
}

__attribute__((visibility("default"))) ssize_t write(int descriptor, const void* data, size_t count)
{
    static const TWrite real = Next<TWrite>("write");
    const ssize_t allowed = Allowed(descriptor, count);
    return allowed < 0 ? -1 : real(descriptor, data, static_cast<size_t>(allowed));
}

__attribute__((visibility("default"))) ssize_t pwrite64(int descriptor, const void* data, size_t count,
                                                        off_t offset)
{
    static const TPwrite real = Next<TPwrite>("pwrite64");
    const ssize_t allowed = Allowed(descriptor, count);
    return allowed < 0 ? -1 : real(descriptor, data, static_cast<size_t>(allowed), offset);
}

__attribute__((visibility("default"))) ssize_t pwrite(int descriptor, const void* data, size_t count,
                                                      off_t offset)
{
    return pwrite64(descriptor, data, count, offset);
}

// Whole or not at all here: the programs under test write no vectors to files.
__attribute__((visibility("default"))) ssize_t writev(int descriptor, const iovec* vectors, int count)
{
    static const TWritev real = Next<TWritev>("writev");
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += vectors[i].iov_len;
    const ssize_t allowed = Allowed(descriptor, total);
    if (allowed < 0)
        return -1;
    if (static_cast<size_t>(allowed) < total) {
        errno = ENOSPC;
        return -1;
    }
    return real(descriptor, vectors, count);
}
}
