// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/connection/ConnectionMonitor.h"

#include "common/Profile.h"
#include "manager/CommandIds.h"
#include "manager/ConnectStatusBar.h"
#include "manager/DovetailManagerView.h"
#include "manager/EpocDropStream.h"
#include "manager/MainFrame.h"
#include "manager/MessageBox.h"
#include "manager/Strings.h"
#include "manager/adding/AddingFlow.h"
#include "manager/ConnectionStrings.h"
#include "manager/connection/ConnectionFlow.h"
#include "manager/connection/PreviewSyncDlg.h"
#include "manager/connection/SynchronizerLaunch.h"
#include "manager/properties/PropertyCommands.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/ScriptedEngine.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFileInfo>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QString kCannotConnect = QStringLiteral("Cannot connect to MC 218");
const QString kCouldNotStart = QStringLiteral("Could not start Ericsson EPOC Connect");
// Both name what to do where the set-up never ran.
QString NotRegistered() {
    return WithSetUpHint(QStringLiteral("Synchronizer application not registered."));
}
QString NotFound() {
    return WithSetUpHint(QStringLiteral("Synchronizer application not found."));
}

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Ok);
    }
    void TearDown() override { CMessageBox::SetAutoAnswer(QMessageBox::NoButton); }

    void Pump(CConnectionMonitor& monitor) {
        m_engine.Pump([&](EngineEvent event, int32_t result) { monitor.HandleEvent(event, result); },
                      [] { return false; });
    }
    void KnowMachine(const QString& user, uint32_t first, uint32_t second) {
        CRegistry::Default().CreateKey(
            RegRoot::CurrentUser,
            QStringLiteral("Software\\Veroz\\Users\\%1\\Machines\\%2").arg(user, FormatMachineId(first, second)));
    }

    CManagerWorld m_world;
    CScriptedEngine m_engine;
};

TEST_F(MonitorTest, FollowsTheHandheldAndFindsItsOwner) {
    KnowMachine(QStringLiteral("Bob"), 0xABCD, 0x1234);  // word 0x24 first, then 0x20
    CConnectionMonitor monitor(nullptr);
    QSignalSpy connected(&monitor, &CConnectionMonitor::ConnectedChanged);
    QSignalSpy owner(&monitor, &CConnectionMonitor::OwnerFound);
    ASSERT_TRUE(monitor.Start(MakeEngineForwarder(m_engine)));
    Pump(monitor);
    EXPECT_EQ(m_engine.calls, (QStringList{QStringLiteral("SetEventSink"), QStringLiteral("Connect 15000"),
                                           QStringLiteral("AttachRemote 2")}));
    EXPECT_TRUE(monitor.IsConnected());
    ASSERT_EQ(connected.size(), 1);

    // Each status asks for the machine again.
    for (int i = 0; i < 2; ++i) {
        monitor.HandleEvent(EngineEvent::Status, 1, 2);
        Pump(monitor);
    }
    EXPECT_EQ(m_engine.CountCalls(QStringLiteral("GetMachine 2")), 2);
    EXPECT_EQ(monitor.OwnerText(), QStringLiteral("Bob"));
    ASSERT_EQ(owner.size(), 2);
    EXPECT_EQ(owner.first().first().toString(), QStringLiteral("Bob"));

    monitor.HandleEvent(EngineEvent::Disconnected, 0);
    EXPECT_FALSE(monitor.IsConnected());
    EXPECT_TRUE(monitor.OwnerText().isEmpty());
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
}

