// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ConverterRegistration.h"

#include "platform/converter/ControlFile.h"
#include "platform/converter/EpocText.h"
#include "platform/registry/Registry.h"

#include <QDir>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QString EpocClassKey(uint32_t uid1, uint32_t uid2, uint32_t uid3) {
    return u"EPOC\\{%1,%2,%3}"_s.arg(QString::number(uid1, 16).toUpper(), QString::number(uid2, 16).toUpper(),
                                     QString::number(uid3, 16).toUpper());
}

bool InstallConverterRegistration(const QString& suiteDir, QString* error) {
    auto fail = [error](const QString& what) {
        if (error)
            *error = what;
        return false;
    };
    if (suiteDir.isEmpty())
        return fail(u"No suite folder given"_s);
    QString dir = QDir::cleanPath(QDir(suiteDir).absolutePath());
    if (!dir.endsWith(u'/'))
        dir += u'/';
    if (!QDir().mkpath(dir))
        return fail(u"Cannot create the folder %1"_s.arg(dir));

    const QString controlFile = dir + QLatin1String(kControlFileName);
    QSaveFile file(controlFile);
    const QByteArray content = CControlFile::BuiltinContent();
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return fail(u"Cannot write %1: %2"_s.arg(controlFile, file.errorString()));

    CRegistry& reg = CRegistry::Default();
    const QString textClass = QLatin1String(kTextDocumentClass);
    const QString epocText = QLatin1String(kEpocTextName);
    const RegStatus status = reg.Transaction([&] {
        return reg.SetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s, controlFile) &&
               reg.SetString(RegRoot::ClassesRoot, EpocClassKey(kEpocTextUid1, kEpocTextUid2, kEpocTextUid3), QString(),
                             epocText) &&
               // The PC format a new binding from an EPOC Text file converts to by default.
               reg.SetString(RegRoot::ClassesRoot, epocText + u"\\EpocInfo"_s, u"TargetType"_s, textClass) &&
               reg.SetString(RegRoot::ClassesRoot, QLatin1String(kTextExtension), QString(), textClass) &&
               reg.SetString(RegRoot::ClassesRoot, textClass, QString(), QLatin1String(kTextDocumentName)) &&
               reg.SetString(RegRoot::LocalMachine, u"SOFTWARE\\VEROZ\\PsiWin32\\Extensions\\"_s + textClass,
                             u"DefaultExtension"_s, QLatin1String(kTextExtension));
    });
    if (status != RegStatus::Ok) {
        const QString reason = reg.LastError();
        return fail(reason.isEmpty() ? u"Cannot write the converter registration to the registry"_s : reason);
    }
    return true;
}
