// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProfileRegistry.h"
#include "common/StoreCheck.h"
#include "platform/registry/Registry.h"
#include "synchronizer/SyncDecision.h"
#include "tests/support/FakeConverter.h"
#include "tests/synchronizer/SyncTestWorld.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <sys/time.h>

using namespace Qt::StringLiterals;

// The store holds whatever any process or imported .reg file put there. A value the checks
// refuse costs one binding (said in the log, errors set), never a file outside its place.

namespace {

// Every run here refuses a binding, so each ends with errors.
const QString kCompleteWithErrors = u"Synchronization completed with errors."_s;
const QString kUnreadable = u"Binding %1 cannot be read and is left out : %2"_s;
constexpr int64_t kOld = kNow - 300000;

void SetModified(const QString& path, int64_t seconds) {
    struct timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

QString EntryKeyPath(const QString& key) {
    return u"Software\\Veroz\\Users\\owner1\\DocSynchEntries\\"_s + key;
}

// Every file and folder below root with its size and time, for "nothing else changed".
QStringList Tree(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << u"%1 %2 %3"_s.arg(info.filePath()).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

// Runs the test in folder and goes back to where it was.
class CWorkingFolder {
public:
    explicit CWorkingFolder(const QString& folder) : m_saved(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~CWorkingFolder() { QDir::setCurrent(m_saved); }

private:
    QString m_saved;
};

struct HostileBindingRow {
    const char* name;
    std::function<void(CSyncTestWorld&, CDocSynchEntry&)> arrange;  // the binding as it is written
    std::function<void(CSyncTestWorld&)> afterWrite;                // damage the stored values
    QString reason;
};

// Binding 0 is sound; binding 1 is hostile and aims at "outside/victim.txt", beside the PC
// folder, which any copy, backup or conversion of it would replace. The run works from
// "outside" too, so a relative path would land on the victim.
class HostileBindingTest : public ::testing::TestWithParam<HostileBindingRow> {};

TEST_P(HostileBindingTest, IsLoggedAndLeavesEverythingOutsideAlone) {
    const HostileBindingRow& row = GetParam();
    CSyncTestWorld world;
    const QString outside = world.env.MakeDir(u"outside"_s);
    const QString victim = world.env.WriteFile(u"outside/victim.txt"_s, "victim");
    world.env.WriteFile(u"outside/relative/dir/victim.txt"_s, "victim");
    world.env.WriteFile(u"pc/subvictim.txt"_s, "victim");
    SetModified(victim, kOld);
    const CWorkingFolder working(outside);
    const QStringList outsideBefore = Tree(outside);

    world.AddBinding(u"0"_s, world.MakeBinding(u"good.txt"_s));
    world.WritePcFile(u"good.txt"_s, "good", kNow - 100);
    CDocSynchEntry hostile = world.MakeBinding(u"victim.txt"_s);
    hostile.KeepCopy = true;
    if (row.arrange)
        row.arrange(world, hostile);
    world.AddBinding(u"1"_s, hostile);
    if (row.afterWrite)
        row.afterWrite(world);
    world.WriteDeviceFile(u"victim.txt"_s, "from the handheld", kNow - 10);
    int values = 0;
    CRegistry::Default().CountValues(RegRoot::CurrentUser, EntryKeyPath(u"1"_s), values);

    auto run = world.Run();
    // Reasons show the PC folder as "%1".
    const QString refusal = kUnreadable.arg(u"1"_s, QString(row.reason).replace(u"%1"_s, world.pcDir));
    EXPECT_EQ(world.RunLines(),
              (QStringList{refusal, QString(), u"*** 1  files to synchronize."_s, QString(),
                           u"Copied "_s + world.pcDir + u"good.txt -> C:\\Documents\\good.txt"_s,
                           u"File copied to MC 218 : good.txt -> good.txt"_s, QString(), kCompleteWithErrors}));
    EXPECT_TRUE(world.ui.completionErrors);
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), 1);
    EXPECT_EQ(Tree(outside), outsideBefore) << "a file outside the PC folder changed";
    EXPECT_EQ(Read(world.pcDir + u"subvictim.txt"_s), QByteArray("victim"));
    EXPECT_FALSE(QFileInfo::exists(world.pcDir + u"user1/Dovetail/victim.txt"_s));
    // The binding is left as it was stored: nothing marked, nothing added.
    EXPECT_EQ(world.EntryNumber(u"1"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
    int valuesAfter = 0;
    CRegistry::Default().CountValues(RegRoot::CurrentUser, EntryKeyPath(u"1"_s), valuesAfter);
    EXPECT_EQ(valuesAfter, values);

    // The next run says the same and goes on as before.
    run.reset();
    world.ui = CScriptedSyncUi();
    run = world.Run();
    EXPECT_EQ(world.RunLines(),
              (QStringList{refusal, QString(), u"*** 0  files to synchronize."_s, QString(), kCompleteWithErrors}));
    EXPECT_EQ(Tree(outside), outsideBefore);
}

void SetRaw(const QString& value, uint32_t type, const QByteArray& data) {
    CRegistry::Default().SetValue(RegRoot::CurrentUser, EntryKeyPath(u"1"_s), value, type, data);
}

INSTANTIATE_TEST_SUITE_P(
    Store, HostileBindingTest,
    ::testing::Values(
        HostileBindingRow{"EmptyWinPath", [](CSyncTestWorld&, CDocSynchEntry& b) { b.WinPath.clear(); }, nullptr,
                          u"\"WinPath\" is empty"_s},
        HostileBindingRow{"CurrentFolderWinPath", [](CSyncTestWorld&, CDocSynchEntry& b) { b.WinPath = u"./"_s; },
                          nullptr, u"\"WinPath\" is not an absolute path: \"./\""_s},
        HostileBindingRow{"RelativeWinPath", [](CSyncTestWorld&, CDocSynchEntry& b) { b.WinPath = u"relative/dir/"_s; },
                          nullptr, u"\"WinPath\" is not an absolute path: \"relative/dir/\""_s},
        HostileBindingRow{"ParentInWinPath",
                          [](CSyncTestWorld& w, CDocSynchEntry& b) { b.WinPath = w.pcDir + u"../outside/"_s; }, nullptr,
                          u"\"WinPath\" holds a \".\" or \"..\" component: \"%1../outside/\""_s},
        HostileBindingRow{"LineBreakInWinPath",
                          [](CSyncTestWorld& w, CDocSynchEntry& b) { b.WinPath = w.pcDir + u"a\nb/"_s; }, nullptr,
                          u"\"WinPath\" holds a control character: \"%1a\\x0Ab/\""_s},
        HostileBindingRow{"WinPathWithoutSeparator",
                          [](CSyncTestWorld& w, CDocSynchEntry& b) { b.WinPath = w.pcDir + u"sub"_s; }, nullptr,
                          u"\"WinPath\" does not end with \"/\": \"%1sub\""_s},
        HostileBindingRow{"WinFileNameClimbsOut",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.WinFileName = u"../outside/victim.txt"_s; },
                          nullptr, u"\"WinFileName\" is not a single name: \"../outside/victim.txt\""_s},
        HostileBindingRow{"WinFileNameIsParent", [](CSyncTestWorld&, CDocSynchEntry& b) { b.WinFileName = u".."_s; },
                          nullptr, u"\"WinFileName\" is not a single name: \"..\""_s},
        HostileBindingRow{"EpocFileNameClimbsOut",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocFileName = u"..\\..\\victim.txt"_s; }, nullptr,
                          u"\"EpocFileName\" is not a single name: \"..\\..\\victim.txt\""_s},
        HostileBindingRow{"EpocFileNameEmpty", [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocFileName.clear(); },
                          nullptr, u"\"EpocFileName\" is empty"_s},
        // What the handheld's file system cannot hold, said once instead of a copy error per run.
        HostileBindingRow{"EpocFileNameFatInvalid",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocFileName = u"why?.txt"_s; }, nullptr,
                          u"\"EpocFileName\" holds a character the MC 218 cannot keep in a name (\" * : < > ? |): "
                          u"\"why?.txt\""_s},
        HostileBindingRow{"EpocFileNameTrailingDot",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocFileName = u"victim.txt."_s; }, nullptr,
                          u"\"EpocFileName\" has a name ending with a dot or a blank, which the MC 218 cannot keep: "
                          u"\"victim.txt.\""_s},
        HostileBindingRow{"EpocPathLeavesTheDrive",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocPath = u"C:\\Documents\\..\\..\\"_s; },
                          nullptr,
                          u"\"EpocPath\" holds an empty, \".\" or \"..\" folder, so it may lead off the drive: "
                          u"\"C:\\Documents\\..\\..\\\""_s},
        HostileBindingRow{"EpocPathWithoutBackslash",
                          [](CSyncTestWorld&, CDocSynchEntry& b) { b.EpocPath = u"C:\\Documents"_s; }, nullptr,
                          u"\"EpocPath\" does not end with \"\\\": \"C:\\Documents\""_s},
        HostileBindingRow{"MissingValue", nullptr,
                          [](CSyncTestWorld&) {
                              CRegistry::Default().DeleteValue(RegRoot::CurrentUser, EntryKeyPath(u"1"_s),
                                                               u"KeepCopy"_s);
                          },
                          u"\"KeepCopy\" is missing or unreadable"_s},
        HostileBindingRow{"OversizedNumber", nullptr,
                          [](CSyncTestWorld&) { SetRaw(u"CopyRule"_s, kRegBinary, QByteArray(8, '\x01')); },
                          u"\"CopyRule\" is missing or unreadable"_s},
        HostileBindingRow{"OversizedName", nullptr,
                          [](CSyncTestWorld&) { SetRaw(u"WinFileName"_s, kRegSz, QByteArray(300, 'x') + '\0'); },
                          u"\"WinFileName\" is missing or unreadable"_s}),
    [](const ::testing::TestParamInfo<HostileBindingRow>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST(HostileStore, DisabledBrokenBindingStaysUnmentionedAndAskedForItIsABadArgument) {
    {
        CSyncTestWorld world;
        CDocSynchEntry broken = world.MakeBinding(u"a.txt"_s);
        broken.WinPath = u"relative/"_s;
        broken.IsActive = false;
        world.AddBinding(u"0"_s, broken);
        auto run = world.Run();
        EXPECT_EQ(world.RunLines(), QStringList{u"Nothing to do."_s});
        EXPECT_FALSE(world.ui.completionShown);
    }
    CSyncTestWorld world;
    CDocSynchEntry broken = world.MakeBinding(u"a.txt"_s);
    broken.WinPath = u"relative/"_s;
    world.AddBinding(u"4"_s, broken);
    CSyncRunSettings settings = world.Settings();
    settings.singleBinding = true;
    settings.keyName = u"4"_s;
    auto run = world.Run(settings);
    EXPECT_EQ(world.RunLines(),
              (QStringList{kUnreadable.arg(u"4"_s, u"\"WinPath\" is not an absolute path: \"relative/\""_s), QString(),
                           u"Bad Argument"_s}));
    EXPECT_EQ(world.ui.Matching(u"message:"_s), QStringList{u"message:Bad Argument"_s});
    EXPECT_EQ(world.engine.CountCalls(u"OpenRemoteFile"_s), 0);
    EXPECT_TRUE(run->ErrorsOccurred());
}

// Keys that are no entry numbers are no bindings: their digits would address another binding
// ("-1" and "abc" read as 0). They are left alone, said in the log; a run that finds nothing but
// refusals ends as a run with errors, with its report, not silently as "Nothing to do.".
TEST(HostileStore, KeysThatAreNoEntryNumbersAreLeftAloneAndSaid) {
    // (The world writes "012" as binding 12, so a leading zero is tried by the manager's test.)
    const QStringList odd = {u"-1"_s, u"99999"_s, u"abc"_s, u"12abc"_s};
    for (const bool withBinding : {true, false}) {
        SCOPED_TRACE(withBinding ? "beside a binding" : "alone");
        CSyncTestWorld world;
        if (withBinding) {
            world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
            world.WritePcFile(u"a.txt"_s, "pc", kNow - 100);
        }
        for (const QString& key : odd)
            world.AddBinding(key, world.MakeBinding(u"odd.txt"_s));
        world.WritePcFile(u"odd.txt"_s, "odd", kNow - 100);
        auto run = world.Run();

        const QStringList lines = world.RunLines();
        for (const QString& key : odd)
            EXPECT_TRUE(lines.contains(
                u"Key \"%1\" under \"DocSynchEntries\" is not a binding number and is left alone"_s.arg(key)))
                << lines.join(u'\n').toStdString();
        EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), withBinding ? 1 : 0);
        EXPECT_FALSE(world.engine.files.contains(u"C:\\Documents\\odd.txt"_s));
        EXPECT_EQ(world.EntryNumber(u"abc"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow - 200000));
        EXPECT_TRUE(world.ui.completionShown);
        EXPECT_TRUE(world.ui.completionErrors);
        EXPECT_EQ(lines.last(), kCompleteWithErrors);
    }
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    CSyncRunSettings settings = world.Settings();
    settings.singleBinding = true;
    settings.keyName = u"00"_s;
    auto run = world.Run(settings);
    EXPECT_EQ(world.ui.Matching(u"message:"_s), QStringList{u"message:Bad Argument"_s});
    EXPECT_EQ(world.engine.CountCalls(u"OpenRemoteFile"_s), 0);
}

