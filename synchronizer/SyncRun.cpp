// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncRun.h"

#include "common/Clock.h"
#include "common/ProfileRegistry.h"
#include "common/StringTable.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "synchronizer/StringIds.h"
#include "synchronizer/SyncDecision.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <future>
#include <new>
#include <utility>

using namespace Qt::StringLiterals;

// What the survey needs of every binding of the owner, active or not.
struct CBindingNames {
    QString key;
    int number = 0;
    QString pc;
    QString epoc;
    QString winFileName;
    bool active = false;
};

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

bool ReadBindingNames(const QString& key, const CEntryValues& values, CBindingNames& names) {
    QString winPath, winName, epocPath, epocName;
    uint32_t active = 0;
    if (!values.String(u"WinPath"_s, winPath) || !values.String(u"WinFileName"_s, winName) ||
        !values.String(u"EpocPath"_s, epocPath) || !values.String(u"EpocFileName"_s, epocName))
        return false;
    values.Number(u"IsActive"_s, active);
    names.key = key;
    names.number = LeadingNumber(key);
    names.pc = QDir::cleanPath(winPath + winName);
    // The handheld's names ignore case, and so do the sticks that stand in for it.
    names.epoc = (epocPath + epocName).toCaseFolded();
    names.winFileName = winName;
    names.active = active != 0;
    return true;
}

bool MakeDeviceSpec(const CDocSynchEntry& binding, FileSpec& spec) {
    return MakeFileSpec(kLocationDevice, binding.EpocFullPath().toUtf8().constData(), spec);
}

}  // namespace

// One sub-key of the owner's bindings as read from the store, before the run takes it.
struct CReadBinding {
    QString key;
    bool named = false;  // names holds what the survey needs
    CBindingNames names;
    CDocSynchEntry binding;
    CStoreCheck check;  // of binding; a key that is no entry number is not read
};

namespace {

CReadBinding ReadBinding(const QString& owner, const QString& key, CEntryValues& values) {
    CReadBinding read;
    read.key = key;
    read.named = ReadBindingNames(key, values, read.names);
    if (IsEntryKeyName(key))
        read.check = ReadDocSynchEntryValues(owner, key, std::move(values), read.binding);
    return read;
}

// One read of the store for the whole load, at most kMaxBindings sub-keys: a query per binding
// cost more than the rest of a run over unchanged files. False when the store could not be read.
bool ReadOwnerBindings(const QString& owner, const std::function<void(CReadBinding)>& take) {
    int seen = 0;
    return VisitAreaEntries(owner, QLatin1String(kDocSynchArea), [&](const QString& key, CEntryValues& values) {
        if (seen++ < kMaxBindings)
            take(ReadBinding(owner, key, values));
    });
}

}  // namespace

class CBindingsAhead {
public:
    CBindingsAhead() : m_before(RegStamp()) {
        m_done = std::async(std::launch::async, [this] {
            QString user;
            if (!GetCurrentUser(user))
                return;
            m_read = ReadOwnerBindings(user, [this](CReadBinding read) { m_bindings.push_back(std::move(read)); });
            m_owner = user;
        });
    }
    ~CBindingsAhead() { Wait(); }
    void Wait() const {
        if (m_done.valid())
            m_done.wait();
    }
    CBindingsAhead(const CBindingsAhead&) = delete;
    CBindingsAhead& operator=(const CBindingsAhead&) = delete;

    // The owner's bindings as read, with the stamp taken before; false when none were read for owner.
    bool Take(const QString& owner, bool& read, std::vector<CReadBinding>& bindings, StoreStamp& before) {
        Wait();  // a read that failed, however, leaves the owner empty: the run then reads itself
        if (m_owner.isEmpty() || m_owner != owner)
            return false;
        read = m_read;
        bindings = std::move(m_bindings);
        before = m_before;
        m_owner.clear();  // taken once
        return true;
    }

private:
    StoreStamp m_before;
    QString m_owner;
    bool m_read = false;
    std::vector<CReadBinding> m_bindings;
    std::future<void> m_done;
};

std::shared_ptr<CBindingsAhead> ReadBindingsAhead() {
    return std::make_shared<CBindingsAhead>();
}

void AwaitBindingsAhead(CBindingsAhead& ahead) {
    ahead.Wait();
}

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
    ::tzset();  // handheld times are read in the zone as the run starts
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
    // A plan writes no log: every writing call does nothing while it stays closed.
    if (!m_settings.planOnly)
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
    if (!m_settings.planOnly && (m_tempDir.Create(QDir::tempPath()) || m_tempDir.Create(paths.controlDir)))
        paths.tempFile = m_tempDir.Path() + QLatin1Char('/') + kTempFileName;
    // Made by the first backup that needs it.
    paths.backupFolder = pcDirectory + user + u"/Dovetail"_s;
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

bool CSyncRun::Stop() {
    if (m_state == State::Closed)
        return false;
    // Copies made but not yet marked are made durable and marked first: left unmarked, their
    // bindings would later look changed on both sides.
    // The operation under way ends first, so that a copy it completes is marked too.
    const bool copying = m_state == State::Copying || m_state == State::Verifying || m_state == State::MakingDurable;
    if (copying) {
        m_stopRequested = true;
        // A long copy would otherwise run on to its end, and the process with it.
        if (m_engine)
            m_engine->CancelCopies();
        return true;
    }
    Abandon();
    return false;
}

void CSyncRun::Abandon() {
    if (m_state == State::Closed)
        return;
    for (const CAwaitingMark& waiting : m_awaiting) {
        m_log.WriteLine(Text(IDS_NOT_DURABLE) + TransferText(waiting.index));
        m_log.WriteEmptyLine();
    }
    m_awaiting.clear();
    // The copy still awaited when the handheld does not answer is no copy made.
    if (m_state == State::Copying && m_decisions && m_copyIndex < static_cast<int>(m_bindings.size()) &&
        m_decisions[m_copyIndex] != SyncDirection::NoCopy && m_notCopied.isEmpty())
        m_notCopied = TransferText(m_copyIndex);
    m_state = State::Closed;
    m_pending.clear();
    WriteStoppedLine();
}

