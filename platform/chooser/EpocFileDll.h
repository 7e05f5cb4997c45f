// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/chooser/DeviceFolder.h"
#include "platform/chooser/FileDll.h"

// The chooser behind the library's factory.
class CEpocFileDll : public CFileDll {
public:
    void Init(int mode, const QString& title, const QString& acceptText, const QString& initialPath,
              long flags) override;
    int DoModal() override;
    void GetPathName(char buffer[256]) override;
    void GetFileName(char buffer[256]) override;
    void GetFileType(uint32_t& uid1, uint32_t& uid2, uint32_t& uid3) override;

private:
    void Choose(const CDeviceFolder& device, EpocPath path);

    int m_mode = 1;
    QString m_title;
    QString m_acceptText;
    QString m_initialPath;
    bool m_chosen = false;
    QString m_pathName;
    QString m_fileName;
    uint32_t m_uids[3] = {0, 0, 0};
};
