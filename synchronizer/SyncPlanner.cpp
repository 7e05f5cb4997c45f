// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncPlanner.h"

#include <QEventLoop>

#include <chrono>

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
    // Nothing to repaint: the events are taken as long as they follow.
    HandEngineEvent(*static_cast<CEngineEvent*>(event), m_sink, *m_run, m_closed, std::chrono::hours(1));
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
