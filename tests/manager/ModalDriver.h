// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

// Answers modal windows in turn: each new modal widget that shows gets the next step, which
// must end it (or open a nested one). Steps left over mean a window never showed. Once the
// steps are used up, every further modal window goes to the standing answer, if any.
class CModalDriver {
public:
    using Step = std::function<void(QWidget*)>;

    CModalDriver() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    void Otherwise(Step step) { m_otherwise = std::move(step); }
    std::size_t Pending() const { return m_steps.size(); }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_current || (m_steps.empty() && !m_otherwise))
            return;
        m_current = modal;
        Step step = m_otherwise;
        if (!m_steps.empty()) {
            step = std::move(m_steps.front());
            m_steps.pop_front();
        }
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
    Step m_otherwise;
    QWidget* m_current = nullptr;
};

// Types names into a file dialog's name field, as a user would, and accepts the dialog.
// selectFile() alone leaves the field unchanged while it has the focus, and the dialog then
// silently accepts nothing, so a test would wait for it forever.
inline void TypeNamesAndAccept(QFileDialog& dialog, const QString& names) {
    dialog.selectFile(names);
    if (auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        field->setText(names);
    static_cast<QDialog&>(dialog).accept();
}
