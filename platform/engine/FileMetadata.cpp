// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/FileMetadata.h"

#include "platform/base/UniqueFd.h"

#include <QByteArray>

#include <acl/libacl.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// The access-control list travels through libacl, which also sets the mode's group bits from its
// mask; the raw attributes holding it are skipped below.
bool IsAclAttribute(const char* name) {
    return qstrncmp(name, "system.posix_acl_", 17) == 0;
}

void CopyAcl(const char* fromPath, int to) {
    acl_t acl = ::acl_get_file(fromPath, ACL_TYPE_ACCESS);
    if (!acl)
        return;
    // A list no wider than the mode bits says nothing the mode has not said already.
    if (::acl_equiv_mode(acl, nullptr) != 0)
        ::acl_set_fd(to, acl);
    ::acl_free(acl);
}

// The names of the file's extended attributes, one after the other, each ending with a nul.
QByteArray AttributeNames(const char* fromPath) {
    QByteArray names(4096, Qt::Uninitialized);
    ssize_t length = ::listxattr(fromPath, names.data(), names.size());
    if (length < 0 && errno == ERANGE) {
        length = ::listxattr(fromPath, nullptr, 0);
        if (length <= 0)
            return {};
        names.resize(length);
        length = ::listxattr(fromPath, names.data(), names.size());
    }
    names.resize(length > 0 ? length : 0);
    return names;
}

void CopyExtendedAttributes(const char* fromPath, const QByteArray& names, int to) {
    QByteArray value;
    for (const char* name = names.constData(); name < names.constData() + names.size(); name += qstrlen(name) + 1) {
        if (IsAclAttribute(name))
            continue;
        const ssize_t size = ::getxattr(fromPath, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size);
        if (::getxattr(fromPath, name, value.data(), value.size()) != size)
            continue;
        // A namespace the process may not write (security.*, trusted.*) is left out.
        ::fsetxattr(to, name, value.constData(), value.size(), 0);
    }
}

}  // namespace

int CopyFileMetadata(int fromFolder, const char* fromName, const struct stat& fromStatus, int to) {
    // An owner other than the user's can only be given by a privileged process: the others keep
    // their own. Before the mode, since a change of owner clears the set-id bits.
    if (::fchown(to, fromStatus.st_uid, fromStatus.st_gid) != 0)
        ::fchown(to, uid_t(-1), fromStatus.st_gid);
    if (::fchmod(to, fromStatus.st_mode & 07777) != 0 && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // Through the descriptor's own link, so that the list and the attributes are those of the
    // very file, even one the user may not read.
    const CUniqueFd from(::openat(fromFolder, fromName, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!from.IsValid())
        return 0;
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(from.Get());
    // A file with an access-control list lists it among its attributes; most have none at all.
    const QByteArray names = AttributeNames(path.constData());
    if (names.contains("system.posix_acl_access"))
        CopyAcl(path.constData(), to);
    CopyExtendedAttributes(path.constData(), names, to);
    return 0;
}