TEST_F(MonitorTest, FailuresAndUnknownMachines) {
    struct Case {
        const char* name;
        int32_t initResult, connectResult, machineResult;
        QStringList messages;
        bool connected;
        int getMachineCalls;
    };
    const Case cases[] = {
        {"init fails", -8, 0, 0, {kCouldNotStart}, false, 0},
        {"connect fails", 0, -4, 0, {kCannotConnect}, false, 0},
        {"machine fails", 0, 0, -4, {}, true, 1},
        {"unknown machine", 0, 0, 0, {}, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageBox::ClearShownTexts();
        CScriptedEngine engine;
        engine.initResult = c.initResult;
        engine.connectResult = c.connectResult;
        engine.machineResult = c.machineResult;
        CConnectionMonitor monitor(nullptr);
        QSignalSpy owner(&monitor, &CConnectionMonitor::OwnerFound);
        monitor.Start(MakeEngineForwarder(engine));
        auto pump = [&] {
            engine.Pump([&](EngineEvent event, int32_t result) { monitor.HandleEvent(event, result); },
                        [] { return false; });
        };
        pump();
        if (monitor.IsConnected()) {
            monitor.HandleEvent(EngineEvent::Status, 0, 1);
            pump();
        }
        EXPECT_EQ(CMessageBox::ShownTexts(), c.messages);
        EXPECT_EQ(monitor.IsConnected(), c.connected);
        EXPECT_EQ(engine.CountCalls(QStringLiteral("GetMachine")), c.getMachineCalls);
        EXPECT_EQ(engine.CountCalls(QStringLiteral("Connect")), c.initResult == 0 ? 1 : 0);
        EXPECT_TRUE(owner.isEmpty());
        EXPECT_TRUE(monitor.OwnerText().isEmpty());
    }
}

TEST_F(MonitorTest, EventsPostedFromAnotherThreadArriveInOrder) {
    CConnectionMonitor monitor(nullptr);
    monitor.Start(MakeEngineForwarder(m_engine));
    ASSERT_NE(m_engine.sink, nullptr);
    std::thread([sink = m_engine.sink] {
        sink->OnInitialized(0);
        sink->OnConnected(0);
        sink->OnDisconnected(0);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_engine.CountCalls(QStringLiteral("Connect 15000")), 1);
    EXPECT_FALSE(monitor.IsConnected());
}

TEST_F(MonitorTest, BusyEntryIsPassedOnForTheNextOpen) {
    CConnectionMonitor monitor(nullptr);
    monitor.Start(MakeEngineForwarder(m_engine));
    QSignalSpy busy(&monitor, &CConnectionMonitor::RemoteFileBusy);
    QSignalSpy opened(&monitor, &CConnectionMonitor::RemoteFileOpened);
    monitor.HandleEvent(EngineEvent::RemoteFileBusy, 0);
    monitor.HandleEvent(EngineEvent::RemoteFileOpened, 0);
    EXPECT_EQ(busy.size(), 1);
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(MonitorTest, WithoutAnEngineTheMonitorSaysSo) {
    CConnectionMonitor monitor(nullptr);
    EXPECT_FALSE(monitor.Start(nullptr));
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{QStringLiteral("Could not access Ericsson EPOC Connect")});
    monitor.HandleEvent(EngineEvent::Connected, 0);
    EXPECT_FALSE(monitor.IsConnected());
}

// Without a handheld the plan window does not open: a box says why.
TEST_F(MonitorTest, PreviewWithoutAHandheldSaysSo) {
    ShowPreviewSynchronization(nullptr, false);
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{LoadConnectionString(kIdsPreviewNoHandheld)});
}

TEST_F(MonitorTest, LaunchParametersAndMessages) {
    struct Case {
        const char* name;
        QString path;
        bool shellSucceeds;
        int entry;
        QStringList messages;
        QStringList arguments;  // of the one open request, when one is expected
        bool opened;
    };
    const Case cases[] = {
        {"two characters", QStringLiteral("ab"), true, -1, {NotRegistered()}, {}, false},
        {"missing", QString(), true, 3, {NotRegistered()}, {}, false},
        {"start fails", QStringLiteral("abc"), false, -1, {NotFound()}, {}, true},
        {"all", QStringLiteral("/opt/bindcopy"), true, -1, {}, {}, true},
        {"entry 12", QStringLiteral("/opt/bindcopy"), true, 12, {}, {QStringLiteral("/W\"12\"")}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMessageBox::ClearShownTexts();
        CRecordingShell shell;
        shell.m_succeed = c.shellSucceeds;
        CAppProfile().WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), c.path);
        EXPECT_EQ(LaunchSynchronizer(nullptr, c.entry), c.messages.isEmpty());
        EXPECT_EQ(CMessageBox::ShownTexts(), c.messages);
        ASSERT_EQ(shell.m_requests.size(), c.opened ? 1u : 0u);
        if (c.opened) {
            EXPECT_EQ(shell.m_requests[0].verb, QStringLiteral("open"));
            EXPECT_EQ(shell.m_requests[0].path, c.path);
            EXPECT_EQ(shell.m_requests[0].arguments, c.arguments);
        }
    }
}

