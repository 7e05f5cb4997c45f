// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncDlg.h"

#include "platform/animation/AnimateCtrl.h"
#include "synchronizer/SyncCompleteDlg.h"
#include "synchronizer/SyncRunThread.h"
#include "synchronizer/dialogs/BothChangedDlg.h"
#include "synchronizer/dialogs/CopyErrorDlg.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/RecentSyncDlg.h"
#include "synchronizer/dialogs/SyncIcons.h"
#include "synchronizer/dialogs/TextProgressCtrl.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>

using namespace Qt::StringLiterals;

namespace {
// How long Stop waits for the copies under way to be made durable and marked.
constexpr auto kStopWait = std::chrono::seconds(10);
}  // namespace

CSyncDlg::CSyncDlg(CSyncRunSettings settings, QWidget* parent) : CSyncDlg(settings.title, parent) {
    m_run = std::make_shared<CSyncRunThread>(std::move(settings));
    m_run->SetWindow(this);
    m_run->Begin();
}

CSyncDlg::CSyncDlg(std::shared_ptr<CSyncRunThread> run, const QString& title, QWidget* parent)
    : CSyncDlg(title, parent) {
    m_run = std::move(run);
    m_run->SetWindow(this);
}

CSyncDlg::CSyncDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
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
}

CSyncDlg::~CSyncDlg() {
    m_run->SetWindow(nullptr);
    Finish();
}

QString CSyncDlg::Finish() {
    return m_run->Finish(kStopWait);
}

int CSyncDlg::Run() {
    if (!m_closed)
        exec();
    // Hiding the window ends exec(), and the run shows its report after that; a loop that
    // will not run (the application is quitting) ends the window as well.
    while (!m_closed) {
        QEventLoop loop;
        m_hiddenLoop = &loop;
        const int ended = loop.exec();
        m_hiddenLoop = nullptr;
        if (ended != 0)
            break;
    }
    return result();
}

void CSyncDlg::customEvent(QEvent* event) {
    if (event->type() != CSyncRunThread::kUiCallsEvent) {
        QDialog::customEvent(event);
        return;
    }
    if (!m_closed)
        m_run->ApplyUiCalls(*this);
}

void CSyncDlg::reject() {
    if (m_closed || !m_stop->isEnabled())
        return;
    // The run marks what it copied, then closes the window; should the handheld not answer,
    // the window goes anyway.
    m_stop->setEnabled(false);
    m_run->RequestStop();
    QTimer::singleShot(kStopWait, this, [this] {
        if (m_closed)
            return;
        m_run->Abandon();
        CloseWindow(false);
    });
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
    if (m_hiddenLoop)
        m_hiddenLoop->quit();
}
