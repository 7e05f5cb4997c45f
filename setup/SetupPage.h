// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/SetupProgress.h"

#include <QWizard>
#include <QWizardPage>

class CSetupContext;
class QLabel;
class QProgressBar;

// Page ids of both wizards; the error page comes last in each.
enum SetupPageId : int { kFirstPage = 0, kSecondPage = 1, kThirdPage = 2, kErrorPage = 3 };

// What all pages share: the fixed layout in dialog units (the picture, heading 1005 and
// second text 1006), the caption the wizard shows as its title, the wizard buttons the page
// offers, and an optional progress bar that serves as the progress target of a run.
class CSetupPage : public QWizardPage, public ISetupProgress {
    Q_OBJECT
public:
    CSetupPage(CSetupContext& context, const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    // The buttons shown while this page is active.
    virtual QList<QWizard::WizardButton> Buttons() const = 0;
    // Called every time the page becomes the active one (also after Back).
    virtual void Activate() {}

    void SetStepCount(int count) override;
    void Step() override;

protected:
    // Dialog units to pixels of this page's font.
    QRect Dlu(int x, int y, int width, int height) const;
    void SetHeadingGeometry(int height);
    void SetDetailGeometry(int width, int height);
    void CreateProgressBar();
    QWizard* Wizard() const { return wizard(); }

    CSetupContext& m_ctx;
    QLabel* m_heading;
    QLabel* m_detail;
    QProgressBar* m_progress = nullptr;

private:
    QString m_caption;
    double m_baseX = 6;
    double m_baseY = 13;
};
