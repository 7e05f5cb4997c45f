// SPDX-License-Identifier: GPL-3.0-or-later
// A whole run through the synchronizer's window, with the both-changed prompt answered in the
// real dialog.
#include "synchronizer/SyncDlg.h"
#include "synchronizer/dialogs/BothChangedDlg.h"

#include "tests/synchronizer/SyncTestWorld.h"

#include <QApplication>
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

    CSyncDlg dlg(world.Settings());
    // The engine's events reach the window as the sink would post them.
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, &dlg, [&] {
        world.engine.Pump(
            [&dlg](EngineEvent e, int32_t r) { QCoreApplication::postEvent(&dlg, new CEngineEvent(e, r)); },
            [] { return false; });
    });
    pump.start(5);

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

    EXPECT_EQ(prompts, 1);
    // The handheld's edit is kept on the PC first, then replaced.
    ASSERT_EQ(world.engine.CountCalls(u"CopyFile"_s), 2);
    EXPECT_TRUE(world.engine.Matching(u"CopyFile"_s).first().contains(u"-> 1:"_s));
    EXPECT_TRUE(world.engine.Matching(u"CopyFile"_s).last().contains(u"-> 2:"_s))
        << world.engine.Matching(u"CopyFile"_s).last().toStdString();
    EXPECT_EQ(world.engine.files[world.DeviceDir() + u"report.txt"_s].content, "from the PC");
    EXPECT_EQ(world.ReadPcFile(u"report.txt"_s), "from the PC");
}

}  // namespace
