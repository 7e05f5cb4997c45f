// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncTransfer.h"

#include "common/ProfileRegistry.h"
#include "common/StringTable.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncFiles.h"
#include "synchronizer/SyncLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const QString kUnknownType = u"UNKNOWN"_s;
const QString kArrow = u" -> "_s;

int32_t ConvertProgress(int32_t /*value*/, int32_t* flag) {
    if (flag)
        *flag = 1;
    return 0;
}

QString FormatLine(const QString& format, int index) {
    return format.section(QLatin1Char('\n'), index, index);
}

bool FormatMatches(const QString& format, const QString& type) {
    return FormatLine(format, 0).compare(type, Qt::CaseInsensitive) == 0 ||
           FormatLine(format, 1).compare(type, Qt::CaseInsensitive) == 0;
}

QString Text(int id) {
    return CStringTable::Load(id);
}

bool IssueCopy(IEpocEngine& engine, uint16_t fromLocation, const QString& from, uint16_t toLocation, const QString& to,
               int32_t& result, const CKnownFile* seen = nullptr) {
    FileSpec source;
    FileSpec destination;
    if (!MakeFileSpec(fromLocation, from.toUtf8().constData(), source) ||
        !MakeFileSpec(toLocation, to.toUtf8().constData(), destination)) {
        result = -1;  // a path the engine cannot address fails like a refused copy
        return true;
    }
    result = seen ? engine.CopyFileOver(source, destination, *seen) : engine.CopyFile(source, destination, 1);
    return true;
}

}  // namespace

CSyncTransfer::CSyncTransfer(ISyncUi& ui, CSyncLog& log, bool& errorsOccurred, ConverterFactory createConverter)
    : m_ui(ui), m_log(log), m_errors(errorsOccurred), m_createConverter(std::move(createConverter)) {}

CSyncTransfer::~CSyncTransfer() = default;

bool CSyncTransfer::NeedsConversion(const CDocSynchEntry& binding) {
    return binding.WinFileType != binding.EpocFileType && binding.WinFileType != kUnknownType &&
           binding.EpocFileType != kUnknownType;
}

QString CSyncTransfer::Destination(const CDocSynchEntry& binding, SyncDirection direction) {
    return direction == SyncDirection::PcToDevice ? binding.EpocFullPath() : binding.WinFullPath();
}

bool CSyncTransfer::Start(IEpocEngine& engine, CDocSynchEntry& binding, const QString& key, SyncDirection direction,
                          int32_t& copyResult, const CKnownFile* seen) {
    const QString pcPath = binding.WinFullPath();
    const QString epocPath = binding.EpocFullPath();
    m_hasPcFacts = false;
    if (direction == SyncDirection::PcToDevice) {
        m_converting = NeedsConversion(binding);
        if (!m_converting) {
            m_doneLine = Text(IDS_COPIED) + pcPath + kArrow + epocPath;
            return Issued(IssueCopy(engine, kLocationPc, pcPath, kLocationDevice, epocPath, copyResult, seen), binding);
        }
        // The converter reads the document itself; what it read is fingerprinted here, and the
        // run's look at the document after the copy proves it unchanged since.
        m_hasPcFacts = FingerprintPcFile(pcPath, m_pcFacts);
        if (!ConvertFile(binding, key, direction)) {
            m_log.WriteLine(Text(IDS_CANNOT_COPY_TO_DEVICE) + binding.EpocFileName + kArrow + binding.WinFileName);
            m_log.WriteEmptyLine();
            m_errors = true;
            return false;
        }
        m_doneLine = Text(IDS_CONVERTED) + pcPath + kArrow + epocPath;
        return Issued(IssueCopy(engine, kLocationPc, m_paths.tempFile, kLocationDevice, epocPath, copyResult, seen),
                      binding);
    }

    // The one copy of the old document the user asked to keep: without it the document is not
    // replaced.
    if (binding.KeepCopy && QFileInfo::exists(pcPath) && !BackUpPcFile(binding)) {
        m_log.WriteLine(Text(IDS_NOT_COPIED_NO_BACKUP) + epocPath + kArrow + pcPath);
        m_log.WriteEmptyLine();
        return false;
    }
    m_converting = NeedsConversion(binding);
    const QString destination = m_converting ? m_paths.tempFile : pcPath;
    m_doneLine = Text(m_converting ? IDS_CONVERTED : IDS_COPIED) + epocPath + kArrow + pcPath;
    return Issued(IssueCopy(engine, kLocationDevice, epocPath, kLocationPc, destination, copyResult), binding);
}

bool CSyncTransfer::Issued(bool issued, const CDocSynchEntry& binding) {
    // Painted while the engine copies, not before.
    m_ui.SetProgressText(binding.WinFileName);
    return issued;
}

