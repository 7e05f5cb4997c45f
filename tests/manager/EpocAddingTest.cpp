// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/adding/EpocAdding.h"

#include "common/Profile.h"
#include "manager/BindingListModel.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerView.h"
#include "manager/EpocDropStream.h"
#include "manager/MessageBox.h"
#include "manager/PcTargetFilter.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/engine/EpocEngine.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "tests/manager/ManagerWorld.h"
#include "tests/manager/ModalDriver.h"
#include "tests/platform/engine/EventRecorder.h"
#include "tests/support/FakeConverter.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/RecordingShell.h"
#include "tests/support/ScriptedEngine.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <cstring>
#include <chrono>
#include <functional>
#include <map>

namespace {
// Names the opened entry after the last part of its path; "Folder" entries are folders.
class CNamedRemoteFile : public IEpocRemoteFile {
public:
    explicit CNamedRemoteFile(QString path) : m_path(std::move(path)) {}
    int32_t GetFileInfo(RemoteFileInfo& info) override {
        const QByteArray name = m_path.section(QLatin1Char('\\'), -1).toUtf8();
        std::memcpy(info.bytes + 30, name.constData(), std::size_t(name.size()));
        info.bytes[2] = m_path.contains(QStringLiteral("Folder")) ? kAttrFolder : 0x20;
        return 0;
    }

private:
    QString m_path;
};

class CNamingEngine : public CScriptedEngine {
public:
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override {
        const QString path = QString::fromUtf8(spec.path);
        calls << QStringLiteral("OpenRemoteFile ") + path;
        out = std::make_unique<CNamedRemoteFile>(path);
        events.emplace_back(EngineEvent::RemoteFileOpened, 0);
        return 0;
    }
};

// Reports each path busy a number of times before opening it; "Silent" paths never answer.
class CBusyEngine : public CNamingEngine {
public:
    std::map<QString, int> busy;
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override {
        const QString path = QString::fromUtf8(spec.path);
        if (path.contains(QStringLiteral("Silent"))) {
            calls << QStringLiteral("OpenRemoteFile ") + path;
            return 0;
        }
        if (busy[path] > 0) {
            --busy[path];
            calls << QStringLiteral("OpenRemoteFile ") + path;
            events.emplace_back(EngineEvent::RemoteFileBusy, 0);
            return 0;
        }
        return CNamingEngine::OpenRemoteFile(spec, out);
    }
    int32_t ReleaseRemoteFile(const FileSpec& spec) override {
        calls << QStringLiteral("ReleaseRemoteFile ") + QString::fromUtf8(spec.path);
        return 0;
    }
};

// "Gone" entries answer the open with a failure (unplugged, deleted meanwhile); "Refused"
// ones are refused at once; the rest open.
class CFailingEngine : public CNamingEngine {
public:
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override {
        const QString path = QString::fromUtf8(spec.path);
        if (path.contains(QStringLiteral("Refused"))) {
            calls << QStringLiteral("OpenRemoteFile ") + path;
            return -4;
        }
        if (path.contains(QStringLiteral("Gone"))) {
            calls << QStringLiteral("OpenRemoteFile ") + path;
            events.emplace_back(EngineEvent::RemoteFileOpened, -1);
            return 0;
        }
        return CNamingEngine::OpenRemoteFile(spec, out);
    }
};

QMimeData* EpocDrop(const QByteArray& stream) {
    auto* data = new QMimeData;
    for (const QString& name : EpocDropFormat::Names())
        data->setData(name, name == EpocDropFormat::StreamName() ? stream : QByteArray("x"));
    return data;
}

class EpocAddingTest : public ::testing::Test {
protected:
    void SetUp() override {
        CMessageBox::ClearShownTexts();
        CMessageBox::SetAutoAnswer(QMessageBox::Yes);
        SetManagerConverters(&m_converters);
        m_doc.OnNewDocument();
        m_view = std::make_unique<CDovetailManagerView>(m_doc);
        m_view->OnInitialUpdate();
        CAppProfile().WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Last Windows Path"),
                                         m_world.PcFolder().chopped(1));
        // Every save dialog: type the name, keep or pick the filter entry, accept.
        m_driver.Otherwise([this](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            ++m_saveDialogs;
            m_filters = dialog->nameFilters();
            m_startFolder = dialog->directory().absolutePath();
            m_shownNames.clear();
            if (auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
                for (int i = 0; i < combo->count(); ++i)
                    m_shownNames << combo->itemText(i);
            }
            m_shownFilter = dialog->selectedNameFilter();
            if (m_pickFilter >= 0)
                dialog->selectNameFilter(m_filters.value(m_pickFilter));
            if (m_typed.isEmpty()) {
                dialog->reject();
                return;
            }
            TypeNamesAndAccept(*dialog, m_typed);
        });
    }
    void TearDown() override {
        CMessageBox::SetAutoAnswer(QMessageBox::NoButton);
        SetManagerConverters(nullptr);
    }
    void UseWordConverters() {
        m_converterState->items = {
            {.source = QStringLiteral("EPOC Word\nEpocWord"),
             .target = QStringLiteral("Word 97\nWord.Document.8"),
             .extension = QStringLiteral(".doc")},
            {.source = QStringLiteral("EPOC Sheet\nEpocSheet"),
             .target = QStringLiteral("Excel\nExcel.Sheet"),
             .extension = QStringLiteral(".xls")},
            {.source = QStringLiteral("EPOC Word\nEpocWord"),
             .target = QStringLiteral("Rich Text\nRTF.Class"),
             .extension = QStringLiteral(".rtf")},
        };
        RegWriteString(HKEY_CLASSES_ROOT, QStringLiteral("EPOC Word\\EpocInfo"), QStringLiteral("TargetType"),
                       QStringLiteral("rtf.class"));
    }
    CDocSynchEntry Stored(int row) {
        CDocSynchEntry record = m_doc.NewRecord();
        m_doc.ReadEntry(m_view->Model()->EntryAt(row), record);
        return record;
    }
    CDocSynchEntry EpocRecord(const QString& type) {
        CDocSynchEntry record = m_doc.NewRecord();
        record.EpocPath = QStringLiteral("C:\\Documents\\");
        record.EpocFileName = QStringLiteral("letter");
        record.EpocFileType = type;
        return record;
    }

