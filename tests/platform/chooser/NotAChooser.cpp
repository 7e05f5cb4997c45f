// SPDX-License-Identifier: GPL-3.0-or-later
extern "C" int NotAChooserAnswer() {
    return 42;
}