// The view in its frame, with the monitor driven by the scripted engine or the simulator.
class ConnectionFlowTest : public MonitorTest {
protected:
    // The frame with the connection and adding flows, wired as the program wires them.
    std::unique_ptr<CMainFrame> MakeFrame(CConnectionFlow::EngineFactory makeEngine) {
        m_doc.OnNewDocument();
        auto frame = std::make_unique<CMainFrame>(m_doc, QStringLiteral("DovetailTest"));
        m_connection = &InstallConnectionFlow(*frame, std::move(makeEngine));
        InstallAddingFlow(*frame, m_connection);
        return frame;
    }
    CDovetailManagerView& View(CMainFrame& frame) { return *frame.View(); }

    CDovetailManagerDoc m_doc;
    CConnectionFlow* m_connection = nullptr;
};

// No is kept as 0, so that the set-up window, which turns the setting on where nobody answered,
// never answers Yes in the user's place.
TEST_F(ConnectionFlowTest, ClockQuestionUntilAnsweredYes) {
    const QString key = QStringLiteral("Software\\Veroz\\TASKSCHEDULER");
    const QString question = QStringLiteral(
        "You have not set Ericsson EPOC Connect to synchronize your PC and MC 218 clocks on every connection.\n"
        "Without this setting, Dovetail may not function properly during the document synchronization "
        "process.\n\nDo you wish Dovetail to set this option for you now ?");
    for (auto answer : {QMessageBox::No, QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes}) {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(answer);
        uint32_t before = 0;
        RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), before);
        auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
        frame->View()->OnInitialUpdate();
        EXPECT_EQ(CMessageBox::ShownTexts().contains(question), before == 0);
        uint32_t value = 9;
        EXPECT_TRUE(RegReadNumber(HKEY_CURRENT_USER, key, QStringLiteral("SyncTime"), value));
        EXPECT_EQ(value, before != 0 || answer == QMessageBox::Yes ? 1u : 0u);
    }
}

TEST_F(ConnectionFlowTest, MissingUserOrFolderClosesWithoutAnEngine) {
    // The folder goes first, then the user as well.
    for (bool dropUser : {false, true}) {
        SCOPED_TRACE(dropUser ? "no user" : "no folder");
        CMessageBox::ClearShownTexts();
        CRegistry::Default().DeleteKey(RegRoot::CurrentUser,
                                       dropUser ? QString::fromLatin1(kCurrentUserKey)
                                                : QStringLiteral("Software\\Veroz\\Users\\Alice\\PCDirectory"));
        bool created = false;
        auto frame = MakeFrame([&] {
            created = true;
            return MakeEngineForwarder(m_engine);
        });
        QSignalSpy closing(frame->View(), &CDovetailManagerView::CloseApplicationRequested);
        frame->View()->OnInitialUpdate();
        EXPECT_EQ(closing.size(), 1);
        EXPECT_FALSE(created);
        EXPECT_EQ(CMessageBox::ShownTexts().value(0),
                  WithSetUpHint(dropUser ? QStringLiteral("No user initialized")
                                         : QStringLiteral("Please select 'My Ericsson Properties'\nand confirm the "
                                                          "'Current Folder'\non the General page first.")));
    }
}

