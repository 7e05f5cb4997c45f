// SPDX-License-Identifier: GPL-3.0-or-later
// A process keeps its share of the store whatever else in it opens and closes the store's
// files or ends a connection: another process must keep seeing its writes and it theirs.
#include "platform/registry/Registry.h"
#include "tests/support/StoreBusy.h"
#include "tests/support/StoreProbe.h"
#include "tests/support/TempEnv.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr RegRoot HKCU = RegRoot::CurrentUser;

struct Disturbance {
    const char* name;
    std::function<void(const QString& store)> apply;
};

}  // namespace

TEST(StoreLocksTest, NothingElseInTheProcessCutsItOffTheStore) {
    const Disturbance disturbances[] = {
        {"the store's files opened and closed, as a file dialog does",
         [](const QString& store) { TouchStoreFiles(store); }},
        {"a second connection in this thread ends",
         [](const QString& store) {
             CRegistry other(store);
             uint32_t n = 0;
             other.GetNumber(HKCU, u"Locks"_s, u"Base"_s, n);
             other.SetNumber(HKCU, u"Locks"_s, u"Other"_s, 1);
         }},
        {"another thread's connection ends",
         [](const QString&) {
             std::thread([] {
                 uint32_t n = 0;
                 CRegistry::Default().GetNumber(HKCU, u"Locks"_s, u"Base"_s, n);
                 CRegistry::Default().SetNumber(HKCU, u"Locks"_s, u"Thread"_s, 1);
             }).join();
         }},
        {"the store's files opened read-write and closed",
         [](const QString& store) {
             for (const char* suffix : {"", "-wal", "-shm"}) {
                 const int fd = ::open((QFile::encodeName(store) + suffix).constData(), O_RDWR | O_CLOEXEC);
                 if (fd >= 0)
                     ::close(fd);
             }
         }},
    };
    for (const Disturbance& d : disturbances) {
        SCOPED_TRACE(d.name);
        CTempEnv env;
        CRegistry reg(env.RegistryPath());
        ASSERT_TRUE(reg.SetNumber(HKCU, u"Locks"_s, u"Base"_s, 7));
        uint32_t n = 0;
        ASSERT_TRUE(reg.GetNumber(HKCU, u"Locks"_s, u"Base"_s, n));  // maps the index, fills the cache
        d.apply(env.RegistryPath());
        ExpectSharesTheStore(reg, u"Locks"_s);
        // Once more after the other process has come and gone a few times.
        d.apply(env.RegistryPath());
        ExpectSharesTheStore(reg, u"Locks"_s, 2);
    }
}

// The case that lost data for users: the store's files touched while another process keeps
// writing newer values; nothing this process writes afterwards may bring an older one back.
TEST(StoreLocksTest, LaterWritesNeverBringOldValuesBack) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetNumber(HKCU, u"Entry"_s, u"LastSyncTimeStamp"_s, 0));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"Entry"_s, u"WasUpdated"_s, 0));
    for (int round = 1; round <= 3; ++round) {
        TouchStoreFiles(env.RegistryPath());
        const QString stamp = QString::number(1000 * round);
        ASSERT_EQ(RunDtreg({u"set"_s, u"HKCU\\Entry"_s, u"LastSyncTimeStamp"_s, u"dword"_s, stamp}).code, 0);
        ASSERT_EQ(RunDtreg({u"set"_s, u"HKCU\\Entry"_s, u"WasUpdated"_s, u"dword"_s, u"1"_s}).code, 0);
        ASSERT_TRUE(reg.SetNumber(HKCU, u"Entry"_s, u"Active"_s, uint32_t(round)));
        TouchStoreFiles(env.RegistryPath());
        ASSERT_TRUE(reg.SetNumber(HKCU, u"Other"_s, u"Round"_s, uint32_t(round)));
        EXPECT_EQ(RunDtreg({u"query"_s, u"HKCU\\Entry"_s, u"LastSyncTimeStamp"_s}).out.trimmed(), stamp.toUtf8());
        EXPECT_EQ(RunDtreg({u"query"_s, u"HKCU\\Entry"_s, u"WasUpdated"_s}).out.trimmed(), QByteArray("1"));
        EXPECT_EQ(RunDtreg({u"query"_s, u"HKCU\\Entry"_s, u"Active"_s}).out.trimmed(), QByteArray::number(round));
    }
    EXPECT_EQ(RunDtreg({u"check"_s}).code, 0);
}

// What the programs meet while another program writes: writes fail as busy after the wait,
// nothing half-written shows, reads go on, and the store takes writes again afterwards.
TEST(StoreLocksTest, AWriterElsewhereMakesWritesFailAfterTheShortWait) {
    CTempEnv env;
    CRegistry& reg = CRegistry::Default();
    ASSERT_TRUE(reg.SetNumber(HKCU, u"Busy"_s, u"Before"_s, 1));
    {
        CStoreWriteHold hold(env.RegistryPath(), 50);
        ASSERT_TRUE(hold.IsHeld());
        EXPECT_FALSE(reg.SetNumber(HKCU, u"Busy"_s, u"During"_s, 2));
        EXPECT_EQ(reg.Transaction([&] { return reg.SetNumber(HKCU, u"Busy"_s, u"Inside"_s, 3); }), RegStatus::Busy);
        uint32_t n = 0;
        EXPECT_TRUE(reg.GetNumber(HKCU, u"Busy"_s, u"Before"_s, n));
        EXPECT_EQ(n, 1u);
    }
    uint32_t n = 0;
    EXPECT_FALSE(reg.GetNumber(HKCU, u"Busy"_s, u"During"_s, n));
    EXPECT_FALSE(reg.GetNumber(HKCU, u"Busy"_s, u"Inside"_s, n));
    EXPECT_TRUE(reg.SetNumber(HKCU, u"Busy"_s, u"After"_s, 4));
}
