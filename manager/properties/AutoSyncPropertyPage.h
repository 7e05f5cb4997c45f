// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manager/properties/PropertySheet.h"

#include <QString>

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QRadioButton;

// Dialog 140: automatic synchronization of the current user, kept in the entry "Dovetail"
// of the user's "AutoSynchApps" area, which the scheduler reads.
class CAutoSyncPropertyPage : public CPropertyPage {
    Q_OBJECT
public:
    static constexpr int kIdPerform = 1035;
    static constexpr int kIdOnConnect = 1036;
    static constexpr int kIdDaily = 1037;
    static constexpr int kIdWeekly = 1038;
    static constexpr int kIdLastSynch = 1005;

    explicit CAutoSyncPropertyPage(QWidget* parent = nullptr);

    uint32_t Frequency() const { return m_frequency; }
    const QString& User() const { return m_user; }

protected:
    // Reads the user, "Frequency" (absent: 0) and "LastSynch".
    void OnInitDialog() override;
    // Writes "Frequency"; when on, registers and starts the scheduler and copies the
    // synchronizer's path into "ExecutablePath". False when a value was not stored.
    bool OnOK() override;

private:
    void OnPerformClicked(bool checked);
    void EnableRadios(bool enable);

    QString m_user;
    uint32_t m_frequency = 0;
    uint32_t m_lastSynch = 0;
    bool m_lastSynchRead = false;
    QCheckBox* m_perform = nullptr;
    QRadioButton* m_radios[3] = {};
    QLineEdit* m_lastSynchText = nullptr;
};
