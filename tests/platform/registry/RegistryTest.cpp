// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/Registry.h"

#include "tests/support/TempEnv.h"

#include <QFile>

#include <sqlite3.h>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <stdexcept>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr RegRoot HKCU = RegRoot::CurrentUser;

QStringList SubKeys(CRegistry& reg, RegRoot root, const QString& key) {
    QStringList names;
    int count = 0;
    if (reg.CountSubKeys(root, key, count) != RegStatus::Ok)
        return names;
    for (int i = 0; i < count; ++i) {
        QString name;
        EXPECT_EQ(reg.EnumSubKey(root, key, i, name), RegStatus::Ok);
        names << name;
    }
    return names;
}

QStringList ValueNames(CRegistry& reg, RegRoot root, const QString& key) {
    QStringList names;
    for (int i = 0;; ++i) {
        RegValue v;
        if (reg.EnumValue(root, key, i, v) != RegStatus::Ok)
            break;
        names << v.name;
    }
    return names;
}

}  // namespace

TEST(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetString(HKCU, u"SOFTWARE\\VEROZ\\PsiWin32"_s, u"Installation Directory"_s, u"/opt/x/"_s));
    QString text;
    EXPECT_TRUE(reg.GetString(HKCU, u"Software\\Veroz\\psiwin32"_s, u"installation directory"_s, text));
    EXPECT_EQ(text, u"/opt/x/"_s);
    ASSERT_TRUE(reg.SetString(HKCU, u"software\\veroz\\PSIWIN32"_s, u"INSTALLATION DIRECTORY"_s, u"/y/"_s));
    EXPECT_EQ(SubKeys(reg, HKCU, u"Software"_s), QStringList{u"VEROZ"_s});
    EXPECT_EQ(ValueNames(reg, HKCU, u"Software\\Veroz\\PsiWin32"_s), QStringList{u"Installation Directory"_s});
    // Roots are separate trees.
    EXPECT_FALSE(reg.KeyExists(RegRoot::LocalMachine, u"Software\\Veroz"_s));
}

// Callers that compare names themselves (the manager's listed user against a handheld's
// owner) must agree with the store on what one name is.
TEST(RegistryTest, SameNameComparesAsTheStoreDoes) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } rows[] = {
        {"Alice", "aLICE", true},
        {"Alice", "Alice2", false},
        {"\xC3\x84ra", "\xC3\xA4ra", false},  // only ASCII letters fold
        {"", "", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SameRegistryName(QString::fromUtf8(row.a), QString::fromUtf8(row.b)), row.same) << row.a;
}

TEST(RegistryTest, MissingKeyAndMissingValueAreDistinguished) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    RegValue v;
    EXPECT_EQ(reg.QueryValue(HKCU, u"A\\B"_s, u"x"_s, v), RegStatus::KeyNotFound);
    EXPECT_FALSE(QFileInfo::exists(env.RegistryPath())) << "a read must not create the store";
    ASSERT_EQ(reg.CreateKey(HKCU, u"A\\B"_s), RegStatus::Ok);
    EXPECT_EQ(reg.QueryValue(HKCU, u"A\\B"_s, u"x"_s, v), RegStatus::ValueNotFound);
    EXPECT_EQ(reg.QueryValue(HKCU, u"A\\B"_s, QString(), v), RegStatus::ValueNotFound);
    ASSERT_TRUE(reg.SetNumber(HKCU, u"A\\B"_s, QString(), 7));
    ASSERT_EQ(reg.QueryValue(HKCU, u"A\\B"_s, QString(), v), RegStatus::Ok);
    EXPECT_EQ(v.type, uint32_t(kRegDword));
    EXPECT_EQ(v.data, QByteArray("\x07\x00\x00\x00", 4));
    EXPECT_EQ(reg.DeleteValue(HKCU, u"A\\B"_s, QString()), RegStatus::Ok);
    EXPECT_EQ(reg.DeleteValue(HKCU, u"A\\B"_s, QString()), RegStatus::ValueNotFound);
}

TEST(RegistryTest, StringsKeepTheirNulAndBytesCountUtf8) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetString(HKCU, u"K"_s, u"v"_s, u"é"_s));
    RegValue v;
    ASSERT_EQ(reg.QueryValue(HKCU, u"K"_s, u"v"_s, v), RegStatus::Ok);
    EXPECT_EQ(v.type, uint32_t(kRegSz));
    EXPECT_EQ(v.data, QByteArray("\xc3\xa9\0", 3));
}