// Folders named Dovetail anywhere below root: where a backup folder would have been made.
QStringList DovetailFolders(const QString& root) {
    QStringList found;
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() == u"Dovetail"_s)
            found << path;
    }
    return found;
}

bool AnyUserHasALogValue() {
    for (int i = 0;; ++i) {
        QString user;
        if (RegEnumSubKey(HKEY_CURRENT_USER, QString::fromLatin1(kUsersKey), i, user) != RegStatus::Ok)
            return false;
        if (RegKeyExists(HKEY_CURRENT_USER, QString::fromLatin1(kUsersKey) + u'\\' + user + u"\\Dovetail"_s))
            return true;
    }
}

struct RefusedSetupRow {
    const char* name;
    QString user;    // the current user; its PC folder is set to the world's
    QString folder;  // the PC folder stored for it, "%1" standing for the world's
    QString reason;
    bool folderRefused;  // else the user name is
};

class RefusedSetupTest : public ::testing::TestWithParam<RefusedSetupRow> {};

// A user name or PC folder the checks refuse names neither the log nor the backup folder:
// the user is told why and nothing is written; once mended, the next run goes as usual.
TEST_P(RefusedSetupTest, EndsSayingWhyWithoutWritingAnywhere) {
    const RefusedSetupRow& row = GetParam();
    CSyncTestWorld world;
    CRegistry& reg = CRegistry::Default();
    reg.SetString(RegRoot::CurrentUser, QString::fromLatin1(kCurrentUserKey), QString(), row.user);
    const QString folder = QString(row.folder).replace(u"%1"_s, world.pcDir);
    reg.SetString(RegRoot::CurrentUser, QString::fromLatin1(kUsersKey) + u'\\' + row.user + u"\\PCDirectory"_s,
                  QString(), folder);
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    world.WritePcFile(u"a.txt"_s, "a", kNow - 100);
    world.env.MakeDir(u"pc/user1"_s);  // the run then makes the backup folder at once
    const CWorkingFolder working(world.env.MakeDir(u"outside"_s));

    auto run = world.Run();
    const QString reason = QString(row.reason).replace(u"%1"_s, world.pcDir);
    if (row.folderRefused) {
        EXPECT_EQ(world.ui.Matching(u"stop-message:"_s),
                  QStringList{u"stop-message:The 'Current Folder' of the current user cannot be used:\n"_s + reason +
                              u"\n\nPlease select 'My Epoc Properties'\nand confirm the 'Current Folder'\non the "
                              u"General page first."_s});
        // The reason is the run's last line.
        EXPECT_EQ(world.RunLines(), (QStringList{u"The current user's PC folder cannot be used : "_s + reason}));
    } else {
        EXPECT_EQ(world.ui.Matching(u"stop-message:"_s),
                  QStringList{u"stop-message:The name of the current Ericsson EPOC Connect user cannot name the log "
                              u"and the backup folder:\n"_s +
                              reason});
        EXPECT_TRUE(QDir(world.programDir).isEmpty()) << "a log was written";
        EXPECT_FALSE(AnyUserHasALogValue());
    }
    EXPECT_TRUE(world.ui.closed);
    EXPECT_EQ(DovetailFolders(world.env.Root()), QStringList());
    EXPECT_EQ(world.engine.CountCalls(u"Connect"_s), 0);
    EXPECT_TRUE(QDir(world.env.Root() + u"/outside"_s).isEmpty());

    run.reset();
    reg.SetString(RegRoot::CurrentUser, QString::fromLatin1(kCurrentUserKey), QString(), QLatin1String(kCurrentUser));
    reg.SetString(RegRoot::CurrentUser, QString::fromLatin1(kUsersKey) + u"\\user1\\PCDirectory"_s, QString(),
                  world.pcDir);
    world.ui = CScriptedSyncUi();
    run = world.Run();
    EXPECT_EQ(world.RunLines().value(0), u"*** 1  files to synchronize."_s);
    // The backup folder waits for the first backup that needs it.
    EXPECT_EQ(DovetailFolders(world.env.Root()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Store, RefusedSetupTest,
    ::testing::Values(
        RefusedSetupRow{"UserWithSlash", u"a/b"_s, u"%1"_s, u"\"CurrentUser\" is not a single name: \"a/b\""_s, false},
        RefusedSetupRow{"UserClimbingOut", u"../../x"_s, u"%1"_s,
                        u"\"CurrentUser\" is not a single name: \"../../x\""_s, false},
        RefusedSetupRow{"UserIsParent", u".."_s, u"%1"_s, u"\"CurrentUser\" is not a single name: \"..\""_s, false},
        RefusedSetupRow{"UserWithBackslash", u"user1\\x"_s, u"%1"_s,
                        u"\"CurrentUser\" is not a single name: \"user1\\x\""_s, false},
        RefusedSetupRow{"UserWithLineBreak", u"user1\n"_s, u"%1"_s,
                        u"\"CurrentUser\" holds a control character: \"user1\\x0A\""_s, false},
        RefusedSetupRow{"EmptyFolder", u"user1"_s, QString(), u"\"PCDirectory\" is empty"_s, true},
        RefusedSetupRow{"RelativeFolder", u"user1"_s, u"relative/dir"_s,
                        u"\"PCDirectory\" is not an absolute path: \"relative/dir\""_s, true},
        RefusedSetupRow{"FolderClimbingOut", u"user1"_s, u"%1../outside"_s,
                        u"\"PCDirectory\" holds a \".\" or \"..\" component: \"%1../outside\""_s, true},
        RefusedSetupRow{"FolderWithTab", u"user1"_s, u"%1a\tb"_s,
                        u"\"PCDirectory\" holds a control character: \"%1a\\x09b\""_s, true}),
    [](const ::testing::TestParamInfo<RefusedSetupRow>& info) { return std::string(info.param.name); });

// A conversion works in the control file's folder. A relative PC path converted into there
// replaced the suite's control file, and a converter planted in it then ran a command.
TEST(HostileStore, RelativePcPathCannotReplaceTheControlFile) {
    for (const QString& winPath : {QString(), u"./"_s, u"../suite/"_s, u"%1../suite/"_s}) {
        SCOPED_TRACE(winPath.toStdString());
        CSyncTestWorld world;
        auto state = std::make_shared<CFakeConverterState>();
        state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
        world.converters = MakeFakeConverters(state);
        const QString control = world.env.WriteFile(u"suite/Convert.ini"_s, "[the suite's own]\n");
        RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), u"Control File"_s, control);

        CDocSynchEntry hostile = world.MakeBinding(u"Convert.ini"_s);
        hostile.WinPath = QString(winPath).replace(u"%1"_s, world.pcDir);
        hostile.WinFileType = u"Word"_s;
        hostile.EpocFileName = u"planted.txt"_s;
        world.AddBinding(u"0"_s, hostile);
        world.WriteDeviceFile(u"planted.txt"_s, "[Planted]\nCommand=touch /tmp/owned\n", kNow - 10);
        // A sound converting binding beside it shows the converters are in play.
        CDocSynchEntry sound = world.MakeBinding(u"b.doc"_s);
        sound.WinFileType = u"Word"_s;
        sound.EpocFileName = u"b.txt"_s;
        world.AddBinding(u"1"_s, sound);
        world.WriteDeviceFile(u"b.txt"_s, "b", kNow - 10);

        auto run = world.Run();
        EXPECT_EQ(Read(control), QByteArray("[the suite's own]\n"));
        // Converted beside the conversion file, then put in place.
        EXPECT_EQ(state->conversions,
                  QStringList{run->TempFile() + u" -> "_s + QFileInfo(run->TempFile()).path() + u"/converted/b.doc"_s});
        EXPECT_EQ(world.ReadPcFile(u"b.doc"_s).isEmpty(), false);
        EXPECT_EQ(state->loads, QStringList{control + u'|' + run->TempFile()});
        EXPECT_TRUE(world.RunLines().value(0).startsWith(u"Binding 0 cannot be read and is left out : \"WinPath\""_s))
            << world.RunLines().value(0).toStdString();
        EXPECT_TRUE(world.ui.completionErrors);
    }
}

