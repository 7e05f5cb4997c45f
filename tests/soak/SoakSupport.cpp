// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/soak/SoakSupport.h"

#include "tests/support/TempEnv.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <cstring>

bool IsFullSoak() {
    const char* level = std::getenv("SOAK_LEVEL");
    return level && std::strcmp(level, "full") == 0;
}

int SoakSetting(const char* name, int shortValue, int fullValue) {
    const QByteArray variable = QByteArray("SOAK_") + name;
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(variable.constData(), &ok);
    if (ok)
        return value;
    return IsFullSoak() ? fullValue : shortValue;
}

QByteArray FileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

bool WritePatternFile(const QString& path, qint64 size, char seed) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(seed + i * 7 + (i >> 10));
    while (size > 0) {
        const qint64 n = qMin<qint64>(size, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        size -= n;
    }
    return file.flush();
}

QMap<QString, QByteArray> SnapshotTree(const QString& root) {
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(path.mid(root.size()), it.fileInfo().isDir() ? QByteArray("<dir>") : FileHash(path));
    }
    return tree;
}

QString WorkerPath() {
    return BinDir() + QStringLiteral("/soakworker");
}

WorkerResult RunWorker(const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(WorkerPath(), arguments);
    WorkerResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.output = QStringLiteral("timed out or did not start");
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAll());
    return result;
}
