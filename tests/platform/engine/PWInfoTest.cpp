// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/PWInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A window as the synchronizer's: it receives posted events and reports them to the sink.
class CWindow : public QObject {
public:
    explicit CWindow(CPWInfo& sink) : m_sink(sink) {}
    std::vector<int32_t> received;

protected:
    void customEvent(QEvent* event) override {
        if (!CEngineEvent::IsEngineEvent(event))
            return;
        const auto* e = static_cast<CEngineEvent*>(event);
        if (e->Sender() == &m_sink)
            m_sink.Received();
        received.push_back(e->Result());
    }

private:
    CPWInfo& m_sink;
};

}  // namespace

TEST(PWInfoTest, AnEventWaitedForIsHandedOverAndOneNotWaitedForIsPosted) {
    CPWInfo sink;
    CWindow window(sink);
    sink.SetWindow(&window);

    CPWInfo::Handed handed{};
    std::thread engine([&] {
        std::this_thread::sleep_for(20ms);
        sink.OnCopyDone(7);
    });
    ASSERT_TRUE(sink.WaitForNext(5s, handed));
    engine.join();
    EXPECT_EQ(handed.event, EngineEvent::CopyDone);
    EXPECT_EQ(handed.result, 7);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.received.empty()) << "a handed event must not arrive a second time";

    sink.OnRemoteFileClosed(8);  // nobody waits: it goes through the event queue
    EXPECT_FALSE(sink.WaitForNext(1ms, handed));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, std::vector<int32_t>{8});
    EXPECT_FALSE(sink.WaitForNext(1ms, handed));
}

TEST(PWInfoTest, AnEventStillQueuedIsNeverOvertakenByAHandedOne) {
    CPWInfo sink;
    CWindow window(sink);
    sink.SetWindow(&window);

    sink.OnDisconnected(1);  // queued, not received yet
    CPWInfo::Handed handed{};
    std::thread engine([&] {
        std::this_thread::sleep_for(5ms);
        sink.OnRemoteFileOpened(2);
    });
    // The window must take the queued event first, so it does not wait at all.
    EXPECT_FALSE(sink.WaitForNext(200ms, handed));
    engine.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.received, (std::vector<int32_t>{1, 2}));
}

TEST(PWInfoTest, EveryEventArrivesOnceAndInOrderHowEverTheWindowTakesThem) {
    CPWInfo sink;
    CWindow window(sink);
    sink.SetWindow(&window);

    constexpr int32_t kEvents = 20000;
    std::thread engine([&] {
        for (int32_t i = 0; i < kEvents; ++i) {
            sink.OnCopyDone(i);
            if (i % 7 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(i % 50));
        }
    });
    // The window alternates between waiting briefly and running its event loop, as a run does.
    QElapsedTimer timer;
    timer.start();
    CPWInfo::Handed handed{};
    while (window.received.size() < std::size_t(kEvents) && timer.elapsed() < 60000) {
        if (sink.WaitForNext(std::chrono::microseconds(window.received.size() % 3 * 40), handed))
            window.received.push_back(handed.result);
        else
            QCoreApplication::processEvents();
    }
    engine.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(window.received.size(), std::size_t(kEvents));
    for (int32_t i = 0; i < kEvents; ++i)
        ASSERT_EQ(window.received[std::size_t(i)], i) << "at position " << i;
}
