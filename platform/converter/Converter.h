// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/converter/ControlFile.h"
#include "platform/converter/ConverterInterface.h"

// One converter of a loaded control file. It keeps its own copy of the declaration, so it
// stays usable after its root object loads another file.
class CConverter : public IConverterItem {
public:
    // directory: the control file's folder, where relative commands are found and run.
    CConverter(ConverterDef def, QString directory);

    QString SourceFormat() override;
    QString TargetFormat() override;
    QString TargetExtension() override;
    // Writes the destination atomically: on any failure (CAutomationException) an existing
    // destination is left as it was and no partial file remains. The callback, when given,
    // is called with 0 before and 100 after the work; a non-zero answer to the first
    // call cancels.
    void Convert(const QString& sourcePath, const QString& destinationPath, ConvertCallback callback) override;

    // Seconds an external command may run before it is stopped.
    static void SetCommandTimeout(int seconds);

private:
    void ConvertBuiltin(const QString& sourcePath, const QString& destinationPath);
    void ConvertByCommand(const QString& sourcePath, const QString& destinationPath);

    ConverterDef m_def;
    QString m_directory;
};