bool CSyncTransfer::Finish(CDocSynchEntry& binding, const QString& key, SyncDirection direction) {
    bool done = true;
    if (direction == SyncDirection::PcToDevice) {
        m_log.WriteLine(m_doneLine);
        m_log.WriteLine(Text(IDS_COPIED_TO_DEVICE) + binding.WinFileName + kArrow + binding.EpocFileName);
    } else if (!m_converting || ConvertIntoPlace(binding, key)) {
        m_log.WriteLine(m_doneLine);
        m_log.WriteLine(Text(IDS_COPIED_TO_PC) + binding.EpocFileName + kArrow + binding.WinFileName);
    } else {
        m_log.WriteLine(Text(IDS_CANNOT_COPY_TO_PC) + binding.EpocFileName + kArrow + binding.WinFileName);
        m_errors = true;
        done = false;
    }
    m_log.WriteEmptyLine();
    return done;
}

QString CSyncTransfer::FailureLine(const CDocSynchEntry& binding, SyncDirection direction) const {
    if (direction == SyncDirection::PcToDevice)
        return Text(IDS_CANNOT_COPY_TO_DEVICE) + binding.WinFileName + kArrow + binding.EpocFileName;
    return Text(IDS_CANNOT_COPY_TO_PC) + binding.EpocFileName + kArrow + binding.WinFileName;
}

bool CSyncTransfer::ConvertIntoPlace(CDocSynchEntry& binding, const QString& key) {
    // Converted beside the conversion file first and then put in place by a copy that
    // fingerprints what it writes: the document is never read back to learn what it holds.
    // The converter still sees the document's own name.
    const QString folder = QFileInfo(m_paths.tempFile).path() + u"/converted"_s;
    QDir().mkdir(folder);
    const QString converted = folder + QLatin1Char('/') + binding.WinFileName;
    if (!Convert(binding, key, SyncDirection::DeviceToPc, converted))
        return false;
    QString reason;
    m_hasPcFacts = PlaceConvertedFile(converted, binding.WinFullPath(), m_pcFacts, reason);
    QFile::remove(converted);
    if (!m_hasPcFacts) {
        m_log.WriteLine(Text(IDS_CONVERTED_NOT_PLACED) + reason);
        m_errors = true;
        return false;
    }
    return true;
}

bool CSyncTransfer::ConvertFile(CDocSynchEntry& binding, const QString& key, SyncDirection direction) {
    // Into the PC document itself, so that a command converter sees its real name. The
    // converters replace their destination whole, so a failed or interrupted conversion
    // leaves the old document intact.
    return Convert(binding, key, direction,
                   direction == SyncDirection::PcToDevice ? m_paths.tempFile : binding.WinFullPath());
}

bool CSyncTransfer::Convert(CDocSynchEntry& binding, const QString& key, SyncDirection direction,
                            const QString& destination) {
    const bool toDevice = direction == SyncDirection::PcToDevice;
    const QString source = toDevice ? binding.WinFullPath() : m_paths.tempFile;

    m_root.reset();
    if (m_createConverter)
        m_root = m_createConverter(u"VEROZ.CONVERTERINTERFACE"_s);
    if (!m_root)
        return FailConversion(IDS_NO_CONVERTER);

    int16_t count = 0;
    QDir::setCurrent(m_paths.controlDir);
    try {
        m_root->Load(m_paths.controlFile, source);
        count = m_root->Count();
    } catch (const CAutomationException&) {
        count = 0;
    }
    RestoreWorkingDir();
    if (count < 1) {
        m_root.reset();
        return FailConversion(IDS_NO_CONVERTER);
    }

    QDir::setCurrent(m_paths.controlDir);
    try {
        if (toDevice)
            FixWinFileType(binding, key);
        const QString fromType = toDevice ? binding.WinFileType : binding.EpocFileType;
        const QString toType = toDevice ? binding.EpocFileType : binding.WinFileType;
        std::unique_ptr<IConverterItem> converter;
        for (int16_t k = 0; k < m_root->Count(); ++k) {
            converter.reset();
            converter = m_root->Item(k);
            if (!converter || !FormatMatches(converter->SourceFormat(), fromType) ||
                !FormatMatches(converter->TargetFormat(), toType))
                continue;
            converter->Convert(source, destination, &ConvertProgress);
            RestoreWorkingDir();
            converter.reset();
            m_root.reset();
            return true;
        }
    } catch (const CAutomationException& e) {
        // The converter's own text, which may run over several lines.
        m_log.WriteLines(Text(IDS_CONVERTER_ERROR) + e.Description());
        RestoreWorkingDir();
        m_root.reset();
        m_errors = true;
        return false;
    }
    RestoreWorkingDir();
    m_root.reset();
    return FailConversion(IDS_NO_CONVERTER);
}