// A relative control file would be read in whatever folder the run works in.
TEST(HostileStore, RelativeControlFileIsNeverGivenToTheConverters) {
    CSyncTestWorld world;
    auto state = std::make_shared<CFakeConverterState>();
    state->items = {{u"Text\n{2}"_s, u"Word\n{1}"_s}};
    world.converters = MakeFakeConverters(state);
    RegWriteString(HKEY_LOCAL_MACHINE, QString::fromLatin1(kPsiWinKey), u"Control File"_s, u"Convert.ini"_s);
    CDocSynchEntry sound = world.MakeBinding(u"b.doc"_s);
    sound.WinFileType = u"Word"_s;
    sound.EpocFileName = u"b.txt"_s;
    world.AddBinding(u"0"_s, sound);
    world.WriteDeviceFile(u"b.txt"_s, "b", kNow - 10);

    auto run = world.Run();
    EXPECT_EQ(world.RunLines().mid(0, 2),
              (QStringList{u"The converters' control file cannot be used : \"Control File\" is not an absolute path: "
                           u"\"Convert.ini\""_s,
                           QString()}));
    EXPECT_EQ(state->loads, QStringList{u'|' + run->TempFile()});
}

struct FutureStampRow {
    const char* name;
    uint32_t stamp;
    bool wasUpdated;
    int64_t pcTime;   // the handheld's file is from kNow - 50
    bool future;      // logged, and both files count as changed
    int recentAsked;  // "less than 24 hours ago" prompts
    int copies;
    int bothAsked = 0;  // the both-changed prompt stays asked for
};