void CSyncRun::WriteStoppedLine() {
    // The last line says what the stopped run copied and what it did not.
    if (m_notCopied.isEmpty())
        m_log.WriteLastString(IDS_STOPPED);
    else
        m_log.WriteLastLine(Text(IDS_STOPPED_DURING_COPY).arg(m_transferred) + m_notCopied);
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
        case EngineEvent::CopiesDurable:
            if (m_state == State::MakingDurable)
                OnCopiesDurable(result);
            break;
        case EngineEvent::FingerprintRead:
            if (m_state == State::Fingerprinting)
                OnFingerprintRead(result);
            break;
        // The next batch may arrive while the scan reads a fingerprint alone.
        case EngineEvent::RemoteFilesLooked:
            if (m_state == State::Scanning || m_state == State::Fingerprinting)
                OnRemoteFilesLooked(result);
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
    m_machineId = u"%1-%2"_s.arg(info.WordAt(0x24), 0, 16).arg(info.WordAt(0x20), 0, 16).toUpper();
    if (UsesVolumeEngine())
        DescribeVolume(info.WordAt(0x24), info.WordAt(0x20));
    CSyncTransfer::Paths paths = m_transfer.GetPaths();
    paths.owner = owner;
    m_transfer.SetPaths(std::move(paths));
    m_ui.SetProgressText(Text(IDS_LOOKING_FOR_FILES) + owner + u"..."_s);
    m_state = State::WaitingSession;
    Await(EngineEvent::SessionReady, m_engine->BeginSession());
}

void CSyncRun::DescribeVolume(uint32_t high, uint32_t low) {
    VolumeDescription volume;
    if (!DescribeAdoptedVolume(high, low, volume))
        return;
    // Which stick the run used, and a warning when it may be a copy of the one adopted: a cloned
    // stick has the adopted one's identity, seldom its label and size as well.
    m_log.WriteLine(Text(IDS_VOLUME).arg(volume.label, volume.mountPoint));
    bool differs = false;
    if (!volume.adoptedLabel.isEmpty() && volume.label != volume.adoptedLabel) {
        m_log.WriteLine(Text(IDS_VOLUME_DIFFERS).arg(u"label"_s, volume.adoptedLabel, volume.label));
        differs = true;
    }
    if (volume.adoptedSize != 0 && volume.size != 0 && volume.size != volume.adoptedSize) {
        m_log.WriteLine(
            Text(IDS_VOLUME_DIFFERS).arg(u"size"_s, QString::number(volume.adoptedSize), QString::number(volume.size)));
        differs = true;
    }
    m_log.WriteEmptyLine();
    // Counted as an error, so that the report says so too.
    if (differs)
        m_errors = true;
}

void CSyncRun::OnSessionReady() {
    LoadBindings();
}

