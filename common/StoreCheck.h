// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <utility>

// The store holds whatever any process of the user or any imported .reg file put there.
// Values that name files are checked once, where they are read, by the functions below; a
// caller that is refused a value says why with Reason().

// The verdict on one value (or one record) read from the store.
class CStoreCheck {
public:
    CStoreCheck() = default;  // usable
    // The value is not there (or cannot be read at all).
    static CStoreCheck Missing(QString reason);
    // The value is there but must not be used.
    static CStoreCheck Refused(QString reason);

    explicit operator bool() const { return m_kind == Kind::Usable; }
    bool IsMissing() const { return m_kind == Kind::Missing; }
    bool IsRefused() const { return m_kind == Kind::Refused; }
    // Names the value and says what is wrong with it; values are shown with their control
    // characters escaped, so a reason is always one line. Empty when usable.
    const QString& Reason() const { return m_reason; }

private:
    enum class Kind { Usable, Missing, Refused };
    CStoreCheck(Kind kind, QString reason) : m_kind(kind), m_reason(std::move(reason)) {}

    Kind m_kind = Kind::Usable;
    QString m_reason;
};

// Longest name a folder entry can have here, in bytes of UTF-8.
inline constexpr int kMaxNameBytes = 255;

// Each check names the value in its reason as label (e.g. "\"WinPath\"").
// A PC folder: absolute, no "." or ".." component, no control character. The trailing "/"
// is not required (the suite's folders are stored without it).
CStoreCheck CheckPcFolder(const QString& label, const QString& folder);
// A PC file's full path: a PC folder's rules, and it must not name a folder ("/" at the end).
CStoreCheck CheckPcFilePath(const QString& label, const QString& path);
// A name within a PC folder: not empty, not "." or "..", no "/", no control character, at
// most kMaxNameBytes.
CStoreCheck CheckPcFileName(const QString& label, const QString& name);
// The same within a handheld folder, where "\" separates as well as "/", and without what the
// handheld's FAT-like file system cannot keep: " * : < > ? | and a dot or blank at the end.
CStoreCheck CheckEpocFileName(const QString& label, const QString& name);
// A handheld folder: a drive ("C:\"), then folders that are single names by the rule above, each
// followed by "\", the last one included (the file's name is appended to it as it stands).
CStoreCheck CheckEpocFolder(const QString& label, const QString& folder);
// A user profile name, which names a file (the log), a folder (the backups) and a key: one
// component of each, so neither "/" nor "\", not "." or "..", nothing empty or too long.
CStoreCheck CheckUserName(const QString& label, const QString& user);

// How far ahead of now a "LastSyncTimeStamp" may lie and still be one a run wrote: the run
// marks now + 3 s, and the clock may be set back a little (a time service correcting it)
// before the next run. A stamp further ahead cannot have been written by a run on this
// clock; taken as it is, it would count every later change as "unchanged".
inline constexpr int64_t kFutureStampToleranceSecs = 60;
bool IsStampInFuture(uint32_t stamp, uint32_t now);

// The text with every control character (C0, DEL, C1 and the Unicode line and paragraph
// separators) shown as "\xNN" or "\uNNNN"; nothing else changes, backslashes included, so
// handheld paths stay as they are written.
QString EscapeControlCharacters(const QString& text);
bool HasControlCharacter(const QString& text);
