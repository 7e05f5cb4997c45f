// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/FileDllLibrary.h"

#include "common/VersionInfo.h"

#include "platform/converter/EpocText.h"
#include "platform/registry/Registry.h"
#include "tests/support/HostileEntries.h"
#include "tests/support/TempEnv.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Runs script on the chooser window once it is up; the window is closed if the script
// leaves it open, so a failing test cannot hang.
void WhenShown(std::function<void(QDialog*)> script) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, script] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        script(dialog);
        if (dialog->isVisible())
            QTimer::singleShot(0, dialog, &QDialog::reject);
    });
    timer->start();
}

template <typename T>
T* Child(QDialog* dialog, const char* name) {
    T* child = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void ClickItem(QDialog* dialog, const QString& text) {
    auto* list = Child<QListWidget>(dialog, "entryList");
    const auto items = list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    const QRect rect = list->visualItemRect(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList Entries(QDialog* dialog) {
    QStringList names;
    auto* list = Child<QListWidget>(dialog, "entryList");
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

class EpocFileDllTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString root = m_env.MakeDir(u"device"_s);
        m_env.MakeDir(u"device/C/Documents/Letters"_s);
        m_env.MakeDir(u"device/D"_s);
        m_env.WriteFile(u"device/C/Documents/Report"_s, EncodeEpocText(u"quarterly"_s));
        m_env.WriteFile(u"device/C/Documents/notes.txt"_s, "plain");
        ASSERT_TRUE(CRegistry::Default().SetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Simulator"_s,
                                                   u"DeviceRoot"_s, root));
        ASSERT_TRUE(m_library.Load(BinDir() + u"/ecfile.ocx"_s)) << m_library.ErrorString().toStdString();
        m_chooser = m_library.Create();
        ASSERT_NE(m_chooser, nullptr);
    }

    QString FileName() {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        m_chooser->GetFileName(buffer);
        return QString::fromUtf8(buffer);
    }
    QString PathName() {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        m_chooser->GetPathName(buffer);
        return QString::fromUtf8(buffer);
    }

    CTempEnv m_env;
    CFileDllLibrary m_library;
    FileDllPtr m_chooser;
};

TEST_F(EpocFileDllTest, PickingAnExistingFile) {
    m_chooser->Init(1, u"Select new file to synchronize"_s, u"Pick"_s, u"c:\\documents\\*.*"_s, 1);
    WhenShown([](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), u"Select new file to synchronize"_s);
        EXPECT_EQ(Child<QPushButton>(dialog, "acceptButton")->text(), u"Pick"_s);
        EXPECT_EQ(Child<QLabel>(dialog, "folderLabel")->text(), u"C:\\Documents\\"_s);
        EXPECT_EQ(Entries(dialog), (QStringList{u"Letters"_s, u"notes.txt"_s, u"Report"_s}));
        ClickItem(dialog, u"Report"_s);
        EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), u"Report"_s);
        QTest::mouseClick(Child<QPushButton>(dialog, "acceptButton"), Qt::LeftButton);
    });
    EXPECT_GT(m_chooser->DoModal(), 0);
    EXPECT_EQ(FileName(), u"C:\\Documents\\Report"_s);
    EXPECT_EQ(PathName(), u"C:\\Documents"_s);
    uint32_t u1 = 0, u2 = 0, u3 = 0;
    m_chooser->GetFileType(u1, u2, u3);
    EXPECT_EQ(u1, kEpocTextUid1);
    EXPECT_EQ(u2, kEpocTextUid2);
    EXPECT_EQ(u3, kEpocTextUid3);
}

