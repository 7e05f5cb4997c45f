// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// SOAK_LEVEL=full selects the long form (scripts/soak); anything else the short CI form.
bool IsFullSoak();
// shortValue or fullValue by level; SOAK_<name> in the environment overrides both.
int SoakSetting(const char* name, int shortValue, int fullValue);

// SHA-256 of a file; empty when it cannot be read.
QByteArray FileHash(const QString& path);
// Writes size bytes of a pattern derived from seed.
bool WritePatternFile(const QString& path, qint64 size, char seed);

// Every file below root (relative path -> hash), to show a tree was left alone.
QMap<QString, QByteArray> SnapshotTree(const QString& root);

struct WorkerResult {
    int exitCode = -1;
    bool crashed = false;
    QString output;
};
// Runs the soak worker to completion.
WorkerResult RunWorker(const QStringList& arguments, int timeoutMs = 600000);
QString WorkerPath();
