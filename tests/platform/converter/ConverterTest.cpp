// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ConverterInterface.h"

#include "platform/converter/Converter.h"
#include "platform/converter/ConverterFormat.h"
#include "platform/converter/EpocText.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

int g_callbackCalls = 0;
int32_t CountingCallback(int32_t, int32_t* flag) {
    ++g_callbackCalls;
    *flag = 1;
    return 0;
}
int32_t CancellingCallback(int32_t, int32_t*) {
    return 1;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void SetControlFile(const QString& path) {
    ASSERT_TRUE(
        CRegistry::Default().SetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s, path));
}

// A suite whose control file holds the given text; returns the loaded root object.
std::unique_ptr<IConverterInterface> LoadSuite(CTempEnv& env, const QByteArray& controlFile) {
    const QString path = env.WriteFile(u"suite/Convert.ini"_s, controlFile);
    SetControlFile(path);
    auto root = CreateAutomationObject(u"VEROZ.CONVERTERINTERFACE"_s);
    if (root)
        root->UseControlFile(path);
    return root;
}

const QByteArray kBuiltins =
    "[Text to EPOC]\nSourceName=Text Document\nSourceClass=txtfile\nTargetName=EPOC Text\n"
    "TargetClass=EPOC.Text\nBuiltin=text-to-epoc\n"
    "[EPOC to Text]\nSourceName=EPOC Text\nSourceClass=EPOC.Text\nTargetName=Text Document\n"
    "TargetClass=txtfile\nTargetExtension=.txt\nBuiltin=epoc-to-text\n";

TEST(ConverterTest, CreateAutomationObjectNeedsProgIdAndControlFile) {
    CTempEnv env;
    const QString progId = u"VEROZ.CONVERTERINTERFACE"_s;
    EXPECT_EQ(CreateAutomationObject(progId), nullptr) << "no Control File value";

    SetControlFile(env.Root() + u"/absent.ini"_s);
    EXPECT_EQ(CreateAutomationObject(progId), nullptr) << "control file missing";

    SetControlFile(env.MakeDir(u"folder"_s));
    EXPECT_EQ(CreateAutomationObject(progId), nullptr) << "control file is a folder";

    const QString unreadable = env.WriteFile(u"locked.ini"_s, kBuiltins);
    QFile::setPermissions(unreadable, QFileDevice::Permissions());
    SetControlFile(unreadable);
    if (!QFile(unreadable).open(QIODevice::ReadOnly)) {  // root can read anything
        EXPECT_EQ(CreateAutomationObject(progId), nullptr) << "control file unreadable";
    }

    SetControlFile(env.WriteFile(u"Convert.ini"_s, kBuiltins));
    EXPECT_EQ(CreateAutomationObject(u"VEROZ.OTHER"_s), nullptr);
    EXPECT_EQ(CreateAutomationObject(QString()), nullptr);
    EXPECT_NE(CreateAutomationObject(progId), nullptr);
    EXPECT_NE(CreateAutomationObject(u"veroz.ConverterInterface"_s), nullptr);
}

TEST(ConverterTest, ItemsExposeFormatsInFileOrder) {
    CTempEnv env;
    auto root = LoadSuite(env, kBuiltins);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->Count(), 2);
    auto first = root->Item(0);
    EXPECT_EQ(first->SourceFormat(), u"Text Document\ntxtfile"_s);
    EXPECT_EQ(first->TargetFormat(), u"EPOC Text\nEPOC.Text"_s);
    EXPECT_EQ(first->TargetExtension(), QString());
    EXPECT_EQ(root->Item(1)->TargetExtension(), u".txt"_s);
    EXPECT_THROW(root->Item(2), CAutomationException);
    EXPECT_THROW(root->Item(-1), CAutomationException);
}