TEST(RegistryTest, EnumerationOrders) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    for (const QString& name : {u"b"_s, u"C"_s, u"a"_s, u"10"_s, u"9"_s, u"B2"_s})
        ASSERT_EQ(reg.CreateKey(HKCU, u"P\\"_s + name), RegStatus::Ok);
    EXPECT_EQ(SubKeys(reg, HKCU, u"P"_s), (QStringList{u"10"_s, u"9"_s, u"a"_s, u"b"_s, u"B2"_s, u"C"_s}));
    QString name;
    EXPECT_EQ(reg.EnumSubKey(HKCU, u"P"_s, 6, name), RegStatus::NoMoreItems);
    EXPECT_EQ(reg.EnumSubKey(HKCU, u"P"_s, -1, name), RegStatus::NoMoreItems);
    EXPECT_EQ(reg.EnumSubKey(HKCU, u"Nope"_s, 0, name), RegStatus::KeyNotFound);

    for (const QString& value : {u"z"_s, u"a"_s, u"m"_s})
        ASSERT_TRUE(reg.SetNumber(HKCU, u"P"_s, value, 1));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"P"_s, u"A"_s, 2));  // rewriting keeps the place
    EXPECT_EQ(ValueNames(reg, HKCU, u"P"_s), (QStringList{u"z"_s, u"a"_s, u"m"_s}));
}

TEST(RegistryTest, AllValuesOfAKeyInOneRead) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    std::vector<RegValue> values(1);
    EXPECT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::KeyNotFound);
    EXPECT_TRUE(values.empty());
    EXPECT_FALSE(QFileInfo::exists(env.RegistryPath())) << "a read must not create the store";

    ASSERT_EQ(reg.CreateKey(HKCU, u"P\\Child"_s), RegStatus::Ok);
    EXPECT_EQ(reg.QueryValues(HKCU, u"p"_s, values), RegStatus::Ok) << "a key without values exists";
    EXPECT_TRUE(values.empty());
    for (const QString& value : {u"z"_s, u"a"_s, u"m"_s})
        ASSERT_TRUE(reg.SetNumber(HKCU, u"P"_s, value, 1));
    ASSERT_TRUE(reg.SetString(HKCU, u"P"_s, u"A"_s, u"é"_s));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"P\\Child"_s, u"c"_s, 3));
    ASSERT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::Ok);
    ASSERT_EQ(values.size(), 3u) << "the child's value is not the key's";
    EXPECT_EQ(values[0].name, u"z"_s);
    EXPECT_EQ(values[1].name, u"a"_s);
    EXPECT_EQ(values[1].type, uint32_t(kRegSz));
    EXPECT_EQ(values[1].data, QByteArray("\xc3\xa9\0", 3));
    EXPECT_EQ(values[2].name, u"m"_s);
    EXPECT_EQ(values[2].data, QByteArray("\x01\x00\x00\x00", 4));

    EXPECT_EQ(reg.QueryValues(HKCU, u"P\\\\Child"_s, values), RegStatus::InvalidName);
    EXPECT_EQ(reg.QueryValues(HKCU, u"P\\Nope"_s, values), RegStatus::KeyNotFound);
    EXPECT_TRUE(values.empty());

    // Answers are fresh: another connection's commit and this one's own open transaction show.
    CRegistry writer(env.RegistryPath());
    RegValue single;
    ASSERT_EQ(reg.QueryValue(HKCU, u"P"_s, u"z"_s, single), RegStatus::Ok);
    ASSERT_TRUE(writer.SetNumber(HKCU, u"P"_s, u"z"_s, 2));
    ASSERT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::Ok);
    EXPECT_EQ(values[0].data, QByteArray("\x02\x00\x00\x00", 4));
    EXPECT_EQ(reg.Transaction([&] {
        reg.SetNumber(HKCU, u"P"_s, u"new"_s, 4);
        EXPECT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::Ok);
        EXPECT_EQ(values.size(), 4u);
        return false;
    }),
              RegStatus::IoError);
    ASSERT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::Ok);
    EXPECT_EQ(values.size(), 3u);

    // Several values in one write: all land, an existing one in place, or none at all.
    const QByteArray five("\x05\x00\x00\x00", 4);
    EXPECT_EQ(reg.SetValues(HKCU, u"P"_s, {{u"Z"_s, kRegDword, five}, {u"x"_s, kRegSz, QByteArray("y\0", 2)}}),
              RegStatus::Ok);
    EXPECT_EQ(reg.SetValues(HKCU, u"P"_s, {{u"a"_s, kRegDword, five}, {QString(256, u'n'), kRegDword, five}}),
              RegStatus::InvalidName);
    ASSERT_EQ(reg.QueryValues(HKCU, u"P"_s, values), RegStatus::Ok);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].name, u"z"_s);
    EXPECT_EQ(values[0].data, five);
    EXPECT_EQ(values[1].type, uint32_t(kRegSz)) << "a batch with a bad name must write nothing";
    EXPECT_EQ(values[3].name, u"x"_s);

    // Every sub-key with its values in one read, in enumeration order, values in theirs.
    ASSERT_TRUE(reg.SetNumber(HKCU, u"P\\Child"_s, u"b"_s, 4));
    ASSERT_EQ(reg.CreateKey(HKCU, u"P\\aEmpty"_s), RegStatus::Ok);
    const auto visitAll = [&reg] {
        QStringList seen;
        EXPECT_EQ(reg.VisitSubKeyValues(HKCU, u"p"_s,
                                        [&](const QString& name, std::vector<RegValue>& read) {
                                            seen << name;
                                            for (const RegValue& value : read)
                                                seen << value.name;
                                        }),
                  RegStatus::Ok);
        return seen;
    };
    EXPECT_EQ(visitAll(), (QStringList{u"aEmpty"_s, u"Child"_s, u"c"_s, u"b"_s}));
    // Sub-keys share their value names' text: names that differ in case, and other orders, stay each one's own.
    for (const auto& [key, name] : {std::pair{u"P\\Child2"_s, u"B"_s},
                                    {u"P\\Child2"_s, u"\u00fc"_s},
                                    {u"P\\Child3"_s, u"\u00fc"_s},
                                    {u"P\\Child3"_s, u"B"_s}})
        ASSERT_TRUE(reg.SetNumber(HKCU, key, name, 1));
    EXPECT_EQ(visitAll(), (QStringList{u"aEmpty"_s, u"Child"_s, u"c"_s, u"b"_s, u"Child2"_s, u"B"_s, u"\u00fc"_s,
                                       u"Child3"_s, u"\u00fc"_s, u"B"_s}));
    EXPECT_EQ(reg.VisitSubKeyValues(HKCU, u"P\\Nope"_s, [](const QString&, std::vector<RegValue>&) {}),
              RegStatus::KeyNotFound);
}

