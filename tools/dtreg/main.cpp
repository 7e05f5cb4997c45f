// SPDX-License-Identifier: GPL-3.0-or-later
// dtreg: the registry editor on the command line.
#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void Out(const QByteArray& text) {
    fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

void Err(const QString& text) {
    const QByteArray bytes = (u"dtreg: "_s + text + u'\n').toLocal8Bit();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int Usage() {
    Err(u"usage: dtreg import FILE | export [KEY] | query KEY [VALUE] | set KEY VALUE (string TEXT|dword N) | "
        u"delete KEY [VALUE] | check\n"
        u"KEY starts with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT (or HKCU, HKLM, HKCR); "
        u"VALUE \"@\" or \"\" is the default value."_s);
    return 2;
}

bool SplitKey(const QString& text, RegRoot& root, QString& key) {
    const int slash = text.indexOf(u'\\');
    if (!CRegistry::ParseRootName(slash < 0 ? text : text.left(slash), root)) {
        Err(u"%1: the key must start with a root such as HKEY_CURRENT_USER"_s.arg(text));
        return false;
    }
    key = slash < 0 ? QString() : text.mid(slash + 1);
    while (key.endsWith(u'\\'))
        key.chop(1);
    if (!CRegistry::IsValidKeyPath(key)) {
        Err(u"%1: bad key name"_s.arg(text));
        return false;
    }
    return true;
}

QString ValueName(const QString& arg) {
    return arg == u"@"_s ? QString() : arg;
}

int Fail(CRegistry& reg, const QString& what) {
    Err(reg.LastError().isEmpty() ? what : what + u": "_s + reg.LastError());
    return 1;
}

int Import(CRegistry& reg, const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        Err(u"%1: cannot read: %2"_s.arg(file, f.errorString()));
        return 1;
    }
    std::vector<RegFileOp> ops;
    RegFileError error;
    if (!ParseRegFile(f.readAll(), ops, error) || !ApplyRegFile(reg, ops, error)) {
        Err(error.line > 0 ? u"%1:%2: %3"_s.arg(file).arg(error.line).arg(error.message)
                           : u"%1: %2"_s.arg(file, error.message));
        return 1;
    }
    return 0;
}

int Export(CRegistry& reg, const QStringList& args) {
    QByteArray out;
    if (args.isEmpty()) {
        out += "REGEDIT4\r\n";
        for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser, RegRoot::ClassesRoot})
            ExportRegFile(reg, root, QString(), out, false);
    } else {
        RegRoot root;
        QString key;
        if (!SplitKey(args[0], root, key))
            return 2;
        if (!ExportRegFile(reg, root, key, out))
            return Fail(reg, u"%1: no such key"_s.arg(args[0]));
    }
    Out(out + "\r\n");
    return 0;
}

int Query(CRegistry& reg, const QStringList& args) {
    RegRoot root;
    QString key;
    if (!SplitKey(args[0], root, key))
        return 2;
    if (args.size() == 1) {
        QByteArray out;
        if (!reg.KeyExists(root, key))
            return Fail(reg, u"%1: no such key"_s.arg(args[0]));
        out += '[' + args[0].toUtf8() + "]\n";
        for (int i = 0;; ++i) {
            RegValue v;
            if (reg.EnumValue(root, key, i, v) != RegStatus::Ok)
                break;
            const QByteArray name = v.name.isEmpty() ? QByteArray("@") : '"' + v.name.toUtf8() + '"';
            out += name + '=' + FormatRegValue(v, int(name.size())) + '\n';
        }
        int count = 0;
        reg.CountSubKeys(root, key, count);
        for (int i = 0; i < count; ++i) {
            QString name;
            if (reg.EnumSubKey(root, key, i, name) == RegStatus::Ok)
                out += '[' + args[0].toUtf8() + '\\' + name.toUtf8() + "]\n";
        }
        Out(out);
        return 0;
    }
    RegValue v;
    const RegStatus s = reg.QueryValue(root, key, ValueName(args[1]), v);
    if (s == RegStatus::KeyNotFound)
        return Fail(reg, u"%1: no such key"_s.arg(args[0]));
    if (s != RegStatus::Ok)
        return Fail(reg, u"%1: no value \"%2\""_s.arg(args[0], args[1]));
    if (v.type == kRegSz) {
        QByteArray text = v.data;
        if (text.endsWith('\0'))
            text.chop(1);
        Out(text + '\n');
    } else if (v.type == kRegDword && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= uint32_t(uint8_t(v.data[i])) << (8 * i);
        Out(QByteArray::number(n) + '\n');
    } else {
        Out(FormatRegValue(v, 0) + '\n');
    }
    return 0;
}

int Set(CRegistry& reg, const QStringList& args) {
    if (args.size() != 4)
        return Usage();
    RegRoot root;
    QString key;
    if (!SplitKey(args[0], root, key))
        return 2;
    bool ok = false;
    if (args[2] == u"string"_s) {
        ok = reg.SetString(root, key, ValueName(args[1]), args[3]);
    } else if (args[2] == u"dword"_s) {
        bool number = false;
        const uint n = args[3].startsWith(u"0x"_s) ? args[3].mid(2).toUInt(&number, 16) : args[3].toUInt(&number);
        if (!number) {
            Err(u"%1: not a 32-bit number"_s.arg(args[3]));
            return 2;
        }
        ok = reg.SetNumber(root, key, ValueName(args[1]), n);
    } else {
        return Usage();
    }
    return ok ? 0 : Fail(reg, u"cannot write %1"_s.arg(args[0]));
}

int Delete(CRegistry& reg, const QStringList& args) {
    RegRoot root;
    QString key;
    if (!SplitKey(args[0], root, key))
        return 2;
    const RegStatus s = args.size() == 2 ? reg.DeleteValue(root, key, ValueName(args[1])) : reg.DeleteTree(root, key);
    return s == RegStatus::Ok ? 0 : Fail(reg, u"cannot delete %1"_s.arg(args.join(u' ')));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return Usage();
    const QString command = args.takeFirst();
    CRegistry& reg = CRegistry::Default();
    if (!reg.IsUsable()) {
        Err(RegistryUnusableMessage(reg.Path()) + u"\n("_s + reg.LastError() + u')');
        return 1;
    }
    if (command == u"import"_s && args.size() == 1)
        return Import(reg, args[0]);
    if (command == u"export"_s && args.size() <= 1)
        return Export(reg, args);
    if (command == u"query"_s && (args.size() == 1 || args.size() == 2))
        return Query(reg, args);
    if (command == u"set"_s)
        return Set(reg, args);
    if (command == u"delete"_s && (args.size() == 1 || args.size() == 2))
        return Delete(reg, args);
    if (command == u"check"_s && args.isEmpty()) {
        QString report;
        if (reg.CheckIntegrity(&report)) {
            Out("ok\n");
            return 0;
        }
        Err(u"%1: %2"_s.arg(reg.Path(), report));
        return 1;
    }
    return Usage();
}
