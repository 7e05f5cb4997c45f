// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

// Opens a regular file for reading without ever blocking. A named pipe put where a file is
// expected hangs a plain open (or its first read), and opening a device node can itself do
// something, so the entry is first looked at through a descriptor that cannot read (O_PATH);
// only a regular file is then opened, non-blocking (made blocking again once open), and checked
// to be the very file looked at. flags may hold O_NOFOLLOW: a link as the last component is then
// refused. Returns an invalid descriptor with errno set on failure: ELOOP for a refused link,
// EISDIR for a folder, ENXIO for anything else that is not a regular file (or a file replaced
// between the two opens), or the system's own error.
inline CUniqueFd OpenRegularFile(int folder, const char* path, int flags = 0, struct stat* info = nullptr) {
    const int follow = flags & O_NOFOLLOW;
    const CUniqueFd probe(::openat(folder, path, O_PATH | O_CLOEXEC | follow));
    if (!probe.IsValid())
        return CUniqueFd();
    struct stat seen {};
    if (::fstat(probe.Get(), &seen) != 0)
        return CUniqueFd();
    if (!S_ISREG(seen.st_mode)) {
        errno = S_ISLNK(seen.st_mode) ? ELOOP : S_ISDIR(seen.st_mode) ? EISDIR : ENXIO;
        return CUniqueFd();
    }
    CUniqueFd file(::openat(folder, path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow));
    if (!file.IsValid())
        return CUniqueFd();
    struct stat opened {};
    if (::fstat(file.Get(), &opened) != 0)
        return CUniqueFd();
    if (!S_ISREG(opened.st_mode) || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        errno = ENXIO;
        return CUniqueFd();
    }
    const int status = ::fcntl(file.Get(), F_GETFL);
    if (status < 0 || ::fcntl(file.Get(), F_SETFL, status & ~O_NONBLOCK) != 0)
        return CUniqueFd();
    if (info)
        *info = opened;
    return file;
}
