// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One scheduler per user: an advisory lock on a file only this user can own, held while
// the object lives. The descriptor is closed on exec, so the programs the scheduler starts
// do not keep the lock after it ends.
class CInstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Unavailable };

    CInstanceLock() = default;
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // $XDG_RUNTIME_DIR/DTkTimer.lock, else a per-user name in the temporary folder.
    static QString DefaultPath();

    // Unavailable: the file cannot be opened or is not ours (a link or another user's file
    // in a shared folder); the caller decides whether to run unguarded.
    Result Acquire(const QString& path);

private:
    int m_fd = -1;
};
