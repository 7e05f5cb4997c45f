// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/EpocFileDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFolderRole = Qt::UserRole + 1;
constexpr int kMaxPathBytes = 255;  // callers read the result into 256-byte buffers

QRegularExpression MakeFilter(const QString& pattern) {
    if (pattern.isEmpty() || pattern == u"*"_s || pattern == u"*.*"_s)
        return QRegularExpression();
    return QRegularExpression(
        QRegularExpression::wildcardToRegularExpression(pattern, QRegularExpression::UnanchoredWildcardConversion),
        QRegularExpression::CaseInsensitiveOption);
}

bool IsWildcard(const QString& name) {
    return name.contains(u'*') || name.contains(u'?');
}

}  // namespace

CEpocFileDlg::CEpocFileDlg(const CDeviceFolder& device, int mode, const QString& title, const QString& acceptText,
                           const QString& initialPath, QWidget* parent)
    : QDialog(parent), m_device(device), m_mode(mode) {
    setObjectName(u"epocFileDlg"_s);
    setWindowTitle(title);

    m_driveCombo = new QComboBox(this);
    m_driveCombo->setObjectName(u"driveCombo"_s);
    m_upButton = new QPushButton(tr("Up"), this);
    m_upButton->setObjectName(u"upButton"_s);
    m_upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    m_folderLabel = new QLabel(this);
    m_folderLabel->setObjectName(u"folderLabel"_s);
    m_entryList = new QListWidget(this);
    m_entryList->setObjectName(u"entryList"_s);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(u"nameEdit"_s);
    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(u"errorLabel"_s);
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setStyleSheet(u"color: #b00020;"_s);
    m_errorLabel->hide();

    auto* buttons = new QDialogButtonBox(this);
    m_acceptButton = buttons->addButton(acceptText.isEmpty() ? tr("OK") : acceptText, QDialogButtonBox::AcceptRole);
    m_acceptButton->setObjectName(u"acceptButton"_s);
    m_acceptButton->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(u"cancelButton"_s);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Drive:"), this));
    top->addWidget(m_driveCombo);
    top->addWidget(m_folderLabel, 1);
    top->addWidget(m_upButton);
    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(tr("&Name:"), this);
    nameLabel->setBuddy(m_nameEdit);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(m_nameEdit, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_entryList, 1);
    layout->addLayout(nameRow);
    layout->addWidget(m_errorLabel);
    layout->addWidget(buttons);
    resize(460, 360);

    for (const QChar d : m_device.Drives())
        m_driveCombo->addItem(QString(d) + u':', QVariant(QString(d)));

    connect(buttons, &QDialogButtonBox::accepted, this, &CEpocFileDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CEpocFileDlg::reject);
    connect(m_upButton, &QPushButton::clicked, this, &CEpocFileDlg::OnUp);
    connect(m_entryList, &QListWidget::itemClicked, this, &CEpocFileDlg::OnItemClicked);
    connect(m_entryList, &QListWidget::itemActivated, this, &CEpocFileDlg::OnItemActivated);
    // A file selected with the keys is taken as a click takes it. Selections only: the focus
    // arriving makes an item current without choosing it.
    connect(m_entryList, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> items = m_entryList->selectedItems();
        if (items.size() == 1)
            OnItemClicked(items.first());
    });
    connect(m_nameEdit, &QLineEdit::textEdited, this, [this] { m_nameFromList = false; });
    m_entryList->installEventFilter(this);

    if (m_driveCombo->count() == 0) {
        ShowError(tr("The handheld's file system cannot be found."));
        m_acceptButton->setEnabled(false);
        m_upButton->setEnabled(false);
        return;
    }

    // Start where the caller asked, as far as that place exists.
    EpocPath start;
    if (!ParseEpocPath(initialPath, start, true))
        start = EpocPath{m_device.Drives().first(), {}, {}};
    if (!m_device.Drives().contains(start.drive)) {
        start.drive = m_device.Drives().first();
        start.folders.clear();
    }
    QStringList folders = start.folders;
    std::optional<QStringList> actual;
    while (!(actual = m_device.FindFolder(start.drive, folders))) {
        if (folders.isEmpty()) {
            actual = QStringList();
            break;
        }
        folders.removeLast();
    }
    QString name = start.name;
    if (actual->size() == start.folders.size() && !name.isEmpty() && !IsWildcard(name)) {
        const auto entry = m_device.Find(start.drive, *actual, name);
        if (entry && entry->isFolder) {
            actual->append(entry->name);
            name.clear();
        }
    }
    if (IsWildcard(name)) {
        m_filter = MakeFilter(name);
        name.clear();
    }
    ShowFolder(start.drive, *actual);
    m_nameEdit->setText(name);
    connect(m_driveCombo, &QComboBox::activated, this, &CEpocFileDlg::OnDriveChosen);
    m_nameEdit->setFocus();
}

