// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "platform/converter/ConverterInterface.h"
#include "platform/engine/EpocEngine.h"
#include "synchronizer/SyncUi.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class CSyncLog;

using ConverterFactory = std::function<std::unique_ptr<IConverterInterface>(const QString& progId)>;

// Moves the file of one binding: conversion where the types differ, backup of the PC file
// where asked, and the engine copy. Bindings are addressed by the sub-key name they were read
// from; marking them is the run's, once their copies are durable.
class CSyncTransfer {
public:
    struct Paths {
        QString owner;         // whose DocSynchEntries the bindings belong to
        QString tempFile;      // conversion file (inside the run's private folder)
        QString backupFolder;  // without trailing "/"
        QString controlFile;
        QString controlDir;
        QString workingDir;  // restored after each converter call
    };

    CSyncTransfer(ISyncUi& ui, CSyncLog& log, bool& errorsOccurred, ConverterFactory createConverter);
    ~CSyncTransfer();

    void SetPaths(Paths paths) { m_paths = std::move(paths); }
    // PC file names that more than one of the owner's bindings use: their backups get the
    // binding's number in their name, so that no two bindings share one.
    void SetSharedNames(QSet<QString> names) { m_sharedNames = std::move(names); }
    const Paths& GetPaths() const { return m_paths; }

    static bool NeedsConversion(const CDocSynchEntry& binding);
    // Whether the transfer Start began involves a conversion.
    bool Converting() const { return m_converting; }
    // What Finish needs of a copy Start began without a conversion, kept while the next starts.
    struct CStarted {
        QString doneLine;
        bool converting = false;
    };
    CStarted Started() const { return {m_doneLine, m_converting}; }
    void Resume(CStarted started) {
        m_doneLine = std::move(started.doneLine);
        m_converting = started.converting;
    }

    // True when an engine copy was issued (copyResult then holds CopyFile's own result);
    // false when the transfer failed before copying (a conversion, or the backup the binding
    // asks for: logged, errors set). The "Copied" or "Converted" line waits for Finish: it is
    // written once the transfer has happened. A copy to the handheld with seen goes over the
    // destination only as seen gives it (CopyFileOver).
    bool Start(IEpocEngine& engine, CDocSynchEntry& binding, const QString& key, SyncDirection direction,
               int32_t& copyResult, const CKnownFile* seen = nullptr);
    // After a successful copy of the transfer Start began: true when the whole transfer
    // happened and the binding is to be marked.
    bool Finish(CDocSynchEntry& binding, const QString& key, SyncDirection direction);
    QString FailureLine(const CDocSynchEntry& binding, SyncDirection direction) const;
    // The file the copy of a transfer writes, as the copy-error prompt shows it.
    static QString Destination(const CDocSynchEntry& binding, SyncDirection direction);

    bool ConvertFile(CDocSynchEntry& binding, const QString& key, SyncDirection direction);
    // False when no backup could be made (logged, errors set): the document must stay as it is.
    bool BackUpPcFile(const CDocSynchEntry& binding);
    // Releases any converter objects left from the last conversion.
    void ReleaseConverter() { m_root.reset(); }

    // Where the changed content of one side of a binding is kept before it is replaced: the
    // backup folder (made when needed), under a new name that shows the document, the side and
    // the time. Empty (logged, errors set) when it cannot be made, or when the binding has
    // kMaxKeptVersions kept already: those are never deleted by the run, so it stops there.
    QString KeptCopyPath(const CDocSynchEntry& binding, bool pcSide);
    // Keeps the PC document's content before a copy replaces it; false (logged) when it could not.
    bool KeepPcFile(const CDocSynchEntry& binding);
    // The log line of a kept copy.
    void LogKept(const QString& from, const QString& kept);
    static constexpr int kMaxKeptVersions = 32;

    // What the transfer established of the PC file's content where the engine's copy did not
    // see it (a conversion in either direction); invalid otherwise.
    const CFileFacts& PcFacts() const { return m_pcFacts; }
    bool HasPcFacts() const { return m_hasPcFacts; }

private:
    bool Convert(CDocSynchEntry& binding, const QString& key, SyncDirection direction, const QString& destination);
    bool ConvertIntoPlace(CDocSynchEntry& binding, const QString& key);
    void FixWinFileType(CDocSynchEntry& binding, const QString& key);
    bool FailConversion(int stringId);
    void RestoreWorkingDir();
    // The progress text names the binding once its copy was issued (issued passed on).
    bool Issued(bool issued, const CDocSynchEntry& binding);

    ISyncUi& m_ui;
    CSyncLog& m_log;
    bool& m_errors;
    ConverterFactory m_createConverter;
    Paths m_paths;
    std::unique_ptr<IConverterInterface> m_root;
    bool m_converting = false;
    QString m_doneLine;  // "Copied ..." or "Converted ...", for Finish
    QSet<QString> m_sharedNames;
    CFileFacts m_pcFacts;
    bool m_hasPcFacts = false;
    bool MakeBackupFolder();
};
