// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dtwelcome/WelcomeWindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kMountRole = Qt::UserRole + 1;
constexpr int kAdoptedRole = Qt::UserRole + 2;
constexpr int kIdRole = Qt::UserRole;

const QString kWindowTitle = u"Set up Dovetail"_s;
const QString kHandheldTitle = u"Dovetail handheld"_s;

QString WithoutSeparator(QString folder) {
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

}  // namespace

CWelcomeWindow::CWelcomeWindow(Programs programs, bool handheldForm, QWidget* parent)
    : QDialog(parent),
      m_programs(std::move(programs)),
      m_setUp(m_programs.suiteFiles, m_programs.dataFolder),
      m_state(ReadSuiteState()) {
    // The handheld form needs a registered user; before that the whole set-up is offered.
    m_handheldForm = handheldForm && m_state.IsSetUp();
    setObjectName(u"welcomeWindow"_s);
    setWindowTitle(m_handheldForm ? kHandheldTitle : kWindowTitle);
    BuildForm();
    RefreshVolumes();
    RefreshAdopted();
    UpdateButtons();

    m_mountWatch = new QTimer(this);
    m_mountWatch->setInterval(1000);
    connect(m_mountWatch, &QTimer::timeout, this, [this] {
        QStringList mounts;
        for (const MountedVolume& volume : MountedVolumes())
            mounts.append(volume.mountPoint);
        if (mounts == m_lastMounts)
            return;
        RefreshVolumes();
        RefreshAdopted();
        UpdateButtons();
    });
    m_mountWatch->start();
}

CWelcomeWindow::~CWelcomeWindow() = default;

