// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "platform/engine/EpocEngine.h"
#include "platform/engine/PWInfo.h"
#include "synchronizer/SyncDecision.h"
#include "synchronizer/SyncFiles.h"
#include "synchronizer/SyncLog.h"
#include "synchronizer/SyncPlan.h"
#include "synchronizer/SyncTransfer.h"
#include "synchronizer/SyncUi.h"

#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

inline constexpr int kMaxBindings = 1024;

class CBindingsAhead;

struct CSyncRunSettings {
    QString title;          // the application title: log name and header
    QString programFolder;  // ends with "/": where the log goes
    QString productVersion;
    bool singleBinding = false;
    QString keyName;  // single-binding mode: the binding's sub-key name
    std::function<std::unique_ptr<IEpocEngine>()> createEngine;
    ConverterFactory createConverter;
    // Copied bindings wait for their copies to be durable before they are marked; a run makes
    // them durable at its end, before a copy-error prompt, and at least this often, so that a
    // run that is killed loses few marks.
    std::chrono::milliseconds marksAtLeastEvery{2000};
    // Scan and decide as a run does, then close: no prompt, no copy, and nothing written to the
    // store, the log or either side. The window is closed with ok once Plan() holds the plan.
    bool planOnly = false;
    // The bindings read while the window and the engine start (ReadBindingsAhead); the run
    // reads them itself when these are another user's.
    std::shared_ptr<CBindingsAhead> ahead;
};

// Starts reading the current user's bindings on another thread; the run that gets them as its
// settings' ahead takes them instead of reading the store when they are its owner's. On the
// thread the run will be on: a commit after this call makes the run's refresh read again.
std::shared_ptr<CBindingsAhead> ReadBindingsAhead();
// Until that read is done; the run's load waits for it itself.
void AwaitBindingsAhead(CBindingsAhead& ahead);

// One synchronization run: the state the main window owns, advanced one step per engine
// event. Talks to the user only through ISyncUi; destroying it is the run's teardown.
struct CBindingNames;

class CSyncRun {
public:
    enum class State {
        Initialising,
        Connecting,
        Stalled,
        Identifying,
        WaitingSession,
        Scanning,
        Copying,
        Fingerprinting,  // the scan reads a file whose time moved, to learn whether its content did
        Verifying,       // looking at a handheld file again: a destination before, a source after its copy
        MakingDurable,   // the copies' names are being flushed, then the bindings waiting are marked
        Completing,
        Closed
    };

    CSyncRun(ISyncUi& ui, CSyncRunSettings settings);
    ~CSyncRun();
    CSyncRun(const CSyncRun&) = delete;
    CSyncRun& operator=(const CSyncRun&) = delete;

    // Window initialisation; sink receives the engine's events. False when the run ended
    // here (the window has been asked to close).
    bool Initialise(IEpocEngineEvents* sink);
    // The next step, for an event the sink delivered.
    void HandleEvent(EngineEvent event, int32_t result);
    // The window was closed from outside (Stop): the log ends with "Synchronization stopped."
    // and no further step runs. True when the run first makes its copies durable and marks
    // their bindings: it then closes the window itself once that is done. Abandon ends it at
    // once, the bindings still waiting left unmarked.
    bool Stop();
    void Abandon();

    State GetState() const { return m_state; }
    // An engine event is awaited: the run's next step comes from the engine.
    bool AwaitsEngine() const;
    const QString& Owner() const { return m_owner; }
    bool ErrorsOccurred() const { return m_errors; }
    const QString& LogPath() const { return m_log.Path(); }
    const std::vector<CDocSynchEntry>& Bindings() const { return m_bindings; }
    // NoCopy outside the loaded range.
    SyncDirection Decision(int index) const;
    const QString& TempFile() const { return m_transfer.GetPaths().tempFile; }
    const QString& BackupFolder() const { return m_transfer.GetPaths().backupFolder; }
    // A plan run's result, in entry-number order: every active binding and every key refused.
    const std::vector<CPlanEntry>& Plan() const { return m_plan; }

private:
    void Dispatch(EngineEvent event, int32_t result);
    // An operation the engine refused completes at once with its own result.
    void Await(EngineEvent event, int32_t issueResult);
    void Close(bool ok = false);

    void OnInitialized(int32_t result);
    void OnConnected(int32_t result);
    void OnDisconnected(int32_t result);
    void OnMachineReady(int32_t result);
    // The adopted volume the machine id names: its label and mount point in the log, and a
    // warning when they differ from what adoption recorded.
    void DescribeVolume(uint32_t high, uint32_t low);
    void OnSessionReady();
    void LoadBindings();

