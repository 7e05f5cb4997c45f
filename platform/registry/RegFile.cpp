// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/RegFile.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxHexBytes = 16 * 1024 * 1024;

bool SplitKeyPath(const QString& text, RegRoot& root, QString& key) {
    const int slash = text.indexOf(u'\\');
    const QString rootName = slash < 0 ? text : text.left(slash);
    if (!CRegistry::ParseRootName(rootName, root))
        return false;
    key = slash < 0 ? QString() : text.mid(slash + 1);
    return CRegistry::IsValidKeyPath(key);
}

// Reads a quoted string starting at pos (at the opening quote); pos ends after the closing one.
bool ReadQuoted(const QString& line, int& pos, QString& out, QString& what) {
    if (pos >= line.size() || line[pos] != u'"') {
        what = u"expected a quoted string"_s;
        return false;
    }
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == u'"')
            return true;
        if (c == u'\\') {
            if (pos >= line.size()) {
                what = u"unterminated string"_s;
                return false;
            }
            const QChar e = line[pos++];
            if (e != u'\\' && e != u'"') {
                what = u"unknown escape \\%1 in string"_s.arg(e);
                return false;
            }
            out += e;
            continue;
        }
        out += c;
    }
    what = u"unterminated string"_s;
    return false;
}

bool ParseHexBytes(const QString& text, QByteArray& out, QString& what) {
    out.clear();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return true;
    const QStringList parts = trimmed.split(u',');
    if (parts.size() > kMaxHexBytes) {
        what = u"hex value too large"_s;
        return false;
    }
    for (const QString& raw : parts) {
        const QString p = raw.trimmed();
        bool ok = false;
        const uint v = p.toUInt(&ok, 16);
        if (!ok || p.size() > 2 || v > 0xff) {
            what = u"bad hex byte \"%1\""_s.arg(p);
            return false;
        }
        out.append(char(v));
    }
    return true;
}

QString DecodeContent(const QByteArray& content, bool& ok) {
    ok = true;
    if (content.startsWith("\xff\xfe")) {
        if (content.size() % 2 != 0) {
            ok = false;
            return QString();
        }
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(content.constData() + 2), (content.size() - 2) / 2);
    }
    QByteArray bytes = content.startsWith("\xef\xbb\xbf") ? content.mid(3) : content;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        ok = false;
    return text;
}

QByteArray HexList(const QByteArray& data, int firstLineUsed) {
    QByteArray out;
    int column = firstLineUsed;
    for (int i = 0; i < data.size(); ++i) {
        QByteArray byte = QByteArray::number(uint8_t(data[i]), 16).rightJustified(2, '0');
        if (i + 1 < data.size())
            byte += ',';
        if (column + byte.size() > 77 && i + 1 < data.size()) {
            out += "\\\r\n  ";
            column = 2;
        }
        out += byte;
        column += int(byte.size());
    }
    return out;
}

