// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncRun.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "common/StringTable.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncDecision.h"

#include <QDir>

#include <algorithm>
#include <new>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int32_t kConnectTimeout = 15000;
// The engine's file information carries the size (clamped to 32 bits) in this word.
constexpr std::size_t kRemoteFileSizeOffset = 14;
constexpr int32_t kMachineKind = 2;
const QString kLogProductKey = u"Dovetail"_s;
const QString kLogValueName = u"LogDocSynchCopy"_s;
const QString kTempFileName = u"_Dovetl_.dt_"_s;

QString Text(int id) {
    return CStringTable::Load(id);
}

QString AnimationClip(const QString& valueName) {
    QString clip;
    RegReadString(HKEY_LOCAL_MACHINE, QLatin1String(kPsiWinKey) + u"\\Animations"_s, valueName, clip);
    return clip;
}

int LeadingNumber(const QString& keyName) {
    int number = 0;
    for (const QChar c : keyName) {
        if (c < u'0' || c > u'9' || number > kMaxEntryNumber)
            break;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number;
}

bool MakeDeviceSpec(const CDocSynchEntry& binding, FileSpec& spec) {
    return MakeFileSpec(kLocationDevice, binding.EpocFullPath().toUtf8().constData(), spec);
}

}  // namespace

CSyncRun::CSyncRun(ISyncUi& ui, CSyncRunSettings settings)
    : m_ui(ui),
      m_settings(std::move(settings)),
      m_log(m_settings.programFolder, m_settings.productVersion),
      m_transfer(ui, m_log, m_errors, m_settings.createConverter) {}

CSyncRun::~CSyncRun() {
    if (m_engine)
        m_engine->SetEventSink(nullptr);
    m_remoteFile.reset();
    m_machine.reset();
    m_engine.reset();
    m_transfer.ReleaseConverter();
    m_tempDir.Remove();
    m_log.Close();
}

bool CSyncRun::Initialise(IEpocEngineEvents* sink) {
    if (m_settings.createEngine)
        m_engine = m_settings.createEngine();
    bool engineMissing = false;
    if (!m_engine) {
        m_ui.ShowMessage(Text(IDS_CANNOT_CREATE_ENGINE), MessageIcon::None);
        engineMissing = true;
        Close();
    } else {
        Await(EngineEvent::Initialized, m_engine->SetEventSink(sink));
    }

    QString user;
    const CStoreCheck userRead = GetCurrentUser(user);
    // A refused name cannot name the log, nor the backup folder: the run ends having
    // written nothing anywhere.
    if (userRead.IsRefused()) {
        m_ui.ShowMessage(Text(IDS_USER_REFUSED).arg(userRead.Reason()), MessageIcon::Stop);
        Close();
        return false;
    }
    m_log.Open(kLogProductKey, user, kLogValueName, m_settings.title);
    m_log.WriteEmptyLine();
    // Every ending names itself in the log's last line, the early ones included.
    if (engineMissing)
        m_log.WriteLastString(IDS_CANNOT_CREATE_ENGINE);
    if (!userRead) {
        m_ui.ShowMessage(Text(IDS_NO_USER), MessageIcon::Stop);
        m_log.WriteLastString(IDS_NO_USER);
        Close();
        return false;
    }
    QString pcDirectory;
    if (const CStoreCheck pcRead = GetUserPCDirectory(user, pcDirectory); !pcRead) {
        if (pcRead.IsRefused()) {
            m_ui.ShowMessage(Text(IDS_PC_DIRECTORY_REFUSED).arg(pcRead.Reason()), MessageIcon::Stop);
            m_log.WriteLastLine(Text(IDS_PC_DIRECTORY_REFUSED_LOG).arg(pcRead.Reason()));
        } else {
            m_ui.ShowMessage(Text(IDS_NO_PC_DIRECTORY), MessageIcon::Stop);
            m_log.WriteLastString(IDS_NO_PC_DIRECTORY);
        }
        Close();
        return false;
    }

    CSyncTransfer::Paths paths;
    // Converting changes into the control file's folder, so only an absolute one is used.
    if (const CStoreCheck control = GetControlFile(paths.controlFile); control.IsRefused()) {
        m_log.WriteLine(Text(IDS_CONTROL_FILE_REFUSED).arg(control.Reason()));
        m_log.WriteEmptyLine();
    }
    paths.controlDir = GetControlDirectory();
    // The conversion file lives in a folder of this run only, so nobody else can plant or
    // link it.
    if (m_tempDir.Create(QDir::tempPath()) || m_tempDir.Create(paths.controlDir))
        paths.tempFile = m_tempDir.Path() + QLatin1Char('/') + kTempFileName;
    paths.backupFolder = pcDirectory + user + u"/Dovetail"_s;
    QDir().mkdir(paths.backupFolder);  // BackUpPcFile tries harder when it is needed
    paths.workingDir = QDir::currentPath();
    m_transfer.SetPaths(std::move(paths));

    while (!m_pending.empty() && m_state != State::Closed) {
        const auto [event, result] = m_pending.front();
        m_pending.pop_front();
        Dispatch(event, result);
    }
    return m_state != State::Closed;
}

