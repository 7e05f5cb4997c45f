// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

// What a stick from other hands may hold, planted by tests: links, named pipes, sockets and
// device nodes where files or folders belong.
namespace HostileEntries {

// Each plants one entry at path (its folder must exist); false when that cannot be done here
// (a device node needs root, FAT has no links).
bool Link(const QString& target, const QString& path);
bool Fifo(const QString& path);
bool Socket(const QString& path);
// A node of the zero device: reading it never ends.
bool DeviceNode(const QString& path);

}  // namespace HostileEntries

// Opens every named pipe it was given for writing when it goes, which releases any reader
// blocked on one: a regression then fails its test instead of hanging the whole run.
class CFifoUnjammer {
public:
    CFifoUnjammer() = default;
    ~CFifoUnjammer();
    CFifoUnjammer(const CFifoUnjammer&) = delete;
    CFifoUnjammer& operator=(const CFifoUnjammer&) = delete;
    void Watch(const QString& fifo) { m_fifos.append(fifo); }
    // Releases blocked readers now; true when one was waiting.
    bool Unjam();

private:
    QStringList m_fifos;
};

// A file outside the volume that nothing may read through a link or write: its content and
// times are compared at the end.
class CSentinel {
public:
    explicit CSentinel(const QString& path, const QByteArray& content = "sentinel: leave me alone");
    const QString& Path() const { return m_path; }
    // True while content, modification and access times are what they were.
    bool Untouched() const;

private:
    QString m_path;
    QByteArray m_content;
    struct timespec m_modified {};
    struct timespec m_accessed {};
};