QByteArray Escape(const QString& text) {
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

bool ParseRegFile(const QByteArray& content, std::vector<RegFileOp>& ops, RegFileError& error) {
    ops.clear();
    bool decoded = false;
    const QString text = DecodeContent(content, decoded);
    if (!decoded) {
        error = {0, u"the file is not UTF-8 or UTF-16 text"_s};
        return false;
    }
    QStringList lines = text.split(u'\n');
    for (QString& l : lines) {
        if (l.endsWith(u'\r'))
            l.chop(1);
    }
    int i = 0;
    while (i < lines.size() && lines[i].trimmed().isEmpty())
        ++i;
    if (i >= lines.size() ||
        (lines[i].trimmed() != u"REGEDIT4"_s && lines[i].trimmed() != u"Windows Registry Editor Version 5.00"_s)) {
        error = {i < lines.size() ? i + 1 : 1,
                 u"missing header: the first line must be REGEDIT4 or Windows Registry Editor Version 5.00"_s};
        return false;
    }
    bool haveKey = false;
    bool keyDeleted = false;
    RegRoot root = RegRoot::CurrentUser;
    QString key;
    for (++i; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) {
                error = {lineNo, u"key line without closing ]"_s};
                return false;
            }
            QString path = line.mid(1, line.size() - 2);
            keyDeleted = path.startsWith(u'-');
            if (keyDeleted)
                path = path.mid(1);
            if (!SplitKeyPath(path, root, key)) {
                error = {lineNo, u"bad key name \"%1\""_s.arg(path)};
                return false;
            }
            // A root's own section is what a whole export writes first; it always exists,
            // may hold values and can never go away.
            if (key.isEmpty() && keyDeleted) {
                error = {lineNo, u"a root key cannot be deleted"_s};
                return false;
            }
            RegFileOp op;
            op.kind = keyDeleted ? RegFileOp::Kind::DeleteTree : RegFileOp::Kind::CreateKey;
            op.line = lineNo;
            op.root = root;
            op.key = key;
            ops.push_back(op);
            haveKey = true;
            continue;
        }
        // A value line, possibly continued with a trailing backslash (hex lists).
        // Only hex lists continue: a string value always ends with its closing quote.
        while (line.endsWith(u'\\') && i + 1 < lines.size()) {
            line.chop(1);
            line += lines[++i].trimmed();
        }
        if (!haveKey || keyDeleted) {
            error = {lineNo, keyDeleted ? u"value under a deleted key"_s : u"value before any [key] line"_s};
            return false;
        }
        RegFileOp op;
        op.line = lineNo;
        op.root = root;
        op.key = key;
        int pos = 0;
        QString what;
        if (line.startsWith(u'@')) {
            pos = 1;
        } else if (!ReadQuoted(line, pos, op.name, what)) {
            error = {lineNo, u"bad value name: "_s + what};
            return false;
        }
        if (op.name.toUtf8().size() > 255 || op.name.contains(QChar(0))) {
            error = {lineNo, u"value name too long or containing NUL"_s};
            return false;
        }
        if (pos >= line.size() || line[pos] != u'=') {
            error = {lineNo, u"expected = after the value name"_s};
            return false;
        }
        ++pos;
        const QString rest = line.mid(pos);
        if (rest == u"-"_s) {
            op.kind = RegFileOp::Kind::DeleteValue;
        } else if (rest.startsWith(u'"')) {
            QString value;
            int p = 0;
            if (!ReadQuoted(rest, p, value, what)) {
                error = {lineNo, what};
                return false;
            }
            if (p != rest.size()) {
                error = {lineNo, u"unexpected text after the string"_s};
                return false;
            }
            op.kind = RegFileOp::Kind::SetValue;
            op.type = kRegSz;
            op.data = value.toUtf8();
            op.data.append('\0');
        } else if (rest.startsWith(u"dword:"_s, Qt::CaseInsensitive)) {
            const QString digits = rest.mid(6);
            bool ok = false;
            const uint v = digits.toUInt(&ok, 16);
            if (!ok || digits.size() > 8 || digits.isEmpty()) {
                error = {lineNo, u"bad dword \"%1\": expected up to 8 hex digits"_s.arg(digits)};
                return false;
            }
            op.kind = RegFileOp::Kind::SetValue;
            op.type = kRegDword;
            op.data = QByteArray(4, '\0');
            for (int b = 0; b < 4; ++b)
                op.data[b] = char((v >> (8 * b)) & 0xff);
        } else if (rest.startsWith(u"hex"_s, Qt::CaseInsensitive)) {
            int colon = rest.indexOf(u':');
            if (colon < 0) {
                error = {lineNo, u"expected : after hex"_s};
                return false;
            }
            const QString spec = rest.left(colon);
            op.type = kRegBinary;
            if (spec.size() > 3) {
                if (!spec.mid(3).startsWith(u'(') || !spec.endsWith(u')')) {
                    error = {lineNo, u"bad hex type \"%1\""_s.arg(spec)};
                    return false;
                }
                bool ok = false;
                op.type = spec.mid(4, spec.size() - 5).toUInt(&ok, 16);
                if (!ok) {
                    error = {lineNo, u"bad hex type \"%1\""_s.arg(spec)};
                    return false;
                }
            }
            if (!ParseHexBytes(rest.mid(colon + 1), op.data, what)) {
                error = {lineNo, what};
                return false;
            }
            op.kind = RegFileOp::Kind::SetValue;
        } else {
            error = {lineNo, u"unrecognised value data \"%1\""_s.arg(rest.left(40))};
            return false;
        }
        ops.push_back(op);
    }
    return true;
}

