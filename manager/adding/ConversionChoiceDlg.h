// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/ConversionList.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

// Dialog 141: the PC-side and EPOC-side format of a new binding, or a plain copy.
class CConversionChoiceDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdPcName = 1025;
    static constexpr int kIdPcType = 1026;
    static constexpr int kIdEpocName = 1027;
    static constexpr int kIdEpocType = 1028;
    static constexpr int kIdCopyOnly = 1002;

    CConversionChoiceDlg(CDocSynchEntry& record, CConversionList list, QWidget* parent = nullptr);

    QComboBox* PcTypeBox() const { return m_pcType; }
    QComboBox* EpocTypeBox() const { return m_epocType; }
    void OnConvert();
    void OnCopyOnly();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillEpocTypes(const QString& pcName);

    CDocSynchEntry& m_record;
    CConversionList m_list;
    QComboBox* m_pcType = nullptr;
    QComboBox* m_epocType = nullptr;
};
