// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/KeptVersions.h"

#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kTimeFormat = u"yyyy-MM-dd hh.mm.ss"_s;

// "name (tag).ext", as the synchronizer names what it keeps.
QString TaggedName(const QString& name, const QString& tag) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return name + u" ("_s + tag + u')';
    return name.left(dot) + u" ("_s + tag + u')' + name.mid(dot);
}

bool MakeFolder(const QString& folder) {
    return QFileInfo(folder).isDir() || QDir().mkpath(folder);
}

}  // namespace

std::vector<CKeptVersion> ListKeptVersions(const QString& folder, const CDocSynchEntry& binding,
                                           const CKeptSideWords& words) {
    std::vector<CKeptVersion> versions;
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return versions;
    const QString bindingTag = u"binding %1"_s.arg(binding.BindingNumber);
    // The tag sits before the last extension of the name it was kept under.
    const QRegularExpression tagged(u"^(.*) \\((.+), "_s + QRegularExpression::escape(bindingTag) +
                                    u", (\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d)(?: \\d+)?\\)(\\.[^.]*)?$"_s);
    const QStringList backups{binding.WinFileName, TaggedName(binding.WinFileName, bindingTag)};
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        CKeptVersion version{info.absoluteFilePath(), KeptSide::Backup, {}, info.size()};
        if (const QRegularExpressionMatch m = tagged.match(info.fileName()); m.hasMatch()) {
            if (m.captured(2) == words.pc)
                version.side = KeptSide::Pc;
            else if (m.captured(2) == words.handheld)
                version.side = KeptSide::Handheld;
            else
                continue;
            version.kept = QDateTime::fromString(m.captured(3), kTimeFormat);
        } else if (!binding.WinFileName.isEmpty() && backups.contains(info.fileName())) {
            version.kept = info.lastModified();
        } else {
            continue;
        }
        versions.push_back(std::move(version));
    }
    // Same second: the later name (" 2", then " 10") is the later copy.
    std::sort(versions.begin(), versions.end(), [](const CKeptVersion& a, const CKeptVersion& b) {
        if (a.kept != b.kept)
            return a.kept > b.kept;
        return a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.path > b.path;
    });
    return versions;
}

CRestoreResult RestoreKeptVersion(const CKeptVersion& version, const CDocSynchEntry& binding, const QString& folder,
                                  const CKeptSideWords& words, const QDateTime& now) {
    CRestoreResult result;
    const QString document = binding.WinFullPath();
    if (QFileInfo(document).isFile()) {
        if (!MakeFolder(folder)) {
            result.error = EngineError::kPathNotFound;
            return result;
        }
        const QString tag = words.pc + u", binding %1, "_s.arg(binding.BindingNumber) + now.toString(kTimeFormat);
        for (int n = 1; n < 100 && result.keptCurrent.isEmpty(); ++n) {
            const QString path =
                folder + u'/' + TaggedName(binding.WinFileName, n > 1 ? tag + u' ' + QString::number(n) : tag);
            if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
                result.keptCurrent = path;
        }
        if (result.keptCurrent.isEmpty()) {
            result.error = EngineError::kGeneral;
            return result;
        }
        result.error = CopyFileAtomic(QFile::encodeName(document), QFile::encodeName(result.keptCurrent));
        if (result.error != 0) {
            result.keptCurrent.clear();
            return result;
        }
    }
    result.error = CopyFileAtomic(QFile::encodeName(version.path), QFile::encodeName(document));
    if (result.error != 0)
        return result;
    // The copy took the version's old time, which a run would not count as a change.
    const qint64 ms = now.toMSecsSinceEpoch();
    const struct timespec times[2] = {{time_t(ms / 1000), long(ms % 1000) * 1000000},
                                      {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(document).constData(), times, 0);
    result.ok = true;
    return result;
}
