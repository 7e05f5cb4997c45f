// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/MainFrame.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CDovetailManagerDoc;
class CMainFrame;
class QMenu;

// Everything of the manager's start-up after the single-instance guard, and the
// application-wide values other parts read (default rules, context menu). Kept apart from
// the application object so that tests run it inside their own application.
class CManagerSession : public QObject {
    Q_OBJECT
public:
    CManagerSession();
    ~CManagerSession() override;

    // Adds the flows' commands to the new main frame, before its list's first update.
    using FlowInstaller = std::function<void(CManagerSession&)>;

    // The start-up steps in order; onlyInstance is the guard's result, windowName the name
    // the main window is found by, installFlows the program's flows (empty: the list alone).
    // True when the main window is up.
    bool InitInstance(bool onlyInstance, const QString& windowName, const FlowInstaller& installFlows = {});
    // Releases what the run held; returns exitCode.
    int ExitInstance(int exitCode);

    CDovetailManagerDoc* Document() const { return m_doc.get(); }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    QMenu* ContextMenu() const { return m_contextMenu; }
    const CRuleSet& DefaultRules() const { return m_defaultRules; }
    // The options sheet updates the defaults when it saves them.
    void SetDefaultRules(const CRuleSet& rules);

private:
    QMenu* m_contextMenu = nullptr;
    CRuleSet m_defaultRules{0, false, false, false};
    std::unique_ptr<CDovetailManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};