// A user name or PC folder the store checks refuse names no backup folder: the manager
// says why, makes nothing, and closes as it does without a user.
TEST_F(ConnectionFlowTest, RefusedUserOrFolderClosesSayingWhy) {
    struct Row {
        const char* what;
        const char* user;
        const char* folder;  // relative to the test's root, or absolute
        QString message;
    };
    // The document keeps the first frame's user, so the row with a usable one goes first.
    const Row rows[] = {
        {"relative folder", "Alice", "relative/pc",
         QStringLiteral("The 'Current Folder' of the current user cannot be used:\n\"PCDirectory\" is not an "
                        "absolute path: \"relative/pc\"\n\nPlease select 'My Ericsson Properties'\nand confirm the "
                        "'Current Folder'\non the General page first.")},
        {"user climbing out", "..", nullptr,
         QStringLiteral("The name of the current Ericsson EPOC Connect user cannot name the backup folder:\n"
                        "\"CurrentUser\" is not a single name: \"..\"")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CMessageBox::ClearShownTexts();
        const QString user = QString::fromLatin1(row.user);
        RegWriteString(HKEY_CURRENT_USER, QString::fromLatin1(kCurrentUserKey), QString(), user);
        const QString folder = row.folder ? QString::fromLatin1(row.folder) : m_world.PcFolder();
        RegWriteString(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\Users\\%1\\PCDirectory").arg(user),
                       QString(), folder);
        bool created = false;
        auto frame = MakeFrame([&] {
            created = true;
            return MakeEngineForwarder(m_engine);
        });
        QSignalSpy closing(frame->View(), &CDovetailManagerView::CloseApplicationRequested);
        frame->View()->OnInitialUpdate();
        EXPECT_EQ(closing.size(), 1);
        EXPECT_FALSE(created);
        EXPECT_EQ(CMessageBox::ShownTexts().value(0), row.message);
        EXPECT_FALSE(QFileInfo::exists(m_world.Env().Root() + QStringLiteral("/Dovetail")));
    }
}

TEST_F(ConnectionFlowTest, IndicatorAndOwnerFollowTheEngineAndSynchronizeStarts) {
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    KnowMachine(QStringLiteral("Alice"), 0xABCD, 0x1234);
    m_world.Store(12, m_world.Binding(QStringLiteral("a.txt")));
    CAppProfile().WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), QStringLiteral("/opt/bindcopy"));
    CRecordingShell shell;
    auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
    frame->View()->OnInitialUpdate();
    CConnectionMonitor* monitor = m_connection->Monitor();
    ASSERT_NE(monitor, nullptr);
    Pump(*monitor);
    EXPECT_EQ(frame->ConnectStatusBar()->IndicatorBitmap(), 143);
    monitor->HandleEvent(EngineEvent::Status, 0, 1);
    Pump(*monitor);
    EXPECT_EQ(frame->ConnectStatusBar()->OwnerText(), QStringLiteral("Alice"));
    monitor->HandleEvent(EngineEvent::Disconnected, 0);
    EXPECT_EQ(frame->ConnectStatusBar()->IndicatorBitmap(), 144);
    EXPECT_TRUE(frame->ConnectStatusBar()->OwnerText().isEmpty());

    View(*frame).SelectRow(0);
    frame->OnCommand(kCmdSynchronize);
    frame->OnCommand(kCmdSynchronizeAll);
    ASSERT_EQ(shell.m_requests.size(), 2u);
    EXPECT_EQ(shell.m_requests[0].arguments, QStringList{QStringLiteral("/W\"12\"")});
    EXPECT_TRUE(shell.m_requests[1].arguments.isEmpty());
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
}

