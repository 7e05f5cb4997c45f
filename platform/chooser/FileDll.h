// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// The suite's EPOC file chooser, living in the run-time loaded library "ecfile.ocx".
// Callers create it through the library's factory (CFileDllLibrary) and call the members
// in this order: Init, DoModal, then the Get members. Paths are EPOC paths such as
// "C:\Documents\Report"; the Get members fill 256-byte buffers with NUL-terminated UTF-8.
//
// Test seam: when the environment variable DOVETAIL_TEST_CHOOSER_ANSWER is set, DoModal
// shows nothing; an empty value answers cancel (0), any other value is taken as the EPOC
// path the user chose ("C:\Documents\Report") and answers 1 (a malformed path answers 0);
// parts that exist on the handheld take their stored letter case, as in the dialog.
// When DOVETAIL_TEST_CHOOSER_LOG names a file, every Init appends one line to it:
// mode, title, accept text, initial path and flags, separated by tabs.
class CFileDll {
public:
    virtual ~CFileDll() = default;

    // mode 1: pick an existing file; mode 0: pick or type the name of a target file.
    // initialPath is a path ("C:\Documents\Report"), a folder ("C:\") or a pattern
    // ("C:\Documents\*.*"). flags is accepted and not used.
    virtual void Init(int mode, const QString& title, const QString& acceptText, const QString& initialPath,
                      long flags) = 0;
    // Positive when the user accepted, 0 when cancelled or the chooser could not be shown.
    virtual int DoModal() = 0;
    // The chosen file's folder without a trailing backslash ("C:\Documents", "C:").
    virtual void GetPathName(char buffer[256]) = 0;
    // The chosen file's folder, a backslash and its name.
    virtual void GetFileName(char buffer[256]) = 0;
    // The chosen file's three EPOC type identifiers; zeros when it has none or does not exist.
    virtual void GetFileType(uint32_t& uid1, uint32_t& uid2, uint32_t& uid3) = 0;
};

// The library's exports, resolved by name.
inline constexpr char kCreateFileDllSymbol[] = "DtCreateFileDll";
inline constexpr char kDestroyFileDllSymbol[] = "DtDestroyFileDll";
inline constexpr char kFileDllVersionSymbol[] = "DtFileDllInterfaceVersion";
// Raised when the members above change, so an old library is refused rather than misused.
inline constexpr int kFileDllInterfaceVersion = 1;

extern "C" {
using DtCreateFileDllFn = CFileDll* (*)();
using DtDestroyFileDllFn = void (*)(CFileDll*);
using DtFileDllInterfaceVersionFn = int (*)();
}
