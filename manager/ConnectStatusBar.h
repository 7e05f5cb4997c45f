// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStatusBar>

class QLabel;
class CIndicatorPane;

// The main window's status bar: the prompt/idle pane, the pane naming the connected
// handheld's owner (no room while nobody is connected), and the connection indicator.
class CConnectStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit CConnectStatusBar(QWidget* parent = nullptr);

    void SetIdleText(const QString& text);
    QString IdleText() const;
    // Empty text: the owner pane takes no room.
    void SetOwnerText(const QString& text);
    QString OwnerText() const;
    bool IsOwnerPaneShown() const;
    // Bitmap 143 when connected, 144 when not.
    void SetIndicator(bool connected);
    int IndicatorBitmap() const { return m_bitmap; }
    QWidget* IndicatorPane() const;

private:
    QLabel* m_idle = nullptr;
    QLabel* m_owner = nullptr;
    CIndicatorPane* m_indicator = nullptr;
    int m_bitmap = 0;  // none until first set
};
