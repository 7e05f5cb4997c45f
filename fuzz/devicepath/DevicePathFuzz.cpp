// SPDX-License-Identifier: GPL-3.0-or-later
// The handheld's path layer over arbitrary input, against a device folder that holds links
// (inside and out), a named pipe and a folder outside. The first byte picks what is tried:
//   0  an EPOC path resolved below the root: whatever it finds is below the root, on its file
//      system, and a file found opens at once (never the pipe) and is never the outside file;
//   1  a temporary name for the rest as a document name, within limits from the next two
//      bytes: it fits them and is cut between characters;
//   2  the rest as the root's folders below a base: only a folder below the base, never
//      through a link, is opened.
#include "platform/engine/DevicePath.h"
#include "platform/engine/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct World {
    QTemporaryDir dir;
    QByteArray root;
    QByteArray base;
    ino_t secret = 0;

    World() {
        const QString top = dir.path();
        QDir().mkpath(top + QStringLiteral("/device/C/Documents/Sub"));
        QDir().mkpath(top + QStringLiteral("/outside"));
        QDir().mkpath(top + QStringLiteral("/base/Dovetail/C"));
        Write(top + QStringLiteral("/device/C/Documents/Report"));
        Write(top + QStringLiteral("/device/C/Documents/Sub/Deep"));
        Write(top + QStringLiteral("/outside/secret"));
        const QByteArray t = QFile::encodeName(top);
        ::mkfifo((t + "/device/C/Documents/Pipe").constData(), 0644);
        ::symlink((t + "/outside/secret").constData(), (t + "/device/C/Documents/Link").constData());
        ::symlink((t + "/outside").constData(), (t + "/device/C/Documents/Out").constData());
        ::symlink((t + "/device/C/Documents/Sub").constData(), (t + "/device/C/Documents/Alias").constData());
        ::symlink((t + "/base/Dovetail").constData(), (t + "/base/Alias").constData());
        ::symlink((t + "/outside").constData(), (t + "/base/Out").constData());
        struct stat st {};
        ::stat((t + "/outside/secret").constData(), &st);
        secret = st.st_ino;
        root = t + "/device";
        base = t + "/base";
    }
    static void Write(const QString& path) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
    }
    static World& Get() {
        static World world;
        return world;
    }
};

bool IsBelow(const QByteArray& path, const QByteArray& folder) {
    return path.startsWith(folder + '/') && !path.contains("/../") && !path.endsWith("/..");
}

void ResolvePath(const QByteArray& path) {
    World& world = World::Get();
    CDeviceDir root;
    DeviceRootPlace place;
    place.base = world.root;
    if (OpenDeviceRoot(place, root) != 0)
        __builtin_trap();
    DeviceTarget target;
    if (ResolveDevicePath(root, path, target) != 0)
        return;
    if (!IsBelow(target.hostPath, world.root) || target.folder.Device() != root.Device())
        __builtin_trap();
    if (!target.exists || target.isFolder)
        return;
    CUniqueFd fd;
    struct stat st {};
    // Non-blocking: the pipe is refused rather than waited on.
    if (target.folder.OpenFile(target.entry, fd, st) == 0 && (!S_ISREG(st.st_mode) || st.st_ino == world.secret))
        __builtin_trap();
}

void CutTemporaryName(const QByteArray& name, int maxBytes, int maxUnits) {
    const QByteArray temp = TempNameFor(name, maxBytes, maxUnits);
    const qsizetype end = temp.lastIndexOf(".dt");
    if (!temp.startsWith('.') || end < 1 || !name.startsWith(temp.mid(1, end - 1)))
        __builtin_trap();
    // Only the fixed part may overrun limits too small to hold it.
    const qsizetype fixed = temp.size() - (end - 1);
    if (temp.size() > std::max<qsizetype>(maxBytes, fixed))
        __builtin_trap();
    if (QString::fromUtf8(name).toUtf8() == name) {
        const QString text = QString::fromUtf8(temp);
        if (text.toUtf8() != temp || text.size() > std::max<qsizetype>(maxUnits, fixed))
            __builtin_trap();
    }
}

void OpenBelowBase(const QByteArray& below) {
    World& world = World::Get();
    DeviceRootPlace place;
    place.base = world.base;
    place.below = below;
    CDeviceDir root;
    if (OpenDeviceRoot(place, root) != 0)
        return;
    if (root.HostPath() != world.base && !IsBelow(root.HostPath(), world.base))
        __builtin_trap();
    if (root.HostPath().contains("/Alias") || root.HostPath().contains("/Out"))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
        case 0:
            ResolvePath(rest);
            break;
        case 1:
            if (rest.size() >= 2)
                CutTemporaryName(rest.mid(2), 1 + uint8_t(rest[0]) * 2, 1 + uint8_t(rest[1]));
            break;
        default:
            OpenBelowBase(rest);
            break;
    }
    return 0;
}