void CSyncRun::LoadBindings() {
    m_readAt = RegStamp();  // before the read: a commit during it makes the later stamps differ
    const uint32_t now = CClock::CurrentSecondsUtc();
    const auto keep = [this, now](CDocSynchEntry binding, const QString& key) {
        binding.BindingNumber = LeadingNumber(key);
        // Taken as it stands, such a stamp would count every change until then as none.
        if (IsStampInFuture(binding.LastSyncTimeStamp, now)) {
            m_log.WriteLine(Text(IDS_FUTURE_TIMESTAMP)
                                .arg(key, FormatDateTimeText(binding.LastSyncTimeStamp),
                                     binding.WinFullPath() + u" <-> "_s + binding.EpocFullPath()));
            m_log.WriteEmptyLine();
            // Every change counts then, and the prompts the user asked for stay asked.
            binding.LastSyncTimeStamp = 0;
        }
        m_bindings.push_back(std::move(binding));
        m_keys.push_back(key);
        m_seen.emplace_back();
    };
    const auto planRefused = [this](const QString& key, PlanReason reason, const CDocSynchEntry& binding) {
        if (m_settings.planOnly)
            m_plan.push_back({key,
                              LeadingNumber(key),
                              PlanAction::Refused,
                              reason,
                              binding.WinFullPath(),
                              binding.EpocFullPath(),
                              {},
                              {}});
    };
    // Said in the log, never skipped unseen; the run goes on with the others.
    const auto refuse = [this, planRefused](const QString& key, const CStoreCheck& read,
                                            const CDocSynchEntry& binding) {
        m_log.WriteLine(Text(IDS_BINDING_UNREADABLE).arg(key, read.Reason()));
        m_log.WriteEmptyLine();
        m_errors = true;
        planRefused(key, PlanReason::Unreadable, binding);
    };

    // A key that is no entry number is no binding: its digits would address another one.
    const auto notBinding = [this, planRefused](const QString& key) {
        if (IsEntryKeyName(key))
            return false;
        m_log.WriteLine(Text(IDS_KEY_NOT_BINDING).arg(u'"' + key + u'"'));
        m_log.WriteEmptyLine();
        m_errors = true;
        planRefused(key, PlanReason::NotABinding, CDocSynchEntry());
        return true;
    };

    std::vector<CBindingNames> survey;
    if (m_settings.singleBinding) {
        if (notBinding(m_settings.keyName)) {
            m_ui.ShowMessage(Text(IDS_BAD_ARGUMENT), MessageIcon::None);
            m_log.WriteLastString(IDS_BAD_ARGUMENT);
            Close();
            return;
        }
        CDocSynchEntry binding;
        if (const CStoreCheck read = ReadDocSynchEntryKey(m_owner, m_settings.keyName, binding, ReadMode::Strict);
            !read) {
            refuse(m_settings.keyName, read, binding);
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
        // The survey uses the same read.
        const auto take = [&](CReadBinding read) {
            if (read.named)
                survey.push_back(std::move(read.names));
            // A disabled binding is the user's to leave alone, broken or not.
            if (notBinding(read.key) || !read.binding.IsActive)
                return;
            if (read.check)
                keep(std::move(read.binding), read.key);
            else
                refuse(read.key, read.check, read.binding);
        };
        bool read = false;
        std::vector<CReadBinding> ahead;
        if (m_settings.ahead && m_settings.ahead->Take(m_owner, read, ahead, m_readAt)) {
            m_bindings.reserve(ahead.size());
            m_keys.reserve(ahead.size());
            m_seen.reserve(ahead.size());
            for (CReadBinding& binding : ahead)
                take(std::move(binding));
        } else {
            read = ReadOwnerBindings(m_owner, take);
        }
        if (!read) {
            m_log.WriteString(IDS_BINDINGS_UNREADABLE);
            m_log.WriteEmptyLine();
            m_errors = true;
        }
    }

    SurveyBindings(std::move(survey));
    const int n = static_cast<int>(m_bindings.size());
    if (n == 0 && m_settings.planOnly) {
        FinishPlan();
        return;
    }
    if (n == 0) {
        m_ui.StopAnimation();
        // Bindings refused are errors: the run ends as one with errors does, with its report,
        // so that an automatic run over a bad store is seen.
        if (m_errors) {
            m_log.WriteString(IDS_NOTHING_TO_DO);
            m_log.WriteEmptyLine();
            FinishRun();
            return;
        }
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

namespace {
using LookStage = CSyncRun::CLookBatch::Stage;
// A few at a time, so that the window still gets its turn between them.
constexpr int kLookedAtOnce = 64;
// After a prompt, or anything else slow, what was looked at is looked at again.
constexpr auto kLookFresh = std::chrono::seconds(1);
}  // namespace

static bool Fresh(const CSyncRun::CLookBatch& batch) {
    return std::chrono::steady_clock::now() - batch.at <= kLookFresh;
}

static bool Holds(const CSyncRun::CLookBatch& batch, int index) {
    return batch.stage == LookStage::Ready && index >= batch.begin && index < batch.end;
}

void CSyncRun::OpenForScan() {
    m_remoteFile.reset();
    m_looked = false;
    if (m_look.stage == LookStage::Ready && !Fresh(m_look))
        m_look = {};
    if (m_looksAtOnce && !Holds(m_look, m_scanIndex)) {
        if (m_nextLook.stage == LookStage::Looking) {
            m_awaitingLook = true;
            return;
        }
        if (m_nextLook.begin != m_scanIndex || !Holds(m_nextLook, m_scanIndex) || !Fresh(m_nextLook)) {
            StartLook(m_scanIndex);
            m_awaitingLook = true;
            return;
        }
        m_look = std::exchange(m_nextLook, {});
        if (m_look.end < static_cast<int>(m_bindings.size()))
            StartLook(m_look.end);
    }
    if (TakeLooked())
        return;
    FileSpec spec;
    if (!MakeDeviceSpec(m_bindings[m_scanIndex], spec)) {
        Await(EngineEvent::RemoteFileOpened, -1);  // a path the engine cannot address cannot be opened
        return;
    }
    Await(EngineEvent::RemoteFileOpened, m_engine->OpenRemoteFile(spec, m_remoteFile));
}

void CSyncRun::StartLook(int begin) {
    const int end = std::min<int>(static_cast<int>(m_bindings.size()), begin + kLookedAtOnce);
    std::vector<FileSpec> specs(std::size_t(end - begin));
    std::vector<CKnownFile> known(specs.size());
    // The files the scan would read because their time alone moved (a zone, a clock, a driver
    // moved them all, typically) are read as they are looked at; a few megabytes at most, so
    // that Stop is not kept waiting.
    constexpr uint64_t kPrintedAtOnce = 4 << 20;
    uint64_t bytes = 0;
    for (int i = begin; i < end; ++i) {
        const CDocSynchEntry& binding = m_bindings[i];
        const std::size_t at = std::size_t(i - begin);
        // A path the engine cannot address is left empty: it is refused there, then taken alone.
        if (!MakeDeviceSpec(binding, specs[at]))
            specs[at] = FileSpec{};
        else if (binding.SyncedStateApplies(m_machineId) && bytes + binding.Synced.epoc.size <= kPrintedAtOnce) {
            bytes += binding.Synced.epoc.size;
            known[at] = {true, binding.Synced.epoc.size, binding.Synced.epoc.time};
        }
    }
    m_nextLook = {LookStage::Looking, begin, end, std::chrono::steady_clock::now(), {}};
    Await(EngineEvent::RemoteFilesLooked, m_engine->LookAtRemoteFiles(specs, known));
}

// Also while the scan is at a prompt: the batch is only kept, and taken when the scan gets there.
void CSyncRun::OnRemoteFilesLooked(int32_t result) {
    CLookBatch& batch = m_nextLook;
    if (batch.stage != LookStage::Looking)
        return;
    if (result != 0) {
        m_looksAtOnce = false;
        batch = {};
    } else {
        batch.files.resize(std::size_t(batch.end - batch.begin));
        for (std::size_t i = 0; i < batch.files.size(); ++i) {
            CLookedEntry& looked = batch.files[i];
            looked.result = m_engine->GetLookedFile(i, looked.info, looked.size);
            looked.printResult = m_engine->GetFingerprintOf(i, looked.print);
        }
        batch.stage = LookStage::Ready;
    }
    if (std::exchange(m_awaitingLook, false))
        OpenForScan();
}

// The fingerprint the scan needs, when it was read with the others.
bool CSyncRun::TakePrint() {
    if (!m_looked || !Holds(m_look, m_scanIndex))
        return false;
    const CLookedEntry& looked = m_look.files[std::size_t(m_scanIndex - m_look.begin)];
    if (looked.printResult == IEpocEngine::kNotSupported)
        return false;
    m_state = State::Fingerprinting;
    m_printTaken = true;
    m_takenPrint = looked.print;
    m_pending.emplace_back(EngineEvent::FingerprintRead, looked.printResult);
    return true;
}

// The scan's binding as the engine found it with the others; false sends it the one-by-one way.
bool CSyncRun::TakeLooked() {
    if (!Holds(m_look, m_scanIndex))
        return false;
    const CLookedEntry& looked = m_look.files[std::size_t(m_scanIndex - m_look.begin)];
    FileSpec spec;
    // Only what one by one would give the same: a file there, or one that is not (its path
    // fine). Anything else (the handheld gone meanwhile) is looked at alone.
    if (looked.result != 0 &&
        !(looked.result == EngineError::kNotFound && MakeDeviceSpec(m_bindings[m_scanIndex], spec)))
        return false;
    m_looked = true;
    m_lookedInfo = looked.info;
    m_lookedSize = looked.size;
    m_pending.emplace_back(EngineEvent::RemoteFileOpened, looked.result);
    return true;
}

void CSyncRun::OnRemoteFileBusy() {
    m_seen[m_scanIndex].busyOnDevice = true;
    OpenForScan();
}

void CSyncRun::OnRemoteFileOpened(int32_t result) {
    if (result != 0 || (!m_remoteFile && !m_looked)) {
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
            RefuseScanned(PlanReason::Disconnected);
            AdvanceScan();
            return;
        }
        ScanPcSide(false);
        return;
    }
    RemoteFileInfo info = m_lookedInfo;
    uint64_t size = m_lookedSize;
    if (!m_looked) {
        m_epocInfoRead = m_remoteFile->GetFileInfo(info) == 0;
        m_epocInfoRead = m_epocInfoRead && m_remoteFile->GetFileSize(size) == 0;
    } else {
        m_epocInfoRead = true;
    }
    m_remoteFile.reset();
    if (m_epocInfoRead) {
        m_epocTime = LocalFileTimeToUtcSeconds(info.LocalFileTime());
        m_seen[m_scanIndex].epoc = {true, info.LocalFileTime(), info.Read32(kRemoteFileSizeOffset)};
        m_seen[m_scanIndex].epocSize = size;
    }
    if (m_looked) {
        m_pending.emplace_back(EngineEvent::RemoteFileClosed, 0);  // closed already where it was looked at
        return;
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
        RefuseScanned(PlanReason::HandheldUnreadable);
        AdvanceScan();
        return;
    }
    ScanEpocChange();
}

void CSyncRun::ScanEpocChange() {
    const CDocSynchEntry& binding = m_bindings[m_scanIndex];
    CSeenFiles& seen = m_seen[m_scanIndex];
    seen.changes = {};
    if (!binding.SyncedStateApplies(m_machineId)) {
        ScanPcSide(true);
        return;
    }
    seen.changes.known = true;
    seen.refreshed = binding.Synced;
    // A size that moved is a change whatever the time says; a time that moved alone is looked
    // into, since clocks, zones and drivers move times over contents that stayed.
    const CSyncSide& recorded = binding.Synced.epoc;
    seen.changes.epoc = seen.epocSize != recorded.size;
    if (!seen.changes.epoc && seen.epoc.localFileTime != recorded.time) {
        m_scanEpocExists = true;
        ReadPrint(false);
        return;
    }
    ScanPcSide(true);
}

void CSyncRun::ReadPrint(bool pcSide) {
    const CDocSynchEntry& binding = m_bindings[m_scanIndex];
    m_printPcSide = pcSide;
    if (!pcSide && TakePrint())
        return;
    m_state = State::Fingerprinting;
    FileSpec spec;
    const bool made = pcSide ? MakeFileSpec(kLocationPc, binding.WinFullPath().toUtf8().constData(), spec)
                             : MakeDeviceSpec(binding, spec);
    Await(EngineEvent::FingerprintRead, made ? m_engine->ReadFingerprint(spec) : EngineError::kBadName);
}

void CSyncRun::OnFingerprintRead(int32_t result) {
    m_state = State::Scanning;
    CSeenFiles& seen = m_seen[m_scanIndex];
    const CSyncState& recorded = m_bindings[m_scanIndex].Synced;
    CFileFacts facts;
    // What cannot be read whole cannot be shown unchanged.
    const bool taken = std::exchange(m_printTaken, false);
    const bool read = result == 0 && (taken ? (facts = m_takenPrint, true) : m_engine->GetFingerprint(facts) == 0);
    const CSyncSide& side = m_printPcSide ? recorded.pc : recorded.epoc;
    const bool same = read && facts.size == side.size && facts.print.ToText() == side.print;
    (m_printPcSide ? seen.changes.pc : seen.changes.epoc) = !same;
    if (same) {
        seen.refresh = true;
        (m_printPcSide ? seen.refreshed.pc : seen.refreshed.epoc).time = facts.time;
    }
    if (m_printPcSide)
        DecideScanned();
    else
        ScanPcSide(m_scanEpocExists);
}

void CSyncRun::RetryClose(const CDocSynchEntry& binding) {
    if (m_closeRetryCount > static_cast<int>(m_bindings.size()) + 1) {
        m_errors = true;
        const QString line = Text(IDS_CANNOT_CLOSE_EPOC_FILE) + binding.EpocFileName;
        if (m_state == State::Verifying) {
            // The copy phase says what it did before it ends: a copy made just now is named, and
            // the copies waiting are made durable and marked.
            if (m_check == DeviceCheck::SourceAfter) {
                m_sourceUnseen = true;
                LeaveChangedSource(m_copyIndex);
            }
            m_endLine = line;
            MakeCopiesDurable(AfterDurable::Stop);
            return;
        }
        m_log.WriteEmptyLine();
        m_log.WriteLine(line);
        m_log.WriteLastLine();
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
    if (winExists && !IsPcFileAvailable(pcPath)) {
        m_log.WriteString(IDS_FILE_NOT_AVAILABLE);
        m_log.WriteLine(binding.WinFileName);
        m_log.WriteEmptyLine();
        m_errors = true;
        RefuseScanned(PlanReason::PcUnavailable);
        AdvanceScan();
        return;
    }
    m_scanEpocExists = epocExists;
    CSeenFiles& seen = m_seen[m_scanIndex];
    if (seen.changes.known && winExists) {
        const CSyncSide& recorded = binding.Synced.pc;
        seen.changes.pc = uint64_t(stamp.size) != recorded.size;
        if (!seen.changes.pc && uint64_t(stamp.modifiedNs) != recorded.time) {
            ReadPrint(true);
            return;
        }
    }
    DecideScanned();
}

void CSyncRun::DecideScanned() {
    const CDocSynchEntry& binding = m_bindings[m_scanIndex];
    CSeenFiles& seen = m_seen[m_scanIndex];
    const bool winExists = seen.pc.exists && !seen.pc.folder;
    const int64_t winTime = winExists ? seen.pc.ModifiedSeconds() : 0;
    // One decision for the run and its plan; only the run asks where the rules say so.
    seen.decision = PlanDirection(winExists, m_scanEpocExists, winTime, m_epocTime, binding,
                                  static_cast<int64_t>(CClock::CurrentSecondsUtc()), seen.changes);
    seen.decided = true;
    seen.bothChanged = seen.decision.bothChanged;
    if (!m_settings.planOnly)
        m_decisions[m_scanIndex] = ResolvePrompt(seen.decision, winTime, m_epocTime, binding, m_ui);
    AdvanceScan();
}

void CSyncRun::RefreshRecordedTimes() {
    std::vector<CSynchronizedMark> refreshes;
    std::vector<std::size_t> refreshed;
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        if (m_seen[i].refresh && m_decisions[i] == SyncDirection::NoCopy) {
            refreshes.push_back({m_keys[i], 0, m_seen[i].refreshed, true});
            refreshed.push_back(i);
        }
    }
    // Only saves reading them again next time: a refresh that fails costs nothing else.
    if (refreshes.empty())
        return;
    const std::vector<BindingWrite> written = MarkSynchronizedKeys(m_owner, refreshes, &m_readAt);
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == BindingWrite::Written)
            m_bindings[refreshed[i]].Synced = m_seen[refreshed[i]].refreshed;  // as the store now holds it
    }
}