void CSyncRun::HandleEvent(EngineEvent event, int32_t result) {
    Dispatch(event, result);
    while (!m_pending.empty() && m_state != State::Closed) {
        const auto [next, nextResult] = m_pending.front();
        m_pending.pop_front();
        Dispatch(next, nextResult);
    }
}

bool CSyncRun::AwaitsEngine() const {
    return m_state != State::Stalled && m_state != State::Completing && m_state != State::Closed && m_pending.empty();
}

SyncDirection CSyncRun::Decision(int index) const {
    if (!m_decisions || index < 0 || index >= static_cast<int>(m_bindings.size()))
        return SyncDirection::NoCopy;
    return m_decisions[index];
}

void CSyncRun::Await(EngineEvent event, int32_t issueResult) {
    if (issueResult != 0)
        m_pending.emplace_back(event, issueResult);
}

void CSyncRun::Stop() {
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_pending.clear();
    m_log.WriteLastString(IDS_STOPPED);
}

void CSyncRun::Close(bool ok) {
    m_state = State::Closed;
    m_pending.clear();
    m_ui.CloseWindow(ok);
}

void CSyncRun::Dispatch(EngineEvent event, int32_t result) {
    // Only the awaited event moves the run; strays from a confused engine are dropped.
    switch (event) {
        case EngineEvent::Initialized:
            if (m_state == State::Initialising)
                OnInitialized(result);
            break;
        case EngineEvent::Connected:
            if (m_state == State::Connecting)
                OnConnected(result);
            else if (result == 0)
                m_connectionLost = false;  // the handheld is back: a file that does not open is absent again
            break;
        case EngineEvent::Disconnected:
            if (m_state != State::Closed)
                OnDisconnected(result);
            break;
        case EngineEvent::MachineReady:
            if (m_state == State::Identifying)
                OnMachineReady(result);
            break;
        case EngineEvent::SessionReady:
            if (m_state == State::WaitingSession)
                OnSessionReady();
            break;
        case EngineEvent::RemoteFileBusy:
            if (m_state == State::Scanning)
                OnRemoteFileBusy();
            else if (m_state == State::Verifying)
                OnCheckBusy();
            break;
        case EngineEvent::RemoteFileOpened:
            if (m_state == State::Scanning)
                OnRemoteFileOpened(result);
            else if (m_state == State::Verifying)
                OnCheckOpened(result);
            break;
        case EngineEvent::RemoteFileClosed:
            if (m_state == State::Scanning)
                OnRemoteFileClosed(result);
            else if (m_state == State::Verifying)
                OnCheckClosed(result);
            break;
        case EngineEvent::CopyDone:
            if (m_state == State::Copying)
                OnCopyDone(result);
            break;
        case EngineEvent::Status:
            break;
    }
}

void CSyncRun::OnInitialized(int32_t result) {
    if (result == 0) {
        m_state = State::Connecting;
        Await(EngineEvent::Connected, m_engine->Connect(kConnectTimeout));
    } else {
        m_state = State::Stalled;
        m_ui.ShowMessage(Text(IDS_CANNOT_INIT_CONNECTION), MessageIcon::None);
        m_log.WriteString(IDS_CANNOT_INIT_CONNECTION, result);
        m_log.WriteEmptyLine();
    }
    const QString clip = AnimationClip(u"Connect"_s);
    if (!clip.isEmpty())
        m_ui.PlayAnimation(clip);
    m_ui.SetProgressText(Text(IDS_CONNECTING));
}

