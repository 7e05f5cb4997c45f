// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <unistd.h>

// The one owner of a file descriptor: closed when the object goes, on every path.
class CUniqueFd {
public:
    explicit CUniqueFd(int fd = -1) : m_fd(fd) {}
    ~CUniqueFd() { Close(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // 0, or the errno of a failed close (which can report a delayed write error).
    int Close() {
        int error = 0;
        if (m_fd >= 0 && ::close(m_fd) != 0)
            error = errno;
        m_fd = -1;
        return error;
    }

private:
    int m_fd;
};
