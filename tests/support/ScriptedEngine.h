// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/EpocEngine.h"
#include "platform/engine/PWInfo.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

// An engine that answers every operation from a script: results per step, handheld files
// with their times, busy and close faults, copy results. Events are queued, not delivered;
// Pump hands them to a run one by one, as the window would.
class CScriptedEngine : public IEpocEngine {
public:
    struct DeviceFile {
        QByteArray content;
        int64_t modifiedUtc = 0;
        int busyTimes = 0;        // OnRemoteFileBusy this many times before opening
        int closeFailures = 0;    // close or force-close fails this many times
        bool unreadable = false;  // exists, but opening fails
    };

    int32_t initResult = 0;
    int32_t connectResult = 0;
    int32_t machineResult = 0;
    uint32_t machineWord20 = 0x1234;
    uint32_t machineWord24 = 0xABCD;
    // Results of the successive CopyFile calls; 0 once the list runs out.
    std::deque<int32_t> copyResults;
    // Results of the successive MakeCopiesDurable calls; 0 once the list runs out.
    std::deque<int32_t> durableResults;
    // Runs inside each CopyFile, before its result is decided, as something happening during a copy.
    std::function<void()> duringCopy;
    // Runs inside each CopyFile once it has copied, before its event: something happening just after.
    std::function<void()> afterCopy;
    // Handheld files by EPOC path ("C:\Documents\a.txt").
    std::map<QString, DeviceFile> files;
    // Opening this path first reports a disconnect; from then on every open fails.
    QString unplugBeforeOpening;
    bool unplugged = false;
    // Answers LookAtRemoteFiles (a print read there is called "ReadFingerprint looked"; a file
    // it would report busy, fail to close or unplug at is left to be opened alone) and
    // CopyFileOver (a refusal is called "DestinationChanged").
    bool looksAtOnce = false;

    // Every call as text, in order: "Connect 15000", "OpenRemoteFile C:\x", "CopyFile 1:a -> 2:b" ...
    QStringList calls;
    std::deque<std::pair<EngineEvent, int32_t>> events;
    IEpocEngineEvents* sink = nullptr;
    bool destroyed = false;

    int32_t SetEventSink(IEpocEngineEvents* sink) override;
    int32_t Connect(int32_t timeoutMs) override;
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override;
    int32_t CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) override;
    int32_t CopyFileOver(const FileSpec& source, const FileSpec& destination, const CKnownFile& seen) override;
    int32_t MakeCopiesDurable() override;
    int32_t CloseRemoteFile(const FileSpec& spec, uint32_t attributes) override;
    int32_t AttachRemote(int32_t mode) override;
    int32_t GetMachine(int32_t mode, std::unique_ptr<IEpocMachine>& out) override;
    int32_t BeginSession() override;
    int32_t ReleaseRemoteFile(const FileSpec& spec) override;
    int32_t ForceCloseRemoteFile(const FileSpec& spec) override;
    int32_t ReadFingerprint(const FileSpec& spec) override;
    int32_t GetFingerprint(CFileFacts& facts) override;
    int32_t GetCopyFacts(CFileFacts& facts) override;
    int32_t LookAtRemoteFiles(const std::vector<FileSpec>& specs, const std::vector<CKnownFile>& known) override;
    int32_t GetLookedFile(std::size_t index, RemoteFileInfo& info, uint64_t& size) override;
    int32_t GetFingerprintOf(std::size_t index, CFileFacts& facts) override;
    // A copy issued from then on, the one under way included, ends with kCancelled.
    void CancelCopies() override;
    bool copiesCancelled = false;

    int CountCalls(const QString& prefix) const;
    QStringList Matching(const QString& prefix) const;
    // Delivers queued events to handler (a callable taking EngineEvent, int32_t) until none
    // is left or stop() says so.
    template <typename Handler, typename Stop>
    void Pump(Handler&& handler, Stop&& stop) {
        while (!events.empty() && !stop()) {
            const auto [event, result] = events.front();
            events.pop_front();
            handler(event, result);
        }
    }

private:
    int32_t CloseResult(const FileSpec& spec);
    // The facts of a file as the engine would give them; false when it cannot be read.
    bool FactsOf(const FileSpec& spec, CFileFacts& facts);
    CFileFacts m_print;
    CFileFacts m_copy;
    std::vector<std::pair<int32_t, std::pair<RemoteFileInfo, uint64_t>>> m_looked;
    std::vector<std::pair<int32_t, CFileFacts>> m_prints;
};

// An engine handle that forwards to target, so a test keeps the scripted engine when the
// run releases its handle.
std::unique_ptr<IEpocEngine> MakeEngineForwarder(IEpocEngine& target);
// The same, and after each call the events target queued go to its sink, as an engine's own
// thread would send them: for a run on a thread of its own, which alone then touches target.
std::unique_ptr<IEpocEngine> MakeDeliveringEngine(CScriptedEngine& target);

// Calendar seconds as the handheld's local FILETIME.
uint64_t UtcSecondsToLocalFileTime(int64_t seconds);
