// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/StoreCheck.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

QString Hex(char16_t c, int digits) {
    return QString::number(uint(c), 16).toUpper().rightJustified(digits, u'0');
}

// The value as a reason shows it: quoted, escaped, so it cannot break the line it is in.
QString Shown(const QString& value) {
    return u'"' + EscapeControlCharacters(value) + u'"';
}

CStoreCheck Refuse(const QString& label, const QString& what, const QString& value) {
    return CStoreCheck::Refused(u"%1 %2: %3"_s.arg(label, what, Shown(value)));
}

// Without splitting: the manager asks for every list cell it paints.
bool HasDotComponent(QStringView path) {
    for (const QStringView part : path.tokenize(u'/')) {
        if (part == u"." || part == u"..")
            return true;
    }
    return false;
}

CStoreCheck CheckAbsolute(const QString& label, const QString& path) {
    if (path.isEmpty())
        return CStoreCheck::Refused(u"%1 is empty"_s.arg(label));
    if (HasControlCharacter(path))
        return Refuse(label, u"holds a control character"_s, path);
    if (!path.startsWith(u'/'))
        return Refuse(label, u"is not an absolute path"_s, path);
    if (HasDotComponent(path))
        return Refuse(label, u"holds a \".\" or \"..\" component"_s, path);
    return {};
}

CStoreCheck CheckName(const QString& label, const QString& name, const QString& separators) {
    if (name.isEmpty())
        return CStoreCheck::Refused(u"%1 is empty"_s.arg(label));
    if (HasControlCharacter(name))
        return Refuse(label, u"holds a control character"_s, name);
    const bool separated = std::any_of(separators.begin(), separators.end(), [&](QChar s) { return name.contains(s); });
    if (separated || name == u"."_s || name == u".."_s)
        return Refuse(label, u"is not a single name"_s, name);
    // A UTF-16 unit takes at most 3 bytes of UTF-8: short names need no conversion.
    if (name.size() * 3 > kMaxNameBytes && name.toUtf8().size() > kMaxNameBytes)
        return Refuse(label, u"is longer than %1 bytes"_s.arg(kMaxNameBytes), name);
    return {};
}

}  // namespace

CStoreCheck CStoreCheck::Missing(QString reason) {
    return {Kind::Missing, std::move(reason)};
}

CStoreCheck CStoreCheck::Refused(QString reason) {
    return {Kind::Refused, std::move(reason)};
}

CStoreCheck CheckPcFolder(const QString& label, const QString& folder) {
    return CheckAbsolute(label, folder);
}

CStoreCheck CheckPcFilePath(const QString& label, const QString& path) {
    if (CStoreCheck check = CheckAbsolute(label, path); !check)
        return check;
    if (path.endsWith(u'/'))
        return Refuse(label, u"names a folder, not a file"_s, path);
    return {};
}

CStoreCheck CheckPcFileName(const QString& label, const QString& name) {
    return CheckName(label, name, u"/"_s);
}

namespace {

// The handheld's file system keeps names as FAT does: without these characters, and without a
// dot or a blank at the end, which it drops (so the name would become another).
CStoreCheck CheckEpocName(const QString& label, const QString& name, const QString& value) {
    static const QString kFatInvalid = u"\"*:<>?|"_s;
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return kFatInvalid.contains(c); }))
        return Refuse(label, u"holds a character the MC 218 cannot keep in a name (\" * : < > ? |)"_s, value);
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return Refuse(label, u"has a name ending with a dot or a blank, which the MC 218 cannot keep"_s, value);
    return {};
}

}  // namespace

CStoreCheck CheckEpocFileName(const QString& label, const QString& name) {
    if (CStoreCheck check = CheckName(label, name, u"\\/"_s); !check)
        return check;
    return CheckEpocName(label, name, name);
}

CStoreCheck CheckEpocFolder(const QString& label, const QString& folder) {
    if (HasControlCharacter(folder))
        return Refuse(label, u"holds a control character"_s, folder);
    const bool drive = folder.size() >= 3 && folder[0].isLetter() && folder[0].unicode() < 0x80 && folder[1] == u':' &&
                       folder[2] == u'\\';
    if (!drive)
        return Refuse(label, u"does not start with a drive (\"C:\\\")"_s, folder);
    // The file's name is appended to it as it stands.
    if (!folder.endsWith(u'\\'))
        return Refuse(label, u"does not end with \"\\\""_s, folder);
    if (folder.size() == 3)
        return {};
    for (const QStringView part : QStringView(folder).sliced(3).chopped(1).tokenize(u'\\')) {
        if (part.isEmpty() || part == u"." || part == u"..")
            return Refuse(label, u"holds an empty, \".\" or \"..\" folder, so it may lead off the drive"_s, folder);
        if (part.contains(u'/'))
            return Refuse(label, u"holds a \"/\""_s, folder);
        if (CStoreCheck check = CheckEpocName(label, part.toString(), folder); !check)
            return check;
    }
    return {};
}

CStoreCheck CheckUserName(const QString& label, const QString& user) {
    return CheckName(label, user, u"\\/"_s);
}

bool IsStampInFuture(uint32_t stamp, uint32_t now) {
    return int64_t(stamp) - int64_t(now) > kFutureStampToleranceSecs;
}

bool HasControlCharacter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return IsControl(c.unicode()); });
}

QString EscapeControlCharacters(const QString& text) {
    if (!HasControlCharacter(text))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!IsControl(u))
            out += c;
        else if (u < 0x100)
            out += u"\\x"_s + Hex(u, 2);
        else
            out += u"\\u"_s + Hex(u, 4);
    }
    return out;
}
