// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/DevicePath.h"

#include "platform/engine/SimulatorConfig.h"

#include <QFile>
#include <QList>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

bool IsValidUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool IsAcceptableComponent(const QByteArray& part) {
    if (part.isEmpty() || part == "." || part == ".." || part.size() > 255)
        return false;
    for (char c : part) {
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

bool Canonical(const QByteArray& path, QByteArray& out) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr), &std::free);
    if (!real)
        return false;
    out = QByteArray(real.get());
    return true;
}

bool IsInside(const QByteArray& path, const QByteArray& root) {
    return path == root || path.startsWith(root + '/');
}

// The name of an entry of folder matching wanted when case is ignored; empty when none.
QByteArray FindCaseInsensitive(const QByteArray& folder, const QByteArray& wanted) {
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.constData()));
    if (!dir)
        return {};
    const QString wantedText = QString::fromUtf8(wanted);
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (QString::fromUtf8(name).compare(wantedText, Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

}  // namespace

int32_t FileSpecPath(const FileSpec& spec, QByteArray& path) {
    const void* end = std::memchr(spec.path, '\0', sizeof spec.path);
    if (!end)
        return EngineError::kBadName;
    QByteArray text(spec.path, static_cast<const char*>(end) - spec.path);
    if (!IsValidUtf8(text))
        return EngineError::kBadName;
    path = std::move(text);
    return 0;
}

int32_t ResolveDevicePath(const QString& deviceRoot, const QByteArray& epocPath, DeviceTarget& out) {
    const QByteArray& p = epocPath;
    if (p.size() < 2 || !std::isalpha(static_cast<unsigned char>(p[0])) || p[1] != ':')
        return EngineError::kBadName;
    QList<QByteArray> parts;
    if (p.size() > 2) {
        if (p[2] != '\\')
            return EngineError::kBadName;
        parts = p.mid(3).split('\\');
        // A trailing separator names the folder itself ("C:\Documents\").
        if (parts.size() >= 1 && parts.last().isEmpty())
            parts.removeLast();
        for (const QByteArray& part : parts) {
            if (!IsAcceptableComponent(part))
                return EngineError::kBadName;
        }
    }

    QByteArray root;
    struct stat st {};
    if (deviceRoot.isEmpty() || !Canonical(QFile::encodeName(deviceRoot), root) || ::stat(root.constData(), &st) != 0 ||
        !S_ISDIR(st.st_mode))
        return EngineError::kNotReady;

    const char letter = p[0];
    QByteArray drive = root + '/' + static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (::lstat(drive.constData(), &st) != 0) {
        drive = root + '/' + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        if (::lstat(drive.constData(), &st) != 0)
            return EngineError::kPathNotFound;
    }

    QByteArray current = drive;
    QString name =
        QString(QLatin1Char(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))))) + QLatin1Char(':');
    bool exists = true;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        QByteArray entry = parts[i];
        QByteArray candidate = current + '/' + entry;
        if (::lstat(candidate.constData(), &st) != 0) {
            if (errno != ENOENT)
                return EngineError::kPathNotFound;
            const QByteArray match = FindCaseInsensitive(current, entry);
            if (!match.isEmpty()) {
                entry = match;
                candidate = current + '/' + entry;
            } else if (last) {
                exists = false;
            } else {
                return EngineError::kPathNotFound;
            }
        }
        current = candidate;
        name = QString::fromUtf8(entry);
    }

    // Links are followed only while they stay below the device root.
    QByteArray real;
    if (exists) {
        if (!Canonical(current, real))
            return EngineError::kPathNotFound;
    } else {
        const QByteArray parent = current.left(current.lastIndexOf('/'));
        if (!Canonical(parent, real))
            return EngineError::kPathNotFound;
    }
    if (!IsInside(real, root))
        return EngineError::kBadName;

    out.hostPath = current;
    out.name = name;
    out.exists = exists;
    return 0;
}