    CManagerWorld m_world;
    CRecordingShell m_shell;
    std::shared_ptr<CFakeConverterState> m_converterState = std::make_shared<CFakeConverterState>();
    CFakeConverterRoot m_converters{m_converterState};
    CDovetailManagerDoc m_doc;
    std::unique_ptr<CDovetailManagerView> m_view;
    CModalDriver m_driver;
    QString m_typed;
    int m_pickFilter = -1;
    int m_saveDialogs = 0;
    QStringList m_filters;
    QString m_shownFilter;
    QStringList m_shownNames;
    QString m_startFolder;
};

TEST(EpocTargetNameTest, AppendsTheUpperCaseExtensionUnlessPresent) {
    const std::pair<const char*, const char*> cases[] = {
        {"/pc/letter", "/pc/letter.DOC"},           {"/pc/letter.doc", "/pc/letter.doc"},
        {"/pc/letter.DOC", "/pc/letter.DOC"},       {"/pc/letter.Doc", "/pc/letter.Doc.DOC"},
        {"/pc/x.docs/letter", "/pc/x.docs/letter"},  // a plain substring search, as before
    };
    for (const auto& [typed, expected] : cases)
        EXPECT_EQ(CEpocAdding::WithTargetExtension(QString::fromUtf8(typed), QStringLiteral(".doc")),
                  QString::fromUtf8(expected));
    EXPECT_EQ(CEpocAdding::WithTargetExtension(QStringLiteral("/pc/letter"), QString()), QStringLiteral("/pc/letter"));
}

TEST(EpocDropQueueTest, KeepsTheFirst128InOrder) {
    CEpocDropQueue queue;
    for (int i = 0; i < 130; ++i)
        EXPECT_EQ(queue.Add(QString::number(i)), i < 128);
    ASSERT_TRUE(queue.TakeNext());
    EXPECT_EQ(queue.Current(), QStringLiteral("0"));
    EXPECT_EQ(queue.Size(), 127u);
}

