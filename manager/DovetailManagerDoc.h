// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DateTimeText.h"
#include "common/DocSynchEntry.h"

#include <QObject>
#include <QString>

#include <functional>

// What the document needs from the binding list it fills.
class IBindingList {
public:
    virtual ~IBindingList() = default;
    virtual void RemoveAllItems() = 0;
    // Appends a row for the entry, with the record's icon and check state.
    virtual void AddItem(const CDocSynchEntry& record, int entry) = 0;
    // Image-list position of the icon for a full PC path.
    virtual int GetFileIcon(const QString& fullPath) = 0;
    // An OK box with the text.
    virtual void ShowMessage(const QString& text) = 0;
    virtual void EndWaitCursor() = 0;
    // Bracket the filling of the whole list.
    virtual void BeginLoad() {}
    virtual void EndLoad() {}
};

// List columns, in display order.
enum class BindingColumn : int {
    PcName = 0,
    PcPath,
    PcType,
    EpocName,
    EpocPath,
    EpocType,
    Size,
    LastSynch,
};
inline constexpr int kBindingColumnCount = 8;

// The binding store of one user as the manager shows it. Nothing of a binding is kept in
// memory: every operation, down to each list cell's text, goes to the store when needed,
// so the list shows what the synchronizer wrote the next time it repaints.
class CDovetailManagerDoc : public QObject {
    Q_OBJECT
public:
    explicit CDovetailManagerDoc(QObject* parent = nullptr);

    // Start-up: title "Not connected", then the current user when there is one.
    bool OnNewDocument();
    // Ignored once the rows are loaded: the list keeps its store until the manager exits.
    void SetUser(const QString& user);
    // Loads the rows when the user is already known.
    void SetView(IBindingList* view);
    void LoadEntries();

    // Lenient read without the icon (writes the PC file's current size back); the result is
    // the verdict on the record's PC file, which is not looked at when refused.
    CStoreCheck ReadEntry(int entry, CDocSynchEntry& record);
    // False, saying why, when the handheld cannot hold the EPOC file's name or folder; false,
    // with "Similar item already exists", when the PC file or the EPOC file is
    // already bound, or with the store's failure when the record could not be stored (no row
    // then); false without a message when the store is full.
    bool AddEntry(CDocSynchEntry& record);
    // The writes below report whether the store took them; they show nothing.
    bool UpdateEntry(int entry, const CDocSynchEntry& record);
    // The caller removes the row. True also when the entry was gone already.
    bool DeleteEntry(int entry);
    bool IsEntryActive(int entry);
    bool SetEntryActive(int entry, bool active);
    // One value read from the store, formatted for the column; the column's fallback when
    // the value is missing.
    QString GetEntryText(int entry, int column) const;

    // Rules a new record starts with (the application's defaults).
    void SetDefaultRules(const CRuleSet& rules) { m_defaultRules = rules; }
    CDocSynchEntry NewRecord() const;

    const QString& User() const { return m_user; }
    bool IsLoaded() const { return m_loaded; }
    bool HasUser() const;
    const QString& Title() const { return m_title; }

signals:
    void TitleChanged(const QString& title);

private:
    void SetTitle(const QString& title);

    QString m_user;
    bool m_loaded = false;
    IBindingList* m_view = nullptr;
    QString m_title;
    CRuleSet m_defaultRules;
};

// A file size as the store keeps it: sizes beyond the 32-bit range are held at its largest value.
int32_t ClampedFileSize(qint64 size);
// "%d bytes" with the whole size: a file the store can only hold at 2147483647 shows as it is.
QString FileSizeText(qint64 size);
// The size to show for a binding's PC file: the file's own while it exists, else the stored one.
qint64 ShownFileSize(const QString& fullPath, int32_t storedSize);