void CSyncTransfer::FixWinFileType(CDocSynchEntry& binding, const QString& key) {
    const int16_t count = m_root->Count();
    if (count < 1)
        return;
    std::unique_ptr<IConverterItem> first = m_root->Item(0);
    if (!first)
        return;
    const QString t0 = first->SourceFormat();
    first.reset();
    for (int16_t k = 1; k < count; ++k) {
        std::unique_ptr<IConverterItem> item = m_root->Item(k);
        if (!item || item->SourceFormat() != t0)
            return;
    }
    if (FormatMatches(t0, binding.WinFileType))
        return;
    binding.WinFileType = FormatLine(t0, 0);
    // A binding deleted meanwhile is not brought back; its mark later says so in the log.
    WriteBindingString(m_paths.owner, key, u"WinFileType"_s, binding.WinFileType);
}

bool CSyncTransfer::MakeBackupFolder() {
    const QString folder = m_paths.backupFolder;
    // Private to the user: the backups' names tell of documents kept in private folders.
    const auto makeDir = [](const QString& path) {
        return QFileInfo(path).isDir() || QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const QString parent = QFileInfo(folder).path();
    const QString grandparent = QFileInfo(parent).path();
    const bool ok = makeDir(folder) || (makeDir(parent) && makeDir(folder)) ||
                    (makeDir(grandparent) && makeDir(parent) && makeDir(folder));
    if (!ok) {
        m_log.WriteString(IDS_NO_BACKUP_FOLDER);
        m_errors = true;
    }
    return ok;
}

namespace {

// "name (tag).ext", the extension kept last so the desktop still knows the type.
QString TaggedName(const QString& name, const QString& tag) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return name + u" ("_s + tag + u')';
    return name.left(dot) + u" ("_s + tag + u')' + name.mid(dot);
}

}  // namespace

QString CSyncTransfer::KeptCopyPath(const CDocSynchEntry& binding, bool pcSide) {
    if (!MakeBackupFolder())
        return {};
    const QString folder = m_paths.backupFolder;
    const QString bindingTag = u"binding %1"_s.arg(binding.BindingNumber);
    const QString name = pcSide ? binding.WinFileName : binding.EpocFileName;
    const QStringList kept = QDir(folder).entryList({u"*("_s + Text(IDS_SIDE_PC) + u", "_s + bindingTag + u", *"_s,
                                                     u"*("_s + Text(IDS_SIDE_DEVICE) + u", "_s + bindingTag + u", *"_s},
                                                    QDir::Files | QDir::Hidden | QDir::System);
    if (kept.size() >= kMaxKeptVersions) {
        m_log.WriteLine(Text(IDS_TOO_MANY_KEPT).arg(kMaxKeptVersions).arg(folder) + binding.WinFullPath() + kArrow +
                        binding.EpocFullPath());
        m_log.WriteEmptyLine();
        m_errors = true;
        return {};
    }
    const QString when = QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh.mm.ss"_s);
    const QString side = Text(pcSide ? IDS_SIDE_PC : IDS_SIDE_DEVICE);
    for (int n = 1; n < 100; ++n) {
        const QString tag =
            side + u", "_s + bindingTag + u", "_s + when + (n > 1 ? u" "_s + QString::number(n) : QString());
        const QString path = folder + QLatin1Char('/') + TaggedName(name, tag);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
    return {};
}

void CSyncTransfer::LogKept(const QString& from, const QString& kept) {
    m_log.WriteLine(Text(IDS_KEPT_CHANGED).arg(from, kept));
}

bool CSyncTransfer::KeepPcFile(const CDocSynchEntry& binding) {
    const QString kept = KeptCopyPath(binding, true);
    if (kept.isEmpty() || !CopyFileAtomically(binding.WinFullPath(), kept))
        return false;
    LogKept(binding.WinFullPath(), kept);
    return true;
}

bool CSyncTransfer::BackUpPcFile(const CDocSynchEntry& binding) {
    if (!MakeBackupFolder())
        return false;
    const QString folder = m_paths.backupFolder;
    const QString pcPath = binding.WinFullPath();
    const QString backup = folder + QLatin1Char('/') +
                           (m_sharedNames.contains(binding.WinFileName)
                                ? TaggedName(binding.WinFileName, u"binding %1"_s.arg(binding.BindingNumber))
                                : binding.WinFileName);
    const bool copied = CopyFileAtomically(pcPath, backup);
    m_log.WriteLine(Text(IDS_BACKING_UP) + pcPath + kArrow + backup + u" ... "_s +
                    Text(copied ? IDS_BACKUP_DONE : IDS_BACKUP_ERROR));
    if (!copied)
        m_errors = true;
    return copied;
}

bool CSyncTransfer::FailConversion(int stringId) {
    m_log.WriteString(stringId);
    m_errors = true;
    return false;
}

void CSyncTransfer::RestoreWorkingDir() {
    if (!m_paths.workingDir.isEmpty())
        QDir::setCurrent(m_paths.workingDir);
}