    FileSpec ScanSpec() const;
    void OpenForScan();
    void OnRemoteFileBusy();
    void OnRemoteFileOpened(int32_t result);
    void OnRemoteFileClosed(int32_t result);
    void ScanEpocChange();
    void ScanPcSide(bool epocExists);
    void ReadPrint(bool pcSide);
    void OnFingerprintRead(int32_t result);
    void OnRemoteFilesLooked(int32_t result);
    bool TakeLooked();
    bool TakePrint();
    void StartLook(int begin);
    void DecideScanned();
    void AdvanceScan();
    // A binding the scan leaves alone for a reason a plan names.
    void RefuseScanned(PlanReason reason);
    void FinishPlan();
    void ReleaseBusyFiles();
    // The recorded times of files found unchanged by their content, for the bindings left alone.
    void RefreshRecordedTimes();
    // Reads every binding's file names: backups of shared names, and bindings sharing a file.
    // Reads every binding's names itself when all is empty.
    void SurveyBindings(std::vector<CBindingNames> all);
    void OnLoserKept(int32_t result);
    CSyncState CopiedState(int index, const CFileFacts& copied) const;

    void ContinueCopy();
    // The copy of the binding at the copy index, its handheld destination looked at by the
    // engine itself when checkInCopy; false when none was issued.
    bool IssueCopy(bool checkInCopy);
    // After a copy to the handheld without a conversion: the next copy goes to the engine at
    // once when nothing but a copy to the handheld comes before it, and this one is looked at
    // and logged while the engine makes it. False, and nothing done, otherwise.
    bool IssueNextCopyFirst();
    // What a look at the handheld file of the binding at the copy index is for.
    enum class DeviceCheck {
        Destination,   // before a copy overwrites it
        SourceBefore,  // before a copy is retried: what it is now is what the copy must take
        SourceAfter,   // after it was copied: the copy took what it is now
    };
    void CheckDeviceFile(DeviceCheck purpose);
    void OnCheckBusy();
    void OnCheckOpened(int32_t result);
    void OnCheckClosed(int32_t result);
    void AfterCheck(bool changed);
    bool PcDestinationChanged(int index) const;
    void LeaveChangedDestination(int index);
    void LeaveChangedSource(int index);
    // A failed close: a forced close is awaited, or the run ends when they keep failing.
    void RetryClose(const CDocSynchEntry& binding);
    void OnCopyDone(int32_t result);
    // The binding at index was transferred whole (copied gives what the copy wrote): it waits
    // to be marked.
    void FinishTransfer(int index, const CFileFacts& copied);
    // A copy to the handheld made: its source looked at again, then finished or left.
    void AfterCopyToHandheld(int index, const CFileFacts& copied);
    void AskCopyError();
    QString TransferText(int index) const;

    // What follows once the copies made so far are durable and their bindings marked.
    enum class AfterDurable { ContinueCopy, AskCopyError, FinishRun, Stop };
    void MakeCopiesDurable(AfterDurable next);
    void OnCopiesDurable(int32_t result);
    void WriteStoppedLine();
    void FinishRun();

    ISyncUi& m_ui;
    CSyncRunSettings m_settings;
    State m_state = State::Initialising;
    std::deque<std::pair<EngineEvent, int32_t>> m_pending;

    CSyncLog m_log;
    bool m_errors = false;
    CSyncTransfer m_transfer;
    CPrivateTempDir m_tempDir;