TEST(RegistryTest, EnumerationFollowsWritesOfOtherConnections) {
    CTempEnv env;
    CRegistry reader(env.RegistryPath());
    CRegistry writer(env.RegistryPath());
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(writer.CreateKey(HKCU, u"E\\%1"_s.arg(i)), RegStatus::Ok);
    QString name;
    ASSERT_EQ(reader.EnumSubKey(HKCU, u"E"_s, 0, name), RegStatus::Ok);
    ASSERT_EQ(reader.EnumSubKey(HKCU, u"E"_s, 1, name), RegStatus::Ok);
    EXPECT_EQ(name, u"1"_s);
    ASSERT_EQ(writer.DeleteKey(HKCU, u"E\\1"_s), RegStatus::Ok);
    ASSERT_EQ(writer.CreateKey(HKCU, u"E\\0a"_s), RegStatus::Ok);
    ASSERT_EQ(reader.EnumSubKey(HKCU, u"E"_s, 2, name), RegStatus::Ok);
    EXPECT_EQ(name, u"2"_s);
    EXPECT_EQ(SubKeys(reader, HKCU, u"E"_s), (QStringList{u"0"_s, u"0a"_s, u"2"_s, u"3"_s, u"4"_s}));
    // The reader's own write must show too.
    ASSERT_EQ(reader.DeleteKey(HKCU, u"E\\0"_s), RegStatus::Ok);
    ASSERT_EQ(reader.EnumSubKey(HKCU, u"E"_s, 0, name), RegStatus::Ok);
    EXPECT_EQ(name, u"0a"_s);
}

