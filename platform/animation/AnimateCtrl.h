// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/animation/AviClip.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

// The animation control: plays a clip centred in its rectangle. The clip's background colour
// (the top-left pixel of the first frame) is not drawn, so the parent shows through.
class CAnimateCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CAnimateCtrl(QWidget* parent = nullptr);
    ~CAnimateCtrl() override;

    // Loads a clip and shows its first frame; false (and an empty control) when the file is
    // missing or not a playable clip. An empty path closes the current clip.
    bool Open(const QString& path);
    // Plays frames from..to (to = -1: the last frame), repeat times (-1: without end).
    // from == to shows that single frame. False when no clip is open or the range is bad.
    bool Play(int from = 0, int to = -1, int repeat = -1);
    // Halts playback, keeping the current frame on screen.
    void Stop();
    // Removes the clip and repaints the control empty.
    void Close();

    bool IsOpen() const { return m_clip.FrameCount() > 0; }
    bool IsPlaying() const { return m_timer.isActive(); }
    int CurrentFrame() const { return m_current; }
    int FrameCount() const { return m_clip.FrameCount(); }
    QString LastError() const { return m_lastError; }
    // The picture as drawn, with the background colour made transparent.
    QImage CurrentImage() const { return m_shown; }

signals:
    void FrameShown(int index);
    void Stopped();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Advance();
    bool ShowFrame(int index);

    CAviClip m_clip;
    QImage m_canvas;  // the decoded picture of m_current
    QImage m_shown;
    QRgb m_transparent = 0;
    int m_current = -1;
    int m_from = 0, m_to = 0, m_repeatsLeft = 0;
    QTimer m_timer;
    QString m_lastError;
};
