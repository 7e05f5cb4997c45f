// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ScriptedEngine.h"

#include "platform/engine/SimulatorConfig.h"

#include <QFile>

#include <cstring>
#include <sys/stat.h>
#include <ctime>

namespace {

class CScriptedRemoteFile : public IEpocRemoteFile {
public:
    CScriptedRemoteFile(int64_t modified, uint32_t size) : m_modified(modified), m_size(size) {}
    int32_t GetFileInfo(RemoteFileInfo& info) override {
        const uint64_t stamp = UtcSecondsToLocalFileTime(m_modified);
        const uint32_t attributes = 0x20;
        std::memcpy(info.bytes + 2, &attributes, sizeof attributes);
        std::memcpy(info.bytes + 6, &stamp, sizeof stamp);
        std::memcpy(info.bytes + 14, &m_size, sizeof m_size);
        return 0;
    }

private:
    int64_t m_modified;
    uint32_t m_size;
};

class CScriptedMachine : public IEpocMachine {
public:
    CScriptedMachine(uint32_t w20, uint32_t w24) : m_w20(w20), m_w24(w24) {}
    int32_t GetMachineInfo(MachineInfo& info) override {
        std::memcpy(info.bytes + 0x20, &m_w20, 4);
        std::memcpy(info.bytes + 0x24, &m_w24, 4);
        return 0;
    }

private:
    uint32_t m_w20;
    uint32_t m_w24;
};

QString PathOf(const FileSpec& spec) {
    return QString::fromUtf8(spec.path);
}

class CEngineForwarder : public IEpocEngine {
public:
    explicit CEngineForwarder(IEpocEngine& target, std::function<void()> after = {})
        : m_t(target), m_after(std::move(after)) {}
    int32_t SetEventSink(IEpocEngineEvents* sink) override { return Then(m_t.SetEventSink(sink)); }
    int32_t Connect(int32_t timeoutMs) override { return Then(m_t.Connect(timeoutMs)); }
    int32_t OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) override {
        return Then(m_t.OpenRemoteFile(spec, out));
    }
    int32_t CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) override {
        return Then(m_t.CopyFile(source, destination, overwrite));
    }
    int32_t CopyFileOver(const FileSpec& source, const FileSpec& destination, const CKnownFile& seen) override {
        return Then(m_t.CopyFileOver(source, destination, seen));
    }
    int32_t MakeCopiesDurable() override { return Then(m_t.MakeCopiesDurable()); }
    int32_t ReadFingerprint(const FileSpec& spec) override { return Then(m_t.ReadFingerprint(spec)); }
    int32_t GetFingerprint(CFileFacts& facts) override { return Then(m_t.GetFingerprint(facts)); }
    int32_t GetCopyFacts(CFileFacts& facts) override { return Then(m_t.GetCopyFacts(facts)); }
    int32_t CloseRemoteFile(const FileSpec& spec, uint32_t attributes) override {
        return Then(m_t.CloseRemoteFile(spec, attributes));
    }
    int32_t AttachRemote(int32_t mode) override { return Then(m_t.AttachRemote(mode)); }
    int32_t GetMachine(int32_t mode, std::unique_ptr<IEpocMachine>& out) override {
        return Then(m_t.GetMachine(mode, out));
    }
    int32_t BeginSession() override { return Then(m_t.BeginSession()); }
    int32_t ReleaseRemoteFile(const FileSpec& spec) override { return Then(m_t.ReleaseRemoteFile(spec)); }
    int32_t ForceCloseRemoteFile(const FileSpec& spec) override { return Then(m_t.ForceCloseRemoteFile(spec)); }
    void CancelCopies() override {
        m_t.CancelCopies();
        Then(0);
    }
    int32_t LookAtRemoteFiles(const std::vector<FileSpec>& specs, const std::vector<CKnownFile>& known) override {
        return Then(m_t.LookAtRemoteFiles(specs, known));
    }
    int32_t GetLookedFile(std::size_t index, RemoteFileInfo& info, uint64_t& size) override {
        return Then(m_t.GetLookedFile(index, info, size));
    }
    int32_t GetFingerprintOf(std::size_t index, CFileFacts& facts) override {
        return Then(m_t.GetFingerprintOf(index, facts));
    }