bool ApplyRegFile(CRegistry& reg, const std::vector<RegFileOp>& ops, RegFileError& error) {
    error = {};
    const RegStatus status = reg.Transaction([&] {
        for (const RegFileOp& op : ops) {
            RegStatus s = RegStatus::Ok;
            switch (op.kind) {
                case RegFileOp::Kind::CreateKey:
                    s = reg.CreateKey(op.root, op.key);
                    break;
                case RegFileOp::Kind::DeleteTree:
                    s = reg.DeleteTree(op.root, op.key);
                    if (s == RegStatus::KeyNotFound)
                        s = RegStatus::Ok;
                    break;
                case RegFileOp::Kind::SetValue:
                    s = reg.SetValue(op.root, op.key, op.name, op.type, op.data);
                    break;
                case RegFileOp::Kind::DeleteValue:
                    s = reg.DeleteValue(op.root, op.key, op.name);
                    if (s == RegStatus::KeyNotFound || s == RegStatus::ValueNotFound)
                        s = RegStatus::Ok;
                    break;
            }
            if (s != RegStatus::Ok) {
                error = {op.line, reg.LastError().isEmpty() ? u"cannot write the registry"_s : reg.LastError()};
                return false;
            }
        }
        return true;
    });
    if (status != RegStatus::Ok && error.message.isEmpty())
        error = {0, reg.LastError().isEmpty() ? u"cannot write the registry"_s : reg.LastError()};
    return status == RegStatus::Ok;
}

QByteArray FormatRegValue(const RegValue& value, int nameLength) {
    const int used = nameLength + 1;
    if (value.type == kRegSz || value.type == kRegNone) {
        QByteArray data = value.data;
        const bool terminated = data.endsWith('\0');
        if (terminated)
            data.chop(1);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(data);
        if (value.type == kRegSz && terminated && !data.contains('\0') && !decoder.hasError() &&
            !text.contains(u'\n') && !text.contains(u'\r'))
            return '"' + Escape(text) + '"';
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(value.data[i])) << (8 * i);
        return "dword:" + QByteArray::number(v, 16).rightJustified(8, '0');
    }
    const QByteArray prefix =
        value.type == kRegBinary ? QByteArray("hex:") : "hex(" + QByteArray::number(value.type, 16) + "):";
    return prefix + HexList(value.data, used + int(prefix.size()));
}

bool ExportRegFile(CRegistry& reg, RegRoot root, const QString& key, QByteArray& out, bool withHeader) {
    if (!key.isEmpty() && !reg.KeyExists(root, key))
        return false;
    if (withHeader)
        out += "REGEDIT4\r\n";
    const QString full = key.isEmpty() ? CRegistry::RootName(root) : CRegistry::RootName(root) + u'\\' + key;
    out += "\r\n[" + full.toUtf8() + "]\r\n";
    for (int i = 0;; ++i) {
        RegValue v;
        if (reg.EnumValue(root, key, i, v) != RegStatus::Ok)
            break;
        const QByteArray name = v.name.isEmpty() ? QByteArray("@") : '"' + Escape(v.name) + '"';
        out += name + '=' + FormatRegValue(v, int(name.size())) + "\r\n";
    }
    // The child list is taken first: recursion would otherwise refill the enumeration hint.
    QStringList children;
    int count = 0;
    if (reg.CountSubKeys(root, key, count) == RegStatus::Ok) {
        for (int i = 0; i < count; ++i) {
            QString name;
            if (reg.EnumSubKey(root, key, i, name) == RegStatus::Ok)
                children << name;
        }
    }
    for (const QString& child : children)
        ExportRegFile(reg, root, key.isEmpty() ? child : key + u'\\' + child, out, false);
    return true;
}