TEST(RegistryTest, DeletingKeys) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetNumber(HKCU, u"T\\Ab\\Child"_s, u"v"_s, 1));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"T\\Ab2"_s, u"v"_s, 1));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"T\\Ab"_s, u"v"_s, 1));
    EXPECT_EQ(reg.DeleteKey(HKCU, u"T\\Ab"_s), RegStatus::HasSubKeys);
    EXPECT_TRUE(reg.KeyExists(HKCU, u"T\\Ab\\Child"_s));
    EXPECT_EQ(reg.DeleteTree(HKCU, u"T\\AB"_s), RegStatus::Ok);
    EXPECT_FALSE(reg.KeyExists(HKCU, u"T\\Ab"_s));
    EXPECT_FALSE(reg.KeyExists(HKCU, u"T\\Ab\\Child"_s));
    EXPECT_TRUE(reg.KeyExists(HKCU, u"T\\Ab2"_s)) << "a sibling sharing the prefix survives";
    uint32_t n = 0;
    EXPECT_TRUE(reg.GetNumber(HKCU, u"T\\Ab2"_s, u"v"_s, n));
    EXPECT_EQ(reg.DeleteKey(HKCU, u"T\\Ab2"_s), RegStatus::Ok);
    EXPECT_EQ(reg.DeleteKey(HKCU, u"T\\Ab2"_s), RegStatus::KeyNotFound);
    EXPECT_EQ(reg.DeleteKey(HKCU, QString()), RegStatus::InvalidName) << "a root cannot go";
}

TEST(RegistryTest, BadNamesAreRefused) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    const QString longName(256, u'x');
    const QString longUtf8 = QString(128, QChar(0xe9));  // 256 bytes in UTF-8
    struct Row {
        const char* what;
        QString key;
        QString value;
    } rows[] = {
        {"empty middle component", u"A\\\\B"_s, u"v"_s},
        {"trailing backslash", u"A\\"_s, u"v"_s},
        {"leading backslash", u"\\A"_s, u"v"_s},
        {"component over 255 bytes", u"A\\"_s + longName, u"v"_s},
        {"component over 255 UTF-8 bytes", longUtf8, u"v"_s},
        {"NUL in key", u"A"_s + QChar(0) + u"B"_s, u"v"_s},
        {"NUL in value name", u"A"_s, u"v"_s + QChar(0)},
        {"value name over 255 bytes", u"A"_s, longName},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(reg.SetValue(HKCU, row.key, row.value, kRegSz, QByteArray("x\0", 2)), RegStatus::InvalidName)
            << row.what;
    }
    EXPECT_EQ(reg.CreateKey(HKCU, QString(255, u'k')), RegStatus::Ok) << "255 bytes is still fine";
}

TEST(RegistryTest, NewStoreIsPrivate) {
    CTempEnv env;
    const QString path = env.Root() + u"/new/dir/registry.db"_s;
    CRegistry reg(path);
    ASSERT_TRUE(reg.SetNumber(HKCU, u"K"_s, u"v"_s, 1));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(env.Root() + u"/new/dir"_s).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(reg.CheckIntegrity());
}

TEST(RegistryTest, UnusableFilesFailWithoutBeingTouched) {
    CTempEnv env;
    const QByteArray garbage("this is not a database, just some text\n");
    struct Row {
        const char* what;
        QByteArray content;
    } rows[] = {
        {"text", garbage},
        {"sqlite header then junk", QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\x5a')},
        {"empty", QByteArray()},
    };
    for (const Row& row : rows) {
        const QString path = env.WriteFile(u"bad-%1.db"_s.arg(qHash(QByteArray(row.what))), row.content);
        CRegistry reg(path);
        EXPECT_FALSE(reg.IsUsable()) << row.what;
        EXPECT_TRUE(reg.LastError().contains(path)) << row.what;
        RegValue v;
        EXPECT_EQ(reg.QueryValue(HKCU, u"K"_s, u"v"_s, v), RegStatus::BadStore) << row.what;
        EXPECT_EQ(reg.SetValue(HKCU, u"K"_s, u"v"_s, kRegDword, QByteArray(4, '\0')), RegStatus::BadStore) << row.what;
        int count = 0;
        EXPECT_EQ(reg.CountSubKeys(HKCU, QString(), count), RegStatus::BadStore) << row.what;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), row.content) << row.what;
    }
    // A SQLite database of somebody else is not ours either.
    const QString foreign = env.Root() + u"/foreign.db"_s;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(foreign).constData(), &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    CRegistry reg(foreign);
    EXPECT_FALSE(reg.IsUsable());
}

