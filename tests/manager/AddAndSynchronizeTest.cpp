// SPDX-License-Identifier: GPL-3.0-or-later
// From adding a PC file in the manager to seeing its synchronization in the list, with the
// real synchronizer program and the simulated handheld.
#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/adding/PcAdding.h"
#include "manager/connection/ConnectionFlow.h"
#include "platform/shell/Shell.h"
#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>
#include <vector>

namespace {
// Starts programs itself, so that the test can end what it started.
class CProcessShell : public IShell {
public:
    CProcessShell() { IShell::SetCurrent(this); }
    ~CProcessShell() override {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        IShell::SetCurrent(nullptr);
    }
    QString GetTypeName(const QString& path) override {
        const QFileInfo info(path);
        return info.exists() ? info.suffix().toUpper() + QStringLiteral(" File") : QString();
    }
    QIcon GetSmallIcon(const QString&) override { return {}; }
    bool Open(const QString& path, const QStringList& arguments) override {
        m_arguments << arguments;
        auto process = std::make_unique<QProcess>();
        process->start(path, arguments);
        const bool started = process->waitForStarted(10000);
        m_processes.push_back(std::move(process));
        return started;
    }
    bool Explore(const QString&) override { return false; }
    bool OpenInTextViewer(const QString&) override { return false; }

    QList<QStringList> m_arguments;

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

bool Tool(const QStringList& args) {
    QProcess p;
    p.start(BinDir() + QStringLiteral("/epocsim"), args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

TEST(AddAndSynchronizeTest, AddedBindingShowsItsSynchronization) {
    const QString bindcopy = BinDir() + QStringLiteral("/bindcopy");
    // The build makes both before this test: a missing one is a fault, not a reason to skip.
    ASSERT_TRUE(QFileInfo(bindcopy).isExecutable());
    ASSERT_TRUE(QFileInfo(BinDir() + QStringLiteral("/epocsim")).isExecutable());
    CTempEnv env;
    InstallManagerStrings();
    const QString pc = env.MakeDir(QStringLiteral("pc")) + QLatin1Char('/');
    const QString device = env.MakeDir(QStringLiteral("handheld"));
    ASSERT_TRUE(Tool({QStringLiteral("install"), QStringLiteral("--dir"), env.MakeDir(QStringLiteral("suite"))}));
    ASSERT_TRUE(Tool({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("alice"),
                      QStringLiteral("--pc-dir"), pc, QStringLiteral("--current")}));
    ASSERT_TRUE(Tool({QStringLiteral("device"), QStringLiteral("create"), QStringLiteral("--root"), device,
                      QStringLiteral("--id"), QStringLiteral("1A2B-3C4D"), QStringLiteral("--owner"),
                      QStringLiteral("alice")}));
    QDir().mkpath(device + QStringLiteral("/C/Documents"));
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    CAppProfile profile;
    profile.WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), bindcopy);
    profile.WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("WarnForWinConversion"), 0);
    SetManagerConverters(nullptr);  // a plain copy: no conversion dialog
    env.SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", QStringLiteral("C:\\Documents\\Report"));
    QFile file(pc + QStringLiteral("report.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("quarterly report");
    file.close();

    CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    CProcessShell shell;
    CDovetailManagerDoc doc;
    doc.OnNewDocument();
    CMainFrame frame(doc, QStringLiteral("DovetailEndToEnd"));
    InstallConnectionFlow(frame);
    frame.View()->OnInitialUpdate();
    frame.show();
    CDovetailManagerView& view = *frame.View();
    ASSERT_TRUE(CPcAdding(view).BindPcFile(pc + QStringLiteral("report.txt")));
    ASSERT_EQ(view.ItemCount(), 1);
    const QModelIndex lastSynch = view.Model()->index(0, 7);
    const QString before = view.Model()->data(lastSynch).toString();

    view.SelectRow(0);
    const qint64 started = QDateTime::currentSecsSinceEpoch();
    frame.OnCommand(kCmdSynchronize);
    ASSERT_EQ(shell.m_arguments.size(), 1);
    EXPECT_EQ(shell.m_arguments[0], QStringList{QStringLiteral("/W\"%1\"").arg(view.SelectedEntry())});
    // The cell is read from the store on every repaint: activation shows the new time.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QApplication::postEvent(&frame, new QEvent(QEvent::ActivationChange));
            return view.Model()->data(lastSynch).toString() != before;
        },
        60000));
    const qint64 ended = QDateTime::currentSecsSinceEpoch();
    // The run's time plus its 3 seconds, in the locale's date and time text.
    uint32_t stamp = 0;
    RegReadNumber(HKEY_CURRENT_USER,
                  QStringLiteral("Software\\Veroz\\Users\\alice\\DocSynchEntries\\%1").arg(view.SelectedEntry()),
                  QStringLiteral("LastSyncTimeStamp"), stamp);
    EXPECT_GE(qint64(stamp), started + 3);
    EXPECT_LE(qint64(stamp), ended + 3);
    EXPECT_EQ(view.Model()->data(lastSynch).toString(), FormatLocalDateTime(stamp));
    EXPECT_TRUE(QFile::exists(device + QStringLiteral("/C/Documents/Report")));
    CMessageBox::SetAutoAnswer(QMessageBox::NoButton);
}
}  // namespace
