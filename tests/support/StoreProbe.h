// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class CRegistry;

// Runs build/bin/dtreg on the current store; its exit code and standard output.
struct DtregResult {
    int code = -1;
    QByteArray out;
    QByteArray err;
};
DtregResult RunDtreg(const QStringList& args);

// Opens and closes each of the store's files (the database, its -wal and -shm) with plain
// open/read/close, as a file dialog's listing or the shell's type detection does.
void TouchStoreFiles(const QString& storePath);

// True when some owner other than a fresh open of the file holds a lock on any byte of it:
// run with no other process on the store, it tells whether this process kept its locks.
bool FileHasLocks(const QString& file);

// Proves reg still shares the store with other processes: in a few rounds, another process
// (dtreg) writes and reg must read it, reg writes and the other process must read it, and
// nothing written earlier comes back. Reports failures through GoogleTest.
void ExpectSharesTheStore(CRegistry& reg, const QString& key, int rounds = 4);