class FutureStampTest : public ::testing::TestWithParam<FutureStampRow> {};

TEST_P(FutureStampTest, BeyondTheToleranceCountsEveryChange) {
    const FutureStampRow& row = GetParam();
    CSyncTestWorld world;
    CDocSynchEntry b = world.MakeBinding(u"a.txt"_s);
    b.LastSyncTimeStamp = row.stamp;
    b.WasUpdated = row.wasUpdated;
    b.Prompt24Hrs = true;
    b.PromptBothChanged = true;
    world.AddBinding(u"0"_s, b);
    const QString pc = world.WritePcFile(u"a.txt"_s, "pc", row.pcTime);
    world.WriteDeviceFile(u"a.txt"_s, "epoc", kNow - 50);

    auto run = world.Run();
    const QString line =
        u"Binding 0 was last synchronized in the future (%1); both its files count as changed : "
        u"%2 <-> C:\\Documents\\a.txt"_s.arg(FormatDateTimeText(row.stamp), pc);
    EXPECT_EQ(world.RunLines().contains(line), row.future) << world.RunLines().join(u'|').toStdString();
    EXPECT_EQ(world.ui.Matching(u"recent:"_s).size(), row.recentAsked);
    EXPECT_EQ(world.ui.Matching(u"both-changed:"_s).size(), row.bothAsked);
    EXPECT_EQ(world.engine.CountCalls(u"CopyFile"_s), row.copies);
    if (row.copies > 0)
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), static_cast<uint32_t>(kNow + 3));
    else
        EXPECT_EQ(world.EntryNumber(u"0"_s, u"LastSyncTimeStamp"_s), row.stamp);

    // A stamp the run wrote itself is never taken for one in the future.
    run.reset();
    world.ui = CScriptedSyncUi();
    run = world.Run();
    EXPECT_EQ(world.RunLines().filter(u"in the future"_s).isEmpty(), !row.future || row.copies > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Store, FutureStampTest,
    ::testing::Values(
        FutureStampRow{"JustAfterARunStillPrompts", kNow + 3, true, kNow + 30, false, 1, 0},
        FutureStampRow{"AtTheToleranceStillPrompts", kNow + kFutureStampToleranceSecs, true, kNow + 90, false, 1, 0},
        FutureStampRow{"BeyondTheTolerance", kNow + kFutureStampToleranceSecs + 1, true, kNow + 90, true, 0, 1, 1},
        FutureStampRow{"FarAheadWouldSilenceForGood", 0xF0000000u, true, kNow - 100, true, 0, 1, 1},
        FutureStampRow{"FarAheadNeverSynchronized", 0xF0000000u, false, kNow - 100, true, 0, 1}),
    [](const ::testing::TestParamInfo<FutureStampRow>& info) { return std::string(info.param.name); });

