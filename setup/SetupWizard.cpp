// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupWizard.h"

#include "setup/SetupContext.h"
#include "setup/WizardErrorPage.h"
#include "setup/WizardPage1.h"
#include "setup/WizardPage2.h"
#include "setup/WizardPage3.h"
#include "setup/WizardUninstallPage1.h"
#include "setup/WizardUninstallPage2.h"
#include "setup/WizardUninstallPage3.h"

#include <QAbstractButton>
#include <QTimer>

using namespace Qt::StringLiterals;

CSetupWizard::CSetupWizard(CSetupContext& context, SetupMode mode, QWidget* parent) : QWizard(parent), m_ctx(context) {
    setObjectName(u"setupWizard"_s);
    setWizardStyle(QWizard::ClassicStyle);
    // Every page shows Back, disabled where there is no way back (the first page, and the
    // last ones once the work is done), as a wizard does.
    setOption(QWizard::NoBackButtonOnStartPage, false);
    setOption(QWizard::NoBackButtonOnLastPage, false);
    setOption(QWizard::DisabledBackButtonOnLastPage, true);
    setOption(QWizard::HaveHelpButton, false);
    setButtonText(QWizard::BackButton, u"< &Back"_s);
    setButtonText(QWizard::NextButton, u"&Next >"_s);
    setButtonText(QWizard::FinishButton, u"Finish"_s);
    setButtonText(QWizard::CancelButton, u"Cancel"_s);

    if (mode == SetupMode::Install) {
        setPage(kFirstPage, new WizardPage1(context));
        setPage(kSecondPage, new WizardPage2(context));
        setPage(kThirdPage, new WizardPage3(context));
    } else {
        setPage(kFirstPage, new CWizardUninstallPage1(context));
        setPage(kSecondPage, new CWizardUninstallPage2(context));
        setPage(kThirdPage, new CWizardUninstallPage3(context));
    }
    setPage(kErrorPage, new CWizardErrorPage(context));
    setStartId(kFirstPage);
    m_ctx.m_sheet = this;

    connect(this, &QWizard::currentIdChanged, this, &CSetupWizard::OnPageChanged);
}

CSetupPage* CSetupWizard::CurrentSetupPage() const {
    return qobject_cast<CSetupPage*>(currentPage());
}

void CSetupWizard::OnPageChanged(int id) {
    auto* setupPage = qobject_cast<CSetupPage*>(page(id));
    if (!setupPage)
        return;
    setWindowTitle(setupPage->Caption());
    setButtonLayout(setupPage->Buttons());
    setupPage->Activate();
    // The window takes its first size before the first page's is known, which clipped that
    // page; once the page is in place the window grows to fit it, the same for every step.
    QTimer::singleShot(0, this, [this] {
        const QSize fitting = sizeHint().expandedTo(minimumSizeHint());
        if (width() < fitting.width() || height() < fitting.height())
            resize(size().expandedTo(fitting));
    });
    // A page without controls of its own left the focus on the first enabled wizard
    // button, Back from the second page on, which made itself the default: Return then
    // went back and the keyboard user looped between the first two pages.
    QWidget* focused = focusWidget();
    if (focused && setupPage->isAncestorOf(focused) && focused->isEnabled() && focused->isVisible())
        return;
    for (QWizard::WizardButton which : {QWizard::NextButton, QWizard::FinishButton}) {
        QAbstractButton* next = button(which);
        if (next->isVisible() && next->isEnabled()) {
            next->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}
