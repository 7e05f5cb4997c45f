// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/help/HelpViewer.h"
#include "platform/help/WinHelp.h"

#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QTest>
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

// From the keyboard alone: the arrows show each topic as they reach it, Escape closes.
TEST(HelpViewer, ArrowKeysShowTheTopicAndEscapeCloses) {
    CTempEnv env;
    const QString path = env.WriteFile(u"bindmgr.hlp"_s, kSample);
    ASSERT_TRUE(WinHelp(nullptr, path, HelpCommand::Contents, 0));
    CHelpViewer* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    auto* contents = viewer->findChild<QListWidget*>(u"contents"_s);
    contents->setFocus();
    QTest::keyClick(contents, Qt::Key_Down);
    EXPECT_EQ(viewer->CurrentContext(), 17u);
    EXPECT_TRUE(viewer->CurrentText().contains(u"Asked again."_s));
    QTest::keyClick(contents, Qt::Key_Down);
    EXPECT_EQ(viewer->CurrentContext(), 0x20080u);
    QTest::keyClick(contents, Qt::Key_Home);
    EXPECT_EQ(viewer->CurrentContext(), 0u);
    // Escape from the contents and from the topic alike.
    for (const QString& name : {u"contents"_s, u"topic"_s}) {
        ASSERT_TRUE(WinHelp(nullptr, path, HelpCommand::Contents, 0));
        const QPointer<CHelpViewer> open = OpenViewer();
        ASSERT_TRUE(open);
        QTest::keyClick(open->findChild<QWidget*>(name), Qt::Key_Escape);
        EXPECT_TRUE(!open || !open->isVisible()) << name.toStdString();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
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

TEST(HelpPlacement, AlwaysWhollyOnTheCallersScreen) {
    const QRect screen(0, 0, 1280, 1024);
    struct Case {
        const char* name;
        QRect caller;
        QSize help;
        QRect screen;
        QRect expected;
    };
    const Case cases[] = {
        // The manager's default window: no room on either side, so against the right edge.
        {"default manager window", QRect(210, 272, 862, 505), QSize(642, 445), screen, QRect(638, 272, 642, 445)},
        {"room on the right", QRect(0, 100, 400, 300), QSize(642, 445), screen, QRect(416, 100, 642, 445)},
        {"room on the left only", QRect(700, 100, 500, 300), QSize(642, 445), screen, QRect(42, 100, 642, 445)},
        {"prompt near the bottom", QRect(300, 900, 300, 120), QSize(642, 445), screen, QRect(616, 579, 642, 445)},
        {"caller above the screen", QRect(300, -50, 300, 120), QSize(642, 445), screen, QRect(616, 0, 642, 445)},
        {"larger than the screen", QRect(10, 10, 100, 100), QSize(2000, 1200), screen, QRect(0, 0, 1280, 1024)},
        {"second screen to the right", QRect(1300, 10, 900, 400), QSize(642, 445), QRect(1280, 0, 1280, 1024),
         QRect(1918, 10, 642, 445)},
    };
    for (const Case& c : cases) {
        const QRect place = HelpWindowPlace(c.caller, c.help, c.screen);
        EXPECT_EQ(place, c.expected) << c.name;
        EXPECT_TRUE(c.screen.contains(place)) << c.name;
    }
}

TEST(HelpViewer, OpensBesideItsCallerInsideTheScreen) {
    CTempEnv env;
    const QString path = env.WriteFile(u"h.hlp"_s, kSample);
    QWidget caller;
    const QRect screen = caller.screen()->availableGeometry();
    caller.setGeometry(screen.right() - 300, screen.top() + 40, 280, 200);
    caller.show();
    WinHelp(&caller, path, HelpCommand::Contents, 0);
    CHelpViewer* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(screen.contains(viewer->frameGeometry()))
        << viewer->frameGeometry().x() << "," << viewer->frameGeometry().y();
    viewer->close();
}

TEST(HelpViewer, BuiltHelpFileCoversEveryContextInUse) {
    CHelpFile file;
    ASSERT_TRUE(file.Load(BinDir() + u"/bindmgr.hlp"_s));
    for (uint32_t context : {16u, 17u, 0x20064u, 0x20080u, 0x20082u, 0x20084u, 0x20085u, 0x2008Cu, 0x2008Du, 0x20090u})
        EXPECT_NE(file.Find(context), nullptr) << std::hex << context;
}

}  // namespace
