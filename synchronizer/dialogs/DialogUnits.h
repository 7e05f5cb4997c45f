// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;
class QLabel;
class QLineEdit;
class QGroupBox;
class QRadioButton;
class QPushButton;
class QIcon;

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down, so a layout keeps its proportions whatever the font.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    int AverageCharWidth() const { return m_charWidth; }
    int CharHeight() const { return m_charHeight; }

private:
    int m_charWidth = 0;
    int m_charHeight = 0;
};

// Places the controls of a fixed dialog at dialog-unit rectangles, each named by its control
// id (controls without an id stay unnamed). Controls are created in table order, which is
// also their tab order.
class CDialogBuilder {
public:
    explicit CDialogBuilder(QWidget* dialog);

    const CDialogUnits& Units() const { return m_units; }
    // Sizes the dialog's client area and fixes it.
    void SetClientSize(int width, int height);

    QLabel* AddIcon(const QIcon& icon, int x, int y);
    QLabel* AddStatic(const QString& text, int x, int y, int width, int height);
    QLineEdit* AddReadOnlyEdit(int id, const QString& text, int x, int y, int width, int height);
    QGroupBox* AddGroupBox(const QString& title, int x, int y, int width, int height);
    QRadioButton* AddRadio(int id, const QString& text, int x, int y, int width, int height);
    QPushButton* AddButton(int id, const QString& text, int x, int y, int width, int height);

private:
    QWidget* m_dialog;
    CDialogUnits m_units;
};

// The help file of the prompts: "bindmgr.hlp" beside the running program.
QString PromptHelpFile();
