// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class CSetupContext;
class ISetupProgress;

// The removal operations. Removal goes on past every failure; what failed is only noted
// in the context's error text.
class CUninstaller {
public:
    explicit CUninstaller(CSetupContext& context) : m_ctx(context) {}

    // Finds the suite folder (else the program's own folder) and the OS description.
    bool CheckUninstall();
    // Removes files, registry entries, every profile's bindings, settings and logs, the
    // menu entry, and the scheduler when no other application needs it. Announces 19 steps,
    // three of them per profile. Always true.
    bool Uninstall(ISetupProgress* progress);

private:
    bool IsSchedulerStillNeeded() const;
    CSetupContext& m_ctx;
};

// True when path, absolute and without "." or ".." components, names a regular file whose
// name is a synchronization log of user ("…{user}.srp"); only such a file may be deleted for
// the user.
bool IsUserLogFile(const QString& path, const QString& user);
