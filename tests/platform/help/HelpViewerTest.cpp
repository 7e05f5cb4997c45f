// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/HelpViewer.h"
#include "platform/help/WinHelp.h"

#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QListWidget>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kSample =
    "# sample\n"
    "@topic 0 Contents\n<p>See <a href=\"topic:0x11\">the prompt</a>.</p>\n"
    "@topic 0x11 Recent prompt\n<p>Asked again.</p>\n"
    "@topic 131200 Main window\n<p>The list.</p>\n";

CHelpViewer* OpenViewer() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<CHelpViewer*>(w); viewer && viewer->isVisible())
            return viewer;
    }
    return nullptr;
}

TEST(HelpFile, ParsesTopicsAndRefusesDamage) {
    CHelpFile file;
    ASSERT_TRUE(file.Parse(kSample));
    ASSERT_EQ(file.Topics().size(), 3u);
    ASSERT_NE(file.Find(0x20080), nullptr);  // decimal and hexadecimal name the same numbers
    EXPECT_EQ(file.Find(0x20080)->Title, u"Main window"_s);
    EXPECT_EQ(file.Find(17)->Body.trimmed(), u"<p>Asked again.</p>"_s);
    EXPECT_EQ(file.Find(5), nullptr);

    const char* damaged[] = {"",
                             "# only comments\n",
                             "text before any topic\n@topic 1 A\n",
                             "@topic 1 A\n@topic 0x1 B\n",
                             "@topic zz A\n",
                             "@topic 0x1FFFFFFFF A\n"};
    for (const char* text : damaged)
        EXPECT_FALSE(file.Parse(text)) << text;
}

TEST(HelpViewer, OpensAContextAndFollowsLinks) {
    CTempEnv env;
    const QString path = env.WriteFile(u"bindmgr.hlp"_s, kSample);
    ASSERT_TRUE(WinHelp(nullptr, path, HelpCommand::Context, 17));
    CHelpViewer* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->CurrentContext(), 17u);
    EXPECT_TRUE(viewer->CurrentText().contains(u"Asked again."_s));
    EXPECT_EQ(viewer->findChild<QListWidget*>(u"contents"_s)->count(), 3);

    ASSERT_TRUE(WinHelp(nullptr, path, HelpCommand::Contents, 0));
    EXPECT_EQ(OpenViewer(), viewer) << "one viewer is reused";
    EXPECT_EQ(viewer->CurrentContext(), 0u);
    emit viewer->findChild<QTextBrowser*>(u"topic"_s)->anchorClicked(QUrl(u"topic:0x11"_s));
    EXPECT_EQ(viewer->CurrentContext(), 17u);
    viewer->close();
}

TEST(HelpViewer, MissingFileOrContextIsShownNotFatal) {
    CTempEnv env;
    const QString path = env.WriteFile(u"bindmgr.hlp"_s, kSample);
    EXPECT_FALSE(WinHelp(nullptr, path, HelpCommand::Context, 0x2008D));
    CHelpViewer* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_FALSE(viewer->CurrentContext());
    EXPECT_TRUE(viewer->CurrentText().contains(u"no help topic"_s));

    const QString missing = env.Root() + u"/none.hlp"_s;
    EXPECT_FALSE(WinHelp(nullptr, missing, HelpCommand::Context, 16));
    EXPECT_TRUE(viewer->CurrentText().contains(u"cannot be opened"_s));
    EXPECT_FALSE(WinHelp(nullptr, missing, HelpCommand::Contents, 0));
    viewer->close();
}

TEST(HelpViewer, BuiltHelpFileCoversEveryContextInUse) {
    CHelpFile file;
    ASSERT_TRUE(file.Load(BinDir() + u"/bindmgr.hlp"_s));
    for (uint32_t context : {16u, 17u, 0x20064u, 0x20080u, 0x20082u, 0x20084u, 0x20085u, 0x2008Cu, 0x2008Du, 0x20090u})
        EXPECT_NE(file.Find(context), nullptr) << std::hex << context;
}

}  // namespace
