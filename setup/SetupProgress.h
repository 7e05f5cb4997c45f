// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an install or uninstall run reports to its page: the number of steps first
// (the bar's range becomes 0..count at position 0), then one call per finished step.
class ISetupProgress {
public:
    virtual ~ISetupProgress() = default;
    virtual void SetStepCount(int count) = 0;
    virtual void Step() = 0;
};