void CSyncRun::SurveyBindings(std::vector<CBindingNames> all) {
    if (all.empty()) {
        const QString area = QLatin1String(kDocSynchArea);
        RegReadSnapshot([&] {
            const int count = CountUserSubkeys(m_owner, area);
            for (int i = 0; i < count && i <= kMaxEntryNumber; ++i) {
                QString key;
                CEntryValues values;
                CBindingNames names;
                if (GetUserSubkeyName(m_owner, area, i, key) && ReadEntryValues(m_owner, area, key, values) &&
                    ReadBindingNames(key, values, names))
                    all.push_back(std::move(names));
            }
        });
    }
    QSet<QString> seenNames;
    QSet<QString> shared;
    for (const CBindingNames& names : all) {
        if (seenNames.contains(names.winFileName))
            shared.insert(names.winFileName);
        seenNames.insert(names.winFileName);
    }
    m_transfer.SetSharedNames(std::move(shared));

    // Of two active bindings to one file, the lower number keeps it: copying both would put one
    // document's content over the other's. Indexed, since every binding is looked up.
    const auto before = [](const CBindingNames& a, int number, const QString& key) {
        return a.number < number || (a.number == number && a.key < key);
    };
    QHash<QString, const CBindingNames*> firstPc;
    QHash<QString, const CBindingNames*> firstEpoc;
    for (const CBindingNames& names : all) {
        if (!names.active)
            continue;
        for (auto [index, name] : {std::pair{&firstPc, &names.pc}, std::pair{&firstEpoc, &names.epoc}}) {
            const CBindingNames*& first = (*index)[*name];
            if (!first || before(names, first->number, first->key))
                first = &names;
        }
    }
    for (std::size_t i = 0; i < m_bindings.size();) {
        const CDocSynchEntry& binding = m_bindings[i];
        const QString pc = QDir::cleanPath(binding.WinFullPath());
        const QString epoc = binding.EpocFullPath().toCaseFolded();
        const auto earlier = [&](const QHash<QString, const CBindingNames*>& index,
                                 const QString& name) -> const CBindingNames* {
            const CBindingNames* first = index.value(name);
            return first && before(*first, binding.BindingNumber, m_keys[i]) ? first : nullptr;
        };
        const CBindingNames* other = earlier(firstPc, pc);
        const bool samePc = other != nullptr;
        if (!other)
            other = earlier(firstEpoc, epoc);
        if (!other) {
            ++i;
            continue;
        }
        m_log.WriteLine(
            Text(IDS_SAME_FILE).arg(m_keys[i], other->key, samePc ? binding.WinFullPath() : binding.EpocFullPath()));
        m_log.WriteEmptyLine();
        m_errors = true;
        if (m_settings.planOnly)
            m_plan.push_back({m_keys[i],
                              binding.BindingNumber,
                              PlanAction::Refused,
                              PlanReason::SameFile,
                              binding.WinFullPath(),
                              binding.EpocFullPath(),
                              {},
                              {}});
        m_bindings.erase(m_bindings.begin() + std::ptrdiff_t(i));
        m_keys.erase(m_keys.begin() + std::ptrdiff_t(i));
        m_seen.erase(m_seen.begin() + std::ptrdiff_t(i));
    }
}

