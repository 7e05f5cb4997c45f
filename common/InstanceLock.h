// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"

#include <QString>

// The one guard every program of the system uses to run once per user: an advisory lock on a
// file only this user can own, held while the object lives. The descriptor is closed on exec,
// so programs started meanwhile do not keep the lock after the owner ends.
class CInstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Unavailable };

    CInstanceLock() = default;
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;
    CInstanceLock(CInstanceLock&&) noexcept = default;
    CInstanceLock& operator=(CInstanceLock&&) noexcept = default;

    // A folder for per-user locks and sockets that no other user can plant names in:
    // $XDG_RUNTIME_DIR when it is a folder, else "dovetail-<uid>" in the temporary folder,
    // created mode 0700 and used only while it is a real folder owned by this user and closed
    // to others. Empty when there is no such folder.
    static QString PrivateDir();

    // The scheduler's lock: DTkTimer.lock in PrivateDir().
    static QString DefaultPath();

    // HeldElsewhere only when another open of the file holds the lock. Unavailable for
    // anything else (no private folder, a link or another user's file, a file system without
    // locks): the caller then runs as the only instance.
    Result Acquire(const QString& path);

    bool Held() const { return m_fd.IsValid(); }

    // Replaces what the lock file says about its holder, for a later start to read; false
    // when the lock is not held or the file cannot be written.
    bool WriteRecord(const QByteArray& text);
    // What the holder of the lock at path wrote (at most 64 KiB); empty when unreadable.
    static QByteArray ReadRecord(const QString& path);

private:
    CUniqueFd m_fd;  // closing it releases the lock
};