TEST(ConverterTest, FormatMatchingUsesLinesZeroAndOneOnly) {
    const QString format = u"Word Document\nWord.Document.8\nthird line"_s;
    struct Row {
        QString type;
        bool matches;
    };
    const Row rows[] = {
        {u"Word Document"_s, true}, {u"WORD DOCUMENT"_s, true}, {u"word.document.8"_s, true},
        {u"third line"_s, false},   {u"Word"_s, false},         {QString(), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatMatches(format, row.type), row.matches) << row.type.toStdString();
    EXPECT_EQ(FormatLine(format, 2), u"third line"_s);
    EXPECT_EQ(FormatLine(u"only"_s, 1), QString());
    EXPECT_EQ(FormatLine(u"name\n"_s, 1), QString());
    EXPECT_FALSE(FormatMatches(u"name"_s, QString()));
}

TEST(ConverterTest, LoadChecksSourceAndKeepsConvertersOnFailure) {
    CTempEnv env;
    auto root = LoadSuite(env, kBuiltins);
    ASSERT_NE(root, nullptr);
    const QString control = env.Root() + u"/suite/Convert.ini"_s;
    const QString source = env.WriteFile(u"pc/a.txt"_s, "text");

    EXPECT_NO_THROW(root->Load(control, source));
    EXPECT_EQ(root->Count(), 2);
    EXPECT_THROW(root->Load(control, env.Root() + u"/pc/none.txt"_s), CAutomationException);
    EXPECT_THROW(root->Load(QString(), source), CAutomationException);

    const QString broken = env.WriteFile(u"suite/Broken.ini"_s, "[A]\nSourceName=x\ngarbage\n");
    try {
        root->Load(broken, source);
        ADD_FAILURE() << "no exception";
    } catch (const CAutomationException& e) {
        EXPECT_EQ(e.Description(), broken + u":3: expected key=value, [section], or a comment"_s);
    }
    EXPECT_EQ(root->Count(), 2);
}

TEST(ConverterTest, BuiltinsRoundTripThroughFiles) {
    CTempEnv env;
    auto root = LoadSuite(env, kBuiltins);
    ASSERT_NE(root, nullptr);
    struct Row {
        const char* what;
        QByteArray pc;
        QByteArray back;
    };
    const Row rows[] = {
        {"ascii", "Dear Sir,\nthanks.\n", "Dear Sir,\nthanks.\n"},
        {"accents",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac\n",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac\n"},
        {"crlf", "one\r\ntwo\r\n", "one\r\ntwo\r\n"},
        {"empty", "", ""},
        {"bom", "\xef\xbb\xbfhi", "hi"},
        {"outside cp1252", "\xe6\x97\xa5 \xf0\x9f\x98\x80!", "\xe6\x97\xa5 \xf0\x9f\x98\x80!"},
        {"windows text", "caf\xe9\r\n", "caf\xc3\xa9\r\n"},
    };
    for (const Row& row : rows) {
        const QString pc = env.WriteFile(u"pc/in.txt"_s, row.pc);
        const QString epoc = env.Root() + u"/pc/mid.epoc"_s;
        const QString out = env.Root() + u"/pc/out.txt"_s;
        g_callbackCalls = 0;
        root->Item(0)->Convert(pc, epoc, CountingCallback);
        root->Item(1)->Convert(epoc, out, CountingCallback);
        EXPECT_GE(g_callbackCalls, 2) << row.what;
        QString text;
        EXPECT_TRUE(DecodeEpocText(ReadAll(epoc), text)) << row.what;
        EXPECT_EQ(ReadAll(out), row.back) << row.what;
    }
}

TEST(ConverterTest, FailedConversionLeavesDestinationIntact) {
    CTempEnv env;
    auto root = LoadSuite(env, kBuiltins);
    ASSERT_NE(root, nullptr);
    const QString notEpoc = env.WriteFile(u"work/plain.txt"_s, "not an EPOC file");
    const QString dest = env.WriteFile(u"work/dest.txt"_s, "old content");
    EXPECT_THROW(root->Item(1)->Convert(notEpoc, dest, CountingCallback), CAutomationException);
    EXPECT_THROW(root->Item(1)->Convert(env.Root() + u"/work/none"_s, dest, nullptr), CAutomationException);
    EXPECT_THROW(root->Item(0)->Convert(notEpoc, dest, CancellingCallback), CAutomationException);
    EXPECT_EQ(ReadAll(dest), QByteArray("old content"));
    EXPECT_EQ(QDir(env.Root() + u"/work"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
              2);
}

// A document replaced by a conversion keeps its permissions, as with a command converter.
TEST(ConverterTest, BuiltinConversionKeepsTheDocumentsPermissions) {
    CTempEnv env;
    auto root = LoadSuite(env, kBuiltins);
    ASSERT_NE(root, nullptr);
    const QString pc = env.WriteFile(u"work/in.txt"_s, "text");
    const QString epoc = env.Root() + u"/work/mid.epoc"_s;
    const QString dest = env.WriteFile(u"work/dest.txt"_s, "old content");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                      QFileDevice::WriteUser | QFileDevice::ReadGroup;
    QFile::setPermissions(dest, mode);
    root->Item(0)->Convert(pc, epoc, nullptr);
    root->Item(1)->Convert(epoc, dest, nullptr);
    EXPECT_EQ(ReadAll(dest), QByteArray("text"));
    EXPECT_EQ(QFile::permissions(dest), mode);
}

class CommandConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QByteArray script =
            "#!/bin/sh\n"
            "case \"$1\" in\n"
            "  copy) cp \"$2\" \"$3\" ;;\n"
            "  peek) cp \"$2\" \"$3\"; ls -A \"$(dirname \"$2\")/out\" > \"$(dirname \"$2\")/seen\" ;;\n"
            "  fail) echo 'disk on fire' >&2; printf partial > \"$3\"; exit 3 ;;\n"
            "  quiet) exit 0 ;;\n"
            "  silentfail) exit 9 ;;\n"
            "  hang) exec sleep 30 ;;\n"
            "esac\n";
        m_script = m_env.WriteFile(u"suite/tools/conv.sh"_s, script);
        QFile::setPermissions(m_script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_source = m_env.WriteFile(u"pc/my report.txt"_s, "source bytes");
        m_dest = m_env.WriteFile(u"pc/out/dest file.bin"_s, "old");
    }

    std::unique_ptr<IConverterItem> Load(const char* mode) {
        const QByteArray file =
            QByteArray("[C]\nSourceName=A\nTargetName=B\nCommand=tools/conv.sh ") + mode + " %SRC% \"%DST%\"\n";
        m_root = LoadSuite(m_env, file);
        EXPECT_NE(m_root, nullptr);
        return m_root ? m_root->Item(0) : nullptr;
    }

    QString Failure(const char* mode) {
        auto item = Load(mode);
        try {
            item->Convert(m_source, m_dest, CountingCallback);
        } catch (const CAutomationException& e) {
            return e.Description();
        }
        return u"<no exception>"_s;
    }

    CTempEnv m_env;
    std::unique_ptr<IConverterInterface> m_root;
    QString m_script;
    QString m_source;
    QString m_dest;
};

TEST_F(CommandConverterTest, SuccessReplacesDestination) {
    auto item = Load("copy");
    QDir::setCurrent(m_env.Root());  // relative programs come from the control file's folder
    item->Convert(m_source, m_dest, CountingCallback);
    EXPECT_EQ(ReadAll(m_dest), QByteArray("source bytes"));
    EXPECT_EQ(QDir(m_env.Root() + u"/pc/out"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"dest file.bin"_s});
}

// While the command runs, nothing of it shows beside the document (a killed run would leave
// it there); the document keeps its permissions.
TEST_F(CommandConverterTest, WorksOutsideTheDocumentsFolder) {
    QFile::setPermissions(m_dest, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    auto item = Load("peek");
    item->Convert(m_source, m_dest, CountingCallback);
    EXPECT_EQ(ReadAll(m_env.Root() + u"/pc/seen"_s), QByteArray("dest file.bin\n"));
    EXPECT_EQ(ReadAll(m_dest), QByteArray("source bytes"));
    EXPECT_EQ(QFile::permissions(m_dest), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST_F(CommandConverterTest, FailuresCarryTheCommandsErrorText) {
    EXPECT_EQ(Failure("fail"), u"disk on fire"_s);
    EXPECT_EQ(Failure("silentfail"), u"%1/suite/tools/conv.sh failed with exit code 9"_s.arg(m_env.Root()));
    EXPECT_EQ(Failure("quiet"), u"%1/suite/tools/conv.sh wrote no output"_s.arg(m_env.Root()));
    EXPECT_EQ(ReadAll(m_dest), QByteArray("old"));
    EXPECT_EQ(QDir(m_env.Root() + u"/pc/out"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"dest file.bin"_s});
}

TEST_F(CommandConverterTest, MissingProgramAndHangAreReported) {
    m_root = LoadSuite(m_env, "[C]\nSourceName=A\nTargetName=B\nCommand=/nonexistent/conv %SRC% %DST%\n");
    ASSERT_NE(m_root, nullptr);
    EXPECT_THROW(m_root->Item(0)->Convert(m_source, m_dest, nullptr), CAutomationException);

    auto item = Load("hang");
    CConverter::SetCommandTimeout(1);
    try {
        item->Convert(m_source, m_dest, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const CAutomationException& e) {
        EXPECT_TRUE(e.Description().contains(u"did not finish within 1 seconds"_s)) << e.what();
    }
    CConverter::SetCommandTimeout(300);
    EXPECT_EQ(ReadAll(m_dest), QByteArray("old"));
}

}  // namespace
