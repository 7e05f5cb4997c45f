// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ConverterRegistration.h"

#include "platform/converter/ConverterFormat.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/converter/EpocText.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempEnv.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString Read(RegRoot root, const QString& key, const QString& name) {
    QString text;
    CRegistry::Default().GetString(root, key, name, text);
    return text;
}

// Follows the lookups the binding flows make, from a file to the converter they pick.
TEST(ConverterRegistrationTest, RegisteredNamesLeadToTheBuiltinConverters) {
    CTempEnv env;
    QString error;
    ASSERT_TRUE(InstallConverterRegistration(env.Root() + u"/suite"_s, &error)) << error.toStdString();
    EXPECT_EQ(Read(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s),
              env.Root() + u"/suite/Convert.ini"_s);

    auto root = CreateAutomationObject(u"VEROZ.CONVERTERINTERFACE"_s);
    ASSERT_NE(root, nullptr);
    root->UseControlFile(Read(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s, u"Control File"_s));
    ASSERT_EQ(root->Count(), 2);
    auto toEpoc = root->Item(0);
    auto toPc = root->Item(1);

    // PC side: the class name of ".txt" applies to the first converter, and so does the
    // default extension registered for its source class.
    const QString pcClass = Read(RegRoot::ClassesRoot, u".txt"_s, QString());
    EXPECT_TRUE(FormatMatches(toEpoc->SourceFormat(), pcClass));
    EXPECT_FALSE(FormatMatches(toPc->SourceFormat(), pcClass));
    EXPECT_EQ(Read(RegRoot::LocalMachine,
                   u"SOFTWARE\\VEROZ\\PsiWin32\\Extensions\\"_s + FormatLine(toEpoc->SourceFormat(), 1),
                   u"DefaultExtension"_s),
              u".txt"_s);
    EXPECT_EQ(Read(RegRoot::ClassesRoot, pcClass, QString()), FormatLine(toPc->TargetFormat(), 0));

    // EPOC side: the class text of an EPOC text file applies to the second converter, whose
    // target class is the registered target type.
    uint32_t u1 = 0, u2 = 0, u3 = 0;
    ASSERT_TRUE(ReadEpocFileHeader(EncodeEpocText(u"x"_s), u1, u2, u3));
    EXPECT_EQ(EpocClassKey(0x1000A7E1, 0xAB, 0x10), u"EPOC\\{1000A7E1,AB,10}"_s);
    const QString epocClass = Read(RegRoot::ClassesRoot, EpocClassKey(u1, u2, u3), QString());
    EXPECT_EQ(epocClass, u"EPOC Text"_s);
    EXPECT_TRUE(FormatMatches(toPc->SourceFormat(), epocClass));
    EXPECT_EQ(FormatLine(toEpoc->TargetFormat(), 0), epocClass);
    EXPECT_EQ(Read(RegRoot::ClassesRoot, epocClass + u"\\EpocInfo"_s, u"TargetType"_s),
              FormatLine(toPc->TargetFormat(), 1));

    // Installing again rewrites the same state.
    EXPECT_TRUE(InstallConverterRegistration(env.Root() + u"/suite/"_s, &error));
}

TEST(ConverterRegistrationTest, UnwritableFolderFails) {
    CTempEnv env;
    const QString file = env.WriteFile(u"plainfile"_s, "x");
    QString error;
    EXPECT_FALSE(InstallConverterRegistration(file + u"/suite"_s, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(InstallConverterRegistration(QString(), nullptr));
    QString value;
    EXPECT_FALSE(CRegistry::Default().GetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32"_s,
                                                u"Control File"_s, value));
}

}  // namespace