void CSyncRun::AdvanceScan() {
    ++m_scanIndex;
    m_ui.StepProgress();
    const int n = static_cast<int>(m_bindings.size());
    if (m_scanIndex < n) {
        OpenForScan();
        return;
    }
    if (m_settings.planOnly) {
        FinishPlan();
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
    RefreshRecordedTimes();
    m_copyIndex = 0;
    m_state = State::Copying;
    ContinueCopy();
}

void CSyncRun::ContinueCopy() {
    if (m_stopRequested) {
        MakeCopiesDurable(AfterDurable::Stop);
        return;
    }
    const int n = static_cast<int>(m_bindings.size());
    for (; m_copyIndex < n; ++m_copyIndex) {
        const SyncDirection direction = m_decisions[m_copyIndex];
        if (direction == SyncDirection::NoCopy) {
            m_ui.StepProgress();
            continue;
        }
        // A run that is killed loses only the marks of its last moments.
        if (!m_awaiting.empty() && std::chrono::steady_clock::now() - m_firstAwaiting >= m_settings.marksAtLeastEvery) {
            MakeCopiesDurable(AfterDurable::ContinueCopy);
            return;
        }
        if (std::exchange(m_refreshSource, false)) {
            // The retried copy takes the source as it is now; the decision stands.
            if (direction == SyncDirection::DeviceToPc) {
                CheckDeviceFile(DeviceCheck::SourceBefore);
                return;
            }
            m_seen[m_copyIndex].pc = StampPcFile(m_bindings[m_copyIndex].WinFullPath());
        }
        // An engine that looks at many files at once also looks at a handheld destination in
        // the copy, just before replacing it.
        const bool checkInCopy = direction == SyncDirection::PcToDevice && m_looksAtOnce && !m_destinationChecked;
        if (!checkInCopy && !std::exchange(m_destinationChecked, false)) {
            if (direction == SyncDirection::PcToDevice) {
                CheckDeviceFile(DeviceCheck::Destination);
                return;
            }
            if (PcDestinationChanged(m_copyIndex)) {
                LeaveChangedDestination(m_copyIndex);
                m_ui.StepProgress();
                continue;
            }
        }
        // Both sides changed: the content about to be replaced is kept first, on the PC.
        CSeenFiles& seen = m_seen[m_copyIndex];
        if (seen.bothChanged && !std::exchange(seen.loserKept, true)) {
            const CDocSynchEntry& binding = m_bindings[m_copyIndex];
            if (direction == SyncDirection::PcToDevice && seen.epoc.exists) {
                m_keptPath = m_transfer.KeptCopyPath(binding, false);
                FileSpec from;
                FileSpec to;
                if (!m_keptPath.isEmpty() && MakeDeviceSpec(binding, from) &&
                    MakeFileSpec(kLocationPc, m_keptPath.toUtf8().constData(), to)) {
                    m_keepingLoser = true;
                    Await(EngineEvent::CopyDone, m_engine->CopyFile(from, to, 0));
                    return;
                }
                OnLoserKept(EngineError::kBadName);
                return;
            }
            if (direction == SyncDirection::DeviceToPc && seen.pc.exists && !m_transfer.KeepPcFile(binding)) {
                OnLoserKept(EngineError::kGeneral);
                return;
            }
        }
        if (IssueCopy(checkInCopy))
            return;
        m_ui.StepProgress();
    }
    ReleaseBusyFiles();
    MakeCopiesDurable(AfterDurable::FinishRun);
}

bool CSyncRun::IssueCopy(bool checkInCopy) {
    const CEpocFileStamp& seen = m_seen[m_copyIndex].epoc;
    const CKnownFile asSeen{seen.exists, seen.size, seen.localFileTime};
    int32_t copyResult = 0;
    if (!m_transfer.Start(*m_engine, m_bindings[m_copyIndex], m_keys[m_copyIndex], m_decisions[m_copyIndex], copyResult,
                          checkInCopy ? &asSeen : nullptr))
        return false;
    m_copyingOver = checkInCopy;
    Await(EngineEvent::CopyDone, copyResult);
    return true;
}

bool CSyncRun::IssueNextCopyFirst() {
    // Whatever else ContinueCopy would do first (a due mark, a retry, a look, a kept copy, a
    // conversion, the run's end) takes the ordinary way.
    if (m_stopRequested || m_refreshSource || !m_looksAtOnce || m_transfer.Converting() ||
        (!m_awaiting.empty() && std::chrono::steady_clock::now() - m_firstAwaiting >= m_settings.marksAtLeastEvery))
        return false;
    const int n = static_cast<int>(m_bindings.size());
    int next = m_copyIndex + 1;
    while (next < n && m_decisions[next] == SyncDirection::NoCopy)
        ++next;
    if (next == n || m_decisions[next] != SyncDirection::PcToDevice || m_seen[next].bothChanged ||
        CSyncTransfer::NeedsConversion(m_bindings[next]))
        return false;
    const int done = std::exchange(m_copyIndex, next);
    const CFileFacts copied = m_lastCopy;
    const CSyncTransfer::CStarted finishing = m_transfer.Started();
    if (!IssueCopy(true)) {
        m_copyIndex = done;  // not begun after all: the ordinary way
        m_transfer.Resume(finishing);
        return false;
    }
    CSyncTransfer::CStarted started = m_transfer.Started();
    m_transfer.Resume(finishing);
    AfterCopyToHandheld(done, copied);
    m_transfer.Resume(std::move(started));
    for (int skipped = done + 1; skipped < next; ++skipped)
        m_ui.StepProgress();
    return true;
}

void CSyncRun::AfterCopyToHandheld(int index, const CFileFacts& copied) {
    // An editor that saves by renaming a new file over the old one leaves the copy whole but
    // old; the path tells.
    if (StampPcFile(m_bindings[index].WinFullPath()) == m_seen[index].pc)
        FinishTransfer(index, copied);
    else
        LeaveChangedSource(index);
    m_ui.StepProgress();
}

void CSyncRun::ReleaseBusyFiles() {
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        FileSpec spec;
        if (m_seen[i].busyOnDevice && MakeDeviceSpec(m_bindings[i], spec))
            m_engine->ReleaseRemoteFile(spec);
    }
}

