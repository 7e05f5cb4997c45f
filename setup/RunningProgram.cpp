// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/RunningProgram.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int EndRunningProgram(const QString& path, std::chrono::milliseconds timeout) {
    struct stat program {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &program) != 0)
        return 0;
    const uid_t self = ::getuid();
    const pid_t own = ::getpid();
    std::vector<pid_t> asked;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&numeric));
        if (!numeric || pid == own)
            continue;
        const QByteArray dir = "/proc/" + entry.toLatin1();
        struct stat owner {};
        struct stat running {};
        // Another user's process is none of ours, even where we could signal it.
        if (::stat(dir.constData(), &owner) != 0 || owner.st_uid != self)
            continue;
        if (::stat((dir + "/exe").constData(), &running) != 0 || !SameFile(running, program))
            continue;
        if (::kill(pid, SIGTERM) == 0)
            asked.push_back(pid);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (const pid_t pid : asked) {
        // A child of ours would linger as a zombie; the others disappear from /proc.
        while (::kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
            const QByteArray status = "/proc/" + QByteArray::number(pid) + "/stat";
            QFile stat(QString::fromLatin1(status));
            if (stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z "))
                break;
            QThread::msleep(20);
        }
    }
    return static_cast<int>(asked.size());
}