void CSyncRun::OnConnected(int32_t result) {
    if (result != 0) {
        m_log.WriteString(IDS_CONNECTION_FAILED_LOG, result);
        m_log.WriteEmptyLine();
        m_ui.ShowMessage(Text(IDS_CONNECTION_FAILED), MessageIcon::None);
        m_log.WriteLastString(IDS_CONNECTION_FAILED);
        Close();
        return;
    }
    m_ui.StopAnimation();
    QString installDir;
    if (GetEpocConnectDirectory(installDir)) {
        if (!installDir.endsWith(QLatin1Char('/')))
            installDir += QLatin1Char('/');
        m_ui.PlayAnimation(installDir + u"DOdivEdu.avi"_s);
    }
    m_ui.SetProgressText(Text(IDS_IDENTIFY));
    m_state = State::Identifying;
    Await(EngineEvent::MachineReady, m_engine->GetMachine(kMachineKind, m_machine));
}

void CSyncRun::OnDisconnected(int32_t result) {
    m_connectionLost = true;
    m_log.WriteString(IDS_CONNECTION_TERMINATED, result);
    m_log.WriteEmptyLine();
}

void CSyncRun::OnMachineReady(int32_t result) {
    QString owner;
    CStoreCheck ownerRead = CStoreCheck::Missing(QString());
    MachineInfo info;
    if (result == 0 && m_machine && m_machine->GetMachineInfo(info) == 0)
        ownerRead = FindUserForMachine(info.WordAt(0x24), info.WordAt(0x20), owner);
    m_machine.reset();
    if (!ownerRead || owner.isEmpty()) {
        if (ownerRead.IsRefused()) {
            m_log.WriteLine(Text(IDS_OWNER_REFUSED).arg(ownerRead.Reason()));
            m_log.WriteEmptyLine();
            m_errors = true;
        }
        m_log.WriteLastString(IDS_NO_OWNER);
        Close();
        return;
    }
    m_owner = owner;
    CSyncTransfer::Paths paths = m_transfer.GetPaths();
    paths.owner = owner;
    m_transfer.SetPaths(std::move(paths));
    m_ui.SetProgressText(Text(IDS_LOOKING_FOR_FILES) + owner + u"..."_s);
    m_state = State::WaitingSession;
    Await(EngineEvent::SessionReady, m_engine->BeginSession());
}

void CSyncRun::OnSessionReady() {
    LoadBindings();
}

void CSyncRun::LoadBindings() {
    const QString area = QLatin1String(kDocSynchArea);
    const uint32_t now = CClock::CurrentSecondsUtc();
    const auto keep = [this, now](CDocSynchEntry binding, const QString& key) {
        binding.BindingNumber = LeadingNumber(key);
        // Taken as it stands, such a stamp would count every change until then as none.
        if (IsStampInFuture(binding.LastSyncTimeStamp, now)) {
            m_log.WriteLine(Text(IDS_FUTURE_TIMESTAMP)
                                .arg(key, FormatDateTimeText(binding.LastSyncTimeStamp),
                                     binding.WinFullPath() + u" <-> "_s + binding.EpocFullPath()));
            m_log.WriteEmptyLine();
            binding.WasUpdated = false;
            binding.LastSyncTimeStamp = 0;
        }
        m_bindings.push_back(std::move(binding));
        m_keys.push_back(key);
        m_seen.emplace_back();
    };
    // Said in the log, never skipped unseen; the run goes on with the others.
    const auto refuse = [this](const QString& key, const CStoreCheck& read) {
        m_log.WriteLine(Text(IDS_BINDING_UNREADABLE).arg(key, read.Reason()));
        m_log.WriteEmptyLine();
        m_errors = true;
    };

    if (m_settings.singleBinding) {
        CDocSynchEntry binding;
        if (const CStoreCheck read = ReadDocSynchEntryKey(m_owner, m_settings.keyName, binding, ReadMode::Strict);
            !read) {
            refuse(m_settings.keyName, read);
            m_ui.ShowMessage(Text(IDS_BAD_ARGUMENT), MessageIcon::None);
            m_log.WriteLastString(IDS_BAD_ARGUMENT);
            Close();
            return;
        }
        if (!binding.IsActive) {
            m_ui.ShowMessage(Text(IDS_INACTIVE_BINDING), MessageIcon::None);
            m_log.WriteLastString(IDS_INACTIVE_BINDING);
            m_errors = true;
            Close();
            return;
        }
        keep(std::move(binding), m_settings.keyName);
    } else {
        // One snapshot for the whole load: fifteen reads per binding would otherwise each
        // open a snapshot of their own.
        RegReadSnapshot([&] {
            const int count = CountUserSubkeys(m_owner, area);
            for (int i = 0; i < kMaxBindings && i < count; ++i) {
                QString key;
                if (!GetUserSubkeyName(m_owner, area, i, key))
                    continue;
                CDocSynchEntry binding;
                const CStoreCheck read = ReadDocSynchEntryKey(m_owner, key, binding, ReadMode::Strict);
                // A disabled binding is the user's to leave alone, broken or not.
                if (!binding.IsActive)
                    continue;
                if (read)
                    keep(std::move(binding), key);
                else
                    refuse(key, read);
            }
        });
    }

    const int n = static_cast<int>(m_bindings.size());
    if (n == 0) {
        m_ui.StopAnimation();
        m_log.WriteLastString(IDS_NOTHING_TO_DO);
        Close();
        return;
    }
    m_decisions.reset(new (std::nothrow) SyncDirection[n]);
    if (!m_decisions) {
        m_log.WriteLastString(IDS_OUT_OF_MEMORY);
        m_errors = true;
        Close();
        return;
    }
    std::fill_n(m_decisions.get(), n, SyncDirection::NoCopy);
    m_ui.SetProgressRange(0, n);
    m_ui.SetProgressStep(1);
    m_ui.SetProgressPos(0);
    m_scanIndex = 0;
    m_state = State::Scanning;
    OpenForScan();
}

