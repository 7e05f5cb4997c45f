// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/ControlFile.h"

#include "platform/base/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

// The control file is UTF-8 text declaring one converter per section, in the order the
// converters are offered:
//
//   ; comment (also "#"); blank lines are ignored
//   [Text to EPOC Text]          section name: unique, used in messages only
//   SourceName=Text Document     display name of the source format (line 0 of SourceFormat)
//   SourceClass=txtfile          class identifier of the source format (line 1), optional
//   TargetName=EPOC Text         display name of the target format (line 0 of TargetFormat)
//   TargetClass=EPOC.Text        class identifier of the target format, optional
//   TargetExtension=.txt         extension of the files it writes, optional
//   Builtin=text-to-epoc         "text-to-epoc" or "epoc-to-text", or else:
//   Command=prog --in %SRC% --out %DST%
//
// Keys are case-insensitive and each may appear once per section; whitespace around keys
// and values is dropped. A Command line is split into arguments like a shell would
// ("double quotes" group, no expansion) and run without a shell; %SRC% and %DST% are
// replaced inside each argument, so paths with blanks stay one argument. A relative
// program path with a "/" is taken from the control file's folder, a bare name from PATH.
// The program must write %DST% and exit with 0; its error output explains a failure.

namespace {

constexpr qint64 kMaxControlFileSize = 1024 * 1024;
constexpr int kMaxConverters = 32767;

const QString kDst = u"%DST%"_s;

struct Section {
    ConverterDef def;
    QSet<QString> keys;
    bool hasBuiltin = false;
    bool hasCommand = false;
};

}  // namespace

ControlFileResult CControlFile::Read(const QString& path) {
    ControlFileResult result;
    if (path.isEmpty()) {
        result.error = u"No control file given"_s;
        return result;
    }
    // Named by the store: only a regular file is read, and a pipe there must not hang the caller.
    CUniqueFd fd = OpenRegularFile(AT_FDCWD, QFile::encodeName(path).constData());
    QFile file;
    if (!fd.IsValid()) {
        const int error = errno;
        result.error = u"%1: cannot be read: %2"_s.arg(
            path, error == ENXIO ? u"not a regular file"_s : QString::fromLocal8Bit(std::strerror(error)));
        return result;
    }
    if (!file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        result.error = u"%1: cannot be read: %2"_s.arg(path, file.errorString());
        return result;
    }
    fd.Release();
    if (file.size() > kMaxControlFileSize) {
        result.error = u"%1: larger than %2 bytes"_s.arg(path).arg(kMaxControlFileSize);
        return result;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = u"%1: cannot be read: %2"_s.arg(path, file.errorString());
        return result;
    }
    result = Parse(content, path);
    result.directory = QFileInfo(path).absolutePath();
    return result;
}

