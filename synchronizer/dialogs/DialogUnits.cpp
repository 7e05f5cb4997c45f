// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/DialogUnits.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace {

// A click anywhere in a radio button's rectangle selects it, not only on its circle and text.
class CDialogRadio : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// Rounded a * b / c, as the classic conversion does.
int MulDiv(int a, int b, int c) {
    return int((int64_t(a) * b + c / 2) / c);
}
}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s);
    m_charWidth = std::max(1, (alphabet / 26 + 1) / 2);
    m_charHeight = std::max(1, metrics.height());
}

int CDialogUnits::X(int units) const {
    return MulDiv(units, m_charWidth, 4);
}
int CDialogUnits::Y(int units) const {
    return MulDiv(units, m_charHeight, 8);
}
QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}
QSize CDialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

CDialogBuilder::CDialogBuilder(QWidget* dialog) : m_dialog(dialog), m_units(dialog->font()) {}

void CDialogBuilder::SetClientSize(int width, int height) {
    m_dialog->setFixedSize(m_units.Size(width, height));
}

QLabel* CDialogBuilder::AddIcon(const QIcon& icon, int x, int y) {
    auto* label = new QLabel(m_dialog);
    label->setPixmap(icon.pixmap(32, 32));
    label->setGeometry(m_units.X(x), m_units.Y(y), 32, 32);
    return label;
}

QLabel* CDialogBuilder::AddStatic(const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, m_dialog);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QRect r = m_units.Rect(x, y, width, height);
    label->setGeometry(r);
    // The layouts were drawn for a narrower font; a text that would be cut off in this one is
    // set a little smaller rather than lost.
    QFont font = label->font();
    while (label->heightForWidth(r.width()) > r.height() + 2 && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        label->setFont(font);
    }
    return label;
}

QLineEdit* CDialogBuilder::AddReadOnlyEdit(int id, const QString& text, int x, int y, int width, int height) {
    auto* edit = new QLineEdit(text, m_dialog);
    edit->setObjectName(QString::number(id));
    edit->setReadOnly(true);
    edit->setCursorPosition(0);
    edit->setGeometry(m_units.Rect(x, y, width, height));
    return edit;
}

QGroupBox* CDialogBuilder::AddGroupBox(const QString& title, int x, int y, int width, int height) {
    auto* group = new QGroupBox(title, m_dialog);
    group->setGeometry(m_units.Rect(x, y, width, height));
    group->setFocusPolicy(Qt::NoFocus);
    return group;
}

QRadioButton* CDialogBuilder::AddRadio(int id, const QString& text, int x, int y, int width, int height) {
    auto* radio = new CDialogRadio(text, m_dialog);
    radio->setObjectName(QString::number(id));
    radio->setGeometry(m_units.Rect(x, y, width, height));
    return radio;
}

QPushButton* CDialogBuilder::AddButton(int id, const QString& text, int x, int y, int width, int height) {
    auto* button = new QPushButton(text, m_dialog);
    button->setObjectName(QString::number(id));
    button->setGeometry(m_units.Rect(x, y, width, height));
    return button;
}

QString PromptHelpFile() {
    return QCoreApplication::applicationDirPath() + u"/bindmgr.hlp"_s;
}