TEST_F(EpocAddingTest, FilterListsApplyingConvertersAndNoConversionLast) {
    UseWordConverters();
    const CPcTargetFilter filter(QStringLiteral("EPOC Word"), &m_converters);
    EXPECT_EQ(filter.DialogFilters(),
              (QStringList{QStringLiteral("Word 97 (*.doc)"), QStringLiteral("Rich Text (*.rtf)"),
                           QStringLiteral("No conversion (*)")}));
    EXPECT_EQ(filter.DefaultEntry(), 1);
    EXPECT_EQ(filter.TargetExtension(1), QStringLiteral(".rtf"));
    EXPECT_TRUE(filter.TargetExtension(2).isEmpty());
    EXPECT_TRUE(filter.IsNoConversion(2));

    const CPcTargetFilter unknown(QStringLiteral("(unknown)"), &m_converters);
    EXPECT_EQ(unknown.DialogFilters(), QStringList{QStringLiteral("No conversion (*)")});
    EXPECT_EQ(unknown.DefaultEntry(), -1);
    EXPECT_FALSE(CPcTargetFilter(QStringLiteral("EPOC Word"), nullptr).IsValid());

    // Long names fill the buffer; "No conversion" still ends the list.
    m_converterState->items.clear();
    for (int i = 0; i < 40; ++i)
        m_converterState->items.push_back({.source = QStringLiteral("EPOC Word\nEpocWord"),
                                           .target = QStringLiteral("A long converter target name %1\nX").arg(i),
                                           .extension = QStringLiteral(".ext")});
    const CPcTargetFilter full(QStringLiteral("EPOC Word"), &m_converters);
    EXPECT_LT(full.Count(), 41);
    EXPECT_GT(full.Count(), 5);
    EXPECT_EQ(full.DialogFilters().last(), QStringLiteral("No conversion (*)"));
    int bytes = 0;
    for (int i = 0; i + 1 < full.Count(); ++i)
        bytes += int(QStringLiteral("A long converter target name %1").arg(i).size()) + 1 + 5 + 1;
    EXPECT_LT(bytes + 13 + 1 + 3 + 1, 512);
}

