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

// The canonical form of the device root. Resolving it walks every component of the root's
// path, which dominated a scan of many files; the answer is kept per thread and reused while
// the root text and the cached form still name the same folder.
bool CanonicalRoot(const QByteArray& rootText, QByteArray& out) {
    struct Cached {
        QByteArray text;
        QByteArray canonical;
        dev_t device = 0;
        ino_t inode = 0;
    };
    thread_local Cached cache;
    struct stat viaText {};
    if (::stat(rootText.constData(), &viaText) != 0 || !S_ISDIR(viaText.st_mode))
        return false;
    if (!cache.text.isEmpty() && cache.text == rootText && cache.device == viaText.st_dev &&
        cache.inode == viaText.st_ino) {
        struct stat viaCanonical {};
        if (::stat(cache.canonical.constData(), &viaCanonical) == 0 && viaCanonical.st_dev == viaText.st_dev &&
            viaCanonical.st_ino == viaText.st_ino) {
            out = cache.canonical;
            return true;
        }
    }
    QByteArray canonical;
    if (!Canonical(rootText, canonical))
        return false;
    cache = Cached{rootText, canonical, viaText.st_dev, viaText.st_ino};
    out = canonical;
    return true;
}

bool IsInside(const QByteArray& path, const QByteArray& root) {
    return path == root || path.startsWith(root + '/');
}

// The name of an entry of folder matching wanted when case is ignored (an exact match first);
// empty when none.
QByteArray FindCaseInsensitive(const QByteArray& folder, const QByteArray& wanted) {
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.constData()));
    if (!dir)
        return {};
    const QString wantedText = QString::fromUtf8(wanted);
    QByteArray found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (name == wanted)
            return name;
        if (found.isEmpty() && QString::fromUtf8(name).compare(wantedText, Qt::CaseInsensitive) == 0)
            found = name;
    }
    return found;
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

int32_t ResolveDevicePath(const QString& deviceRoot, const QByteArray& epocPath, DeviceTarget& out, bool foldsCase) {
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
    if (deviceRoot.isEmpty() || !CanonicalRoot(QFile::encodeName(deviceRoot), root))
        return EngineError::kNotReady;

    const char letter = p[0];
    QByteArray drive = root + '/' + static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (::lstat(drive.constData(), &st) != 0) {
        drive = root + '/' + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        if (::lstat(drive.constData(), &st) != 0)
            return EngineError::kPathNotFound;
    }
    // Below the canonical root, a path without links is canonical already.
    bool throughLink = S_ISLNK(st.st_mode);

    QByteArray current = drive;
    QString name =
        QString(QLatin1Char(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))))) + QLatin1Char(':');
    bool exists = true;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        QByteArray entry = parts[i];
        if (foldsCase) {
            const QByteArray onDisk = FindCaseInsensitive(current, entry);
            if (!onDisk.isEmpty())
                entry = onDisk;
        }
        QByteArray candidate = current + '/' + entry;
        if (::lstat(candidate.constData(), &st) != 0) {
            if (errno != ENOENT)
                return EngineError::kPathNotFound;
            const QByteArray match = FindCaseInsensitive(current, entry);
            if (!match.isEmpty()) {
                entry = match;
                candidate = current + '/' + entry;
                if (::lstat(candidate.constData(), &st) != 0)
                    return EngineError::kPathNotFound;
            } else if (last) {
                exists = false;
            } else {
                return EngineError::kPathNotFound;
            }
        }
        if (exists && S_ISLNK(st.st_mode))
            throughLink = true;
        current = candidate;
        name = QString::fromUtf8(entry);
    }

    // Links are followed only while they stay below the device root.
    if (throughLink) {
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
    }

    out.hostPath = current;
    out.name = name;
    out.exists = exists;
    return 0;
}
