// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncDlg.h"

#include "platform/animation/AnimateCtrl.h"
#include "synchronizer/SyncCompleteDlg.h"
#include "synchronizer/dialogs/BothChangedDlg.h"
#include "synchronizer/dialogs/CopyErrorDlg.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/RecentSyncDlg.h"
#include "synchronizer/dialogs/SyncIcons.h"
#include "synchronizer/dialogs/TextProgressCtrl.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>

using namespace Qt::StringLiterals;

namespace {
// How long the run's steps may follow each other before the window gets its turn.
constexpr auto kStepsBetweenPaints = std::chrono::milliseconds(15);
// How long Stop waits for the copies under way to be made durable and marked.
constexpr auto kStopWait = std::chrono::seconds(10);
}  // namespace

CSyncDlg::CSyncDlg(CSyncRunSettings settings, QWidget* parent) : QDialog(parent) {
    setWindowTitle(settings.title);
    setWindowIcon(DovetailSyncIcon());
    // No maximize and no sizing, as a fixed dialog.
    setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint) & ~Qt::WindowMaximizeButtonHint &
                   ~Qt::WindowContextHelpButtonHint);
    CDialogBuilder builder(this);
    builder.SetClientSize(174, 105);
    m_animation = new CAnimateCtrl(this);
    m_animation->setObjectName(u"1010"_s);
    m_animation->setGeometry(builder.Units().Rect(10, 10, 155, 50));
    m_progress = new CTextProgressCtrl(this);
    m_progress->setObjectName(u"1000"_s);
    m_progress->setGeometry(builder.Units().Rect(7, 66, 160, 13));
    m_stop = builder.AddButton(2, u"Stop"_s, 62, 84, 50, 14);
    connect(m_stop, &QPushButton::clicked, this, &CSyncDlg::reject);

    m_sink.SetWindow(this);
    m_run = std::make_unique<CSyncRun>(*this, std::move(settings));
    m_run->Initialise(&m_sink);
}

CSyncDlg::~CSyncDlg() {
    m_run.reset();  // detaches the sink before the window goes
}

int CSyncDlg::Run() {
    if (m_closed)
        return result();
    return exec();
}

void CSyncDlg::customEvent(QEvent* event) {
    if (!CEngineEvent::IsEngineEvent(event)) {
        QDialog::customEvent(event);
        return;
    }
    // The loop gets its turn again every few milliseconds, so the window still repaints and
    // Stop still works.
    HandEngineEvent(*static_cast<CEngineEvent*>(event), m_sink, *m_run, m_closed, kStepsBetweenPaints);
}

void CSyncDlg::reject() {
    if (m_closed)
        return;
    if (m_run->Stop()) {
        // The run marks what it copied, then closes the window; should the handheld not answer,
        // the window goes anyway.
        m_stop->setEnabled(false);
        QTimer::singleShot(kStopWait, this, [this] {
            if (m_closed)
                return;
            m_run->Abandon();
            CloseWindow(false);
        });
        return;
    }
    CloseWindow(false);
}

void CSyncDlg::ShowMessage(const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon, windowTitle(), text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void CSyncDlg::Beep() {
    QApplication::beep();
}

BothChangedAnswer CSyncDlg::AskBothChanged(const QString& pcPath, const QString& pcTime, const QString& epocPath,
                                           const QString& epocTime) {
    CBothChangedDlg dlg(pcPath, pcTime, epocPath, epocTime, this);
    dlg.exec();
    return static_cast<BothChangedAnswer>(dlg.Result());
}

RecentSyncAnswer CSyncDlg::AskRecentSync(const QString& pcPath, const QString& epocPath, const QString& lastSyncTime) {
    CRecentSyncDlg dlg(pcPath, epocPath, lastSyncTime, this);
    dlg.exec();
    return dlg.Result() == 1 ? RecentSyncAnswer::SynchronizeAnyway : RecentSyncAnswer::DoNotSynchronize;
}

CopyErrorAnswer CSyncDlg::AskCopyError(const QString& destination, const QString& reason) {
    CCopyErrorDlg dlg(destination, this, reason);
    dlg.exec();
    const int answer = dlg.Result();
    return answer >= 1 && answer <= 4 ? static_cast<CopyErrorAnswer>(answer) : CopyErrorAnswer::IgnoreFile;
}

void CSyncDlg::SetProgressText(const QString& text) {
    m_progress->SetWindowText(text);
}

void CSyncDlg::SetProgressRange(int lower, int upper) {
    m_progress->SetRange(lower, upper);
}

void CSyncDlg::SetProgressStep(int step) {
    m_progress->SetStep(step);
}

void CSyncDlg::SetProgressPos(int pos) {
    m_progress->SetPos(pos);
}

void CSyncDlg::StepProgress() {
    m_progress->StepIt();
}

void CSyncDlg::PlayAnimation(const QString& clipPath) {
    if (m_animation->Open(clipPath))
        m_animation->Play();
}

void CSyncDlg::StopAnimation() {
    m_animation->Stop();
    m_animation->Close();
}

void CSyncDlg::HideWindow() {
    hide();
}

void CSyncDlg::DisableStop() {
    m_stop->setEnabled(false);
}

void CSyncDlg::ShowCompletion(const QString& logPath, bool errorsOccurred) {
    CSyncCompleteDlg dlg(logPath, errorsOccurred);
    dlg.exec();
}

void CSyncDlg::CloseWindow(bool ok) {
    m_closed = true;
    done(ok ? QDialog::Accepted : QDialog::Rejected);
}
