// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/help/HelpFile.h"

#include <QWidget>

class QListWidget;
class QTextBrowser;
class QUrl;

// The help window: a contents list on the left, the topic with its links on the right.
class CHelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit CHelpViewer(QWidget* parent = nullptr);

    // Loads the file; on failure the viewer shows why and holds no topics.
    bool OpenFile(const QString& path);
    // Shows a topic; when the file has none for it, says so.
    bool ShowContext(uint32_t context);
    // Shows the first topic.
    bool ShowContents();

    QString FilePath() const { return m_path; }
    // Context of the topic on show, or nothing when a message is shown instead.
    std::optional<uint32_t> CurrentContext() const { return m_current; }
    QString CurrentText() const;

    // A modal dialog blocks every other window; while one runs, the viewer rides along as its
    // child window so it can still be read and clicked, and goes back to being a window of
    // its own when the dialog closes.
    void StayUsableBeside(QWidget* modal);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape closes the window, as it closes a help window anywhere.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowMessage(const QString& message);
    void ShowTopic(const CHelpTopic& topic);
    void OnLink(const QUrl& url);

    CHelpFile m_file;
    QString m_path;
    bool m_loaded = false;
    std::optional<uint32_t> m_current;
    QListWidget* m_contents;
    QTextBrowser* m_topic;
};