// A pipe, socket, device node or link on the handheld is neither shown nor opened: the window
// lists folders and regular files only, and neither choosing one by name nor reading a type
// ever waits on a pipe or reads through a link.
TEST_F(EpocFileDllTest, ListsOnlyFoldersAndFilesAndNeverWaits) {
    const QString docs = m_env.Root() + u"/device/C/Documents"_s;
    const QString secret = m_env.WriteFile(u"outside/typed"_s, EncodeEpocText(u"secret"_s));
    CFifoUnjammer unjammer;
    unjammer.Watch(docs + u"/Pipe"_s);
    ASSERT_TRUE(HostileEntries::Fifo(docs + u"/Pipe"_s));
    ASSERT_TRUE(HostileEntries::Socket(docs + u"/Socket"_s));
    ASSERT_TRUE(HostileEntries::Link(secret, docs + u"/Typed"_s));
    ASSERT_TRUE(HostileEntries::Link(m_env.Root() + u"/outside"_s, docs + u"/Away"_s));
    HostileEntries::DeviceNode(docs + u"/Zero"_s);  // where allowed

    m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\Documents\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        EXPECT_EQ(Entries(dialog), (QStringList{u"Letters"_s, u"notes.txt"_s, u"Report"_s}));
        auto* name = Child<QLineEdit>(dialog, "nameEdit");
        for (const QString& typed : {u"pipe"_s, u"Typed"_s, u"Zero"_s}) {
            name->setText(typed);
            Child<QPushButton>(dialog, "acceptButton")->click();
            EXPECT_TRUE(dialog->isVisible()) << typed.toStdString();
        }
        name->setText(u"Away"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
        EXPECT_EQ(Child<QLabel>(dialog, "folderLabel")->text(), u"C:\\Documents\\"_s) << "a link opened as a folder";
        ClickItem(dialog, u"Report"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
    });
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"C:\\Documents\\Report"_s);

    // Chosen without the window (as a drop or a typed path would be): no type is read from them.
    for (const QString& answer : {u"C:\\Documents\\Pipe"_s, u"C:\\Documents\\Typed"_s}) {
        m_env.SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", answer);
        m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\Documents\\"_s, 1);
        EXPECT_EQ(m_chooser->DoModal(), 1);
        uint32_t u1 = 9, u2 = 9, u3 = 9;
        m_chooser->GetFileType(u1, u2, u3);
        EXPECT_EQ(u1 | u2 | u3, 0u) << answer.toStdString();
    }
    m_env.SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", QString());
    EXPECT_FALSE(unjammer.Unjam()) << "the chooser waited on the pipe";
}

TEST_F(EpocFileDllTest, CancelAnswersZero) {
    m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        EXPECT_EQ(Entries(dialog), QStringList{u"Documents"_s});
        QTest::mouseClick(Child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
    });
    EXPECT_EQ(m_chooser->DoModal(), 0);
    EXPECT_EQ(FileName(), QString());
}

TEST_F(EpocFileDllTest, ExistingFileModeRefusesUnknownNames) {
    m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\Documents\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        auto* name = Child<QLineEdit>(dialog, "nameEdit");
        name->setText(u"Missing"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(Child<QLabel>(dialog, "errorLabel")->text(), u"C:\\Documents\\Missing does not exist."_s);
        name->setText(u"..\\x"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
        EXPECT_TRUE(dialog->isVisible());
        // A folder typed by name is opened, a file picked by navigating the list.
        name->setText(u"letters"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
        EXPECT_EQ(Child<QLabel>(dialog, "folderLabel")->text(), u"C:\\Documents\\Letters\\"_s);
        Child<QPushButton>(dialog, "upButton")->click();
        ClickItem(dialog, u"notes.txt"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
    });
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"C:\\Documents\\notes.txt"_s);
    uint32_t u1 = 9, u2 = 9, u3 = 9;
    m_chooser->GetFileType(u1, u2, u3);
    EXPECT_EQ(u1 | u2 | u3, 0u) << "no EPOC header";
}

TEST_F(EpocFileDllTest, KeyboardAloneOpensFoldersAndPicksAFile) {
    m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\Documents\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        QApplication::setActiveWindow(dialog);
        auto* list = Child<QListWidget>(dialog, "entryList");
        auto* name = Child<QLineEdit>(dialog, "nameEdit");
        auto* folder = Child<QLabel>(dialog, "folderLabel");
        auto* error = Child<QLabel>(dialog, "errorLabel");
        list->setFocus(Qt::BacktabFocusReason);
        EXPECT_EQ(name->text(), QString()) << "the focus arriving chooses nothing";
        // Return on a folder opens it, and only that.
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_EQ(name->text(), u"Report"_s);
        QTest::keyClick(list, Qt::Key_Home);
        ASSERT_EQ(list->currentItem()->text(), u"Letters"_s);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(folder->text(), u"C:\\Documents\\Letters\\"_s);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(error->isHidden()) << error->text().toStdString();
        EXPECT_EQ(name->text(), QString()) << "a file of the folder left names nothing here";
        QTest::keyClick(list, Qt::Key_Backspace);
        EXPECT_EQ(folder->text(), u"C:\\Documents\\"_s);
        // Moving onto a file names it, as a click does; Return takes it.
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(name->text(), u"notes.txt"_s);
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(name->text(), u"Report"_s);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"C:\\Documents\\Report"_s);
}

TEST_F(EpocFileDllTest, TargetModeProposesTheInitialNameAndTakesATypedOne) {
    m_chooser->Init(0, u"Select EPOC target for report.doc"_s, u"OK"_s, u"C:\\Documents\\Quarterly"_s, 1);
    WhenShown([](QDialog* dialog) {
        auto* name = Child<QLineEdit>(dialog, "nameEdit");
        EXPECT_EQ(name->text(), u"Quarterly"_s);
        EXPECT_EQ(Child<QLabel>(dialog, "folderLabel")->text(), u"C:\\Documents\\"_s);
        name->setText(u"D:\\Plan"_s);  // a whole path moves to its folder
        Child<QPushButton>(dialog, "acceptButton")->click();
    });
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"D:\\Plan"_s);
    EXPECT_EQ(PathName(), u"D:"_s);
}

