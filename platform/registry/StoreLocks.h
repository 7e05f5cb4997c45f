// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Makes SQLite's record locks survive anything else in the process closing the store's files.
//
// Classic POSIX record locks belong to the pair (process, file): closing any descriptor of
// the file, wherever in the process it was opened (a file dialog listing the folder, type
// detection, a second connection's shared-memory mapping), silently drops every lock the
// process holds on it. Another process then believes the store is unused, rebuilds its
// shared-memory index or deletes its write-ahead log under a live connection.
//
// Once installed, every lock SQLite's unix VFS takes is an open-file-description lock held
// on one private descriptor per file and process: a dup of the first descriptor SQLite opened
// on that file, kept until SQLite closes its last descriptor of it. Such locks conflict with
// classic POSIX locks of other processes exactly as those conflict with each other, so other
// SQLite programs still see them; within the process they behave as one owner, as SQLite's
// per-process lock bookkeeping expects; and no close other than that last one releases them.
//
// Idempotent and thread-safe; must run before the process opens its first SQLite connection
// (the registry calls it before each open). Returns false when the VFS refused the
// replacement, in which case SQLite keeps its own locking.
bool InstallStoreLocks();
