// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncPlanner.h"

#include <QEventLoop>

#include <chrono>

namespace {
// As the window does: the chain's next event usually follows within microseconds.
constexpr auto kWaitForNextEvent = std::chrono::microseconds(500);
}  // namespace

CSyncPlanner::Result CSyncPlanner::MakePlan(CSyncRunSettings settings) {
    settings.planOnly = true;
    CSyncPlanner planner;
    planner.m_sink.SetWindow(&planner);
    planner.m_run = std::make_unique<CSyncRun>(static_cast<ISyncUi&>(planner), std::move(settings));
    planner.m_run->Initialise(&planner.m_sink);
    planner.EndIfStalled();
    if (!planner.m_closed) {
        QEventLoop loop;
        planner.m_loop = &loop;
        loop.exec();
        planner.m_loop = nullptr;
    }
    Result result;
    result.made = planner.m_ok;
    if (result.made)
        result.plan = planner.m_run->Plan();
    result.messages = planner.m_messages;
    planner.m_run.reset();  // detaches the sink before the receiver goes
    return result;
}

void CSyncPlanner::customEvent(QEvent* event) {
    if (!CEngineEvent::IsEngineEvent(event)) {
        QObject::customEvent(event);
        return;
    }
    const auto* e = static_cast<CEngineEvent*>(event);
    if (e->Sender() == &m_sink)
        m_sink.Received();
    if (m_closed)
        return;
    m_run->HandleEvent(e->Event(), e->Result());
    CPWInfo::Handed next{};
    while (!m_closed && m_run->AwaitsEngine() && m_sink.WaitForNext(kWaitForNextEvent, next))
        m_run->HandleEvent(next.event, next.result);
    EndIfStalled();
}

void CSyncPlanner::EndIfStalled() {
    if (m_closed || m_run->GetState() != CSyncRun::State::Stalled)
        return;
    m_run->Abandon();
    CloseWindow(false);
}

void CSyncPlanner::ShowMessage(const QString& text, MessageIcon) {
    m_messages << text;
}

void CSyncPlanner::CloseWindow(bool ok) {
    m_closed = true;
    m_ok = ok;
    if (m_loop)
        m_loop->quit();
}
