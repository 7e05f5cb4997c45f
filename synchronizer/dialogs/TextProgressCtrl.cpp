// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/TextProgressCtrl.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

using namespace Qt::StringLiterals;

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
    // The palette's base colour is the background of ordinary windows (white on most desktops).
    const QPalette& pal = palette();
    m_barColour = pal.color(QPalette::Active, QPalette::Highlight);
    m_backgroundColour = pal.color(QPalette::Active, QPalette::Base);
    m_textOverBackground = m_barColour;
    m_textOverBar = m_backgroundColour;
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_deferredPaint.setSingleShot(true);
    connect(&m_deferredPaint, &QTimer::timeout, this, [this] {
        if (isVisible())
            repaint();
    });
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    // A drawn bar covers every pixel from the off-screen picture, so nothing is erased first.
    // An empty range draws nothing, and then the parent's background must show, not stale
    // contents of the window buffer.
    setAttribute(Qt::WA_OpaquePaintEvent, m_lower < m_upper);
    RepaintIfWidthChanged();
}

void CTextProgressCtrl::GetRange(int& lower, int& upper) const {
    lower = m_lower;
    upper = m_upper;
}

int CTextProgressCtrl::SetStep(int step) {
    return std::exchange(m_step, step);
}

int CTextProgressCtrl::SetPos(int position) {
    const int previous = std::exchange(m_position, position);
    RepaintIfWidthChanged();
    return previous;
}

int CTextProgressCtrl::StepIt() {
    return SetPos(m_position + m_step);
}

void CTextProgressCtrl::SetShowText(bool show) {
    if (show == m_showText)
        return;
    m_showText = show;
    RepaintNow();
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    RepaintNow();
}

// The fraction done is kept within 0..1: an empty range or a position outside the range
// neither divides by zero nor paints outside the control.
int CTextProgressCtrl::FilledWidth() const {
    if (m_lower >= m_upper)
        return 0;
    const int64_t done = std::clamp<int64_t>(int64_t(m_position) - m_lower, 0, int64_t(m_upper) - m_lower);
    return int(done * width() / (int64_t(m_upper) - m_lower));
}

void CTextProgressCtrl::RepaintIfWidthChanged() {
    if (FilledWidth() != m_lastDrawnWidth)
        RepaintNow();
}

void CTextProgressCtrl::RepaintNow() {
    if (!isVisible())
        return;
    const qint64 age = m_sincePaint.isValid() ? m_sincePaint.elapsed() : kMinRepaintIntervalMs;
    if (age < kMinRepaintIntervalMs) {
        if (!m_deferredPaint.isActive())
            m_deferredPaint.start(int(kMinRepaintIntervalMs - age));
        return;
    }
    m_deferredPaint.stop();
    repaint();
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
    m_lastDrawnWidth = -1;
    QWidget::resizeEvent(event);
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
    if (m_lower >= m_upper)
        return;
    m_sincePaint.start();
    const int filled = FilledWidth();
    m_lastDrawnWidth = filled;
    const QRect client = rect();
    const QRect bar(client.left(), client.top(), filled, client.height());
    const QRect rest(client.left() + filled, client.top(), client.width() - filled, client.height());

    QPixmap buffer(client.size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    QPainter painter(&buffer);
    painter.fillRect(bar, m_barColour);
    painter.fillRect(rest, m_backgroundColour);
    if (m_showText) {
        QString text = m_text;
        if (text.isEmpty()) {
            const int64_t done = std::clamp<int64_t>(int64_t(m_position) - m_lower, 0, int64_t(m_upper) - m_lower);
            text = u"%1%"_s.arg(done * 100 / (int64_t(m_upper) - m_lower));
        }
        QFont font(u"Sans Serif"_s);
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(std::max(1, qRound(8.0 * logicalDpiY() / 72.0)));
        font.setWeight(QFont::Normal);
        painter.setFont(font);
        const int flags = Qt::AlignCenter | Qt::TextSingleLine;
        painter.setClipRect(bar);
        painter.setPen(m_textOverBar);
        painter.drawText(client, flags, text);
        painter.setClipRect(rest);
        painter.setPen(m_textOverBackground);
        painter.drawText(client, flags, text);
    }
    painter.end();
    QPainter(this).drawPixmap(0, 0, buffer);
}