TEST_F(EpocAddingTest, SaveDialogTypesFollowTheChosenEntry) {
    UseWordConverters();
    struct Case {
        const char* typed;
        int pick;  // -1 keeps the preselected entry
        const char* name;
        const char* pcType;
        const char* epocType;
    };
    const Case cases[] = {
        {"letter", -1, "letter.RTF", "Rich Text", "EPOC Word"},
        {"letter.Doc", 0, "letter.Doc.DOC", "Word 97", "EPOC Word"},
        {"letter", 2, "letter", "EPOC Word", "EPOC Word"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        m_typed = QString::fromUtf8(c.typed);
        m_pickFilter = c.pick;
        CDocSynchEntry record = EpocRecord(QStringLiteral("EPOC Word"));
        ASSERT_TRUE(CEpocAdding::ChoosePcTarget(m_view.get(), record));
        EXPECT_EQ(m_shownFilter, QStringLiteral("Rich Text")) << "shown by its name alone";
        EXPECT_EQ(record.WinFileName, QString::fromUtf8(c.name));
        EXPECT_EQ(record.WinPath, m_world.PcFolder());
        EXPECT_EQ(record.WinFileType, QString::fromUtf8(c.pcType));
        EXPECT_EQ(record.EpocFileType, QString::fromUtf8(c.epocType));
    }
    EXPECT_EQ(m_shownNames,
              (QStringList{QStringLiteral("Word 97"), QStringLiteral("Rich Text"), QStringLiteral("No conversion")}));
    m_typed.clear();
    // Nothing remembered: the dialog starts in the user's PC folder.
    CAppProfile().WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Last Windows Path"), QString());
    CDocSynchEntry record = EpocRecord(QStringLiteral("(unknown)"));
    EXPECT_FALSE(CEpocAdding::ChoosePcTarget(m_view.get(), record));
    EXPECT_EQ(m_filters, QStringList{QStringLiteral("No conversion (*)")});
    EXPECT_EQ(m_startFolder, m_world.PcFolder().chopped(1));
}

TEST_F(EpocAddingTest, WithoutConvertersTheBindingIsAPlainCopy) {
    SetManagerConverters(nullptr);
    m_typed = QStringLiteral("letter");
    CDocSynchEntry record = EpocRecord(QStringLiteral("EPOC Text"));
    ASSERT_TRUE(CEpocAdding::ChoosePcTarget(m_view.get(), record));
    EXPECT_EQ(record.WinFileName, QStringLiteral("letter"));
    EXPECT_EQ(record.WinFileType, QStringLiteral("EPOC Text"));
    EXPECT_EQ(record.EpocFileType, QStringLiteral("EPOC Text"));
}

TEST_F(EpocAddingTest, APcTargetTooLongToSynchronizeIsRefused) {
    m_typed = QString(262 - m_world.PcFolder().size(), u'n');
    CDocSynchEntry record = EpocRecord(QStringLiteral("(unknown)"));
    EXPECT_FALSE(CEpocAdding::ChoosePcTarget(m_view.get(), record));
    ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
    EXPECT_TRUE(CMessageBox::ShownTexts().first().contains(m_world.PcFolder() + m_typed));
    m_typed.chop(1);
    EXPECT_TRUE(CEpocAdding::ChoosePcTarget(m_view.get(), record));
}

TEST_F(EpocAddingTest, DroppedItemsThatCannotBeOpenedAreNamedAndTheRestBound) {
    CFailingEngine engine;
    CEpocAdding adding(*m_view);
    m_typed = QStringLiteral("kept");
    std::unique_ptr<QMimeData> drop(
        EpocDrop(BuildEpocDropStream(QStringLiteral("C:\\Documents\\"),
                                     {QStringLiteral("Gone"), QStringLiteral("Refused"), QStringLiteral("kept")})));
    adding.OnDropItems(drop.get(), &engine);
    engine.Pump([&](EngineEvent, int32_t result) { adding.OnEpocEntryDetails(result, &engine); }, [] { return false; });
    const QString why = QStringLiteral(
        " could not be opened on the MC 218 and is not added: the MC 218 is no longer connected, or the file is gone.");
    EXPECT_EQ(CMessageBox::ShownTexts(), (QStringList{QStringLiteral("C:\\Documents\\Gone") + why,
                                                      QStringLiteral("C:\\Documents\\Refused") + why}));
    EXPECT_EQ(m_saveDialogs, 1);
    ASSERT_EQ(m_view->ItemCount(), 1);
    EXPECT_EQ(Stored(0).EpocFileName, QStringLiteral("kept"));
    EXPECT_FALSE(adding.IsOpening());
}

TEST_F(EpocAddingTest, DropBindsEachItemInTurnAndAsksFromEight) {
    CNamingEngine engine;
    CEpocAdding adding(*m_view);
    const auto pump = [&] {
        engine.Pump([&](EngineEvent, int32_t result) { adding.OnEpocEntryDetails(result, &engine); },
                    [] { return false; });
    };
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names << QStringLiteral("doc%1").arg(i);
    m_typed = QStringLiteral("same");  // every binding after the first is a duplicate

    std::unique_ptr<QMimeData> seven(EpocDrop(BuildEpocDropStream(QStringLiteral("C:\\Documents\\"), names.mid(0, 7))));
    adding.OnDropItems(seven.get(), &engine);
    pump();
    EXPECT_EQ(engine.CountCalls(QStringLiteral("OpenRemoteFile")), 7);
    EXPECT_EQ(m_saveDialogs, 7);
    ASSERT_EQ(m_view->ItemCount(), 1);
    EXPECT_EQ(Stored(0).EpocPath, QStringLiteral("C:\\Documents\\"));
    EXPECT_EQ(Stored(0).EpocFileName, QStringLiteral("doc0"));
    EXPECT_EQ(Stored(0).EpocFileType, QStringLiteral("(unknown)"));
    EXPECT_FALSE(CMessageBox::ShownTexts().contains(
        QStringLiteral("WARNING\nYou are about to create 7 bindings.\nDo you wish to continue ?")));

    CMessageBox::ClearShownTexts();
    CMessageBox::SetNextAnswer(QMessageBox::No);
    std::unique_ptr<QMimeData> eight(EpocDrop(BuildEpocDropStream(QStringLiteral("C:\\Documents\\"), names)));
    adding.OnDropItems(eight.get(), &engine);
    pump();
    EXPECT_EQ(CMessageBox::ShownTexts().value(0),
              QStringLiteral("WARNING\nYou are about to create 8 bindings.\nDo you wish to continue ?"));
    EXPECT_EQ(engine.CountCalls(QStringLiteral("OpenRemoteFile")), 7);

    // A folder among the items is refused; the file after it is still offered.
    CMessageBox::ClearShownTexts();
    m_saveDialogs = 0;
    std::unique_ptr<QMimeData> mixed(EpocDrop(
        BuildEpocDropStream(QStringLiteral("C:\\"), {QStringLiteral("Folder"), QStringLiteral("Documents\\x")})));
    adding.OnDropItems(mixed.get(), &engine);
    pump();
    EXPECT_EQ(CMessageBox::ShownTexts().value(0), QStringLiteral("Cannot insert whole folder"));
    EXPECT_EQ(m_saveDialogs, 1);
}

TEST_F(EpocAddingTest, BusyEntryIsOpenedAgainAndLaterDropsStillWork) {
    CBusyEngine engine;
    CEpocAdding adding(*m_view);
    const auto pump = [&] {
        engine.Pump(
            [&](EngineEvent event, int32_t result) {
                if (event == EngineEvent::RemoteFileBusy)
                    adding.OnEntryBusy(&engine);
                else
                    adding.OnEpocEntryDetails(result, &engine);
            },
            [] { return false; });
    };
    const QString first = QStringLiteral("C:\\Documents\\first");
    engine.busy[first] = 2;
    m_typed = QStringLiteral("first");
    std::unique_ptr<QMimeData> drop(EpocDrop(
        BuildEpocDropStream(QStringLiteral("C:\\Documents\\"), {QStringLiteral("first"), QStringLiteral("second")})));
    adding.OnDropItems(drop.get(), &engine);
    m_typed = QStringLiteral("second");
    pump();
    EXPECT_EQ(engine.Matching(QStringLiteral("OpenRemoteFile ")),
              (QStringList{QStringLiteral("OpenRemoteFile ") + first, QStringLiteral("OpenRemoteFile ") + first,
                           QStringLiteral("OpenRemoteFile ") + first,
                           QStringLiteral("OpenRemoteFile C:\\Documents\\second")}));
    EXPECT_EQ(engine.Matching(QStringLiteral("ReleaseRemoteFile")),
              QStringList{QStringLiteral("ReleaseRemoteFile ") + first});
    EXPECT_EQ(m_saveDialogs, 2);
    EXPECT_FALSE(adding.IsOpening());

    // A later drop is opened at once, not queued behind the busy one.
    m_typed = QStringLiteral("third");
    std::unique_ptr<QMimeData> later(
        EpocDrop(BuildEpocDropStream(QStringLiteral("C:\\Documents\\"), {QStringLiteral("third")})));
    adding.OnDropItems(later.get(), &engine);
    pump();
    EXPECT_EQ(m_saveDialogs, 3);
    EXPECT_EQ(Stored(m_view->ItemCount() - 1).EpocFileName, QStringLiteral("third"));
}

TEST_F(EpocAddingTest, DropNeverWaitsForeverOnAnEntry) {
    CBusyEngine engine;
    CEpocAdding adding(*m_view, std::chrono::milliseconds(50));
    const auto pump = [&] {
        engine.Pump(
            [&](EngineEvent event, int32_t result) {
                if (event == EngineEvent::RemoteFileBusy)
                    adding.OnEntryBusy(&engine);
                else
                    adding.OnEpocEntryDetails(result, &engine);
            },
            [] { return false; });
    };
    const QString always = QStringLiteral("C:\\Documents\\always");
    engine.busy[always] = 1000;
    m_typed = QStringLiteral("after");
    std::unique_ptr<QMimeData> drop(
        EpocDrop(BuildEpocDropStream(QStringLiteral("C:\\Documents\\"),
                                     {QStringLiteral("Silent"), QStringLiteral("always"), QStringLiteral("after")})));
    adding.OnDropItems(drop.get(), &engine);
    // The first entry never answers: given up after the timeout.
    EXPECT_TRUE(adding.IsOpening());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return engine.CountCalls(QStringLiteral("OpenRemoteFile ") + always) != 0; }, 1000));
    pump();
    EXPECT_EQ(engine.CountCalls(QStringLiteral("OpenRemoteFile ") + always), CEpocAdding::kMaxBusyOpens);
    EXPECT_EQ(CMessageBox::ShownTexts(),
              (QStringList{QStringLiteral("The MC 218 did not answer for C:\\Documents\\Silent; it is not added."),
                           QStringLiteral("C:\\Documents\\always is in use on the MC 218 and cannot be added now.")}));
    EXPECT_EQ(m_saveDialogs, 1);
    EXPECT_EQ(Stored(0).EpocFileName, QStringLiteral("after"));
    EXPECT_FALSE(adding.IsOpening());
}