void CSyncRun::OpenForScan() {
    m_remoteFile.reset();
    FileSpec spec;
    if (!MakeDeviceSpec(m_bindings[m_scanIndex], spec)) {
        Await(EngineEvent::RemoteFileOpened, -1);  // a path the engine cannot address cannot be opened
        return;
    }
    Await(EngineEvent::RemoteFileOpened, m_engine->OpenRemoteFile(spec, m_remoteFile));
}

void CSyncRun::OnRemoteFileBusy() {
    m_seen[m_scanIndex].busyOnDevice = true;
    OpenForScan();
}

void CSyncRun::OnRemoteFileOpened(int32_t result) {
    if (result != 0 || !m_remoteFile) {
        m_remoteFile.reset();
        // Taking an unreachable file for an absent one would copy the PC file over it, should
        // the handheld come back before the copy phase. It is left alone, but said so: the
        // run must not report success over bindings it never looked at.
        if (m_connectionLost) {
            const CDocSynchEntry& binding = m_bindings[m_scanIndex];
            m_log.WriteLine(Text(IDS_NOT_SCANNED_DISCONNECTED) + binding.WinFullPath() + u" <-> "_s +
                            binding.EpocFullPath());
            m_log.WriteEmptyLine();
            m_errors = true;
            AdvanceScan();
            return;
        }
        ScanPcSide(false);
        return;
    }
    RemoteFileInfo info;
    m_epocInfoRead = m_remoteFile->GetFileInfo(info) == 0;
    m_remoteFile.reset();
    if (m_epocInfoRead) {
        m_epocTime = LocalFileTimeToUtcSeconds(info.LocalFileTime());
        m_seen[m_scanIndex].epoc = {true, info.LocalFileTime(), info.Read32(kRemoteFileSizeOffset)};
    }
    FileSpec spec;
    MakeDeviceSpec(m_bindings[m_scanIndex], spec);
    Await(EngineEvent::RemoteFileClosed, m_engine->CloseRemoteFile(spec, m_epocInfoRead ? info.Attributes() : 0));
}

void CSyncRun::OnRemoteFileClosed(int32_t result) {
    const CDocSynchEntry& binding = m_bindings[m_scanIndex];
    if (result != 0) {
        RetryClose(binding);
        return;
    }
    if (!m_epocInfoRead) {
        // Without the EPOC file's time no direction can be trusted: leave it alone.
        AdvanceScan();
        return;
    }
    ScanPcSide(true);
}