// A sound store on a full disk is no damaged store: the message must not advise moving it aside.
TEST(RegistryTest, AStoreOnAFullDiskIsSaidToBeOnAFullDisk) {
    CTempEnv env;
    const QString disk = env.Root() + u"/disk"_s;
    ASSERT_EQ(::mkdir(QFile::encodeName(disk).constData(), 0700), 0);
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const QString path = disk + u"/registry.db"_s;
    {
        CRegistry reg(path);
        ASSERT_TRUE(reg.SetNumber(HKCU, u"K"_s, u"v"_s, 1));
    }
    EXPECT_TRUE(RegistryUnusableMessage(path).contains(u"Move it aside"_s)) << "room left";
    QFile filler(disk + u"/filler"_s);
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    filler.close();
    const QString message = RegistryUnusableMessage(path);
    ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
    EXPECT_TRUE(message.contains(u"full"_s)) << message.toStdString();
    EXPECT_FALSE(message.contains(u"Move it aside"_s)) << message.toStdString();
}

TEST(RegistryTest, TransactionIsAllOrNothing) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetNumber(HKCU, u"K"_s, u"keep"_s, 1));
    EXPECT_NE(reg.Transaction([&] {
        reg.SetNumber(HKCU, u"K"_s, u"keep"_s, 2);
        reg.SetNumber(HKCU, u"K\\New"_s, u"v"_s, 3);
        return false;
    }),
              RegStatus::Ok);
    uint32_t n = 0;
    EXPECT_TRUE(reg.GetNumber(HKCU, u"K"_s, u"keep"_s, n));
    EXPECT_EQ(n, 1u);
    EXPECT_FALSE(reg.KeyExists(HKCU, u"K\\New"_s));
    EXPECT_EQ(reg.Transaction([&] { return reg.SetNumber(HKCU, u"K\\New"_s, u"v"_s, 3); }), RegStatus::Ok);
    EXPECT_TRUE(reg.KeyExists(HKCU, u"K\\New"_s));
}

// A body that throws (nested or not) rolls everything back and leaves no transaction open:
// another connection can write at once, and this one goes on as before.
TEST(RegistryTest, ATransactionBodyThatThrowsLeavesNothingOpen) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    CRegistry other(env.RegistryPath());
    ASSERT_TRUE(reg.SetNumber(HKCU, u"K"_s, u"keep"_s, 1));
    for (const bool nested : {false, true}) {
        SCOPED_TRACE(nested ? "nested" : "outer");
        EXPECT_THROW(reg.Transaction([&] {
            reg.SetNumber(HKCU, u"K"_s, u"keep"_s, 2);
            if (nested)
                reg.Transaction([&]() -> bool { throw std::runtime_error("body failed"); });
            throw std::runtime_error("body failed");
            return true;
        }),
                     std::runtime_error);
        EXPECT_TRUE(other.SetNumber(HKCU, u"K"_s, u"other"_s, 5)) << "a write transaction was left open";
        uint32_t n = 0;
        EXPECT_TRUE(reg.GetNumber(HKCU, u"K"_s, u"keep"_s, n));
        EXPECT_EQ(n, 1u);
        EXPECT_TRUE(reg.GetNumber(HKCU, u"K"_s, u"other"_s, n));
        EXPECT_EQ(n, 5u);
        EXPECT_EQ(reg.Transaction([&] { return reg.SetNumber(HKCU, u"K"_s, u"after"_s, 3); }), RegStatus::Ok);
        EXPECT_TRUE(other.GetNumber(HKCU, u"K"_s, u"after"_s, n));
    }
}

TEST(RegistryTest, DefaultFollowsTheEnvironment) {
    CTempEnv env;
    EXPECT_EQ(CRegistry::Default().Path(), env.RegistryPath());
    env.SetEnv("DOVETAIL_REGISTRY", QString());
    EXPECT_EQ(CRegistry::DefaultPath(), env.Home() + u"/.config/dovetail/registry.db"_s);
    env.SetEnv("DOVETAIL_REGISTRY", env.Root() + u"/other.db"_s);
    EXPECT_EQ(CRegistry::Default().Path(), env.Root() + u"/other.db"_s);
}

