// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/FileDllLibrary.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

bool CFileDllLibrary::Load(const QString& path) {
    m_create = nullptr;
    m_destroy = nullptr;
    m_error.clear();
    if (!QFileInfo(path).isFile()) {
        m_error = u"The EPOC file chooser %1 does not exist."_s.arg(path);
        return false;
    }
    m_library.setFileName(QFileInfo(path).absoluteFilePath());
    if (!m_library.load()) {
        m_error = u"The EPOC file chooser %1 cannot be loaded: %2"_s.arg(path, m_library.errorString());
        return false;
    }
    const auto version = reinterpret_cast<DtFileDllInterfaceVersionFn>(m_library.resolve(kFileDllVersionSymbol));
    const auto create = reinterpret_cast<DtCreateFileDllFn>(m_library.resolve(kCreateFileDllSymbol));
    const auto destroy = reinterpret_cast<DtDestroyFileDllFn>(m_library.resolve(kDestroyFileDllSymbol));
    if (!version || !create || !destroy) {
        m_error = u"%1 is not an EPOC file chooser library."_s.arg(path);
        return false;
    }
    if (version() != kFileDllInterfaceVersion) {
        m_error =
            u"The EPOC file chooser %1 has interface version %2; version %3 is needed."_s.arg(path).arg(version()).arg(
                kFileDllInterfaceVersion);
        return false;
    }
    m_create = create;
    m_destroy = destroy;
    return true;
}

FileDllPtr CFileDllLibrary::Create() const {
    if (!m_create)
        return FileDllPtr(nullptr, FileDllDeleter{});
    return FileDllPtr(m_create(), FileDllDeleter{m_destroy});
}
