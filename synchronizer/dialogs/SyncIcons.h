// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// Icon 128: the synchronizer's own icon (a PC document and a handheld joined by arrows).
QIcon DovetailSyncIcon();
// Icon 135 of the two prompts (a question about the binding).
QIcon PromptIcon();
// Icon 133 of the copy-error dialog (a warning).
QIcon CopyErrorIcon();