void CWelcomeWindow::BuildForm() {
    auto* intro = new QLabel(
        m_handheldForm ? u"Choose the handheld Dovetail keeps your documents in step with: a USB stick or another "
                         u"removable volume, or the simulated handheld. An adopted volume is recognised wherever "
                         u"and whenever it is mounted; its folder Dovetail holds the handheld's drives."_s
                       : u"Dovetail keeps documents on this PC and on your handheld in step. Say who you are, where "
                         u"your documents are and which handheld to use. The install wizard then installs Dovetail's "
                         u"programs for you, and the manager opens."_s);
    intro->setWordWrap(true);

    m_name = new QLineEdit;
    m_name->setObjectName(u"userName"_s);
    m_name->setText(m_state.user.isEmpty() ? LoginName() : m_state.user);
    m_folder = new QLineEdit;
    m_folder->setObjectName(u"pcFolder"_s);
    m_folder->setText(m_state.pcFolder.isEmpty() ? DocumentsFolder() : WithoutSeparator(m_state.pcFolder));
    m_browse = new QPushButton(u"B&rowse..."_s);
    m_browse->setObjectName(u"browseButton"_s);
    m_browse->setAutoDefault(false);
    connect(m_browse, &QPushButton::clicked, this, &CWelcomeWindow::OnBrowse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    if (m_handheldForm) {
        for (QLineEdit* edit : {m_name, m_folder})
            edit->setReadOnly(true);
        m_browse->hide();
    }

    m_handheld = new QComboBox;
    m_handheld->setObjectName(u"handheldChoice"_s);
    m_handheld->setMinimumContentsLength(40);
    connect(m_handheld, &QComboBox::currentIndexChanged, this, &CWelcomeWindow::UpdateButtons);
    m_handheldHint = new QLabel;
    m_handheldHint->setObjectName(u"handheldHint"_s);
    m_handheldHint->setWordWrap(true);

    auto* form = new QFormLayout;
    auto* nameLabel = new QLabel(m_handheldForm ? u"&Handheld of:"_s : u"&Your name:"_s);
    nameLabel->setBuddy(m_name);
    form->addRow(nameLabel, m_name);
    auto* folderLabel = new QLabel(u"&Documents folder:"_s);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    auto* handheldLabel = new QLabel(m_handheldForm ? u"&Use:"_s : u"&Handheld:"_s);
    handheldLabel->setBuddy(m_handheld);
    form->addRow(handheldLabel, m_handheld);
    form->addRow(QString(), m_handheldHint);

    m_adoptedLabel = new QLabel(u"Adopted &volumes:"_s);
    m_adopted = new QListWidget;
    m_adopted->setObjectName(u"adoptedList"_s);
    m_adopted->setMaximumHeight(96);
    m_adoptedLabel->setBuddy(m_adopted);
    m_forget = new QPushButton(u"&Forget"_s);
    m_forget->setObjectName(u"forgetButton"_s);
    m_forget->setAutoDefault(false);
    connect(m_forget, &QPushButton::clicked, this, &CWelcomeWindow::OnForget);
    connect(m_adopted, &QListWidget::currentRowChanged, this, &CWelcomeWindow::UpdateButtons);
    auto* adoptedRow = new QHBoxLayout;
    adoptedRow->addWidget(m_adopted, 1);
    adoptedRow->addWidget(m_forget, 0, Qt::AlignTop);

    m_status = new QLabel;
    m_status->setObjectName(u"status"_s);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox;
    m_setUpButton = buttons->addButton(m_handheldForm ? u"&Adopt"_s : u"&Set up"_s, QDialogButtonBox::AcceptRole);
    m_setUpButton->setObjectName(u"setUpButton"_s);
    m_setUpButton->setDefault(true);
    m_close = buttons->addButton(m_handheldForm ? u"&Close"_s : u"Cancel"_s, QDialogButtonBox::RejectRole);
    m_close->setObjectName(u"closeButton"_s);
    connect(m_setUpButton, &QPushButton::clicked, this, &CWelcomeWindow::OnSetUp);
    connect(m_close, &QPushButton::clicked, this, &CWelcomeWindow::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addSpacing(6);
    layout->addLayout(form);
    layout->addWidget(m_adoptedLabel);
    layout->addLayout(adoptedRow);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(560);
}

void CWelcomeWindow::RefreshVolumes() {
    const std::vector<MountedVolume> volumes = MountedVolumes();
    const QString previous = m_handheld->currentData(kMountRole).toString();
    const int previousKind = m_handheld->currentData(kKindRole).toInt();
    const bool hadVolumes = [this] {
        for (int i = 0; i < m_handheld->count(); ++i) {
            if (m_handheld->itemData(i, kKindRole).toInt() == int(HandheldKind::Volume))
                return true;
        }
        return false;
    }();

    const QSignalBlocker block(m_handheld);
    m_handheld->clear();
    m_lastMounts.clear();
    if (volumes.empty()) {
        m_handheld->addItem(u"(no removable volume is mounted)"_s);
        m_handheld->setItemData(0, int(HandheldKind::None), kKindRole);
    }
    for (const MountedVolume& volume : volumes) {
        QString text = volume.label + u"  ("_s + volume.mountPoint + u')';
        if (!volume.adoptedId.isEmpty())
            text += u", the handheld of "_s + volume.adoptedOwner;
        m_handheld->addItem(text);
        const int row = m_handheld->count() - 1;
        m_handheld->setItemData(row, int(HandheldKind::Volume), kKindRole);
        m_handheld->setItemData(row, volume.mountPoint, kMountRole);
        m_handheld->setItemData(row, volume.adoptedId, kAdoptedRole);
        m_lastMounts.append(volume.mountPoint);
    }
    m_handheld->addItem(u"Simulated handheld (a folder on this PC, to try Dovetail out)"_s);
    m_handheld->setItemData(m_handheld->count() - 1, int(HandheldKind::Simulator), kKindRole);

    // Keep the choice; a stick plugged in while nothing or only the placeholder was chosen
    // becomes the choice, as that is what the person just did.
    int current = 0;
    for (int i = 0; i < m_handheld->count(); ++i) {
        const int kind = m_handheld->itemData(i, kKindRole).toInt();
        if (kind == previousKind && m_handheld->itemData(i, kMountRole).toString() == previous)
            current = i;
    }
    if (previousKind == int(HandheldKind::Simulator) && (hadVolumes || volumes.empty()))
        current = m_handheld->count() - 1;
    if (m_handheldForm && previousKind == 0 && previous.isEmpty() && !m_state.usesVolumes)
        current = m_handheld->count() - 1;
    m_handheld->setCurrentIndex(current);

    m_handheldHint->setText(volumes.empty() ? u"Plug your USB stick in: it shows here as soon as the desktop has "
                                              u"mounted it. Or choose the simulated handheld to try Dovetail out."_s
                                            : QString());
    m_handheldHint->setVisible(volumes.empty());
}

void CWelcomeWindow::RefreshAdopted() {
    const QString previous = m_adopted->currentItem() ? m_adopted->currentItem()->data(kIdRole).toString() : QString();
    m_adopted->clear();
    for (const AdoptedHandheld& handheld : AdoptedHandhelds()) {
        QString text = handheld.label + u"  "_s + handheld.id + u", the handheld of "_s + handheld.owner + u": "_s +
                       (handheld.connectedAt.isEmpty() ? u"not connected"_s : u"at "_s + handheld.connectedAt);
        auto* item = new QListWidgetItem(text, m_adopted);
        item->setData(kIdRole, handheld.id);
        if (handheld.id == previous)
            m_adopted->setCurrentItem(item);
    }
    const bool any = m_adopted->count() > 0;
    m_adoptedLabel->setVisible(any);
    m_adopted->setVisible(any);
    m_forget->setVisible(any);
}

void CWelcomeWindow::UpdateButtons() {
    const auto kind = HandheldKind(m_handheld->currentData(kKindRole).toInt());
    if (m_handheldForm) {
        const bool adopted = !m_handheld->currentData(kAdoptedRole).toString().isEmpty();
        m_setUpButton->setText(kind == HandheldKind::Volume && !adopted ? u"&Adopt"_s : u"U&se"_s);
    }
    m_forget->setEnabled(m_adopted->currentItem() != nullptr && !m_wizard);
}

SetUpRequest CWelcomeWindow::Request() const {
    SetUpRequest request;
    request.userName = m_name->text();
    request.pcFolder = m_folder->text();
    request.handheld = HandheldKind(m_handheld->currentData(kKindRole).toInt());
    request.volumeMount = m_handheld->currentData(kMountRole).toString();
    return request;
}

void CWelcomeWindow::OnBrowse() {
    const QString folder = QFileDialog::getExistingDirectory(this, u"Documents folder"_s, m_folder->text());
    if (!folder.isEmpty())
        m_folder->setText(folder);
}

void CWelcomeWindow::Report(bool ok, const QString& text) {
    m_status->setText(text);
    if (!ok)
        QMessageBox::warning(this, windowTitle(), text);
}

void CWelcomeWindow::OnSetUp() {
    const SetUpRequest request = Request();
    if (m_handheldForm) {
        SetUpResult result;
        if (request.handheld == HandheldKind::Volume)
            result = m_setUp.AdoptVolume(request.volumeMount, m_state.user);
        else if (request.handheld == HandheldKind::Simulator)
            result = m_setUp.UseSimulator(m_state.user);
        else
            result = {false, u"Plug your USB stick in and choose it, or choose the simulated handheld."_s};
        if (result.ok)
            result.message +=
                u" The manager and automatic synchronization follow the change when they next "
                u"start; logging out and in again restarts them."_s;
        Report(result.ok, result.message);
        m_state = ReadSuiteState();
        RefreshVolumes();
        RefreshAdopted();
        UpdateButtons();
        return;
    }

    const SetUpResult result = m_setUp.Register(request);
    if (!result.ok) {
        Report(false, result.message);
        return;
    }
    m_state = ReadSuiteState();
    RefreshAdopted();
    m_status->setText(result.message);
    if (m_state.ProgramsInstalled()) {
        if (OpenManager(this, m_state))
            accept();
        return;
    }
    RunInstallWizard();
}

void CWelcomeWindow::RunInstallWizard() {
    if (!QFileInfo(m_programs.setupProgram).isExecutable()) {
        Report(false, u"The install wizard "_s + m_programs.setupProgram +
                          u" is missing, so Dovetail's programs cannot be installed. Reinstalling the dovetail "
                          u"package brings it back."_s);
        return;
    }
    m_wizard = new QProcess(this);
    m_wizard->setProgram(m_programs.setupProgram);
    // What the wizard says on its way goes where this window's own messages go.
    m_wizard->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_wizard, &QProcess::finished, this, &CWelcomeWindow::OnInstallWizardEnded);
    connect(m_wizard, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            OnInstallWizardEnded();
    });
    SetBusy(true, m_status->text() + u"\nInstalling Dovetail's programs: follow the install wizard."_s);
    m_wizard->start();
}

