// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <string>

// A private world for one test: its own registry file, home, XDG folders and scratch
// space. The environment is restored when the object goes away.
class CTempEnv {
public:
    CTempEnv();
    ~CTempEnv();
    CTempEnv(const CTempEnv&) = delete;
    CTempEnv& operator=(const CTempEnv&) = delete;

    QString Root() const { return m_dir.path(); }
    QString RegistryPath() const { return m_dir.path() + QStringLiteral("/registry.db"); }
    QString Home() const { return m_dir.path() + QStringLiteral("/home"); }
    // A fresh folder below the root (created), for device roots, PC folders and the like.
    QString MakeDir(const QString& name) const;
    // Writes a file below the root (folders created); returns its full path.
    QString WriteFile(const QString& relativePath, const QByteArray& content) const;

    void SetEnv(const char* name, const QString& value);

private:
    QTemporaryDir m_dir;
    std::map<std::string, std::optional<std::string>> m_saved;
};

// Folder of the built programs (build/bin), for tests that start them.
QString BinDir();
// Runs a built program for at most a minute: true when it ended by itself with status 0;
// output, when given, gets what it printed on both channels.
bool RunBuiltTool(const QString& program, const QStringList& args, QString* output = nullptr);
// A file's whole content; empty when it cannot be read.
QByteArray ReadWholeFile(const QString& path);