// Whatever the names hold, the log has exactly the lines the run wrote.
TEST(HostileStore, NamesNeverMakeALineOfTheirOwn) {
    CSyncTestWorld world;
    CDocSynchEntry shown = world.MakeBinding(u"a.txt"_s);
    shown.EpocPath = u"C:\\Docu\r\nments\\"_s;  // refused, and the refusal shows it
    world.AddBinding(u"0"_s, shown);
    world.WritePcFile(u"a.txt"_s, "a", kNow - 100);
    world.AddBinding(u"1"_s, world.MakeBinding(u"b\nFile copied to PC  : x -> y"_s));

    auto run = world.Run();
    const QStringList expected = {
        kUnreadable.arg(u"0"_s, u"\"EpocPath\" holds a control character: \"C:\\Docu\\x0D\\x0Aments\\\""_s),
        QString(),
        kUnreadable.arg(u"1"_s, u"\"WinFileName\" holds a control character: \"b\\x0AFile copied to PC  : x -> y\""_s),
        QString(),
        u"Nothing to do."_s,
        QString(),
        kCompleteWithErrors};
    EXPECT_EQ(world.RunLines(), expected);
    const QByteArray bytes = Read(world.programDir + u"Dovetail Synchronization{user1}.srp"_s);
    EXPECT_EQ(bytes.count("\r\n"), 3 + expected.size());
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));
}

