// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/shell/Shell.h"

#include <QFileInfo>
#include <QPixmap>

#include <map>
#include <vector>

// Shell double: records every request instead of reaching the desktop, and answers type
// names and icons from tables a test fills (by default: "<SUFFIX> File" for an existing
// file, "File Folder" for a folder, empty for a missing path). Installs itself for its
// lifetime. Header-only, so tests link dt_shell themselves.
class CRecordingShell : public IShell {
public:
    struct Request {
        QString verb;  // "open", "explore", "text"
        QString path;
        QStringList arguments;
    };

    CRecordingShell() { IShell::SetCurrent(this); }
    ~CRecordingShell() override { IShell::SetCurrent(nullptr); }
    CRecordingShell(const CRecordingShell&) = delete;
    CRecordingShell& operator=(const CRecordingShell&) = delete;

    QString GetTypeName(const QString& path) override {
        ++m_typeNameCalls;
        if (auto it = m_typeNames.find(path); it != m_typeNames.end())
            return it->second;
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists())
            return {};
        if (info.isDir())
            return ShellFolderTypeName();
        return info.suffix().toUpper() + QStringLiteral(" File");
    }
    QIcon GetSmallIcon(const QString& path) override {
        ++m_iconCalls;
        if (auto it = m_icons.find(path); it != m_icons.end())
            return it->second;
        if (!m_iconsForAll)
            return {};
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::darkCyan);
        return QIcon(pixmap);
    }
    bool Open(const QString& path, const QStringList& arguments = {}) override {
        m_requests.push_back({QStringLiteral("open"), path, arguments});
        return m_succeed;
    }
    bool Explore(const QString& folder) override {
        m_requests.push_back({QStringLiteral("explore"), folder, {}});
        return m_succeed;
    }
    bool OpenInTextViewer(const QString& path) override {
        m_requests.push_back({QStringLiteral("text"), path, {}});
        return m_succeed;
    }

    std::map<QString, QString> m_typeNames;
    std::map<QString, QIcon> m_icons;
    bool m_iconsForAll = true;
    bool m_succeed = true;
    std::vector<Request> m_requests;
    int m_typeNameCalls = 0;
    int m_iconCalls = 0;
};
