// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/SqliteHandles.h"

#include <QString>

enum class StoreOpenResult { Open, Missing, Failed };

// Opens a connection to the store at path, configured for the registry (busy wait, WAL,
// extended result codes). A file without the store's marker is refused, so an unrelated or
// damaged file is never written to. A missing file answers Missing, unless create is set:
// then a new store is built beside it and linked into place, so no process ever sees a
// half-initialised store and two processes creating it at once agree on one file. Failed
// sets error.
StoreOpenResult OpenStoreFile(const QString& path, bool create, CSqliteDb& db, QString& error);

// How long a connection waits for another process's write transaction before a call fails as
// busy: 10 s. Every write transaction takes the value current when it begins.
void SetStoreBusyWait(int milliseconds);
int StoreBusyWait();
