// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Ends the user's desktop session (a log-off, never a shutdown or reboot): politely first,
// by force when the session manager refuses. True when one of the two was accepted.
bool LogOffSession();

// Replaces what LogOffSession does (an empty function restores the real one); tests use
// it so that nobody is ever logged off by a test run.
void SetLogOffHandler(std::function<bool()> handler);
