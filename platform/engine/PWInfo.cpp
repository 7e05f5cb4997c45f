// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/PWInfo.h"

#include <QCoreApplication>

int32_t CPWInfo::OnStatus(int32_t /*a*/, int32_t b, int32_t c) {
    return Post(EngineEvent::Status, static_cast<int32_t>(static_cast<uint32_t>(c) & 0xFFFFu), b);
}

int32_t CPWInfo::Post(EngineEvent event, int32_t result, int32_t first) {
    if (QObject* window = m_window.load())
        QCoreApplication::postEvent(window, new CEngineEvent(event, result, first));
    return 0;
}
