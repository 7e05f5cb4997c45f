// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWizard>

class CSetupContext;
class CSetupPage;

enum class SetupMode { Install, Uninstall };

// The wizard sheet of either mode. Its title is the active page's caption, the buttons
// are the ones that page offers, and Return presses Next or Finish.
class CSetupWizard : public QWizard {
    Q_OBJECT
public:
    CSetupWizard(CSetupContext& context, SetupMode mode, QWidget* parent = nullptr);

    CSetupPage* CurrentSetupPage() const;

private:
    void OnPageChanged(int id);

    CSetupContext& m_ctx;
};
