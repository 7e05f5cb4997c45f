// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/animation/AnimateCtrl.h"

#include <QPainter>

CAnimateCtrl::CAnimateCtrl(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    connect(&m_timer, &QTimer::timeout, this, &CAnimateCtrl::Advance);
}

CAnimateCtrl::~CAnimateCtrl() = default;

bool CAnimateCtrl::Open(const QString& path) {
    Close();
    if (path.isEmpty())
        return false;
    CAviClip clip;
    if (const CAviResult r = LoadAviFile(path, clip); !r) {
        m_lastError = r.Message;
        return false;
    }
    m_clip = std::move(clip);
    QImage first;
    if (const CAviResult r = DecodeAviFrame(m_clip, 0, first); !r) {
        m_lastError = r.Message;
        m_clip = CAviClip{};
        return false;
    }
    m_transparent = first.pixel(0, 0);
    m_lastError.clear();
    return ShowFrame(0);
}

bool CAnimateCtrl::Play(int from, int to, int repeat) {
    if (!IsOpen())
        return false;
    const int last = m_clip.FrameCount() - 1;
    if (to < 0)
        to = last;
    if (from < 0 || from > last || to > last || from > to || repeat == 0)
        return false;
    m_timer.stop();
    m_from = from, m_to = to, m_repeatsLeft = repeat;
    if (!ShowFrame(from))
        return false;
    if (from == to)
        return true;
    m_timer.start(m_clip.FrameIntervalMs);
    return true;
}

void CAnimateCtrl::Stop() {
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    emit Stopped();
}

void CAnimateCtrl::Close() {
    Stop();
    m_clip = CAviClip{};
    m_canvas = QImage();
    m_shown = QImage();
    m_current = -1;
    repaint();
}

void CAnimateCtrl::Advance() {
    int next = m_current + 1;
    if (next > m_to) {
        if (m_repeatsLeft > 0 && --m_repeatsLeft == 0) {
            Stop();
            return;
        }
        next = m_from;
    }
    if (!ShowFrame(next))
        Stop();
}

// Frames may only change the previous picture, so reaching a frame means decoding from the
// last one shown, or from the start when going backwards.
bool CAnimateCtrl::ShowFrame(int index) {
    int start = (m_current >= 0 && index > m_current) ? m_current + 1 : 0;
    if (index == m_current)
        start = index + 1;
    for (int i = start; i <= index; ++i) {
        if (const CAviResult r = DecodeAviFrame(m_clip, i, m_canvas); !r) {
            m_lastError = r.Message;
            m_current = -1;  // the picture is half-way; start again from the first frame
            return false;
        }
    }
    m_current = index;
    QImage shown = m_canvas.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shown.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if (line[x] == m_transparent)
                line[x] = 0;
        }
    }
    m_shown = shown;
    update();
    emit FrameShown(index);
    return true;
}

void CAnimateCtrl::paintEvent(QPaintEvent*) {
    if (m_shown.isNull())
        return;
    QPainter painter(this);
    const QPoint origin((width() - m_shown.width()) / 2, (height() - m_shown.height()) / 2);
    painter.drawImage(origin, m_shown);
}
