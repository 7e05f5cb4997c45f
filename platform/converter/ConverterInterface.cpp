// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ConverterInterface.h"

#include "platform/base/RegularFile.h"
#include "platform/converter/ControlFile.h"
#include "platform/converter/Converter.h"
#include "platform/registry/Registry.h"

#include <QFile>
#include <QFileInfo>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

class CConverterInterface : public IConverterInterface {
public:
    std::unique_ptr<IConverterItem> Item(int16_t index) override {
        if (index < 0 || index >= Count()) {
            throw CAutomationException(
                u"Converter %1 does not exist (%2 converters loaded)"_s.arg(index).arg(m_converters.size()));
        }
        return std::make_unique<CConverter>(m_converters[size_t(index)], m_directory);
    }

    int16_t Count() override { return static_cast<int16_t>(m_converters.size()); }

    void UseControlFile(const QString& controlFile) override { LoadFile(controlFile); }

    // Every converter of the file is loaded; the caller picks by format. The source file
    // must exist and be readable, so that a vanished file is reported here rather than
    // as a converter failure later.
    void Load(const QString& controlFile, const QString& sourcePath) override {
        if (sourcePath.isEmpty())
            throw CAutomationException(u"No source file given"_s);
        if (!OpenRegularFile(AT_FDCWD, QFile::encodeName(sourcePath).constData()).IsValid())
            throw CAutomationException(u"Cannot read source file %1"_s.arg(sourcePath));
        LoadFile(controlFile);
    }

private:
    // A file that fails to load leaves the converters loaded before.
    void LoadFile(const QString& controlFile) {
        ControlFileResult result = CControlFile::Read(controlFile);
        if (!result.ok)
            throw CAutomationException(result.error);
        m_converters = std::move(result.converters);
        m_directory = result.directory;
    }

    std::vector<ConverterDef> m_converters;
    QString m_directory;
};

}  // namespace

std::unique_ptr<IConverterInterface> CreateAutomationObject(const QString& progId) {
    if (progId.compare(u"VEROZ.CONVERTERINTERFACE"_s, Qt::CaseInsensitive) != 0)
        return nullptr;
    // The suite is only usable with its control file in place.
    QString controlFile;
    if (!CRegistry::Default().GetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s,
                                        controlFile) ||
        controlFile.isEmpty())
        return nullptr;
    if (!OpenRegularFile(AT_FDCWD, QFile::encodeName(controlFile).constData()).IsValid())
        return nullptr;
    return std::make_unique<CConverterInterface>();
}