void CSyncRun::RetryClose(const CDocSynchEntry& binding) {
    if (m_closeRetryCount > static_cast<int>(m_bindings.size()) + 1) {
        m_log.WriteEmptyLine();
        m_log.WriteLine(Text(IDS_CANNOT_CLOSE_EPOC_FILE) + binding.EpocFileName);
        m_log.WriteLastLine();
        m_errors = true;
        Close();
        return;
    }
    FileSpec spec;
    MakeDeviceSpec(binding, spec);
    ++m_closeRetryCount;
    Await(EngineEvent::RemoteFileClosed, m_engine->ForceCloseRemoteFile(spec));
}

void CSyncRun::ScanPcSide(bool epocExists) {
    const CDocSynchEntry& binding = m_bindings[m_scanIndex];
    const QString pcPath = binding.WinFullPath();
    // Before any prompt: what the user changes while it is open must count as a change.
    const CPcFileStamp stamp = StampPcFile(pcPath);
    m_seen[m_scanIndex].pc = stamp;
    const bool winExists = stamp.exists && !stamp.folder;
    const int64_t winTime = winExists ? stamp.ModifiedSeconds() : 0;
    if (winExists && !IsPcFileAvailable(pcPath)) {
        m_log.WriteString(IDS_FILE_NOT_AVAILABLE);
        m_log.WriteLine(binding.WinFileName);
        m_log.WriteEmptyLine();
        m_errors = true;
    } else {
        m_decisions[m_scanIndex] = DecideDirection(winExists, epocExists, winTime, m_epocTime, binding, m_ui);
    }
    AdvanceScan();
}

void CSyncRun::AdvanceScan() {
    ++m_scanIndex;
    m_ui.StepProgress();
    const int n = static_cast<int>(m_bindings.size());
    if (m_scanIndex < n) {
        OpenForScan();
        return;
    }
    m_ui.StopAnimation();
    const QString clip = AnimationClip(u"Sychronize"_s);
    if (!clip.isEmpty())
        m_ui.PlayAnimation(clip);
    m_ui.SetProgressPos(0);
    const auto toCopy = std::count_if(m_decisions.get(), m_decisions.get() + n,
                                      [](SyncDirection d) { return d != SyncDirection::NoCopy; });
    m_log.WriteLine(u"*** %1 %2"_s.arg(toCopy).arg(Text(IDS_FILES_TO_SYNCHRONIZE)));
    m_log.WriteEmptyLine();
    m_copyIndex = 0;
    m_state = State::Copying;
    ContinueCopy();
}

void CSyncRun::ContinueCopy() {
    const int n = static_cast<int>(m_bindings.size());
    for (; m_copyIndex < n; ++m_copyIndex) {
        const SyncDirection direction = m_decisions[m_copyIndex];
        if (direction == SyncDirection::NoCopy) {
            m_ui.StepProgress();
            continue;
        }
        if (!std::exchange(m_destinationChecked, false)) {
            if (direction == SyncDirection::PcToDevice) {
                CheckDeviceDestination();
                return;
            }
            if (PcDestinationChanged(m_copyIndex)) {
                LeaveChangedDestination(m_copyIndex);
                m_ui.StepProgress();
                continue;
            }
        }
        int32_t copyResult = 0;
        if (m_transfer.Start(*m_engine, m_bindings[m_copyIndex], m_keys[m_copyIndex], direction, copyResult)) {
            Await(EngineEvent::CopyDone, copyResult);
            return;
        }
        m_ui.StepProgress();
    }
    for (int i = 0; i < n; ++i) {
        FileSpec spec;
        if (m_seen[i].busyOnDevice && MakeDeviceSpec(m_bindings[i], spec))
            m_engine->ReleaseRemoteFile(spec);
    }
    FinishRun();
}

void CSyncRun::CheckDeviceDestination() {
    m_state = State::Verifying;
    m_remoteFile.reset();
    FileSpec spec;
    if (!MakeDeviceSpec(m_bindings[m_copyIndex], spec)) {
        Await(EngineEvent::RemoteFileOpened, -1);
        return;
    }
    Await(EngineEvent::RemoteFileOpened, m_engine->OpenRemoteFile(spec, m_remoteFile));
}

void CSyncRun::OnCheckBusy() {
    m_seen[m_copyIndex].busyOnDevice = true;
    CheckDeviceDestination();
}