void CSyncRun::RefuseScanned(PlanReason reason) {
    m_seen[m_scanIndex].refused = true;
    m_seen[m_scanIndex].refusal = reason;
}

void CSyncRun::FinishPlan() {
    m_ui.StopAnimation();
    ReleaseBusyFiles();
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        const CDocSynchEntry& binding = m_bindings[i];
        const CSeenFiles& seen = m_seen[i];
        CPlanEntry entry{m_keys[i],
                         binding.BindingNumber,
                         PlanAction::Refused,
                         seen.refusal,
                         binding.WinFullPath(),
                         binding.EpocFullPath(),
                         {},
                         {}};
        const bool winExists = seen.pc.exists && !seen.pc.folder;
        if (winExists)
            entry.pc = {true, uint64_t(seen.pc.size), seen.pc.ModifiedSeconds()};
        if (seen.epoc.exists)
            entry.epoc = {true, seen.epocSize, LocalFileTimeToUtcSeconds(seen.epoc.localFileTime)};
        if (!seen.refused && seen.decided)
            DescribeDecision(seen.decision, winExists, seen.epoc.exists, binding.CopyRule, entry);
        m_plan.push_back(std::move(entry));
    }
    std::stable_sort(m_plan.begin(), m_plan.end(),
                     [](const CPlanEntry& a, const CPlanEntry& b) { return a.number < b.number; });
    m_state = State::Completing;
    Close(true);
}

void CSyncRun::CheckDeviceFile(DeviceCheck purpose) {
    m_check = purpose;
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
    CheckDeviceFile(m_check);
}

void CSyncRun::OnCheckOpened(int32_t result) {
    if (result != 0 || !m_remoteFile) {
        m_remoteFile.reset();
        if (m_check == DeviceCheck::SourceBefore)
            m_seen[m_copyIndex].epoc = {};
        // A destination gone or out of reach holds nothing to overwrite unseen, and the copy
        // itself reports a handheld that went away. A source that cannot be looked at cannot be
        // shown to be what was copied.
        m_sourceUnseen = m_check == DeviceCheck::SourceAfter;
        AfterCheck(m_sourceUnseen);
        return;
    }
    RemoteFileInfo info;
    const bool read = m_remoteFile->GetFileInfo(info) == 0;
    m_remoteFile.reset();
    const CEpocFileStamp now{true, read ? info.LocalFileTime() : 0, read ? info.Read32(kRemoteFileSizeOffset) : 0};
    // A file whose information cannot be read cannot be shown to be unchanged.
    m_checkChanged = !read || !(now == m_seen[m_copyIndex].epoc);
    if (m_check == DeviceCheck::SourceBefore) {
        m_seen[m_copyIndex].epoc = read ? now : CEpocFileStamp{};
        m_checkChanged = false;
    }
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
    switch (m_check) {
        case DeviceCheck::Destination:
            if (changed) {
                LeaveChangedDestination(m_copyIndex);
                m_ui.StepProgress();
                ++m_copyIndex;
            } else {
                m_destinationChecked = true;
            }
            break;
        case DeviceCheck::SourceBefore:
            break;
        case DeviceCheck::SourceAfter:
            // A conversion writes the PC document only now, so it is looked at once more; the
            // received copy then stays in the conversion file.
            if (changed)
                LeaveChangedSource(m_copyIndex);
            else if (m_transfer.Converting() && PcDestinationChanged(m_copyIndex))
                LeaveChangedDestination(m_copyIndex);
            else
                FinishTransfer(m_copyIndex, m_lastCopy);
            m_ui.StepProgress();
            ++m_copyIndex;
            break;
    }
    ContinueCopy();
}

