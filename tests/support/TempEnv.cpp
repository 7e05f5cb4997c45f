// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdlib>

CTempEnv::CTempEnv() {
    QDir().mkpath(Home());
    QDir().mkpath(Home() + QStringLiteral("/.config"));
    QDir().mkpath(Home() + QStringLiteral("/.local/share"));
    SetEnv("DOVETAIL_REGISTRY", RegistryPath());
    SetEnv("HOME", Home());
    SetEnv("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config"));
    SetEnv("XDG_DATA_HOME", Home() + QStringLiteral("/.local/share"));
    SetEnv("XDG_RUNTIME_DIR", m_dir.path());
    SetEnv("TMPDIR", MakeDir(QStringLiteral("tmp")));
}

CTempEnv::~CTempEnv() {
    for (const auto& [name, value] : m_saved) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void CTempEnv::SetEnv(const char* name, const QString& value) {
    if (!m_saved.count(name)) {
        const char* old = ::getenv(name);
        m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name, value.toLocal8Bit().constData(), 1);
}

QString CTempEnv::MakeDir(const QString& name) const {
    const QString path = m_dir.path() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

QString CTempEnv::WriteFile(const QString& relativePath, const QByteArray& content) const {
    const QString path = m_dir.path() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
    return path;
}

QString BinDir() {
    if (const char* dir = ::getenv("DOVETAIL_BIN_DIR"))
        return QString::fromLocal8Bit(dir);
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
}

bool RunBuiltTool(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(BinDir() + u'/' + program, args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return ok;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
