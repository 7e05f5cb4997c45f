// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QPushButton;
class QTabWidget;

// One tab of a property sheet. A page is opened (OnInitDialog) the first time it is shown;
// only opened pages are confirmed (OnOK) when the sheet ends with OK.
class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    CPropertyPage(const QString& title, uint32_t helpContext, QWidget* parent = nullptr);

    const QString& Title() const { return m_title; }
    uint32_t HelpContext() const { return m_helpContext; }
    bool IsOpened() const { return m_opened; }
    // Opens the page once; later calls do nothing.
    void Open();

protected:
    friend class CPropertySheet;
    // Fills the controls from the page's data.
    virtual void OnInitDialog() {}
    // The sheet ended with OK while the page was opened. False when what the page confirms
    // could not be stored: the sheet then says so and stays open.
    virtual bool OnOK() { return true; }

private:
    QString m_title;
    uint32_t m_helpContext;
    bool m_opened = false;
};

// A modal sheet of pages in tabs with OK and Cancel (ids 1 and 2). F1 opens the help of the
// page shown. Cancel, Escape and the close box confirm nothing.
class CPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CPropertySheet(const QString& title, QWidget* parent = nullptr);

    // The sheet takes the page; pages show in the order they are added.
    void AddPage(CPropertyPage* page);
    int PageCount() const { return int(m_pages.size()); }
    CPropertyPage* Page(int index) const { return m_pages.at(std::size_t(index)); }
    CPropertyPage* ActivePage() const;
    void SetActivePage(int index);
    QTabWidget* TabWidget() const { return m_tabs; }

    // Runs on OK after the pages' OnOK and stores what the sheet edited; false when it could not.
    void SetCommit(std::function<bool()> commit) { m_commit = std::move(commit); }
    // What the sheet says (stop icon) when a page or the commit could not store its part.
    void SetNotStoredText(const QString& text) { m_notStoredText = text; }

    // Confirms every opened page and the commit, then ends with OK. When one of them could not
    // store its part, the sheet says so and stays open, so that OK can be pressed again or
    // Cancel.
    void accept() override;

protected:
    // Runs once, when the sheet is first shown, after its first page was opened.
    virtual void OnInitDialog() {}

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTabWidget* m_tabs = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<CPropertyPage*> m_pages;
    std::function<bool()> m_commit;
    QString m_notStoredText;
    bool m_initialized = false;
};
