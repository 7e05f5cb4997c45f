// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

// Runs a function when the scope is left, by return or by throw.
template <typename Fn>
class CScopeExit {
public:
    explicit CScopeExit(Fn fn) : m_fn(std::move(fn)) {}
    ~CScopeExit() { m_fn(); }
    CScopeExit(const CScopeExit&) = delete;
    CScopeExit& operator=(const CScopeExit&) = delete;

private:
    Fn m_fn;
};