TEST_F(EpocFileDllTest, MissingFolderStartsAtTheNearestOneThatExists) {
    m_chooser->Init(0, u"t"_s, u"OK"_s, u"C:\\Documents\\Gone\\Deeper\\Name"_s, 1);
    WhenShown([](QDialog* dialog) {
        EXPECT_EQ(Child<QLabel>(dialog, "folderLabel")->text(), u"C:\\Documents\\"_s);
        EXPECT_EQ(Child<QLineEdit>(dialog, "nameEdit")->text(), u"Name"_s);
        Child<QPushButton>(dialog, "acceptButton")->click();
    });
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"C:\\Documents\\Name"_s);
}

TEST_F(EpocFileDllTest, OverlongPathsAreRefusedNotTruncated) {
    m_chooser->Init(0, u"t"_s, u"OK"_s, u"C:\\Documents\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        Child<QLineEdit>(dialog, "nameEdit")->setText(QString(250, u'n'));
        Child<QPushButton>(dialog, "acceptButton")->click();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(Child<QLabel>(dialog, "errorLabel")->text().contains(u"too long"_s));
    });
    EXPECT_EQ(m_chooser->DoModal(), 0);
}

TEST_F(EpocFileDllTest, NoDeviceMeansNothingCanBeChosen) {
    CRegistry::Default().SetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Simulator"_s, u"DeviceRoot"_s,
                                   m_env.Root() + u"/nowhere"_s);
    m_chooser->Init(1, u"t"_s, u"OK"_s, u"C:\\"_s, 1);
    WhenShown([](QDialog* dialog) {
        EXPECT_FALSE(Child<QPushButton>(dialog, "acceptButton")->isEnabled());
        EXPECT_FALSE(Child<QLabel>(dialog, "errorLabel")->text().isEmpty());
    });
    EXPECT_EQ(m_chooser->DoModal(), 0);
}

TEST_F(EpocFileDllTest, TestSeamAnswersWithoutShowing) {
    const QString log = m_env.Root() + u"/chooser.log"_s;
    m_env.SetEnv("DOVETAIL_TEST_CHOOSER_LOG", log);
    m_env.SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", u"C:\\documents\\REPORT"_s);
    m_chooser->Init(0, u"Select EPOC target for a.txt"_s, u"OK"_s, u"C:\\a"_s, 1);
    EXPECT_EQ(m_chooser->DoModal(), 1);
    EXPECT_EQ(FileName(), u"C:\\Documents\\Report"_s) << "as stored on the handheld";
    uint32_t u1 = 0, u2 = 0, u3 = 0;
    m_chooser->GetFileType(u1, u2, u3);
    EXPECT_EQ(u3, kEpocTextUid3) << "the answered file exists and is EPOC text";

    m_env.SetEnv("DOVETAIL_TEST_CHOOSER_ANSWER", QString());
    m_chooser->Init(1, u"Second"_s, u"OK"_s, u"C:\\"_s, 1);
    EXPECT_EQ(m_chooser->DoModal(), 0);

    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("0\tSelect EPOC target for a.txt\tOK\tC:\\a\t1\n1\tSecond\tOK\tC:\\\t1\n"));
}

TEST(FileDllLibraryTest, ExplainsWhyALibraryCannotBeUsed) {
    CTempEnv env;
    CFileDllLibrary library;
    EXPECT_FALSE(library.Load(env.Root() + u"/absent.ocx"_s));
    EXPECT_EQ(library.ErrorString(), u"The EPOC file chooser %1/absent.ocx does not exist."_s.arg(env.Root()));
    EXPECT_EQ(library.Create(), nullptr);

    const QString junk = env.WriteFile(u"junk.ocx"_s, "not a library");
    EXPECT_FALSE(library.Load(junk));
    EXPECT_TRUE(library.ErrorString().startsWith(u"The EPOC file chooser %1 cannot be loaded: "_s.arg(junk)))
        << library.ErrorString().toStdString();

    const QString other = QCoreApplication::applicationDirPath() + u"/notachooser.so"_s;
    EXPECT_FALSE(library.Load(other));
    EXPECT_EQ(library.ErrorString(), u"%1 is not an EPOC file chooser library."_s.arg(other));
    EXPECT_FALSE(library.IsLoaded());
}

TEST(FileDllLibraryTest, LibraryCarriesItsVersion) {
    CVersionInfo info;
    ASSERT_TRUE(info.Open(BinDir() + u"/ecfile.ocx"_s));
    EXPECT_EQ(info.GetString(u"FileVersion"_s), u"1.0.0.20"_s);
}

}  // namespace