private:
    int32_t Then(int32_t result) {
        if (m_after)
            m_after();
        return result;
    }
    IEpocEngine& m_t;
    std::function<void()> m_after;
};

}  // namespace

std::unique_ptr<IEpocEngine> MakeEngineForwarder(IEpocEngine& target) {
    return std::make_unique<CEngineForwarder>(target);
}

std::unique_ptr<IEpocEngine> MakeDeliveringEngine(CScriptedEngine& target) {
    return std::make_unique<CEngineForwarder>(target, [&target] {
        target.Pump(
            [&target](EngineEvent event, int32_t result) {
                IEpocEngineEvents* to = target.sink;
                if (!to)
                    return;
                switch (event) {
                    case EngineEvent::Initialized:
                        to->OnInitialized(result);
                        break;
                    case EngineEvent::Connected:
                        to->OnConnected(result);
                        break;
                    case EngineEvent::Disconnected:
                        to->OnDisconnected(result);
                        break;
                    case EngineEvent::CopyDone:
                        to->OnCopyDone(result);
                        break;
                    case EngineEvent::Status:
                        to->OnStatus(0, 0, result);
                        break;
                    case EngineEvent::MachineReady:
                        to->OnMachineReady(result);
                        break;
                    case EngineEvent::RemoteFileOpened:
                        to->OnRemoteFileOpened(result);
                        break;
                    case EngineEvent::SessionReady:
                        to->OnSessionReady(result);
                        break;
                    case EngineEvent::RemoteFileBusy:
                        to->OnRemoteFileBusy(result);
                        break;
                    case EngineEvent::RemoteFileClosed:
                        to->OnRemoteFileClosed(result);
                        break;
                    case EngineEvent::CopiesDurable:
                        to->OnCopiesDurable(result);
                        break;
                    case EngineEvent::FingerprintRead:
                        to->OnFingerprintRead(result);
                        break;
                    case EngineEvent::RemoteFilesLooked:
                        to->OnRemoteFilesLooked(result);
                        break;
                }
            },
            [] { return false; });
    });
}

uint64_t UtcSecondsToLocalFileTime(int64_t seconds) {
    const time_t utc = static_cast<time_t>(seconds);
    struct tm local {};
    ::localtime_r(&utc, &local);
    const int64_t localSeconds = static_cast<int64_t>(::timegm(&local));
    return static_cast<uint64_t>(localSeconds + 11644473600LL) * 10000000ULL;
}

int32_t CScriptedEngine::SetEventSink(IEpocEngineEvents* newSink) {
    calls << (newSink ? QStringLiteral("SetEventSink") : QStringLiteral("SetEventSink null"));
    sink = newSink;
    if (newSink)
        events.emplace_back(EngineEvent::Initialized, initResult);
    return 0;
}

int32_t CScriptedEngine::Connect(int32_t timeoutMs) {
    calls << QStringLiteral("Connect %1").arg(timeoutMs);
    events.emplace_back(EngineEvent::Connected, connectResult);
    return 0;
}

int32_t CScriptedEngine::OpenRemoteFile(const FileSpec& spec, std::unique_ptr<IEpocRemoteFile>& out) {
    const QString path = PathOf(spec);
    calls << QStringLiteral("OpenRemoteFile %1:%2").arg(spec.location).arg(path);
    if (!unplugged && !unplugBeforeOpening.isEmpty() && path == unplugBeforeOpening) {
        unplugged = true;
        events.emplace_back(EngineEvent::Disconnected, 0);
    }
    auto it = files.find(path);
    if (unplugged || it == files.end() || it->second.unreadable) {
        events.emplace_back(EngineEvent::RemoteFileOpened, -1);
        return 0;
    }
    if (it->second.busyTimes > 0) {
        --it->second.busyTimes;
        events.emplace_back(EngineEvent::RemoteFileBusy, 0);
        return 0;
    }
    out =
        std::make_unique<CScriptedRemoteFile>(it->second.modifiedUtc, static_cast<uint32_t>(it->second.content.size()));
    events.emplace_back(EngineEvent::RemoteFileOpened, 0);
    return 0;
}

