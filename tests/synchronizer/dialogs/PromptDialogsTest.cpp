// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/BothChangedDlg.h"
#include "synchronizer/dialogs/CopyErrorDlg.h"
#include "synchronizer/dialogs/DialogUnits.h"
#include "synchronizer/dialogs/RecentSyncDlg.h"
#include "platform/help/HelpViewer.h"

#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

enum class Ending { OkButton, EnterKey, EscKey, CloseBox };

// Runs the dialog modally; once it is up, clicks the radio named pick (if any) and ends it.
int RunModal(QDialog& dlg, const char* pick, Ending ending) {
    QTimer::singleShot(0, &dlg, [&dlg, pick, ending] {
        if (pick) {
            auto* radio = dlg.findChild<QRadioButton*>(QString::fromLatin1(pick));
            if (!radio) {
                ADD_FAILURE() << "no radio " << pick;
            } else {
                QTest::mouseClick(radio, Qt::LeftButton);
            }
        }
        switch (ending) {
            case Ending::OkButton:
                QTest::mouseClick(dlg.findChild<QPushButton*>(u"1"_s), Qt::LeftButton);
                break;
            case Ending::EnterKey:
                QTest::keyClick(&dlg, Qt::Key_Return);
                break;
            case Ending::EscKey:
                QTest::keyClick(&dlg, Qt::Key_Escape);
                break;
            case Ending::CloseBox:
                dlg.close();
                break;
        }
        // A dialog that refused to end would hang the test.
        QTimer::singleShot(2000, &dlg, [&dlg] {
            if (dlg.isVisible()) {
                ADD_FAILURE() << "dialog did not close";
                dlg.done(-1);
            }
        });
    });
    return dlg.exec();
}

struct Row {
    const char* name;
    const char* pick;
    Ending ending;
    int expected;
};

TEST(BothChangedDlg, EveryEndingUsesTheSelectedResolution) {
    const Row rows[] = {
        {"preselected older file", nullptr, Ending::OkButton, 0},
        {"leave both", "1009", Ending::OkButton, 1},
        {"overwrite Windows file by Enter", "1010", Ending::EnterKey, 2},
        {"Esc after Overwrite EPOC file", "1011", Ending::EscKey, 3},
        {"Esc with the preselection", nullptr, Ending::EscKey, 0},
        {"window closed anyway", "1009", Ending::CloseBox, 1},
    };
    for (const Row& row : rows) {
        CBothChangedDlg dlg(u"/home/u/a.txt"_s, u"1/2/99 10:00:00"_s, u"C:\\Documents\\a"_s, u"1/2/99 11:00:00"_s);
        EXPECT_EQ(RunModal(dlg, row.pick, row.ending), row.expected) << row.name;
        EXPECT_EQ(dlg.Result(), row.expected) << row.name;
    }
}

TEST(BothChangedDlg, ShowsItsInputsWithoutCloseBox) {
    CBothChangedDlg dlg(u"/home/u/a.txt"_s, u"pc time"_s, u"C:\\Documents\\a"_s, u"epoc time"_s);
    EXPECT_EQ(dlg.windowTitle(), u"Both files changed since last synchronization"_s);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    const std::pair<const char*, QString> edits[] = {{"1004", u"/home/u/a.txt"_s},
                                                     {"1005", u"pc time"_s},
                                                     {"1006", u"C:\\Documents\\a"_s},
                                                     {"1007", u"epoc time"_s}};
    for (const auto& [id, text] : edits) {
        auto* edit = dlg.findChild<QLineEdit*>(QString::fromLatin1(id));
        ASSERT_NE(edit, nullptr) << id;
        EXPECT_EQ(edit->text(), text);
        EXPECT_TRUE(edit->isReadOnly());
    }
    EXPECT_TRUE(dlg.findChild<QRadioButton*>(u"1008"_s)->isChecked());
    EXPECT_TRUE(dlg.findChild<QPushButton*>(u"1"_s)->isDefault());
}

TEST(RecentSyncDlg, EveryEndingUsesTheSelectedAnswer) {
    const Row rows[] = {
        {"preselected do not synchronize", nullptr, Ending::OkButton, 0},
        {"synchronize anyway", "1013", Ending::OkButton, 1},
        {"Esc keeps synchronize anyway", "1013", Ending::EscKey, 1},
        {"close box keeps synchronize anyway", "1013", Ending::CloseBox, 1},
        {"close box with the preselection", nullptr, Ending::CloseBox, 0},
        {"changed mind", "1012", Ending::EnterKey, 0},
    };
    for (const Row& row : rows) {
        CRecentSyncDlg dlg(u"/home/u/a.txt"_s, u"C:\\Documents\\a"_s, u"1/2/99 10:00:00"_s);
        EXPECT_EQ(RunModal(dlg, row.pick, row.ending), row.expected) << row.name;
    }
    CRecentSyncDlg dlg(u"pc"_s, u"epoc"_s, u"when"_s);
    EXPECT_EQ(dlg.findChild<QLineEdit*>(u"1011"_s)->text(), u"when"_s);
    EXPECT_TRUE(dlg.findChild<QRadioButton*>(u"1012"_s)->isChecked());
}

