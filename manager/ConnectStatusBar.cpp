// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ConnectStatusBar.h"

#include "manager/CommandIds.h"
#include "manager/Icons.h"

#include <QLabel>
#include <QPainter>

class CIndicatorPane : public QWidget {
public:
    explicit CIndicatorPane(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("ConnectionIndicator"));
        setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("MMM")) + 6);
    }
    void SetConnected(bool connected) {
        m_pixmap = IndicatorBitmap(connected);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_pixmap.isNull())
            return;
        QPainter painter(this);
        const QSize size = m_pixmap.size().boundedTo(QSize(23, 13));
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawPixmap(target, m_pixmap);
    }

private:
    QPixmap m_pixmap;
};

CConnectStatusBar::CConnectStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar"));
    m_idle = new QLabel(this);
    m_idle->setObjectName(QStringLiteral("IdlePane"));
    addWidget(m_idle, 1);
    m_owner = new QLabel(this);
    m_owner->setObjectName(QStringLiteral("OwnerPane"));
    addPermanentWidget(m_owner);
    m_indicator = new CIndicatorPane(this);
    addPermanentWidget(m_indicator);
    SetOwnerText({});
}

void CConnectStatusBar::SetIdleText(const QString& text) {
    m_idle->setText(text);
}

QString CConnectStatusBar::IdleText() const {
    return m_idle->text();
}

void CConnectStatusBar::SetOwnerText(const QString& text) {
    m_owner->setText(text);
    m_owner->setEnabled(!text.isEmpty());
    if (text.isEmpty()) {
        m_owner->hide();
        return;
    }
    m_owner->setFixedWidth(m_owner->fontMetrics().horizontalAdvance(text) + 2 * m_owner->margin() + 4);
    m_owner->show();
}

QString CConnectStatusBar::OwnerText() const {
    return m_owner->text();
}

bool CConnectStatusBar::IsOwnerPaneShown() const {
    return !m_owner->isHidden();
}

void CConnectStatusBar::SetIndicator(bool connected) {
    m_bitmap = connected ? kIdbConnected : kIdbNotConnected;
    m_indicator->SetConnected(connected);
}

QWidget* CConnectStatusBar::IndicatorPane() const {
    return m_indicator;
}
