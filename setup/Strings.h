// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The setup program's texts: one block of 10000 per language, English numbers below.
// The French, German and Spanish blocks hold placeholders until they are translated.
enum SetupString : int {
    IDS_LANGUAGE_NAME = 10000,
    IDS_NEED_EPOC_CONNECT = 10001,
    IDS_EC_FOLDER_INACCESSIBLE = 10002,
    IDS_NEED_EC_CHOOSER = 10003,
    IDS_NEED_TOOLKIT = 10004,
    IDS_REGISTRY_WRITE = 10005,
    IDS_REGISTRY_READ = 10006,
    IDS_COPY_FAILED = 10007,
    IDS_NOT_INSTALLED = 10008,
    IDS_LINK_FAILED = 10009,
    IDS_PIF_NOT_MOVED = 10010,
    IDS_ALREADY_INSTALLED = 10011,
    IDS_ABORTED = 10012,
    IDS_OS_TOO_OLD = 10013,
    IDS_PAGE1_HEADING = 10014,
    IDS_PAGE1_TEXT = 10015,
    IDS_PAGE1_GROUP = 10016,
    IDS_PAGE2_HEADING = 10017,
    IDS_PAGE2_TEXT = 10018,
    IDS_PAGE3_HEADING = 10019,
    IDS_UNPAGE1_HEADING = 10020,
    IDS_UNPAGE1_TEXT = 10021,
    IDS_UNPAGE2_HEADING = 10022,
    IDS_UNPAGE2_TEXT = 10023,
    IDS_UNPAGE3_HEADING = 10024,
    IDS_UNPAGE3_TEXT = 10025,
    IDS_RESTART_NOW = 10026,
    IDS_ERROR_TITLE = 10027,
    IDS_START_MENU_FOLDER = 10028,
};

inline constexpr int kLanguageBlock = 10000;
inline constexpr int kLanguageCount = 4;

// Registers all four blocks with the program's string table; safe to call again.
void InstallSetupStrings();
