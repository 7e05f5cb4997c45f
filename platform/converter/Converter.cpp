// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/Converter.h"

#include "platform/converter/EpocText.h"
#include "platform/engine/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> g_commandTimeoutSeconds{300};
constexpr qsizetype kMaxErrorText = 4000;

QByteArray ReadSource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw CAutomationException(u"Cannot read %1: %2"_s.arg(path, file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw CAutomationException(u"Cannot read %1: %2"_s.arg(path, file.errorString()));
    return data;
}

void WriteAtomically(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw CAutomationException(u"Cannot write %1: %2"_s.arg(path, file.errorString()));
    if (file.write(data) != data.size() || !file.commit())
        throw CAutomationException(u"Cannot write %1: %2"_s.arg(path, file.errorString()));
}

// PC text is UTF-8 when it decodes as such, else the single-byte Windows text it most
// likely is; a byte-order mark is dropped.
QString DecodePcText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(view);
    if (!decoder.hasError())
        return text;
    return DecodeCp1252Text(view.toByteArray());
}

QString Truncated(QString text) {
    text = text.trimmed();
    if (text.size() > kMaxErrorText)
        text = text.left(kMaxErrorText) + u"..."_s;
    return text;
}

}  // namespace

CConverter::CConverter(ConverterDef def, QString directory)
    : m_def(std::move(def)), m_directory(std::move(directory)) {}

QString CConverter::SourceFormat() {
    return m_def.sourceName + u'\n' + m_def.sourceClass;
}

QString CConverter::TargetFormat() {
    return m_def.targetName + u'\n' + m_def.targetClass;
}

QString CConverter::TargetExtension() {
    return m_def.targetExtension;
}

void CConverter::SetCommandTimeout(int seconds) {
    g_commandTimeoutSeconds = seconds;
}

void CConverter::Convert(const QString& sourcePath, const QString& destinationPath, ConvertCallback callback) {
    int32_t flag = 0;
    if (callback && callback(0, &flag) != 0)
        throw CAutomationException(u"Conversion cancelled"_s);
    if (sourcePath.isEmpty() || destinationPath.isEmpty())
        throw CAutomationException(u"Source and destination paths are needed"_s);
    if (m_def.kind == ConversionKind::Command)
        ConvertByCommand(sourcePath, destinationPath);
    else
        ConvertBuiltin(sourcePath, destinationPath);
    if (callback)
        callback(100, &flag);
}

void CConverter::ConvertBuiltin(const QString& sourcePath, const QString& destinationPath) {
    const QByteArray input = ReadSource(sourcePath);
    if (m_def.kind == ConversionKind::TextToEpoc) {
        WriteAtomically(destinationPath, EncodeEpocText(DecodePcText(input)));
        return;
    }
    QString text;
    if (!DecodeEpocText(input, text))
        throw CAutomationException(u"%1 is not an EPOC Text file"_s.arg(sourcePath));
    WriteAtomically(destinationPath, text.toUtf8());
}

void CConverter::ConvertByCommand(const QString& sourcePath, const QString& destinationPath) {
    const QFileInfo destination(destinationPath);
    const QString folder = destination.absolutePath();
    if (!QFileInfo(folder).isDir())
        throw CAutomationException(u"The folder of %1 does not exist"_s.arg(destinationPath));
    if (!QFileInfo(sourcePath).isFile())
        throw CAutomationException(u"Cannot read %1: no such file"_s.arg(sourcePath));

    // The command writes into a private folder of the temporary folder, so a run killed
    // meanwhile leaves nothing beside the document; only a complete result is then copied
    // over it, as the engine copies: old or new content, the document's permissions kept.
    QTemporaryDir work(QDir::tempPath() + u"/dt-convert-XXXXXX"_s);
    if (!work.isValid())
        throw CAutomationException(u"Cannot write in %1: %2"_s.arg(QDir::tempPath(), work.errorString()));
    const QString output = work.filePath(destination.fileName());

    QStringList args = QProcess::splitCommand(m_def.command);
    for (QString& arg : args) {
        arg.replace(u"%SRC%"_s, sourcePath);
        arg.replace(u"%DST%"_s, output);
    }
    QString program = args.takeFirst();
    if (program.contains(u'/') && QDir::isRelativePath(program))
        program = QDir(m_directory).absoluteFilePath(program);

    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    if (!m_directory.isEmpty())
        process.setWorkingDirectory(m_directory);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted())
        throw CAutomationException(u"Cannot start %1: %2"_s.arg(program, process.errorString()));
    if (!process.waitForFinished(g_commandTimeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        throw CAutomationException(
            u"%1 did not finish within %2 seconds"_s.arg(program).arg(g_commandTimeoutSeconds.load()));
    }
    const QString errors = Truncated(QString::fromLocal8Bit(process.readAllStandardError()));
    if (process.exitStatus() != QProcess::NormalExit)
        throw CAutomationException(errors.isEmpty() ? u"%1 crashed"_s.arg(program) : errors);
    if (process.exitCode() != 0) {
        throw CAutomationException(
            errors.isEmpty() ? u"%1 failed with exit code %2"_s.arg(program).arg(process.exitCode()) : errors);
    }
    const QFileInfo written(output);
    if (!written.isFile()) {
        throw CAutomationException(errors.isEmpty() ? u"%1 wrote no output"_s.arg(program)
                                                    : u"%1 wrote no output: %2"_s.arg(program, errors));
    }
    if (CopyFileAtomic(QFile::encodeName(output), QFile::encodeName(destinationPath)) != 0)
        throw CAutomationException(u"Cannot replace %1"_s.arg(destinationPath));
}
