// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/EpocChooser.h"

#include "common/ProfileRegistry.h"

#include <memory>

FileDllPtr CreateEpocChooser(QString& error) {
    static std::unique_ptr<CFileDllLibrary> library;
    if (!library || !library->IsLoaded()) {
        // A failed load is tried again next time: the suite may have been repaired meanwhile.
        library = std::make_unique<CFileDllLibrary>();
        QString folder;
        if (const CStoreCheck read = GetEpocConnectDirectory(folder); !read) {
            error =
                read.IsRefused() ? read.Reason() : QStringLiteral("The connectivity suite's folder is not registered.");
            return nullptr;
        }
        if (!library->Load(folder + QStringLiteral("ecfile.ocx"))) {
            error = library->ErrorString();
            return nullptr;
        }
    }
    return library->Create();
}
