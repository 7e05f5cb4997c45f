// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "platform/animation/AnimateCtrl.h"
#include "platform/help/HelpViewer.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

// Each clip at a frame from the middle of its run, on a dialog-coloured window.
std::unique_ptr<QWidget> ClipWindow(const QString& file) {
    auto host = std::make_unique<QWidget>();
    host->setWindowTitle(file);
    auto* ctrl = new CAnimateCtrl(host.get());
    ctrl->setGeometry(8, 8, 232, 81);
    if (ctrl->Open(QCoreApplication::applicationDirPath() + u'/' + file))
        ctrl->Play(ctrl->FrameCount() / 3, ctrl->FrameCount() / 3, 1);
    host->setFixedSize(248, 97);
    return host;
}

const CScreenshot transfer("clip-dodivedu", [] { return ClipWindow(u"DOdivEdu.avi"_s); });
const CScreenshot connectClip("clip-dtconnect", [] { return ClipWindow(u"dtconnect.avi"_s); });
const CScreenshot syncClip("clip-dtsync", [] { return ClipWindow(u"dtsync.avi"_s); });

const CScreenshot help("help-viewer", [] {
    auto viewer = std::make_unique<CHelpViewer>();
    viewer->OpenFile(QCoreApplication::applicationDirPath() + u"/bindmgr.hlp"_s);
    viewer->ShowContext(16);
    return viewer;
});

}  // namespace
