// SPDX-License-Identifier: GPL-3.0-or-later
// Whole runs through the synchronizer's window, the run on its own thread: the both-changed
// prompt answered in the real dialog, and Stop.
#include "synchronizer/SyncDlg.h"
#include "synchronizer/dialogs/BothChangedDlg.h"

#include "tests/synchronizer/SyncTestWorld.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(BothChangedRun, OverwriteEpocFileAnsweredInTheDialogCopiesThePcFile) {
    CSyncTestWorld world;
    CDocSynchEntry binding = world.MakeBinding(u"report.txt"_s);
    binding.PromptBothChanged = true;
    world.AddBinding(u"0"_s, binding);
    // Both sides changed since the last run; the handheld's copy is the newer one, so only the
    // answer can send the PC file over it.
    world.WritePcFile(u"report.txt"_s, "from the PC", kNow - 7200);
    world.WriteDeviceFile(u"report.txt"_s, "from the handheld", kNow - 3600);

    CSyncRunSettings settings = world.Settings();
    settings.createEngine = [&world] { return MakeDeliveringEngine(world.engine); };
    CSyncDlg dlg(std::move(settings));

    int prompts = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, &dlg, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* prompt = qobject_cast<CBothChangedDlg*>(modal)) {
            ++prompts;
            QTest::mouseClick(prompt->findChild<QRadioButton*>(u"1011"_s), Qt::LeftButton);
            QTest::keyClick(prompt, Qt::Key_Escape);
        } else if (auto* other = qobject_cast<QDialog*>(modal); other && other != &dlg) {
            other->accept();  // the completion report
        }
    });
    user.start(10);
    QTimer::singleShot(20000, &dlg, [&] {
        ADD_FAILURE() << "the run did not end";
        dlg.CloseWindow(false);
    });

    dlg.Run();
    dlg.Finish();  // the engine is the run's until its thread ends

    EXPECT_EQ(prompts, 1);
    // The handheld's edit is kept on the PC first, then replaced.
    ASSERT_EQ(world.engine.CountCalls(u"CopyFile"_s), 2);
    EXPECT_TRUE(world.engine.Matching(u"CopyFile"_s).first().contains(u"-> 1:"_s));
    EXPECT_TRUE(world.engine.Matching(u"CopyFile"_s).last().contains(u"-> 2:"_s))
        << world.engine.Matching(u"CopyFile"_s).last().toStdString();
    EXPECT_EQ(world.engine.files[world.DeviceDir() + u"report.txt"_s].content, "from the PC");
    EXPECT_EQ(world.ReadPcFile(u"report.txt"_s), "from the PC");
}

// The handheld never answers: Stop ends the run at once, and the log says it stopped.
TEST(BothChangedRun, StopEndsARunWaitingForTheHandheld) {
    CSyncTestWorld world;
    world.AddBinding(u"0"_s, world.MakeBinding(u"report.txt"_s));
    CSyncDlg dlg(world.Settings());
    QTimer::singleShot(100, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    QElapsedTimer took;
    took.start();
    dlg.Run();
    dlg.Finish();
    EXPECT_LT(took.elapsed(), 5000);
    EXPECT_EQ(world.LogLines().value(world.LogLines().size() - 1), u"Synchronization stopped."_s);
    EXPECT_EQ(world.engine.CountCalls(u"Connect"_s), 0);
}

}  // namespace
