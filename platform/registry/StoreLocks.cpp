// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/StoreLocks.h"

#include "platform/base/UniqueFd.h"

#include <sqlite3.h>

#include <cstdarg>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace {

using OpenCall = int (*)(const char*, int, int);
using CloseCall = int (*)(int);
using FcntlCall = int (*)(int, int, ...);

OpenCall g_open = nullptr;
CloseCall g_close = nullptr;
FcntlCall g_fcntl = nullptr;

// The private descriptor all of the process's locks on one file are held through.
struct LockHolder {
    std::pair<dev_t, ino_t> inode;
    CUniqueFd fd;
    int users = 0;  // SQLite descriptors of the file still open
};

std::mutex g_mutex;
std::unordered_map<int, std::shared_ptr<LockHolder>> g_bySqliteFd;
std::map<std::pair<dev_t, ino_t>, std::shared_ptr<LockHolder>> g_byInode;

void Track(int fd) {
    struct stat st {};
    // Folders are opened only to be flushed; nothing locks them.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const std::pair<dev_t, ino_t> inode{st.st_dev, st.st_ino};
    const std::lock_guard lock(g_mutex);
    // A number still listed was closed behind SQLite's back; it no longer holds the file.
    if (auto stale = g_bySqliteFd.find(fd); stale != g_bySqliteFd.end()) {
        const std::shared_ptr<LockHolder> old = stale->second;
        g_bySqliteFd.erase(stale);
        if (--old->users == 0)
            g_byInode.erase(old->inode);
    }
    std::shared_ptr<LockHolder>& holder = g_byInode[inode];
    if (!holder) {
        // A dup shares the open file description, and with it the access mode write locks
        // need; close-on-exec so a started program never carries the process's locks.
        const int lockFd = g_fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (lockFd < 0) {
            g_byInode.erase(inode);
            return;
        }
        holder = std::make_shared<LockHolder>();
        holder->inode = inode;
        holder->fd.Reset(lockFd);
    }
    holder->users++;
    g_bySqliteFd[fd] = holder;
}

int TrackedOpen(const char* path, int flags, int mode) {
    const int fd = g_open(path, flags, mode);
    if (fd >= 0)
        Track(fd);
    return fd;
}

int TrackedClose(int fd) {
    std::shared_ptr<LockHolder> released;  // closes its dup once out of the lock
    {
        const std::lock_guard lock(g_mutex);
        if (auto it = g_bySqliteFd.find(fd); it != g_bySqliteFd.end()) {
            const std::shared_ptr<LockHolder> holder = it->second;
            g_bySqliteFd.erase(it);
            // SQLite keeps a descriptor open while the process holds any lock on the file,
            // so when its last one closes there is nothing left to release but the dup.
            if (--holder->users == 0) {
                g_byInode.erase(holder->inode);
                released = holder;
            }
        }
    }
    released.reset();
    return g_close(fd);
}

int OfdFcntl(int fd, int cmd, ...) {
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    int ofdCmd = 0;
    switch (cmd) {
        case F_SETLK:
            ofdCmd = F_OFD_SETLK;
            break;
        case F_SETLKW:
            ofdCmd = F_OFD_SETLKW;
            break;
        case F_GETLK:
            ofdCmd = F_OFD_GETLK;
            break;
        default:
            return g_fcntl(fd, cmd, arg);
    }
    std::shared_ptr<LockHolder> holder;  // keeps the dup open for the call
    {
        const std::lock_guard lock(g_mutex);
        if (auto it = g_bySqliteFd.find(fd); it != g_bySqliteFd.end())
            holder = it->second;
    }
    const int lockFd = holder ? holder->fd.Get() : fd;
    auto* request = static_cast<struct flock*>(arg);
    struct flock ofd = *request;
    ofd.l_pid = 0;  // required for open-file-description locks; SQLite leaves it unset
    const int rc = g_fcntl(lockFd, ofdCmd, &ofd);
    if (rc == 0 && cmd == F_GETLK)
        *request = ofd;
    return rc;
}

bool Install() {
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    if (!vfs || vfs->iVersion < 3 || !vfs->xSetSystemCall || !vfs->xGetSystemCall)
        return false;
    g_open = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
    g_close = reinterpret_cast<CloseCall>(vfs->xGetSystemCall(vfs, "close"));
    g_fcntl = reinterpret_cast<FcntlCall>(vfs->xGetSystemCall(vfs, "fcntl"));
    if (!g_open || !g_close || !g_fcntl)
        return false;
    // Descriptors must be tracked before any lock is redirected to them.
    if (vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(&TrackedOpen)) != SQLITE_OK)
        return false;
    if (vfs->xSetSystemCall(vfs, "close", reinterpret_cast<sqlite3_syscall_ptr>(&TrackedClose)) != SQLITE_OK ||
        vfs->xSetSystemCall(vfs, "fcntl", reinterpret_cast<sqlite3_syscall_ptr>(&OfdFcntl)) != SQLITE_OK) {
        vfs->xSetSystemCall(vfs, nullptr, nullptr);  // back to SQLite's own calls
        return false;
    }
    return true;
}

}  // namespace

bool InstallStoreLocks() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] { installed = Install(); });
    return installed;
}
