// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/Registry.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The registry editor's text format ("REGEDIT4" or "Windows Registry Editor Version 5.00").

struct RegFileOp {
    enum class Kind { CreateKey, DeleteTree, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    int line = 0;
    RegRoot root = RegRoot::CurrentUser;
    QString key;
    QString name;  // empty: the default value
    uint32_t type = kRegNone;
    QByteArray data;
};

struct RegFileError {
    int line = 0;  // 0: the file as a whole
    QString message;
};

// Parses the whole text; on failure returns false with the first fault. Accepts UTF-8 (with
// or without BOM) and UTF-16LE with BOM, LF or CR LF line ends, continued hex lines.
bool ParseRegFile(const QByteArray& content, std::vector<RegFileOp>& ops, RegFileError& error);

// Applies the parsed operations in one transaction: all land or none.
bool ApplyRegFile(CRegistry& reg, const std::vector<RegFileOp>& ops, RegFileError& error);

// REGEDIT4 text of a key and everything below it (sub-keys in enumeration order), CR LF
// line ends. An empty key exports the whole root. False when the key does not exist.
bool ExportRegFile(CRegistry& reg, RegRoot root, const QString& key, QByteArray& out, bool withHeader = true);

// One value as the export writes it after the "=" (e.g. dword:0000000a).
QByteArray FormatRegValue(const RegValue& value, int nameLength);