bool CSyncRun::PcDestinationChanged(int index) const {
    return !StampPcFile(m_bindings[index].WinFullPath()).SameContentAs(m_seen[index].pc);
}

QString CSyncRun::TransferText(int index) const {
    const CDocSynchEntry& binding = m_bindings[index];
    const QString pcPath = binding.WinFullPath();
    const QString epocPath = binding.EpocFullPath();
    return m_decisions[index] == SyncDirection::PcToDevice ? pcPath + u" -> "_s + epocPath
                                                           : epocPath + u" -> "_s + pcPath;
}

void CSyncRun::LeaveChangedDestination(int index) {
    // Both files stay; the binding is not marked, so the next run decides it again.
    m_log.WriteLine(Text(IDS_DESTINATION_CHANGED) + TransferText(index));
    m_log.WriteEmptyLine();
    m_errors = true;
}

void CSyncRun::LeaveChangedSource(int index) {
    // The copy may hold the source as it was before it was saved anew: the binding is not
    // marked, so the next run finds the source changed and copies it again. The destination was
    // replaced all the same, unless a conversion into the PC document was still to come.
    if (m_decisions[index] == SyncDirection::PcToDevice || !m_transfer.Converting())
        m_log.WriteLine(Text(m_transfer.Converting() ? IDS_CONVERTED : IDS_COPIED) + TransferText(index));
    m_log.WriteLine(Text(std::exchange(m_sourceUnseen, false) ? IDS_SOURCE_UNSEEN : IDS_SOURCE_CHANGED) +
                    TransferText(index));
    m_log.WriteEmptyLine();
    m_errors = true;
}

void CSyncRun::OnLoserKept(int32_t result) {
    const CDocSynchEntry& binding = m_bindings[m_copyIndex];
    // Its name must be on disk before what it keeps is replaced.
    if (result == 0 && FlushPcFolder(m_transfer.GetPaths().backupFolder)) {
        m_transfer.LogKept(binding.EpocFullPath(), m_keptPath);
        ContinueCopy();
        return;
    }
    m_log.WriteLine(Text(IDS_NOT_COPIED_NOT_KEPT) + TransferText(m_copyIndex));
    m_log.WriteEmptyLine();
    m_errors = true;
    m_ui.StepProgress();
    ++m_copyIndex;
    ContinueCopy();
}

void CSyncRun::OnCopyDone(int32_t result) {
    if (std::exchange(m_keepingLoser, false)) {
        OnLoserKept(result);
        return;
    }
    if (std::exchange(m_copyingOver, false)) {
        if (result == IEpocEngine::kNotSupported) {
            m_looksAtOnce = false;  // the destination is looked at first from now on
            ContinueCopy();
            return;
        }
        if (result == EngineError::kDestinationChanged) {
            LeaveChangedDestination(m_copyIndex);
            m_ui.StepProgress();
            ++m_copyIndex;
            ContinueCopy();
            return;
        }
    }
    const CDocSynchEntry& binding = m_bindings[m_copyIndex];
    const SyncDirection direction = m_decisions[m_copyIndex];
    m_lastCopyResult = result;
    if (result == 0) {
        m_copiesSinceDurable = true;
        if (m_engine->GetCopyFacts(m_lastCopy) != 0)
            m_lastCopy = {};
        if (direction == SyncDirection::DeviceToPc) {
            // The handheld file is reached through the engine only: looked at there.
            CheckDeviceFile(DeviceCheck::SourceAfter);
            return;
        }
        if (direction == SyncDirection::PcToDevice && IssueNextCopyFirst())
            return;
        AfterCopyToHandheld(m_copyIndex, m_lastCopy);
        ++m_copyIndex;
        ContinueCopy();
        return;
    }
    m_errors = true;
    // Stopped by the user: named in the run's last line.
    if (result == EngineError::kCancelled && m_stopRequested) {
        m_notCopied = TransferText(m_copyIndex);
        ++m_copyIndex;
        ContinueCopy();
        return;
    }
    m_log.WriteLine(m_transfer.FailureLine(binding, direction));
    if (result == EngineError::kSourceChanged)
        m_log.WriteLine(Text(IDS_SOURCE_CHANGED_DURING_COPY) + TransferText(m_copyIndex));
    m_log.WriteEmptyLine();
    if (m_ignoreAllCopyErrors || m_stopRequested) {
        ++m_copyIndex;
        ContinueCopy();
        return;
    }
    // The prompt may stay open for long: what was copied so far is marked first.
    if (!m_awaiting.empty()) {
        MakeCopiesDurable(AfterDurable::AskCopyError);
        return;
    }
    AskCopyError();
}

void CSyncRun::AskCopyError() {
    const CDocSynchEntry& binding = m_bindings[m_copyIndex];
    // The device is there and writable when the source changed under the copy: said so.
    const QString reason =
        m_lastCopyResult == EngineError::kSourceChanged ? Text(IDS_COPY_ERROR_SOURCE_CHANGED) : QString();
    switch (m_ui.AskCopyError(CSyncTransfer::Destination(binding, m_decisions[m_copyIndex]), reason)) {
        case CopyErrorAnswer::Retry:
            m_refreshSource = m_lastCopyResult == EngineError::kSourceChanged;
            break;
        case CopyErrorAnswer::IgnoreAll:
            m_ignoreAllCopyErrors = true;
            ++m_copyIndex;
            break;
        case CopyErrorAnswer::Stop:
            MakeCopiesDurable(AfterDurable::Stop);
            return;
        case CopyErrorAnswer::IgnoreFile:
        default:
            ++m_copyIndex;
            break;
    }
    ContinueCopy();
}

void CSyncRun::FinishTransfer(int index, const CFileFacts& copied) {
    CDocSynchEntry& binding = m_bindings[index];
    const SyncDirection direction = m_decisions[index];
    const bool converted = direction == SyncDirection::DeviceToPc && m_transfer.Converting();
    if (!m_transfer.Finish(binding, m_keys[index], direction))
        return;
    ++m_transferred;
    if (m_awaiting.empty())
        m_firstAwaiting = std::chrono::steady_clock::now();
    // Stamped now, as an immediate mark would have been: an edit made from here on must count.
    m_awaiting.push_back(
        {index, CopiedState(index, copied), SynchronizedStampNow(), converted ? binding.WinPath : QString()});
}

