// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegFile.h"

#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr RegRoot HKCU = RegRoot::CurrentUser;

struct RunResult {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

RunResult RunDtreg(const QStringList& args) {
    QProcess p;
    p.start(BinDir() + u"/dtreg"_s, args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

}  // namespace

TEST(RegFileTest, ParsesEveryValueForm) {
    const QByteArray text =
        "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Veroz\\PsiWin32]\r\n"
        "\"Installation Directory\"=\"/opt/psi/\"\r\n"
        "@=\"quote \\\" and backslash \\\\\"\r\n"
        "\"Count\"=dword:0000ff01\r\n"
        "\"Blob\"=hex:de,ad,\\\r\n"
        "  be,ef\r\n"
        "\"Typed\"=hex(7):41,00,00\r\n"
        "\"Gone\"=-\r\n"
        "[-HKEY_CURRENT_USER\\Old]\r\n";
    std::vector<RegFileOp> ops;
    RegFileError error;
    ASSERT_TRUE(ParseRegFile(text, ops, error)) << error.line << ": " << error.message.toStdString();
    ASSERT_EQ(ops.size(), 8u);
    EXPECT_EQ(ops[0].kind, RegFileOp::Kind::CreateKey);
    EXPECT_EQ(ops[0].root, RegRoot::LocalMachine);
    EXPECT_EQ(ops[1].data, QByteArray("/opt/psi/\0", 10));
    EXPECT_EQ(ops[2].name, QString());
    EXPECT_EQ(ops[2].data, QByteArray("quote \" and backslash \\\0", 24));
    EXPECT_EQ(ops[3].data, QByteArray("\x01\xff\x00\x00", 4));
    EXPECT_EQ(ops[4].data, QByteArray("\xde\xad\xbe\xef"));
    EXPECT_EQ(ops[4].type, uint32_t(kRegBinary));
    EXPECT_EQ(ops[5].type, 7u);
    EXPECT_EQ(ops[6].kind, RegFileOp::Kind::DeleteValue);
    EXPECT_EQ(ops[7].kind, RegFileOp::Kind::DeleteTree);
    EXPECT_EQ(ops[7].line, 12);
}

TEST(RegFileTest, MalformedInputNamesTheLine) {
    struct Row {
        const char* what;
        QByteArray text;
        int line;
    } rows[] = {
        {"no header", "[HKEY_CURRENT_USER\\A]\n", 1},
        {"value before key", "REGEDIT4\n\"a\"=\"b\"\n", 2},
        {"unknown root", "REGEDIT4\n[HKEY_NOWHERE\\A]\n", 2},
        {"root deleted", "REGEDIT4\n[-HKEY_CURRENT_USER]\n", 2},
        {"unclosed key", "REGEDIT4\n[HKEY_CURRENT_USER\\A\n", 2},
        {"empty component", "REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", 2},
        {"bad dword", "REGEDIT4\n[HKCU\\A]\n\"a\"=dword:123456789\n", 3},
        {"bad hex", "REGEDIT4\n[HKCU\\A]\n\n\"a\"=hex:1g\n", 4},
        {"unterminated", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\n", 3},
        {"bad escape", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"\\n\"\n", 3},
        {"trailing text", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\" x\n", 3},
        {"no equals", "REGEDIT4\n[HKCU\\A]\n\"a\" \"b\"\n", 3},
        {"value under deleted key", "REGEDIT4\n[-HKCU\\A]\n\"a\"=\"b\"\n", 3},
        {"not text", "REGEDIT4\n\xff\xfe\xfd\n", 0},
    };
    for (const Row& row : rows) {
        std::vector<RegFileOp> ops;
        RegFileError error;
        EXPECT_FALSE(ParseRegFile(row.text, ops, error)) << row.what;
        EXPECT_EQ(error.line, row.line) << row.what;
        EXPECT_FALSE(error.message.isEmpty()) << row.what;
    }
}

TEST(RegFileTest, ExportImportRoundTrip) {
    CTempEnv env;
    CRegistry reg(env.RegistryPath());
    ASSERT_TRUE(reg.SetString(HKCU, u"R\\Users\\b"_s, u"Name"_s, u"a \"q\" \\ é"_s));
    ASSERT_TRUE(reg.SetString(HKCU, u"R\\Users\\b"_s, QString(), u"default"_s));
    ASSERT_TRUE(reg.SetNumber(HKCU, u"R\\Users\\A"_s, u"n"_s, 0xdeadbeef));
    ASSERT_EQ(reg.SetValue(HKCU, u"R\\Bin"_s, u"big"_s, kRegBinary, QByteArray(100, '\x11')), RegStatus::Ok);
    ASSERT_EQ(reg.SetValue(HKCU, u"R\\Bin"_s, u"odd"_s, 11, QByteArray("\x00\x01", 2)), RegStatus::Ok);
    ASSERT_EQ(reg.SetValue(HKCU, u"R\\Bin"_s, u"nonul"_s, kRegSz, QByteArray("abc")), RegStatus::Ok);
    ASSERT_EQ(reg.CreateKey(HKCU, u"R\\Empty"_s), RegStatus::Ok);
    QByteArray exported;
    ASSERT_TRUE(ExportRegFile(reg, HKCU, u"R"_s, exported));
    EXPECT_TRUE(exported.startsWith("REGEDIT4\r\n"));
    EXPECT_LT(exported.indexOf("[HKEY_CURRENT_USER\\R\\Users\\A]"),
              exported.indexOf("[HKEY_CURRENT_USER\\R\\Users\\b]"));

    ASSERT_EQ(reg.DeleteTree(HKCU, u"R"_s), RegStatus::Ok);
    std::vector<RegFileOp> ops;
    RegFileError error;
    ASSERT_TRUE(ParseRegFile(exported, ops, error)) << error.message.toStdString();
    ASSERT_TRUE(ApplyRegFile(reg, ops, error));
    QByteArray again;
    ASSERT_TRUE(ExportRegFile(reg, HKCU, u"R"_s, again));
    EXPECT_EQ(again, exported);
    RegValue v;
    ASSERT_EQ(reg.QueryValue(HKCU, u"R\\Bin"_s, u"nonul"_s, v), RegStatus::Ok);
    EXPECT_EQ(v.data, QByteArray("abc")) << "a string without its NUL survives as raw bytes";
}

// What dtreg exports of the whole store, dtreg imports into an empty one, and the second
// store exports to the same text, values held by a root itself included.
TEST(RegFileTest, DtregWholeExportImportsBackUnchanged) {
    CTempEnv env;
    {
        CRegistry reg(env.RegistryPath());
        ASSERT_TRUE(reg.SetString(HKCU, u"Software\\Veroz\\Users\\Zoë"_s, u"Name"_s, u"日本"_s));
        ASSERT_TRUE(reg.SetNumber(RegRoot::LocalMachine, u"Software\\Veroz"_s, u"n"_s, 7));
        ASSERT_TRUE(reg.SetString(RegRoot::ClassesRoot, u".txt"_s, QString(), u"txtfile"_s));
        ASSERT_TRUE(reg.SetString(HKCU, QString(), u"AtRoot"_s, u"v"_s));
    }
    const RunResult first = RunDtreg({u"export"_s});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    const QString file = env.WriteFile(u"all.reg"_s, first.out);
    env.SetEnv("DOVETAIL_REGISTRY", env.Root() + u"/second.db"_s);
    const RunResult import = RunDtreg({u"import"_s, file});
    ASSERT_EQ(import.code, 0) << import.err.toStdString();
    const RunResult second = RunDtreg({u"export"_s});
    ASSERT_EQ(second.code, 0);
    EXPECT_EQ(second.out, first.out);
    EXPECT_TRUE(first.out.contains("[HKEY_LOCAL_MACHINE]"));
}

TEST(RegFileTest, DtregImportIsOneTransactionAndReportsFileAndLine) {
    CTempEnv env;
    const QString good = env.WriteFile(u"good.reg"_s, "REGEDIT4\n[HKCU\\G]\n\"v\"=dword:00000010\n");
    const QString bad =
        env.WriteFile(u"bad.reg"_s, "REGEDIT4\n[HKCU\\G]\n\"v\"=dword:00000020\n[HKCU\\H]\n\"w\"=bogus\n");
    RunResult r = RunDtreg({u"import"_s, good});
    ASSERT_EQ(r.code, 0) << r.err.constData();
    r = RunDtreg({u"import"_s, bad});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("bad.reg:5:")) << r.err.constData();
    r = RunDtreg({u"query"_s, u"HKEY_CURRENT_USER\\g"_s, u"V"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "16\n") << "the failed import changed nothing";
    r = RunDtreg({u"query"_s, u"HKCU\\H"_s});
    EXPECT_EQ(r.code, 1);
    r = RunDtreg({u"export"_s, u"HKCU\\G"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("[HKEY_CURRENT_USER\\G]\r\n\"v\"=dword:00000010\r\n")) << r.out.constData();
    r = RunDtreg({u"import"_s, env.Root() + u"/missing.reg"_s});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("missing.reg")) << r.err.constData();
    r = RunDtreg({u"frobnicate"_s});
    EXPECT_EQ(r.code, 2);
}

TEST(RegFileTest, DtregRefusesACorruptStoreAndNamesIt) {
    CTempEnv env;
    const QString path = env.WriteFile(u"registry.db"_s, "garbage, not a database");
    RunResult r = RunDtreg({u"query"_s, u"HKCU\\A"_s});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(path.toUtf8())) << r.err.constData();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("garbage, not a database"));
}
