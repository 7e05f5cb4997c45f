// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/screenshots/Screenshots.h"

#include "setup/SetupScreens.h"

namespace {

ScreenshotFactory Setup(const char* name) {
    return [name] { return CreateSetupScreen(QString::fromLatin1(name)); };
}

const CScreenshot install1("setup-install-1-language", Setup("setup-install-1-language"));
const CScreenshot install2("setup-install-2-confirm", Setup("setup-install-2-confirm"));
const CScreenshot install2Diagnostics("setup-install-2-diagnostics", Setup("setup-install-2-diagnostics"));
const CScreenshot install2Progress("setup-install-2-progress", Setup("setup-install-2-progress"));
const CScreenshot install3("setup-install-3-done", Setup("setup-install-3-done"));
const CScreenshot installError("setup-install-error", Setup("setup-install-error"));
const CScreenshot uninstall1("setup-uninstall-1-start", Setup("setup-uninstall-1-start"));
const CScreenshot uninstall2("setup-uninstall-2-confirm", Setup("setup-uninstall-2-confirm"));
const CScreenshot uninstall3("setup-uninstall-3-done", Setup("setup-uninstall-3-done"));
const CScreenshot uninstallError("setup-uninstall-error", Setup("setup-uninstall-error"));

}  // namespace
