// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

CScreenshot::CScreenshot(const char* name, ScreenshotFactory factory, int settleMs) {
    All().push_back({QString::fromLatin1(name), std::move(factory), settleMs});
}

std::vector<CScreenshotEntry>& CScreenshot::All() {
    static std::vector<CScreenshotEntry> entries;
    return entries;
}
