// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

// A progress bar that shows a status text, or the percentage done, over the bar. The text is
// drawn in the background colour where it lies over the bar and in the bar colour elsewhere.
// It repaints only when what it shows changes: the filled width, the text or the show-text
// flag. With lower >= upper it draws nothing at all. A change is painted at once, unless the
// last paint is less than kMinRepaintIntervalMs old: then the latest state is painted when that
// interval is over, so a fast run does not wait on the display for every step.
class CTextProgressCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinRepaintIntervalMs = 15;

    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    // Each returns the previous value.
    int SetStep(int step);
    int SetPos(int position);
    int StepIt();
    int GetPos() const { return m_position; }

    void SetShowText(bool show);
    bool GetShowText() const { return m_showText; }
    // An empty text shows the percentage instead.
    void SetWindowText(const QString& text);
    QString GetWindowText() const { return m_text; }

    // The filled width for the current position and client width, within 0..width().
    int FilledWidth() const;

    QColor BarColour() const { return m_barColour; }
    QColor BackgroundColour() const { return m_backgroundColour; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RepaintIfWidthChanged();
    void RepaintNow();

    int m_position = 0;
    int m_step = 1;
    int m_lower = 0;
    int m_upper = 100;
    QString m_text;
    bool m_showText = true;
    int m_lastDrawnWidth = -1;
    QElapsedTimer m_sincePaint;
    QTimer m_deferredPaint;
    QColor m_barColour, m_backgroundColour, m_textOverBackground, m_textOverBar;
};