void CEpocFileDlg::ShowFolder(QChar drive, const QStringList& folders) {
    m_drive = drive;
    m_folders = folders;
    m_driveCombo->setCurrentIndex(m_driveCombo->findData(QVariant(QString(drive))));
    m_upButton->setEnabled(!folders.isEmpty());
    m_folderLabel->setText(EpocPath{drive, folders, {}}.FolderText() + u'\\');
    Refill();
}

void CEpocFileDlg::Refill() {
    m_entryList->clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const DeviceEntry& e : m_device.List(m_drive, m_folders)) {
        if (!e.isFolder && m_filter.isValid() && !m_filter.pattern().isEmpty() && !m_filter.match(e.name).hasMatch())
            continue;
        auto* item = new QListWidgetItem(e.isFolder ? folderIcon : fileIcon, e.name, m_entryList);
        item->setData(kFolderRole, e.isFolder);
    }
}

void CEpocFileDlg::ShowError(const QString& text) {
    m_errorLabel->setText(text);
    m_errorLabel->setVisible(!text.isEmpty());
}

void CEpocFileDlg::OnDriveChosen(int index) {
    const QString letter = m_driveCombo->itemData(index).toString();
    if (!letter.isEmpty()) {
        ShowError(QString());
        ForgetListName();
        ShowFolder(letter.at(0), {});
    }
}

void CEpocFileDlg::OnUp() {
    if (m_folders.isEmpty())
        return;
    QStringList up = m_folders;
    up.removeLast();
    ShowError(QString());
    ForgetListName();
    ShowFolder(m_drive, up);
}

void CEpocFileDlg::OnItemClicked(QListWidgetItem* item) {
    if (item && !item->data(kFolderRole).toBool()) {
        m_nameEdit->setText(item->text());
        m_nameFromList = true;
    }
}

void CEpocFileDlg::ForgetListName() {
    // A file picked in the folder being left names nothing in the next one; a typed name stays.
    if (m_nameFromList) {
        m_nameEdit->clear();
        m_nameFromList = false;
    }
}

void CEpocFileDlg::OnItemActivated(QListWidgetItem* item) {
    if (!item)
        return;
    if (item->data(kFolderRole).toBool()) {
        ShowError(QString());
        ForgetListName();
        ShowFolder(m_drive, m_folders + QStringList{item->text()});
        return;
    }
    m_nameEdit->setText(item->text());
    accept();
}

bool CEpocFileDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_entryList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        // Return on an item opens it or takes it, and nothing else: the list would pass the
        // key on to the default button too, which then found no name in the folder just
        // opened and said "Choose a file.".
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_entryList->currentItem()) {
            OnItemActivated(m_entryList->currentItem());
            return true;
        }
        if (plain && key->key() == Qt::Key_Backspace) {
            OnUp();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CEpocFileDlg::accept() {
    if (m_driveCombo->count() == 0)
        return;
    if (TryChoose(m_nameEdit->text().trimmed()))
        QDialog::accept();
}

// Takes what the user typed: a name in the shown folder, a folder to open, a pattern to
// filter by, or a whole path. True when a file was chosen.
bool CEpocFileDlg::TryChoose(const QString& typed) {
    if (typed.isEmpty()) {
        ShowError(m_mode == 1 ? tr("Choose a file.") : tr("Type or choose a name."));
        return false;
    }
    EpocPath target{m_drive, m_folders, typed};
    if (typed.contains(u'\\') || typed.contains(u':')) {
        if (!ParseEpocPath(typed, target, true)) {
            ShowError(tr("\"%1\" is not a valid path.").arg(typed));
            return false;
        }
        const auto folder = m_device.FindFolder(target.drive, target.folders);
        if (!folder) {
            ShowError(tr("The folder %1 does not exist.").arg(target.FolderText()));
            return false;
        }
        target.folders = *folder;
        ShowFolder(target.drive, target.folders);
        m_nameEdit->setText(target.name);
        if (target.name.isEmpty())
            return false;
    }
    if (IsWildcard(target.name)) {
        m_filter = MakeFilter(target.name);
        m_nameEdit->clear();
        ShowError(QString());
        Refill();
        return false;
    }
    if (!IsValidEpocName(target.name)) {
        ShowError(tr("\"%1\" is not a valid file name.").arg(target.name));
        return false;
    }
    const auto entry = m_device.Find(target.drive, target.folders, target.name);
    if (entry && entry->isFolder) {
        ShowError(QString());
        ShowFolder(target.drive, target.folders + QStringList{entry->name});
        m_nameEdit->clear();
        return false;
    }
    if (entry)
        target.name = entry->name;
    else if (m_mode == 1) {
        ShowError(tr("%1 does not exist.").arg(target.FullText()));
        return false;
    }
    if (target.FullText().toUtf8().size() > kMaxPathBytes) {
        ShowError(tr("The path %1 is too long.").arg(target.FullText()));
        return false;
    }
    ShowError(QString());
    m_chosen = target;
    return true;
}
