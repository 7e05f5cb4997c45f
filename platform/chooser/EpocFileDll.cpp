// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/EpocFileDll.h"

#include "platform/chooser/EpocFileDlg.h"

#include <QApplication>
#include <QFile>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr int kBufferSize = 256;

// Copies text as UTF-8, never past the buffer and never splitting a character.
void CopyToBuffer(const QString& text, char* buffer) {
    if (!buffer)
        return;
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() >= kBufferSize) {
        qsizetype n = kBufferSize - 1;
        while (n > 0 && (static_cast<uint8_t>(utf8.at(n)) & 0xC0) == 0x80)
            --n;
        utf8.truncate(n);
    }
    std::memcpy(buffer, utf8.constData(), size_t(utf8.size()));
    buffer[utf8.size()] = '\0';
}

}  // namespace

void CEpocFileDll::Init(int mode, const QString& title, const QString& acceptText, const QString& initialPath,
                        long flags) {
    m_mode = mode == 1 ? 1 : 0;
    m_title = title;
    m_acceptText = acceptText;
    m_initialPath = initialPath;
    if (qEnvironmentVariableIsSet("DOVETAIL_TEST_CHOOSER_LOG")) {
        QFile log(qEnvironmentVariable("DOVETAIL_TEST_CHOOSER_LOG"));
        if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            log.write(u"%1\t%2\t%3\t%4\t%5\n"_s.arg(mode).arg(title, acceptText, initialPath).arg(flags).toUtf8());
        }
    }
}

int CEpocFileDll::DoModal() {
    m_chosen = false;
    m_pathName.clear();
    m_fileName.clear();
    m_uids[0] = m_uids[1] = m_uids[2] = 0;

    CDeviceFolder device;
    device.OpenFromRegistry();  // without a device the dialog says so and only cancels

    if (qEnvironmentVariableIsSet("DOVETAIL_TEST_CHOOSER_ANSWER")) {
        EpocPath answer;
        if (!ParseEpocPath(qEnvironmentVariable("DOVETAIL_TEST_CHOOSER_ANSWER"), answer) || answer.name.isEmpty())
            return 0;
        Choose(device, answer);
        return 1;
    }

    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;
    CEpocFileDlg dialog(device, m_mode, m_title, m_acceptText, m_initialPath, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    Choose(device, dialog.Chosen());
    return 1;
}

// Names that exist on the handheld are reported as stored there.
void CEpocFileDll::Choose(const CDeviceFolder& device, EpocPath path) {
    if (const auto folders = device.FindFolder(path.drive, path.folders)) {
        path.folders = *folders;
        const auto entry = device.Find(path.drive, *folders, path.name);
        if (entry) {
            path.name = entry->name;
            if (!entry->isFolder)
                device.ReadFileType(path.drive, *folders, entry->name, m_uids[0], m_uids[1], m_uids[2]);
        }
    }
    m_chosen = true;
    m_pathName = path.FolderText();
    m_fileName = path.FullText();
}

void CEpocFileDll::GetPathName(char buffer[256]) {
    CopyToBuffer(m_chosen ? m_pathName : QString(), buffer);
}

void CEpocFileDll::GetFileName(char buffer[256]) {
    CopyToBuffer(m_chosen ? m_fileName : QString(), buffer);
}

void CEpocFileDll::GetFileType(uint32_t& uid1, uint32_t& uid2, uint32_t& uid3) {
    uid1 = m_uids[0];
    uid2 = m_uids[1];
    uid3 = m_uids[2];
}