// Through the real simulated handheld: a pipe or link dropped from it is passed over at once,
// and the entries after it are added as usual.
TEST_F(EpocAddingTest, APipeOrLinkDroppedFromTheHandheldIsPassedOverAtOnce) {
    CTempEnv& env = m_world.Env();
    const QString root = env.MakeDir(QStringLiteral("device"));
    const QString docs = env.MakeDir(QStringLiteral("device/C/Documents"));
    env.WriteFile(QStringLiteral("device/C/Documents/Good"), "good");
    CSentinel outside(env.Root() + QStringLiteral("/outside/letter"));
    ASSERT_TRUE(HostileEntries::Fifo(docs + QStringLiteral("/Pipe")));
    ASSERT_TRUE(HostileEntries::Link(outside.Path(), docs + QStringLiteral("/Link")));
    CRegistry& registry = CRegistry::Default();
    ASSERT_TRUE(registry.SetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), root));
    ASSERT_TRUE(registry.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(), 1));

    CEventRecorder events;
    std::unique_ptr<IEpocEngine> engine = CreateEpocEngine();
    ASSERT_TRUE(engine);
    CFifoUnjammer unjammer;  // after the engine: released before the engine waits for its worker
    unjammer.Watch(docs + QStringLiteral("/Pipe"));
    engine->SetEventSink(&events);
    ASSERT_TRUE(events.Next());
    engine->Connect(15000);
    ASSERT_TRUE(events.Next());

    CEpocAdding adding(*m_view, std::chrono::milliseconds(5000));
    m_typed = QStringLiteral("good.txt");
    std::unique_ptr<QMimeData> drop(EpocDrop(BuildEpocDropStream(
        QStringLiteral("C:\\Documents\\"), {QStringLiteral("Pipe"), QStringLiteral("Link"), QStringLiteral("Good")})));
    const auto started = std::chrono::steady_clock::now();
    adding.OnDropItems(drop.get(), engine.get());
    while (adding.IsOpening() && std::chrono::steady_clock::now() - started < std::chrono::seconds(10)) {
        const std::optional<RecordedEvent> event = events.Next(std::chrono::milliseconds(100));
        if (event && event->name == "Opened")
            adding.OnEpocEntryDetails(event->result, engine.get());
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(adding.IsOpening());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(m_saveDialogs, 1);
    EXPECT_EQ(Stored(0).EpocFileName, QStringLiteral("Good"));
    EXPECT_EQ(m_view->Model()->rowCount(), 1);
    EXPECT_FALSE(unjammer.Unjam()) << "the engine waited on the pipe";
    EXPECT_TRUE(outside.Untouched());
}