void CSyncRun::OnCheckOpened(int32_t result) {
    if (result != 0 || !m_remoteFile) {
        // Gone or out of reach: nothing there can be overwritten unseen, and the copy itself
        // reports a handheld that went away.
        m_remoteFile.reset();
        AfterCheck(false);
        return;
    }
    RemoteFileInfo info;
    const bool read = m_remoteFile->GetFileInfo(info) == 0;
    m_remoteFile.reset();
    const CEpocFileStamp now{true, read ? info.LocalFileTime() : 0, read ? info.Read32(kRemoteFileSizeOffset) : 0};
    // A file whose information cannot be read cannot be shown to be unchanged.
    m_checkChanged = !read || !(now == m_seen[m_copyIndex].epoc);
    FileSpec spec;
    MakeDeviceSpec(m_bindings[m_copyIndex], spec);
    Await(EngineEvent::RemoteFileClosed, m_engine->CloseRemoteFile(spec, read ? info.Attributes() : 0));
}

void CSyncRun::OnCheckClosed(int32_t result) {
    if (result != 0) {
        RetryClose(m_bindings[m_copyIndex]);
        return;
    }
    AfterCheck(m_checkChanged);
}

void CSyncRun::AfterCheck(bool changed) {
    m_state = State::Copying;
    if (changed) {
        LeaveChangedDestination(m_copyIndex);
        m_ui.StepProgress();
        ++m_copyIndex;
    } else {
        m_destinationChecked = true;
    }
    ContinueCopy();
}

bool CSyncRun::PcDestinationChanged(int index) const {
    return !(StampPcFile(m_bindings[index].WinFullPath()) == m_seen[index].pc);
}

void CSyncRun::LeaveChangedDestination(int index) {
    // Both files stay; the binding is not marked, so the next run decides it again.
    const CDocSynchEntry& binding = m_bindings[index];
    const QString pcPath = binding.WinFullPath();
    const QString epocPath = binding.EpocFullPath();
    const bool toDevice = m_decisions[index] == SyncDirection::PcToDevice;
    m_log.WriteLine(Text(IDS_DESTINATION_CHANGED) +
                    (toDevice ? pcPath + u" -> "_s + epocPath : epocPath + u" -> "_s + pcPath));
    m_log.WriteEmptyLine();
    m_errors = true;
}

void CSyncRun::OnCopyDone(int32_t result) {
    CDocSynchEntry& binding = m_bindings[m_copyIndex];
    const SyncDirection direction = m_decisions[m_copyIndex];
    if (result == 0) {
        // A conversion writes the PC document only now, so it is looked at once more; the
        // received copy then stays in the conversion file.
        if (direction == SyncDirection::DeviceToPc && m_transfer.Converting() && PcDestinationChanged(m_copyIndex))
            LeaveChangedDestination(m_copyIndex);
        else
            m_transfer.Finish(binding, m_keys[m_copyIndex], direction);
        m_ui.StepProgress();
        ++m_copyIndex;
        ContinueCopy();
        return;
    }
    m_errors = true;
    m_log.WriteLine(m_transfer.FailureLine(binding, direction));
    m_log.WriteEmptyLine();
    if (m_ignoreAllCopyErrors) {
        ++m_copyIndex;
        ContinueCopy();
        return;
    }
    switch (m_ui.AskCopyError(CSyncTransfer::Destination(binding, direction))) {
        case CopyErrorAnswer::Retry:
            break;
        case CopyErrorAnswer::IgnoreAll:
            m_ignoreAllCopyErrors = true;
            ++m_copyIndex;
            break;
        case CopyErrorAnswer::Stop:
            m_log.WriteLastString(IDS_STOPPED);
            Close();
            return;
        case CopyErrorAnswer::IgnoreFile:
        default:
            ++m_copyIndex;
            break;
    }
    ContinueCopy();
}

void CSyncRun::FinishRun() {
    m_state = State::Completing;
    m_ui.HideWindow();
    // A run with errors is reported as one, in the log as in the report's caption and text.
    m_log.WriteLastString(m_errors ? IDS_COMPLETED_WITH_ERRORS : IDS_SYNCHRONIZATION_COMPLETE);
    m_ui.StopAnimation();
    m_ui.SetProgressText(Text(IDS_DONE));
    m_ui.DisableStop();
    m_ui.ShowCompletion(m_log.Path(), m_errors);
    Close(true);
}
