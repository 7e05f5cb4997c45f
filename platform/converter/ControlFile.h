// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

enum class ConversionKind { TextToEpoc, EpocToText, Command };

// One converter section of a control file.
struct ConverterDef {
    QString name;  // the section name, for messages
    QString sourceName;
    QString sourceClass;
    QString targetName;
    QString targetClass;
    QString targetExtension;
    ConversionKind kind = ConversionKind::Command;
    QString command;  // Command only, placeholders still in place
    int line = 0;     // line of the section header
};

struct ControlFileResult {
    bool ok = false;
    QString error;      // "file:line: what" (or "file: what" for the file as a whole)
    QString directory;  // absolute folder of the control file; relative commands start there
    std::vector<ConverterDef> converters;
};

// Reader of the converter control file (format described in ControlFile.cpp).
class CControlFile {
public:
    static ControlFileResult Read(const QString& path);
    // fileName only names the file in messages.
    static ControlFileResult Parse(const QByteArray& content, const QString& fileName);
    // The control file that declares the built-in converters.
    static QByteArray BuiltinContent();
};