ControlFileResult CControlFile::Parse(const QByteArray& content, const QString& fileName) {
    ControlFileResult result;
    std::vector<Section> sections;
    QSet<QString> sectionNames;

    auto fail = [&](int line, const QString& what) {
        result.error = u"%1:%2: %3"_s.arg(fileName).arg(line).arg(what);
        result.converters.clear();
        return result;
    };

    const QList<QByteArray> lines = content.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QByteArray raw = lines.at(i);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (i == 0 && raw.startsWith("\xEF\xBB\xBF"))
            raw.remove(0, 3);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = QString(decoder(raw)).trimmed();
        if (decoder.hasError())
            return fail(lineNo, u"not UTF-8 text"_s);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.contains(QChar(0)))
            return fail(lineNo, u"contains a NUL character"_s);

        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return fail(lineNo, u"section header without closing \"]\""_s);
            const QString name = line.mid(1, line.size() - 2).trimmed();
            if (name.isEmpty())
                return fail(lineNo, u"empty section name"_s);
            if (sectionNames.contains(name.toCaseFolded()))
                return fail(lineNo, u"converter \"%1\" declared twice"_s.arg(name));
            if (int(sections.size()) >= kMaxConverters)
                return fail(lineNo, u"more than %1 converters"_s.arg(kMaxConverters));
            sectionNames.insert(name.toCaseFolded());
            Section s;
            s.def.name = name;
            s.def.line = lineNo;
            sections.push_back(std::move(s));
            continue;
        }

        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            return fail(lineNo, u"expected key=value, [section], or a comment"_s);
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key.isEmpty())
            return fail(lineNo, u"missing key before \"=\""_s);
        if (sections.empty())
            return fail(lineNo, u"\"%1\" outside any [converter] section"_s.arg(key));
        Section& s = sections.back();
        const QString folded = key.toCaseFolded();
        if (s.keys.contains(folded))
            return fail(lineNo, u"\"%1\" given twice in [%2]"_s.arg(key, s.def.name));
        s.keys.insert(folded);

        if (folded == u"sourcename"_s) {
            s.def.sourceName = value;
        } else if (folded == u"sourceclass"_s) {
            s.def.sourceClass = value;
        } else if (folded == u"targetname"_s) {
            s.def.targetName = value;
        } else if (folded == u"targetclass"_s) {
            s.def.targetClass = value;
        } else if (folded == u"targetextension"_s) {
            s.def.targetExtension = value;
        } else if (folded == u"builtin"_s) {
            if (s.hasCommand)
                return fail(lineNo, u"[%1] has both Command and Builtin"_s.arg(s.def.name));
            if (value.compare(u"text-to-epoc"_s, Qt::CaseInsensitive) == 0)
                s.def.kind = ConversionKind::TextToEpoc;
            else if (value.compare(u"epoc-to-text"_s, Qt::CaseInsensitive) == 0)
                s.def.kind = ConversionKind::EpocToText;
            else
                return fail(lineNo, u"unknown built-in converter \"%1\""_s.arg(value));
            s.hasBuiltin = true;
        } else if (folded == u"command"_s) {
            if (s.hasBuiltin)
                return fail(lineNo, u"[%1] has both Command and Builtin"_s.arg(s.def.name));
            if (value.isEmpty())
                return fail(lineNo, u"empty Command"_s);
            if (!value.contains(kDst))
                return fail(lineNo, u"Command has no %DST% placeholder"_s);
            if (QProcess::splitCommand(value).isEmpty())
                return fail(lineNo, u"empty Command"_s);
            s.def.kind = ConversionKind::Command;
            s.def.command = value;
            s.hasCommand = true;
        } else {
            return fail(lineNo, u"unknown key \"%1\""_s.arg(key));
        }
    }

    for (Section& s : sections) {
        if (s.def.sourceName.isEmpty())
            return fail(s.def.line, u"[%1] has no SourceName"_s.arg(s.def.name));
        if (s.def.targetName.isEmpty())
            return fail(s.def.line, u"[%1] has no TargetName"_s.arg(s.def.name));
        if (!s.hasBuiltin && !s.hasCommand)
            return fail(s.def.line, u"[%1] has neither Builtin nor Command"_s.arg(s.def.name));
        result.converters.push_back(std::move(s.def));
    }
    result.ok = true;
    return result;
}

QByteArray CControlFile::BuiltinContent() {
    return QByteArrayLiteral(
        "; Converters of the connectivity suite stand-in, in the order they are offered.\n"
        "\n"
        "[Text to EPOC Text]\n"
        "SourceName=Text Document\n"
        "SourceClass=txtfile\n"
        "TargetName=EPOC Text\n"
        "TargetClass=EPOC.Text\n"
        "TargetExtension=\n"
        "Builtin=text-to-epoc\n"
        "\n"
        "[EPOC Text to Text]\n"
        "SourceName=EPOC Text\n"
        "SourceClass=EPOC.Text\n"
        "TargetName=Text Document\n"
        "TargetClass=txtfile\n"
        "TargetExtension=.txt\n"
        "Builtin=epoc-to-text\n");
}