TEST(CopyErrorDlg, EachButtonEscAndCloseBoxGiveTheirResult) {
    struct ButtonRow {
        const char* button;
        int expected;
    };
    for (const ButtonRow& row : {ButtonRow{"1", 1}, ButtonRow{"2", 2}, ButtonRow{"1001", 3}, ButtonRow{"1002", 4}}) {
        CCopyErrorDlg dlg(u"C:\\Documents\\a"_s);
        QTimer::singleShot(0, &dlg, [&] {
            QTest::mouseClick(dlg.findChild<QPushButton*>(QString::fromLatin1(row.button)), Qt::LeftButton);
        });
        EXPECT_EQ(dlg.exec(), row.expected) << "button " << row.button;
    }
    const std::pair<Ending, int> endings[] = {{Ending::EscKey, 2}, {Ending::CloseBox, 2}, {Ending::EnterKey, 1}};
    for (const auto& [ending, expected] : endings) {
        CCopyErrorDlg dlg(u"/home/u/a.txt"_s);
        EXPECT_EQ(RunModal(dlg, nullptr, ending), expected);
    }
    CCopyErrorDlg dlg(u"/home/u/a.txt"_s);
    EXPECT_EQ(dlg.findChild<QLineEdit*>(u"1003"_s)->text(), u"/home/u/a.txt"_s);
    EXPECT_EQ(dlg.windowTitle(), u"Dovetail Synchronizer"_s);
}

CHelpViewer* VisibleViewer() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<CHelpViewer*>(w); viewer && viewer->isVisible())
            return viewer;
    }
    return nullptr;
}

TEST(PromptDialogs, F1OpensTheProgramsHelpFileButNotForCopyErrors) {
    CTempEnv env;
    const QString helpFile = QCoreApplication::applicationDirPath() + u"/bindmgr.hlp"_s;
    {
        CCopyErrorDlg dlg(u"x"_s);
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_F1);
        EXPECT_EQ(VisibleViewer(), nullptr);
        EXPECT_TRUE(dlg.isVisible());
    }
    CBothChangedDlg both(u"a"_s, u"b"_s, u"c"_s, u"d"_s);
    both.show();
    QTest::keyClick(&both, Qt::Key_F1);
    CHelpViewer* viewer = VisibleViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->FilePath(), helpFile);
    EXPECT_TRUE(both.isVisible()) << "help leaves the prompt open";
    viewer->close();

    CRecentSyncDlg recent(u"a"_s, u"b"_s, u"c"_s);
    recent.show();
    QTest::keyClick(recent.findChild<QRadioButton*>(u"1013"_s), Qt::Key_F1);  // from a focused control too
    ASSERT_NE(VisibleViewer(), nullptr);
    VisibleViewer()->close();
}

// A modal prompt blocks other windows, so the help it opens must ride along with it, and stay
// open on its own once the prompt is answered.
TEST(PromptDialogs, HelpOpenedFromARunningPromptIsUsableAndOutlivesIt) {
    CTempEnv env;
    CRecentSyncDlg dlg(u"a"_s, u"b"_s, u"c"_s);
    QPointer<CHelpViewer> viewer;
    QTimer::singleShot(0, &dlg, [&] {
        QTest::keyClick(&dlg, Qt::Key_F1);
        viewer = VisibleViewer();
        if (viewer) {
            EXPECT_EQ(viewer->parentWidget(), &dlg);
        }
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    dlg.exec();
    ASSERT_FALSE(viewer.isNull());
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->parentWidget(), nullptr);
    viewer->close();
}

// Dialog units follow the font: a larger font gives a proportionally larger dialog, with the
// controls keeping their places relative to it.
TEST(PromptDialogs, LayoutScalesWithTheDialogFont) {
    QFont small = QApplication::font();
    small.setPixelSize(11);
    QFont large = small;
    large.setPixelSize(22);
    const QFont saved = QApplication::font();
    QApplication::setFont(small);
    CCopyErrorDlg a(u"x"_s);
    QApplication::setFont(large);
    CCopyErrorDlg b(u"x"_s);
    QApplication::setFont(saved);

    const CDialogUnits du(small);
    EXPECT_EQ(a.size(), du.Size(226, 81));
    EXPECT_EQ(a.findChild<QPushButton*>(u"1002"_s)->geometry(), du.Rect(169, 60, 50, 14));
    EXPECT_NEAR(double(b.width()) / a.width(), 2.0, 0.15);
    EXPECT_NEAR(double(b.height()) / a.height(), 2.0, 0.15);
    const QRect stopA = a.findChild<QPushButton*>(u"1002"_s)->geometry();
    const QRect stopB = b.findChild<QPushButton*>(u"1002"_s)->geometry();
    EXPECT_NEAR(double(stopB.right()) / b.width(), double(stopA.right()) / a.width(), 0.02);
}

}  // namespace
