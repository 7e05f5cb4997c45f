// SPDX-License-Identifier: GPL-3.0-or-later
// A run on its own thread, shown by a window on this one: the window sees what a run on its own
// thread would show it, and a window that never comes leaves no run waiting.
#include "synchronizer/SyncRunThread.h"

#include "tests/synchronizer/SyncTestWorld.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Both sides of report.txt changed since the last run, and the user is asked.
void Arrange(CSyncTestWorld& world) {
    CDocSynchEntry binding = world.MakeBinding(u"report.txt"_s);
    binding.PromptBothChanged = true;
    world.AddBinding(u"0"_s, binding);
    world.AddBinding(u"1"_s, world.MakeBinding(u"notes.txt"_s));
    world.WritePcFile(u"report.txt"_s, "from the PC", kNow - 7200);
    world.WriteDeviceFile(u"report.txt"_s, "from the handheld", kNow - 3600);
    world.WritePcFile(u"notes.txt"_s, "notes", kNow - 600);
    world.ui.bothChangedAnswers = {BothChangedAnswer::OverwriteEpoc};
}

// What a world shows and logs, without its temporary folder's name and the second a kept copy
// was named in (the two runs may fall on either side of one).
QStringList Shown(const CSyncTestWorld& world) {
    QStringList lines = world.ui.calls + world.RunLines();
    lines.replaceInStrings(world.env.Root(), u"<root>"_s);
    lines.replaceInStrings(QRegularExpression(u"\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d"_s), u"<when>"_s);
    return lines;
}

class CWindow : public QObject {
public:
    CWindow(CSyncRunThread& run, ISyncUi& ui, const bool& closed) : m_run(run), m_ui(ui), m_closed(closed) {}
    QEventLoop loop;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != CSyncRunThread::kUiCallsEvent)
            return;
        m_run.ApplyUiCalls(m_ui);
        if (m_closed)
            loop.quit();
    }

private:
    CSyncRunThread& m_run;
    ISyncUi& m_ui;
    const bool& m_closed;
};

TEST(SyncRunThreadTest, TheWindowSeesWhatTheRunOnItsOwnThreadShows) {
    CSyncTestWorld alone;
    Arrange(alone);
    alone.Run();

    CSyncTestWorld world;
    Arrange(world);
    CSyncRunSettings settings = world.Settings();
    settings.createEngine = [&world] { return MakeDeliveringEngine(world.engine); };
    CSyncRunThread run(std::move(settings));
    run.Begin();  // before the window: what it asks meanwhile waits for it
    CWindow window(run, world.ui, world.ui.closed);
    run.SetWindow(&window);
    QTimer::singleShot(20000, &window.loop, [&window] {
        ADD_FAILURE() << "the run did not end";
        window.loop.quit();
    });
    window.loop.exec();
    run.Finish(std::chrono::milliseconds(0));

    EXPECT_EQ(Shown(world).join(u'\n').toStdString(), Shown(alone).join(u'\n').toStdString());
    EXPECT_EQ(world.engine.files[world.DeviceDir() + u"report.txt"_s].content, "from the PC");
}

TEST(SyncRunThreadTest, ARunWhoseWindowNeverComesEndsWhenFinished) {
    CSyncTestWorld world;
    Arrange(world);
    CSyncRunSettings settings = world.Settings();
    settings.createEngine = [&world] { return MakeDeliveringEngine(world.engine); };
    CSyncRunThread run(std::move(settings));
    run.Begin();
    run.Finish(std::chrono::milliseconds(0));
    // The prompt went unanswered, so both documents stay as they are, and the log says why.
    EXPECT_EQ(world.engine.files[world.DeviceDir() + u"report.txt"_s].content, "from the handheld");
    EXPECT_EQ(world.ReadPcFile(u"report.txt"_s), "from the PC");
    EXPECT_EQ(world.LogLines().value(world.LogLines().size() - 1), u"Synchronization stopped."_s);
    EXPECT_TRUE(world.ui.calls.isEmpty());
}

}  // namespace