void CWelcomeWindow::OnInstallWizardEnded() {
    if (!m_wizard)
        return;
    m_wizard->deleteLater();
    m_wizard = nullptr;
    SetBusy(false, QString());
    m_state = ReadSuiteState();
    if (!m_state.ProgramsInstalled()) {
        Report(false,
               u"The install wizard ended before Dovetail's programs were installed. Choose Set up to run "
               u"it again."_s);
        return;
    }
    if (OpenManager(this, m_state))
        accept();
}

void CWelcomeWindow::SetBusy(bool busy, const QString& status) {
    for (QWidget* widget : std::initializer_list<QWidget*>{m_name, m_folder, m_browse, m_handheld, m_adopted, m_forget,
                                                           m_setUpButton, m_close})
        widget->setEnabled(!busy);
    if (!busy)
        UpdateButtons();
    if (busy)
        m_status->setText(status);
}

void CWelcomeWindow::reject() {
    if (m_wizard)
        return;
    QDialog::reject();
}

void CWelcomeWindow::OnForget() {
    QListWidgetItem* item = m_adopted->currentItem();
    if (!item)
        return;
    const QString id = item->data(kIdRole).toString();
    if (QMessageBox::question(this, windowTitle(),
                              u"Forget the volume "_s + id +
                                  u"? Its files stay on it; bindings to it find no handheld until it is adopted "
                                  u"again."_s) != QMessageBox::Yes)
        return;
    const SetUpResult result = m_setUp.Forget(id);
    Report(result.ok, result.message);
    m_state = ReadSuiteState();
    RefreshVolumes();
    RefreshAdopted();
    UpdateButtons();
}

bool CWelcomeWindow::OpenManager(QWidget* parent, const SuiteState& state) {
    if (!state.manager.isEmpty() && QProcess::startDetached(state.manager, {}, QFileInfo(state.manager).absolutePath()))
        return true;
    QMessageBox::warning(parent, kWindowTitle,
                         state.manager.isEmpty()
                             ? u"Dovetail's manager is not installed for you yet."_s
                             : u"Dovetail's manager "_s + state.manager + u" could not be started."_s);
    return false;
}
