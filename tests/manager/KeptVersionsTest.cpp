// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/KeptVersions.h"
#include "tests/support/TempEnv.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const CKeptSideWords kWords{u"PC"_s, u"MC 218"_s};

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void SetModified(const QString& path, const QDateTime& when) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

CDocSynchEntry Binding(const QString& pcFolder) {
    CDocSynchEntry b;
    b.WinPath = pcFolder + u'/';
    b.WinFileName = u"report.txt"_s;
    b.BindingNumber = 3;
    return b;
}

// Only this binding's copies, newest first, each with its side.
TEST(KeptVersionsTest, ListsThisBindingsCopiesNewestFirst) {
    CTempEnv env;
    const QString folder = env.MakeDir(u"backups"_s);
    struct Row {
        const char* name;
        const char* side;  // "" when the file is not the binding's
    };
    const Row rows[] = {
        {"report (PC, binding 3, 2026-01-02 10.00.00).txt", "pc"},
        {"report (MC 218, binding 3, 2026-03-01 09.00.00).txt", "handheld"},
        {"report (MC 218, binding 3, 2026-03-01 09.00.00 2).txt", "handheld"},
        {"report (PC, binding 31, 2026-05-01 09.00.00).txt", ""},
        {"report (Elsewhere, binding 3, 2026-05-01 09.00.00).txt", ""},
        {"notes (PC, binding 4, 2026-05-01 09.00.00).txt", ""},
        {"report.txt", "backup"},
        {"report (binding 3).txt", "backup"},
        {"report.txt.tmp", ""},
    };
    for (const Row& row : rows)
        env.WriteFile(u"backups/"_s + QLatin1String(row.name), row.name);
    SetModified(folder + u"/report.txt"_s, QDateTime(QDate(2025, 1, 1), QTime(8, 0)));
    SetModified(folder + u"/report (binding 3).txt"_s, QDateTime(QDate(2026, 2, 1), QTime(8, 0)));

    const auto versions = ListKeptVersions(folder, Binding(env.Root()), kWords);
    QStringList names;
    for (const CKeptVersion& v : versions)
        names << QFileInfo(v.path).fileName() + u':' +
                     (v.side == KeptSide::Pc         ? u"pc"_s
                      : v.side == KeptSide::Handheld ? u"handheld"_s
                                                     : u"backup"_s);
    EXPECT_EQ(names, (QStringList{u"report (MC 218, binding 3, 2026-03-01 09.00.00 2).txt:handheld"_s,
                                  u"report (MC 218, binding 3, 2026-03-01 09.00.00).txt:handheld"_s,
                                  u"report (binding 3).txt:backup"_s,
                                  u"report (PC, binding 3, 2026-01-02 10.00.00).txt:pc"_s, u"report.txt:backup"_s}));
    EXPECT_TRUE(ListKeptVersions(env.Root() + u"/none"_s, Binding(env.Root()), kWords).empty());
}

// A restore keeps what it replaces, so restoring that copy undoes it; the restored document
// carries the restore's time, so the next run takes it to the handheld.
TEST(KeptVersionsTest, ARestoreIsUndoneByRestoringWhatItKept) {
    CTempEnv env;
    const QString folder = env.Root() + u"/user/Dovetail"_s;
    const CDocSynchEntry binding = Binding(env.MakeDir(u"pc"_s));
    const QString document = env.WriteFile(u"pc/report.txt"_s, "current");
    const QString old = env.WriteFile(u"old (MC 218, binding 3, 2026-01-02 10.00.00).txt"_s, "old");
    const QDateTime now = QDateTime::currentDateTime().addSecs(-30);

    const CRestoreResult restored = RestoreKeptVersion({old, KeptSide::Handheld, {}, 3}, binding, folder, kWords, now);
    ASSERT_TRUE(restored.ok) << restored.error;
    EXPECT_EQ(Read(document), "old");
    EXPECT_EQ(Read(old), "old");
    EXPECT_EQ(QFileInfo(document).lastModified().toSecsSinceEpoch(), now.toSecsSinceEpoch());
    EXPECT_EQ(Read(restored.keptCurrent), "current");
    const auto versions = ListKeptVersions(folder, binding, kWords);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0].side, KeptSide::Pc);

    const CRestoreResult undone = RestoreKeptVersion(versions[0], binding, folder, kWords, now);
    ASSERT_TRUE(undone.ok);
    EXPECT_EQ(Read(document), "current");
    EXPECT_EQ(Read(undone.keptCurrent), "old");
    EXPECT_NE(undone.keptCurrent, restored.keptCurrent) << "a second restore within the second keeps both";

    // A version that is gone leaves the document as it was.
    EXPECT_FALSE(
        RestoreKeptVersion({env.Root() + u"/gone.txt"_s, KeptSide::Pc, {}, 0}, binding, folder, kWords, now).ok);
    EXPECT_EQ(Read(document), "current");
}

}  // namespace