int32_t CScriptedEngine::CopyFile(const FileSpec& source, const FileSpec& destination, int32_t overwrite) {
    calls << QStringLiteral("CopyFile %1:%2 -> %3:%4 %5")
                 .arg(source.location)
                 .arg(PathOf(source))
                 .arg(destination.location)
                 .arg(PathOf(destination))
                 .arg(overwrite);
    if (duringCopy)
        duringCopy();
    int32_t result = 0;
    if (!copyResults.empty()) {
        result = copyResults.front();
        copyResults.pop_front();
    }
    if (copiesCancelled)
        result = EngineError::kCancelled;
    if (result == 0) {
        if (destination.location == kLocationDevice) {
            QFile in(PathOf(source));
            if (in.open(QIODevice::ReadOnly))
                files[PathOf(destination)].content = in.readAll();
            else
                result = -1;
        } else {
            auto it = files.find(PathOf(source));
            QFile out(PathOf(destination));
            if (it != files.end() && out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                out.write(it->second.content);
            else
                result = -1;
        }
    }
    if (result == 0 && !FactsOf(destination, m_copy))
        result = -1;
    if (afterCopy)
        afterCopy();
    events.emplace_back(EngineEvent::CopyDone, result);
    return 0;
}

int32_t CScriptedEngine::CopyFileOver(const FileSpec& source, const FileSpec& destination, const CKnownFile& seen) {
    if (!looksAtOnce)
        return kNotSupported;
    const auto it = files.find(PathOf(destination));
    if (it != files.end() && !unplugged) {
        const auto size = static_cast<uint32_t>(it->second.content.size());
        RemoteFileInfo info;
        CScriptedRemoteFile(it->second.modifiedUtc, size).GetFileInfo(info);
        if (!seen.known || seen.size != size || seen.time != info.LocalFileTime()) {
            calls << QStringLiteral("DestinationChanged %1").arg(PathOf(destination));
            events.emplace_back(EngineEvent::CopyDone, EngineError::kDestinationChanged);
            return 0;
        }
    }
    return CopyFile(source, destination, 1);
}

int32_t CScriptedEngine::MakeCopiesDurable() {
    calls << QStringLiteral("MakeCopiesDurable");
    int32_t result = 0;
    if (!durableResults.empty()) {
        result = durableResults.front();
        durableResults.pop_front();
    }
    events.emplace_back(EngineEvent::CopiesDurable, result);
    return 0;
}

int32_t CScriptedEngine::CloseResult(const FileSpec& spec) {
    auto it = files.find(PathOf(spec));
    if (it != files.end() && it->second.closeFailures > 0) {
        --it->second.closeFailures;
        return -2;
    }
    return 0;
}

int32_t CScriptedEngine::CloseRemoteFile(const FileSpec& spec, uint32_t attributes) {
    calls << QStringLiteral("CloseRemoteFile %1:%2 %3").arg(spec.location).arg(PathOf(spec)).arg(attributes);
    events.emplace_back(EngineEvent::RemoteFileClosed, CloseResult(spec));
    return 0;
}

int32_t CScriptedEngine::AttachRemote(int32_t mode) {
    calls << QStringLiteral("AttachRemote %1").arg(mode);
    return 0;
}

int32_t CScriptedEngine::GetMachine(int32_t mode, std::unique_ptr<IEpocMachine>& out) {
    calls << QStringLiteral("GetMachine %1").arg(mode);
    out = std::make_unique<CScriptedMachine>(machineWord20, machineWord24);
    events.emplace_back(EngineEvent::MachineReady, machineResult);
    return 0;
}

int32_t CScriptedEngine::BeginSession() {
    calls << QStringLiteral("BeginSession");
    events.emplace_back(EngineEvent::SessionReady, 0);
    return 0;
}

int32_t CScriptedEngine::ReleaseRemoteFile(const FileSpec& spec) {
    calls << QStringLiteral("ReleaseRemoteFile %1:%2").arg(spec.location).arg(PathOf(spec));
    return 0;
}

int32_t CScriptedEngine::ForceCloseRemoteFile(const FileSpec& spec) {
    calls << QStringLiteral("ForceCloseRemoteFile %1:%2").arg(spec.location).arg(PathOf(spec));
    events.emplace_back(EngineEvent::RemoteFileClosed, CloseResult(spec));
    return 0;
}

int CScriptedEngine::CountCalls(const QString& prefix) const {
    int count = 0;
    for (const QString& call : calls)
        count += call.startsWith(prefix) ? 1 : 0;
    return count;
}

QStringList CScriptedEngine::Matching(const QString& prefix) const {
    QStringList out;
    for (const QString& call : calls)
        if (call.startsWith(prefix))
            out << call;
    return out;
}

bool CScriptedEngine::FactsOf(const FileSpec& spec, CFileFacts& facts) {
    QByteArray content;
    if (spec.location == kLocationDevice) {
        const auto it = files.find(PathOf(spec));
        if (unplugged || it == files.end())
            return false;
        content = it->second.content;
        facts.time = UtcSecondsToLocalFileTime(it->second.modifiedUtc);
    } else {
        QFile file(PathOf(spec));
        struct stat status {};
        if (!file.open(QIODevice::ReadOnly) || ::stat(spec.path, &status) != 0)
            return false;
        content = file.readAll();
        facts.time = uint64_t(int64_t(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec);
    }
    CContentHasher hasher;
    hasher.Update(content.constData(), std::size_t(content.size()));
    facts.size = uint64_t(content.size());
    facts.print = hasher.Digest();
    return true;
}

int32_t CScriptedEngine::ReadFingerprint(const FileSpec& spec) {
    calls << QStringLiteral("ReadFingerprint %1:%2").arg(spec.location).arg(PathOf(spec));
    events.emplace_back(EngineEvent::FingerprintRead, FactsOf(spec, m_print) ? 0 : -1);
    return 0;
}

int32_t CScriptedEngine::GetFingerprint(CFileFacts& facts) {
    facts = m_print;
    return 0;
}

int32_t CScriptedEngine::LookAtRemoteFiles(const std::vector<FileSpec>& specs, const std::vector<CKnownFile>& known) {
    if (!looksAtOnce)
        return kNotSupported;
    calls << QStringLiteral("LookAtRemoteFiles %1").arg(specs.size());
    m_looked.assign(specs.size(), {-1, {}});
    m_prints.assign(specs.size(), {kNotSupported, {}});
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const QString path = PathOf(specs[i]);
        const auto it = files.find(path);
        if (unplugged || path == unplugBeforeOpening)
            continue;
        if (it == files.end()) {
            m_looked[i].first = EngineError::kNotFound;
        } else if (!it->second.unreadable && it->second.busyTimes == 0 && it->second.closeFailures == 0) {
            const auto size = static_cast<uint32_t>(it->second.content.size());
            m_looked[i] = {CScriptedRemoteFile(it->second.modifiedUtc, size).GetFileInfo(m_looked[i].second.first),
                           {m_looked[i].second.first, size}};
            if (i < known.size() && known[i].known && known[i].size == size &&
                known[i].time != m_looked[i].second.first.LocalFileTime()) {
                calls << QStringLiteral("ReadFingerprint looked %1").arg(path);
                m_prints[i].first = FactsOf(specs[i], m_prints[i].second) ? 0 : -1;
            }
        }
    }
    events.emplace_back(EngineEvent::RemoteFilesLooked, 0);
    return 0;
}

int32_t CScriptedEngine::GetLookedFile(std::size_t index, RemoteFileInfo& info, uint64_t& size) {
    if (index >= m_looked.size())
        return -1;
    info = m_looked[index].second.first;
    size = m_looked[index].second.second;
    return m_looked[index].first;
}

int32_t CScriptedEngine::GetFingerprintOf(std::size_t index, CFileFacts& facts) {
    if (index >= m_prints.size())
        return -1;
    facts = m_prints[index].second;
    return m_prints[index].first;
}

int32_t CScriptedEngine::GetCopyFacts(CFileFacts& facts) {
    facts = m_copy;
    return 0;
}

void CScriptedEngine::CancelCopies() {
    calls << QStringLiteral("CancelCopies");
    copiesCancelled = true;
}