// The synchronizer takes its bindings from the connected handheld's owner and is given only
// a number: with another user's handheld connected, Synchronize would run that user's binding of
// the number. It refuses, saying why; Synchronize All runs the owner's bindings as ever.
TEST_F(ConnectionFlowTest, SynchronizeRunsOnlyTheListedUsersBinding) {
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    KnowMachine(QStringLiteral("Bob"), 0xABCD, 0x1234);
    m_world.Store(12, m_world.Binding(QStringLiteral("a.txt")));
    CAppProfile().WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), QStringLiteral("/opt/bindcopy"));
    CRecordingShell shell;
    auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
    frame->View()->OnInitialUpdate();
    CConnectionMonitor* monitor = m_connection->Monitor();
    ASSERT_NE(monitor, nullptr);
    Pump(*monitor);
    monitor->HandleEvent(EngineEvent::Status, 0, 1);
    Pump(*monitor);
    ASSERT_EQ(frame->ConnectStatusBar()->OwnerText(), QStringLiteral("Bob"));
    ASSERT_EQ(m_doc.User(), QStringLiteral("Alice"));

    View(*frame).SelectRow(0);
    frame->OnCommand(kCmdSynchronize);
    EXPECT_TRUE(shell.m_requests.empty());
    EXPECT_EQ(
        CMessageBox::ShownTexts(),
        QStringList{QStringLiteral("The connected MC 218 belongs to Bob, and the bindings listed are Alice's: the "
                                   "selected binding cannot be synchronized with it.\n\nConnect Alice's MC 218, "
                                   "or choose Synchronize All to synchronize Bob's bindings.")});
    frame->OnCommand(kCmdSynchronizeAll);
    ASSERT_EQ(shell.m_requests.size(), 1u);
    EXPECT_TRUE(shell.m_requests[0].arguments.isEmpty());

    // Nothing connected: whoever plugs in next, the run itself finds the owner, as before.
    monitor->HandleEvent(EngineEvent::Disconnected, 0);
    frame->OnCommand(kCmdSynchronize);
    ASSERT_EQ(shell.m_requests.size(), 2u);
    EXPECT_EQ(shell.m_requests[1].arguments, QStringList{QStringLiteral("/W\"12\"")});
}

// A command in a menu, key or toolbar that no flow added would be silently dead.
TEST_F(ConnectionFlowTest, EveryCommandOfTheWindowHasAnEntryOnceTheFlowsAreWired) {
    auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
    AddItemPropertiesCommand(frame->Commands(), *frame->View());
    int checked = 0;
    for (const QAction* action : frame->actions()) {
        const int id = action->data().toInt();
        // Options needs the session's default rules; OptionsTest wires it.
        if (id == 0 || id == kCmdOptions)
            continue;
        ++checked;
        EXPECT_TRUE(frame->Commands().Contains(id)) << action->text().toStdString();
    }
    EXPECT_GT(checked, 15);
}

TEST_F(ConnectionFlowTest, TakesHandheldItemsByTheirFormatsAndShellFileLists) {
    auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
    CDovetailManagerView& view = View(*frame);
    const auto withFormats = [](const QStringList& names) {
        auto data = std::make_unique<QMimeData>();
        for (const QString& name : names)
            data->setData(name, "x");
        return data;
    };
    QStringList handheld = EpocDropFormat::Names();
    EXPECT_TRUE(view.CanTakeData(withFormats(handheld).get()));
    // The handheld's formats with more beside them are still its items.
    EXPECT_TRUE(view.CanTakeData(withFormats(handheld + QStringList{QStringLiteral("text/plain")}).get()));
    handheld.removeLast();
    EXPECT_FALSE(view.CanTakeData(withFormats(handheld).get()));
    EXPECT_FALSE(view.CanTakeData(withFormats({QStringLiteral("a/1"), QStringLiteral("a/2"), QStringLiteral("a/3"),
                                               QStringLiteral("a/4"), QStringLiteral("a/5")})
                                      .get()));
    std::unique_ptr<QMimeData> files(MakeFileListMimeData({m_world.PcFolder() + QStringLiteral("a.txt")}));
    EXPECT_TRUE(view.CanTakeData(files.get()));
    EXPECT_FALSE(view.CanTakeData(nullptr));
}

TEST_F(MonitorTest, SynchronizerPathNamingNoProgramIsNotFound) {
    // The desktop's own shell: three characters that name nothing it could start.
    for (const char* path : {"abc", "/no/such/bindcopy"}) {
        CMessageBox::ClearShownTexts();
        CAppProfile().WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), QString::fromUtf8(path));
        EXPECT_FALSE(LaunchSynchronizer(nullptr, 3));
        EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{NotFound()}) << path;
    }
}

