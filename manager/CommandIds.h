// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Command numbers of the manager's menus, accelerators and toolbar. The frame's action list
// (MainFrame.cpp) gives each its text and keys; how it runs and when it is enabled is in the
// command table, added by the flow that owns it: the window's in MainFrame.cpp, the list's in
// ListCommands.cpp, Synchronize and Preview Synchronization in connection/ConnectionFlow.cpp, adding and Paste in
// adding/AddingFlow.cpp, Properties and Options in properties/PropertyCommands.cpp.
enum ManagerCommand : int {
    kCmdEscape = 32768,  // bound to Escape; nothing handles it
    kCmdExplore = 32771,
    kCmdLaunch = 32772,
    kCmdEnable = 32773,
    kCmdDeleteContext = 32775,
    kCmdAddPcFile = 32781,
    kCmdHelp = 32782,
    kCmdAddEpocFile = 32783,
    kCmdSynchronizeAll = 32784,
    kCmdSynchronize = 32785,
    kCmdProperties = 32786,
    kCmdDelete = 32787,
    kCmdBackups = 32788,
    kCmdViewLog = 32790,
    kCmdOptions = 32795,
    kCmdPreviewSync = 32796,
    kCmdPaste = 57637,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    // The frame's own key for the menu bar's keyboard mode (F10); in no menu.
    kCmdMenuBarKeys = 57700,
    kCmdHelpIndex = 57670,
    kCmdViewToolbar = 59392,
    kCmdViewStatusBar = 59393,
};

// Resource numbers of the manager's drawn images.
enum ManagerImage : int {
    kIdrMainIcon = 128,
    kIdiBindingActive = 133,
    kIdiBindingPlain = 132,
    kIdiNoFileIcon = 136,
    kIdbConnected = 143,
    kIdbNotConnected = 144,
};
