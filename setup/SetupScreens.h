// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

#include <functional>

// Renders every page of both wizards (the install error page with a typical copy failure,
// the second page with its diagnostic lines and with a half-full bar) and hands each image
// with a file-friendly name to sink. Touches no file and changes no registry entry.
void RenderSetupScreens(const std::function<void(const QString& name, const QImage& image)>& sink);
