// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/chooser/FileDll.h"

#include <QLibrary>
#include <QString>

#include <memory>

struct FileDllDeleter {
    DtDestroyFileDllFn destroy = nullptr;
    void operator()(CFileDll* chooser) const {
        if (chooser && destroy)
            destroy(chooser);
    }
};
using FileDllPtr = std::unique_ptr<CFileDll, FileDllDeleter>;

// Loads the chooser library from a given file. The library stays loaded for the rest of
// the process (its widgets' classes may still be referenced by Qt), so choosers created
// from it may outlive this object.
class CFileDllLibrary {
public:
    // False, with ErrorString() saying why, when the file is missing, cannot be loaded or
    // is not a chooser library of this interface version.
    bool Load(const QString& path);
    bool IsLoaded() const { return m_create != nullptr; }
    const QString& ErrorString() const { return m_error; }
    // A new chooser; null when no library is loaded.
    FileDllPtr Create() const;

private:
    QLibrary m_library;
    DtCreateFileDllFn m_create = nullptr;
    DtDestroyFileDllFn m_destroy = nullptr;
    QString m_error;
};
