// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "manager/TypeLists.h"
#include "manager/properties/PropertySheet.h"

#include <functional>

class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

// Gives a read-only edit the window's background.
void ShowAsReadOnly(QLineEdit* edit);

// What the Windows and EPOC file pages share: name and folder shown read-only, "Modify",
// and a sorted, non-editable type list built once, the first time the page opens.
class CFilePropertyPage : public CPropertyPage {
    Q_OBJECT
public:
    static constexpr int kIdName = 1000;
    static constexpr int kIdFolder = 1001;
    static constexpr int kIdType = 1002;
    static constexpr int kIdModify = 1012;

    QComboBox* TypeBox() const { return m_type; }

protected:
    CFilePropertyPage(const QString& title, uint32_t helpContext, const QString& groupTitle, QWidget* parent);

    // Puts the list into the type box (sorted) and selects its entry.
    void ShowTypeList(const CTypeList& list);
    // Names, then the type list when still empty (under a wait cursor), then a selection.
    void Refresh(const QString& name, const QString& folder, const std::function<void()>& fillTypeList);

    QFormLayout* Form() const { return m_form; }
    QPushButton* ModifyButton() const { return m_modify; }

private:
    QLineEdit* m_name = nullptr;
    QLineEdit* m_folder = nullptr;
    QComboBox* m_type = nullptr;
    QPushButton* m_modify = nullptr;
    QFormLayout* m_form = nullptr;
};
