// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

// The windows the screenshots program renders. To add one, put a registrar in any .cpp file
// of this folder (files are picked up by the build) and add its library to the list in
// CMakeLists.txt:
//
//   static CScreenshot shot("sync-copy-error", [] { return std::make_unique<CCopyErrorDlg>(u"C:\\a"_s); });
//
// The factory builds the window filled with sample data; the program shows it off screen and
// saves <name>.png. Widgets that need time (animations) may be given it through settleMs.
using ScreenshotFactory = std::function<std::unique_ptr<QWidget>()>;

struct CScreenshotEntry {
    QString Name;
    ScreenshotFactory Factory;
    int SettleMs = 0;
};

class CScreenshot {
public:
    CScreenshot(const char* name, ScreenshotFactory factory, int settleMs = 0);
    static std::vector<CScreenshotEntry>& All();
};