TEST_F(EpocAddingTest, ChooserStartsAtTheLastEpocFolderOrTheDrive) {
    const QString library = BinDir() + QStringLiteral("/ecfile.ocx");
    ASSERT_TRUE(QFile::exists(library)) << "the build makes ecfile.ocx before this test";
    QFile::copy(library, m_world.Env().Root() + QStringLiteral("/psiwin/ecfile.ocx"));
    const QString log = m_world.Env().Root() + QStringLiteral("/chooser.log");
    m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_LOG", log);
    m_world.Env().SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", QString());  // cancel
    CEpocAdding adding(*m_view);
    CAppProfile profile;
    for (const char* last : {"C:\\Documents\\", ""}) {
        profile.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Last Epoc Path"),
                                   QString::fromUtf8(last));
        adding.OnAddEpocFile();
    }
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList inits = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(inits.size(), 2);
    EXPECT_EQ(inits[0].section(QLatin1Char('\t'), 3, 3), QStringLiteral("C:\\Documents\\*.*"));
    EXPECT_EQ(inits[1].section(QLatin1Char('\t'), 3, 3), QStringLiteral("C:\\"));
    EXPECT_EQ(inits[0].section(QLatin1Char('\t'), 0, 0), QStringLiteral("1")) << "an existing file";
}

TEST_F(EpocAddingTest, MalformedDropIsRefusedWholeAndQueuesNothing) {
    CNamingEngine engine;
    CEpocAdding adding(*m_view);
    QByteArray stream = BuildEpocDropStream(QStringLiteral("C:\\"), {QStringLiteral("a"), QStringLiteral("b")});
    stream[0] = 3;  // one more item than the data holds
    std::unique_ptr<QMimeData> data(EpocDrop(stream));
    adding.OnDropItems(data.get(), &engine);
    EXPECT_EQ(engine.CountCalls(QStringLiteral("OpenRemoteFile")), 0);
    EXPECT_TRUE(adding.Queue().IsEmpty());
    ASSERT_EQ(CMessageBox::ShownTexts().size(), 1);
    EXPECT_EQ(
        CMessageBox::ShownTexts().first(),
        QStringLiteral("The dropped items cannot be added:\nThe dropped data announces 3 items but holds only 2."));

    // Four of the five formats is not a handheld drop.
    auto partial = std::make_unique<QMimeData>();
    partial->setData(EpocDropFormat::StreamName(), stream);
    EXPECT_FALSE(CEpocAdding::IsEpocDrop(partial.get()));
}
}  // namespace