TEST_F(ConnectionFlowTest, UnknownHandheldLeavesTheOwnerEmptyAndTheList) {
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    auto frame = MakeFrame([this] { return MakeEngineForwarder(m_engine); });
    frame->View()->OnInitialUpdate();
    CConnectionMonitor* monitor = m_connection->Monitor();
    ASSERT_NE(monitor, nullptr);
    Pump(*monitor);
    monitor->HandleEvent(EngineEvent::Status, 0, 1);
    Pump(*monitor);
    EXPECT_EQ(frame->ConnectStatusBar()->IndicatorBitmap(), 143);
    EXPECT_TRUE(frame->ConnectStatusBar()->OwnerText().isEmpty());
    EXPECT_EQ(View(*frame).ItemCount(), 1);
    EXPECT_EQ(m_doc.User(), QStringLiteral("Alice"));
}

TEST_F(ConnectionFlowTest, WithoutTheEngineTheListStillWorks) {
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    m_world.Store(0, m_world.Binding(QStringLiteral("a.txt")));
    m_world.Store(1, m_world.Binding(QStringLiteral("b.txt")));
    CAppProfile().WriteProfileString(QString(), QStringLiteral("SyncronizerPath"), QStringLiteral("/opt/bindcopy"));
    CRecordingShell shell;
    auto frame = MakeFrame([] { return std::unique_ptr<IEpocEngine>(); });
    CDovetailManagerView& view = View(*frame);
    view.OnInitialUpdate();
    EXPECT_EQ(CMessageBox::ShownTexts(), QStringList{QStringLiteral("Could not access Ericsson EPOC Connect")});
    ASSERT_EQ(view.ItemCount(), 2);
    // Edit (switch off), delete, and start the synchronizer for one and for all.
    view.SelectRow(0);
    frame->OnCommand(kCmdEnable);
    EXPECT_EQ(m_world.Number(0, QStringLiteral("IsActive")), 0u);
    CMessageBox::SetNextAnswer(QMessageBox::Yes);
    frame->OnCommand(kCmdDelete);
    ASSERT_EQ(view.ItemCount(), 1);
    view.SelectRow(0);
    frame->OnCommand(kCmdSynchronize);
    frame->OnCommand(kCmdSynchronizeAll);
    ASSERT_EQ(shell.m_requests.size(), 2u);
    EXPECT_EQ(shell.m_requests[0].arguments, QStringList{QStringLiteral("/W\"1\"")});
    EXPECT_TRUE(shell.m_requests[1].arguments.isEmpty());
}

TEST_F(ConnectionFlowTest, PlugAndUnplugTheSimulatedHandheld) {
    RegWriteNumber(HKEY_CURRENT_USER, QStringLiteral("Software\\Veroz\\TASKSCHEDULER"), QStringLiteral("SyncTime"), 1);
    CRegistry& reg = CRegistry::Default();
    const QString device = m_world.Env().MakeDir(QStringLiteral("device"));
    reg.SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), device);
    reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), 0x11);
    reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), 0x22);
    reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 1);
    // Either order of the two words names the same handheld here.
    KnowMachine(QStringLiteral("Alice"), 0x11, 0x22);
    KnowMachine(QStringLiteral("Alice"), 0x22, 0x11);

    auto frame = MakeFrame({});
    frame->View()->OnInitialUpdate();
    CConnectStatusBar* bar = frame->ConnectStatusBar();
    const auto waitFor = [&](int bitmap, const QString& owner) {
        return QTest::qWaitFor([&] { return bar->IndicatorBitmap() == bitmap && bar->OwnerText() == owner; }, 5000);
    };
    EXPECT_TRUE(waitFor(143, QStringLiteral("Alice")));
    reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 0);
    EXPECT_TRUE(waitFor(144, QString()));
    reg.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 1);
    EXPECT_TRUE(waitFor(143, QStringLiteral("Alice")));
    EXPECT_TRUE(CMessageBox::ShownTexts().isEmpty());
}
}  // namespace
