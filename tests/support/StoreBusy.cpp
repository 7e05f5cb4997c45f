// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StoreBusy.h"

#include "platform/registry/Registry.h"

#include <QFile>

#include <sqlite3.h>

namespace {
constexpr int kNormalBusyWaitMs = 10000;
}

CStoreWriteHold::CStoreWriteHold(const QString& path, int waitMs) {
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return;
    sqlite3_busy_timeout(m_db, 2000);
    m_held = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (m_held)
        CRegistry::SetBusyWait(waitMs);
}

CStoreWriteHold::~CStoreWriteHold() {
    Release();
}

void CStoreWriteHold::Release() {
    if (m_held)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_held = false;
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
    CRegistry::SetBusyWait(kNormalBusyWaitMs);
}
