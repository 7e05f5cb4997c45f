// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/shell/Shell.h"

#include <QHash>

// The real desktop: MIME database descriptions, the desktop's icon theme, and
// xdg-open style requests through QDesktopServices.
class CDesktopShell : public IShell {
public:
    QString GetTypeName(const QString& path) override;
    QIcon GetSmallIcon(const QString& path) override;
    bool Open(const QString& path, const QStringList& arguments = {}) override;
    bool Explore(const QString& folder) override;
    bool OpenInTextViewer(const QString& path) override;

private:
    QHash<QString, QIcon> m_icons;  // by MIME type
};
