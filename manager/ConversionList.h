// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"

#include <QString>

#include <vector>

class IConverterInterface;

struct ConversionPair {
    QString pcName;
    QString epocName;
};

// The conversions offered for one PC file, and the one proposed first.
struct CConversionList {
    static constexpr std::size_t kMaxPairs = 255;
    std::vector<ConversionPair> pairs;
    int defaultIndex = 0;
};

// The text from the name's last "." to its end, dot included; the whole name when it has none.
QString FileExtension(const QString& fileName);
// True when the suite's default extension of the description's source class (line 1)
// equals the file's extension, case ignored; never for an unknown class.
bool MatchesByExtension(const QString& fileName, const QString& sourceDescription);

// Makes the control folder the working folder while converters are read; puts the old one back.
class CWorkingFolderGuard {
public:
    CWorkingFolderGuard();
    ~CWorkingFolderGuard();
    CWorkingFolderGuard(const CWorkingFolderGuard&) = delete;
    CWorkingFolderGuard& operator=(const CWorkingFolderGuard&) = delete;

private:
    QString m_saved;
};

// The class name registered for the file's extension (dot included; the whole name when
// it has none); "???" when none can be read.
QString WindowsClassName(const QString& fileName);
// The suite's default extension for a converter source class; empty when unknown.
QString PsiWinDefaultExtension(const QString& sourceClass);
// Converters that take the record's PC file: by class name (preferred, the last one wins
// as default) or by the suite's default extension. Empty without converters.
CConversionList BuildConversionList(const CDocSynchEntry& record, IConverterInterface* converters);

// The converter automation object shared by the adding flows, created on first use with
// the control file loaded; null when it cannot be created.
IConverterInterface* ManagerConverters();
// Tests put their own converters in place (nullptr: none available); the caller keeps ownership.
void SetManagerConverters(IConverterInterface* converters);
// Back to the suite's object, created afresh on the next use.
void UseSuiteConverters();