// The first profile that knows the handheld owns it; one whose name cannot be used ends the
// run with the reason, and no later profile is taken in its place.
TEST(HostileStore, OwnerThatCannotBeUsedEndsTheRunSayingWhy) {
    CSyncTestWorld world;
    RegCreateKey(HKEY_CURRENT_USER, QString::fromLatin1(kUsersKey) + u"\\a/b\\Machines\\ABCD-1234"_s);
    world.AddBinding(u"0"_s, world.MakeBinding(u"a.txt"_s));
    auto run = world.Run();
    EXPECT_EQ(world.RunLines(),
              (QStringList{u"The MC 218's owner cannot be used : The handheld owner's name is not a single name: "
                           u"\"a/b\""_s,
                           QString(), u"Enable to retrieve the machine owner"_s}));
    EXPECT_EQ(world.engine.CountCalls(u"BeginSession"_s), 0);
    EXPECT_TRUE(run->Owner().isEmpty());
}

// Out-of-range numbers are not refused: each keeps the meaning the rules give it.
TEST(HostileStore, NumbersOutOfRangeKeepTheirMeaning) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"only.txt"_s, 7));  // only on the handheld: copied to the PC
    world.WriteDeviceFile(u"only.txt"_s, "from the handheld", kNow - 10);
    world.AddBinding(u"1"_s, world.MakeBinding(u"both.txt"_s, -1));  // on both sides: left alone
    world.WritePcFile(u"both.txt"_s, "pc", kNow - 100);
    world.WriteDeviceFile(u"both.txt"_s, "epoc", kNow - 10);
    world.AddBinding(u"2"_s, world.MakeBinding(u"flags.txt"_s));
    world.WritePcFile(u"flags.txt"_s, "old", kNow - 5000);
    world.WriteDeviceFile(u"flags.txt"_s, "new", kNow - 10);
    for (const auto& [value, number] : {std::pair{u"KeepCopy"_s, 5u}, {u"LinkStatus"_s, 99u}, {u"FileSize"_s, ~0u}})
        WriteEntryNumber(QLatin1String(kOwner), QLatin1String(kDocSynchArea), u"2"_s, value, number);

    auto run = world.Run();
    EXPECT_TRUE(world.RunLines().filter(u"cannot be read"_s).isEmpty());
    EXPECT_EQ(world.ReadPcFile(u"only.txt"_s), QByteArray("from the handheld"));
    EXPECT_EQ(world.ReadPcFile(u"both.txt"_s), QByteArray("pc"));
    EXPECT_EQ(world.engine.files[u"C:\\Documents\\both.txt"_s].content, QByteArray("epoc"));
    EXPECT_EQ(Read(world.pcDir + u"user1/Dovetail/flags.txt"_s), QByteArray("old"));
    EXPECT_FALSE(world.ui.completionErrors);
}

}  // namespace
