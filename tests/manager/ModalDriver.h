// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

// Answers modal windows in turn: each new modal widget that shows gets the next step, which
// must end it (or open a nested one). Steps left over mean a window never showed.
class CModalDriver {
public:
    using Step = std::function<void(QWidget*)>;

    CModalDriver() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    std::size_t Pending() const { return m_steps.size(); }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_current || m_steps.empty())
            return;
        m_current = modal;
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        // Run outside the timer's slot: a timer does not fire again while its slot runs, so
        // a nested dialog the step opens could not be answered otherwise.
        QTimer::singleShot(0, modal, [this, step = std::move(step), modal] {
            step(modal);
            // A widget still open after its step may be answered again by a later step.
            if (m_current == modal)
                m_current = nullptr;
        });
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QWidget* m_current = nullptr;
};