CSyncState CSyncRun::CopiedState(int index, const CFileFacts& lastCopy) const {
    const CDocSynchEntry& binding = m_bindings[index];
    const CSeenFiles& seen = m_seen[index];
    CSyncState state;
    state.machine = m_machineId;
    state.winPath = binding.WinPath;
    state.winFileName = binding.WinFileName;
    state.epocPath = binding.EpocPath;
    state.epocFileName = binding.EpocFileName;
    const CSyncSide copied{lastCopy.size, lastCopy.time, lastCopy.print.ToText()};
    const bool converted = m_transfer.Converting();
    const CFileFacts& pc = m_transfer.PcFacts();
    // The side the copy read was looked at again after it and found as the scan saw it.
    if (m_decisions[index] == SyncDirection::PcToDevice) {
        state.epoc = copied;
        state.pc = converted ? CSyncSide{pc.size, pc.time, pc.print.ToText()}
                             : CSyncSide{uint64_t(seen.pc.size), uint64_t(seen.pc.modifiedNs), copied.print};
        if (converted && (pc.size != uint64_t(seen.pc.size) || pc.time != uint64_t(seen.pc.modifiedNs)))
            state.pc.print.clear();  // fingerprinted a moment other than the one proven unchanged
    } else {
        state.epoc = {seen.epocSize, seen.epoc.localFileTime, copied.print};
        state.pc = converted ? CSyncSide{pc.size, pc.time, pc.print.ToText()} : copied;
    }
    state.valid = lastCopy.print.valid && (!converted || m_transfer.HasPcFacts()) && !state.pc.print.isEmpty() &&
                  !state.epoc.print.isEmpty();
    return state;
}

void CSyncRun::MakeCopiesDurable(AfterDurable next) {
    m_afterDurable = next;
    // A regular end flushes whatever the run copied, marked or not: the report comes only once
    // the handheld holds it all.
    const bool flush = !m_awaiting.empty() || (next == AfterDurable::FinishRun && m_copiesSinceDurable);
    if (!flush) {
        OnCopiesDurable(0);
        return;
    }
    m_state = State::MakingDurable;
    Await(EngineEvent::CopiesDurable, m_engine->MakeCopiesDurable());
}

void CSyncRun::OnCopiesDurable(int32_t result) {
    m_state = State::Copying;
    m_copiesSinceDurable = false;
    if (result != 0 && m_awaiting.empty()) {
        m_log.WriteString(IDS_COPIES_NOT_DURABLE, result);
        m_log.WriteEmptyLine();
        m_errors = true;
    }
    // The PC folders conversions wrote into; the engine flushed those its own copies wrote.
    QStringList flushed;
    QStringList failed;
    std::vector<CSynchronizedMark> marks;
    std::vector<int> marked;
    for (const CAwaitingMark& waiting : m_awaiting) {
        bool durable = result == 0;
        if (durable && !waiting.pcFolder.isEmpty() && !flushed.contains(waiting.pcFolder)) {
            if (failed.contains(waiting.pcFolder) || !FlushPcFolder(waiting.pcFolder)) {
                failed << waiting.pcFolder;
                durable = false;
            } else {
                flushed << waiting.pcFolder;
            }
        }
        if (!durable) {
            m_log.WriteLine(Text(IDS_NOT_DURABLE) + TransferText(waiting.index), result);
            m_log.WriteEmptyLine();
            m_errors = true;
            continue;
        }
        marks.push_back({m_keys[waiting.index], waiting.stamp, waiting.state, false, &m_bindings[waiting.index]});
        marked.push_back(waiting.index);
    }
    const std::vector<BindingWrite> written = MarkSynchronizedKeys(m_owner, marks, &m_readAt);
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == BindingWrite::Written) {
            // As the store now holds it, should the binding be marked again.
            CDocSynchEntry& binding = m_bindings[marked[i]];
            binding.WasUpdated = true;
            binding.LastSyncTimeStamp = marks[i].lastSyncTimeStamp;
            binding.Synced = marks[i].state;
            continue;
        }
        // Deleted or changed by the user meanwhile: nothing is brought back, and nothing went wrong.
        const bool gone = written[i] == BindingWrite::Gone || written[i] == BindingWrite::Changed;
        const int text = written[i] == BindingWrite::Gone      ? IDS_BINDING_GONE
                         : written[i] == BindingWrite::Changed ? IDS_BINDING_CHANGED
                                                               : IDS_MARK_FAILED;
        m_log.WriteLine(Text(text) + m_keys[marked[i]] + u" : "_s + TransferText(marked[i]));
        m_log.WriteEmptyLine();
        if (!gone)
            m_errors = true;
    }
    m_awaiting.clear();

    if (m_stopRequested && m_afterDurable == AfterDurable::FinishRun)
        m_afterDurable = AfterDurable::Stop;
    switch (m_afterDurable) {
        case AfterDurable::ContinueCopy:
            ContinueCopy();
            break;
        case AfterDurable::AskCopyError:
            if (m_stopRequested) {
                ++m_copyIndex;
                ContinueCopy();
            } else {
                AskCopyError();
            }
            break;
        case AfterDurable::FinishRun:
            FinishRun();
            break;
        case AfterDurable::Stop:
            if (m_endLine.isEmpty()) {
                WriteStoppedLine();
            } else {
                m_log.WriteEmptyLine();
                m_log.WriteLine(m_endLine);
                m_log.WriteLastLine();
            }
            Close();
            break;
    }
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

void HandEngineEvent(const CEngineEvent& event, CPWInfo& sink, CSyncRun& run, const bool& closed,
                     std::chrono::milliseconds budget) {
    // Most operations end well within this; a longer one (a flushed copy) arrives as a posted event.
    constexpr auto kWaitForNextEvent = std::chrono::microseconds(500);
    if (event.Sender() == &sink)
        sink.Received();
    if (closed)
        return;
    run.HandleEvent(event.Event(), event.Result());
    const auto until = std::chrono::steady_clock::now() + budget;
    CPWInfo::Handed next{};
    while (!closed && run.AwaitsEngine() && std::chrono::steady_clock::now() < until &&
           sink.WaitForNext(kWaitForNextEvent, next))
        run.HandleEvent(next.event, next.result);
}
