// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/AboutDlg.h"

#include "common/ProgramPath.h"
#include "common/VersionInfo.h"
#include "manager/CommandIds.h"
#include "manager/Icons.h"
#include "manager/ManagerHelp.h"
#include "manager/Strings.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr uint32_t kHelpContext = 0x20000 + 100;

QLabel* AddLine(QGridLayout* grid, int row, const QString& name) {
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(label, row, 1);
    return label;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About ") + LoadManagerString(kIdsAppTitle));
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("AboutIcon"));
    icon->setPixmap(ManagerIcon(kIdrMainIcon).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    grid->addWidget(icon, 0, 0, 4, 1);
    AddLine(grid, 0, QStringLiteral("ProductVersion"));
    AddLine(grid, 1, QStringLiteral("LegalCopyright"));
    AddLine(grid, 2, QStringLiteral("CompanyName"));
    QLabel* developed = AddLine(grid, 3, QStringLiteral("DevelopedFor"));
    developed->setText(LoadManagerString(kIdsDevelopedFor));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 4, 0, 1, 2);
    LoadVersion();
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

void CAboutDlg::LoadVersion(const QString& programPath) {
    QString path = programPath;
    if (path.isEmpty())
        GetProgramPath(path);
    CVersionInfo info;
    info.Open(path);
    const QString version = LoadManagerString(kIdsVersionFormat)
                                .replace(QStringLiteral("%s"), info.GetString(QStringLiteral("ProductVersion")));
    findChild<QLabel*>(QStringLiteral("ProductVersion"))->setText(version);
    findChild<QLabel*>(QStringLiteral("LegalCopyright"))->setText(info.GetString(QStringLiteral("LegalCopyright")));
    findChild<QLabel*>(QStringLiteral("CompanyName"))->setText(info.GetString(QStringLiteral("CompanyName")));
}

void CAboutDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OpenManagerHelp(this, kHelpContext);
        return;
    }
    QDialog::keyPressEvent(event);
}
