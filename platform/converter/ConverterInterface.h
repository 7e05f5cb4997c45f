// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

// The suite's file-converter automation object "VEROZ.CONVERTERINTERFACE". A failing
// member raises CAutomationException, the one exception of the system: callers catch it
// at every call.

class CAutomationException : public std::runtime_error {
public:
    explicit CAutomationException(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description) {}
    const QString& Description() const { return m_description; }

private:
    QString m_description;
};

// Progress callback of Convert: sets *flag to 1 and returns 0.
using ConvertCallback = int32_t (*)(int32_t value, int32_t* flag);

class IConverterItem {
public:
    virtual ~IConverterItem() = default;
    // "display name\nclass identifier"
    virtual QString SourceFormat() = 0;
    virtual QString TargetFormat() = 0;
    virtual void Convert(const QString& sourcePath, const QString& destinationPath, ConvertCallback callback) = 0;
    virtual QString TargetExtension() = 0;
};

class IConverterInterface {
public:
    virtual ~IConverterInterface() = default;
    virtual std::unique_ptr<IConverterItem> Item(int16_t index) = 0;
    virtual int16_t Count() = 0;
    virtual void UseControlFile(const QString& controlFile) = 0;
    // Loads every converter of the control file; the source file must exist.
    virtual void Load(const QString& controlFile, const QString& sourcePath) = 0;
};

// Creates an automation object by its ProgID; null when it cannot be created.
std::unique_ptr<IConverterInterface> CreateAutomationObject(const QString& progId);
