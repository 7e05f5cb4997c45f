// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ControlFile.h"

#include "tests/support/TempEnv.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kGood =
    "; two converters\n"
    "# other comment style\n"
    "\n"
    "[Words]\r\n"
    "  SourceName = Word Document  \n"
    "sourceclass=Word.Document.8\n"
    "TargetName=EPOC Word\n"
    "TargetClass=EPOC.Word\n"
    "TargetExtension=.doc\n"
    "Command=\"/opt/conv tools/w2e\" --from %SRC% --to %DST%\n"
    "[Plain]\n"
    "SourceName=Text Document\n"
    "TargetName=EPOC Text\n"
    "BUILTIN=Text-To-Epoc\n";

TEST(ControlFileTest, ParsesSectionsInOrder) {
    const ControlFileResult r = CControlFile::Parse(kGood, u"c.ini"_s);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.converters.size(), 2u);
    const ConverterDef& w = r.converters[0];
    EXPECT_EQ(w.name, u"Words"_s);
    EXPECT_EQ(w.sourceName, u"Word Document"_s);
    EXPECT_EQ(w.sourceClass, u"Word.Document.8"_s);
    EXPECT_EQ(w.targetExtension, u".doc"_s);
    EXPECT_EQ(w.kind, ConversionKind::Command);
    EXPECT_EQ(w.command, u"\"/opt/conv tools/w2e\" --from %SRC% --to %DST%"_s);
    EXPECT_EQ(w.line, 4);
    const ConverterDef& p = r.converters[1];
    EXPECT_EQ(p.kind, ConversionKind::TextToEpoc);
    EXPECT_TRUE(p.sourceClass.isEmpty());
    EXPECT_TRUE(p.targetExtension.isEmpty());
}

TEST(ControlFileTest, BuiltinFileIsValid) {
    const ControlFileResult r = CControlFile::Parse(CControlFile::BuiltinContent(), u"Convert.ini"_s);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.converters.size(), 2u);
    EXPECT_EQ(r.converters[0].kind, ConversionKind::TextToEpoc);
    EXPECT_EQ(r.converters[1].kind, ConversionKind::EpocToText);
}

TEST(ControlFileTest, EmptyFileHasNoConverters) {
    const ControlFileResult r = CControlFile::Parse(QByteArray("; nothing\n\n"), u"c.ini"_s);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.converters.empty());
}

TEST(ControlFileTest, MalformedLinesNameFileAndLine) {
    const QByteArray head = "[A]\nSourceName=S\nTargetName=T\n";
    struct Row {
        const char* what;
        QByteArray content;
        const char* expected;
    };
    const Row rows[] = {
        {"no equals sign", head + "Builtin=text-to-epoc\nthis is junk\n", "c.ini:5: expected key=value"},
        {"key before any section", "SourceName=S\n[A]\n", "c.ini:1: \"SourceName\" outside any"},
        {"unknown key", head + "Colour=red\n", "c.ini:4: unknown key \"Colour\""},
        {"repeated key", head + "sourcename=X\n", "c.ini:4: \"sourcename\" given twice in [A]"},
        {"unknown builtin", head + "Builtin=pdf-to-epoc\n", "c.ini:4: unknown built-in converter"},
        {"command and builtin", head + "Builtin=text-to-epoc\nCommand=x %DST%\n", "c.ini:5: [A] has both"},
        {"command without output", head + "Command=conv %SRC%\n", "c.ini:4: Command has no %DST%"},
        {"empty command", head + "Command=\n", "c.ini:4: empty Command"},
        {"unclosed section", "[A\n", "c.ini:1: section header without closing"},
        {"empty section name", "[ ]\n", "c.ini:1: empty section name"},
        {"duplicate section", head + "Builtin=text-to-epoc\n[a]\n", "c.ini:5: converter \"a\" declared twice"},
        {"missing source name", "\n[B]\nTargetName=T\nBuiltin=text-to-epoc\n", "c.ini:2: [B] has no SourceName"},
        {"missing target name", "[B]\nSourceName=S\nBuiltin=text-to-epoc\n", "c.ini:1: [B] has no TargetName"},
        {"no conversion", head, "c.ini:1: [A] has neither Builtin nor Command"},
        {"missing key", head + "=value\n", "c.ini:4: missing key"},
        {"not utf-8", head + "TargetClass=\xff\xfe\n", "c.ini:4: not UTF-8"},
    };
    for (const Row& row : rows) {
        const ControlFileResult r = CControlFile::Parse(row.content, u"c.ini"_s);
        EXPECT_FALSE(r.ok) << row.what;
        EXPECT_TRUE(r.converters.empty()) << row.what;
        EXPECT_TRUE(r.error.startsWith(QString::fromUtf8(row.expected))) << row.what << ": " << r.error.toStdString();
    }
}

TEST(ControlFileTest, ReadReportsThePathAndFolder) {
    CTempEnv env;
    const QString bad = env.WriteFile(u"suite/bad.ini"_s, "[A]\nSourceName=S\nnonsense\n");
    ControlFileResult r = CControlFile::Read(bad);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, bad + u":3: expected key=value, [section], or a comment"_s);

    r = CControlFile::Read(env.Root() + u"/missing.ini"_s);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.startsWith(env.Root() + u"/missing.ini: cannot be read"_s)) << r.error.toStdString();

    const QString good = env.WriteFile(u"suite/good.ini"_s, CControlFile::BuiltinContent());
    r = CControlFile::Read(good);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.directory, env.Root() + u"/suite"_s);
}

}  // namespace