    QString m_owner;
    std::vector<CDocSynchEntry> m_bindings;
    std::vector<QString> m_keys;
    // What the scan saw of a binding's files. A copy goes ahead only while its destination
    // is still as seen: a prompt may stay open for minutes, and an edit made meanwhile must
    // not be overwritten unseen.
    struct CEpocFileStamp {
        bool exists = false;
        uint64_t localFileTime = 0;
        uint32_t size = 0;
        friend bool operator==(const CEpocFileStamp&, const CEpocFileStamp&) = default;
    };
    struct CSeenFiles {
        bool busyOnDevice = false;
        CPcFileStamp pc;
        CEpocFileStamp epoc;
        uint64_t epocSize = 0;  // the whole size, beyond 4 GiB too
        CChanges changes;
        bool bothChanged = false;  // whichever side is replaced holds an edit: kept first
        bool loserKept = false;
        bool refresh = false;  // a time moved over unchanged content: recorded anew if left alone
        CSyncState refreshed;
        CDecisionPlan decision;
        bool decided = false;
        bool refused = false;
        PlanReason refusal = PlanReason::Unreadable;
    };
    std::vector<CSeenFiles> m_seen;
    std::vector<CPlanEntry> m_plan;  // a plan run's: first the keys refused before the scan
    // A binding whose transfer succeeded, waiting for its copy to be durable.
    struct CAwaitingMark {
        int index = 0;
        CSyncState state;
        uint32_t stamp = 0;  // the mark's "LastSyncTimeStamp": the transfer's end plus 3 seconds
        QString pcFolder;    // a PC folder the run wrote itself (a conversion), flushed with the copies
    };
    std::vector<CAwaitingMark> m_awaiting;
    std::chrono::steady_clock::time_point m_firstAwaiting;
    bool m_copiesSinceDurable = false;  // some copy succeeded since the copies were last made durable
    AfterDurable m_afterDurable = AfterDurable::ContinueCopy;
    bool m_stopRequested = false;
    int m_transferred = 0;  // transfers done whole so far
    QString m_notCopied;    // the transfer a Stop ended before it was made
    QString m_endLine;      // the last line of a run that ends once its copies are marked, when not Stop's
    DeviceCheck m_check = DeviceCheck::Destination;
    bool m_refreshSource = false;  // a retry after the source changed mid-copy
    bool m_sourceUnseen = false;   // the handheld source could not be looked at after its copy
    int32_t m_lastCopyResult = 0;
    std::unique_ptr<SyncDirection[]> m_decisions;
    int m_scanIndex = 0;
    int m_copyIndex = 0;
    int64_t m_epocTime = 0;
    bool m_epocInfoRead = false;
    bool m_destinationChecked = false;  // for the binding at the copy index
    bool m_copyingOver = false;         // the engine copy awaited looks at its handheld destination itself
    bool m_checkChanged = false;
    // Set by a disconnect: a handheld file that cannot be opened afterwards may well exist.
    bool m_connectionLost = false;
    bool m_ignoreAllCopyErrors = false;
    QString m_machineId;  // "%X-%X", the handheld the run identified
    bool m_scanEpocExists = false;
    bool m_printPcSide = false;   // which side the fingerprint awaited belongs to
    bool m_keepingLoser = false;  // the engine copy awaited keeps a handheld file about to be replaced
    QString m_keptPath;
    CFileFacts m_lastCopy;  // the facts of the last successful copy, read at its event
    int m_closeRetryCount = 0;
    // The handheld files of the bindings [begin, end) as one operation of the engine found them
    // at `at`, with the fingerprints of those whose time alone moved, read there too: the scan
    // takes each from there instead of opening and closing it, one round trip each. The next
    // batch is looked at while the scan goes through this one.
public:
    struct CLookedEntry {
        int32_t result = -1;
        RemoteFileInfo info;
        uint64_t size = 0;
        int32_t printResult = IEpocEngine::kNotSupported;  // read with the look when not that
        CFileFacts print;
    };
    struct CLookBatch {
        enum class Stage { None, Looking, Ready } stage = Stage::None;
        int begin = 0;
        int end = 0;
        std::chrono::steady_clock::time_point at;
        std::vector<CLookedEntry> files;
    };

private:
    CLookBatch m_look;      // the batch the scan takes from: Ready, or None
    CLookBatch m_nextLook;  // on its way, or ready for the scan to take next
    bool m_looksAtOnce = true;
    StoreStamp m_readAt;          // the store before the bindings were read
    bool m_awaitingLook = false;  // the scan waits for m_nextLook
    bool m_looked = false;        // the scan's binding was taken from m_look
    RemoteFileInfo m_lookedInfo;
    uint64_t m_lookedSize = 0;
    bool m_printTaken = false;  // the fingerprint awaited was taken from m_look
    CFileFacts m_takenPrint;

    // Engine objects last: released before the engine itself, which goes first of all.
    std::unique_ptr<IEpocEngine> m_engine;
    std::unique_ptr<IEpocMachine> m_machine;
    std::unique_ptr<IEpocRemoteFile> m_remoteFile;
};

// The window's side of a run's events: the one it received, then those that follow within
// microseconds, taken from the sink directly (a pass of the event loop saved each), until
// `closed` says so, the run waits for no engine event, or `budget` is spent.
void HandEngineEvent(const CEngineEvent& event, CPWInfo& sink, CSyncRun& run, const bool& closed,
                     std::chrono::milliseconds budget);