// Real processes writing the same file at once: nothing is lost, nothing fails.
TEST(RegistryTest, ConcurrentProcessesLoseNothing) {
    CTempEnv env;
    constexpr int kChildren = 3;
    constexpr int kWrites = 300;
    std::vector<pid_t> pids;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRegistry reg(env.RegistryPath());
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                failures += !reg.SetNumber(HKCU, u"Shared\\Child%1"_s.arg(c), u"v%1"_s.arg(i), uint32_t(i));
                failures += !reg.SetNumber(HKCU, u"Shared"_s, u"last"_s, uint32_t(c));
                int count = 0;
                failures += reg.CountSubKeys(HKCU, u"Shared"_s, count) != RegStatus::Ok;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CRegistry reg(env.RegistryPath());
    for (int c = 0; c < kChildren; ++c) {
        int count = 0;
        ASSERT_EQ(reg.CountValues(HKCU, u"Shared\\Child%1"_s.arg(c), count), RegStatus::Ok);
        EXPECT_EQ(count, kWrites);
    }
    EXPECT_TRUE(reg.CheckIntegrity());
}

// Remembered answers must never outlive a change by another connection or by this one.
TEST(RegistryTest, ReadsAlwaysSeeTheLatestCommit) {
    CTempEnv env;
    CRegistry reader(env.RegistryPath());
    CRegistry writer(env.RegistryPath());
    ASSERT_TRUE(writer.SetNumber(HKCU, u"C"_s, u"n"_s, 0));
    for (uint32_t i = 1; i <= 50; ++i) {
        uint32_t n = 0;
        ASSERT_TRUE(reader.GetNumber(HKCU, u"C"_s, u"n"_s, n));
        ASSERT_TRUE(reader.GetNumber(HKCU, u"C"_s, u"n"_s, n));
        EXPECT_EQ(n, i - 1);
        ASSERT_TRUE(writer.SetNumber(HKCU, u"C"_s, u"n"_s, i));
        ASSERT_TRUE(reader.GetNumber(HKCU, u"C"_s, u"n"_s, n));
        EXPECT_EQ(n, i);
        ASSERT_TRUE(reader.SetNumber(HKCU, u"C"_s, u"own"_s, i));
        ASSERT_TRUE(reader.GetNumber(HKCU, u"C"_s, u"own"_s, n));
        EXPECT_EQ(n, i);
    }
    RegValue v;
    EXPECT_EQ(reader.QueryValue(HKCU, u"C"_s, u"gone"_s, v), RegStatus::ValueNotFound);
    ASSERT_TRUE(writer.SetNumber(HKCU, u"C"_s, u"gone"_s, 1));
    EXPECT_EQ(reader.QueryValue(HKCU, u"C"_s, u"gone"_s, v), RegStatus::Ok);
    ASSERT_EQ(writer.DeleteTree(HKCU, u"C"_s), RegStatus::Ok);
    EXPECT_EQ(reader.QueryValue(HKCU, u"C"_s, u"gone"_s, v), RegStatus::KeyNotFound);
}

TEST(RegistryTest, ReadTransactionSeesOneSnapshot) {
    CTempEnv env;
    CRegistry reader(env.RegistryPath());
    CRegistry writer(env.RegistryPath());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(writer.SetNumber(HKCU, u"S\\%1"_s.arg(i), u"LinkStatus"_s, 0));
    int seen = 0;
    ASSERT_EQ(reader.ReadTransaction([&] {
        int count = 0;
        ASSERT_EQ(reader.CountSubKeys(HKCU, u"S"_s, count), RegStatus::Ok);
        EXPECT_EQ(count, 20);
        ASSERT_TRUE(writer.SetNumber(HKCU, u"S\\20"_s, u"LinkStatus"_s, 0)) << "writers do not wait for readers";
        for (int i = 0; i <= 20; ++i) {
            uint32_t n = 0;
            seen += reader.GetNumber(HKCU, u"S\\%1"_s.arg(i), u"LinkStatus"_s, n);
        }
    }),
              RegStatus::Ok);
    EXPECT_EQ(seen, 20) << "the write after the snapshot is not seen inside it";
    uint32_t n = 0;
    EXPECT_TRUE(reader.GetNumber(HKCU, u"S\\20"_s, u"LinkStatus"_s, n));
}
