// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "platform/engine/EpocEngine.h"

#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

class CDovetailManagerView;
class QMimeData;
class QWidget;

// Handheld paths dropped on the list, waiting to be bound one at a time.
class CEpocDropQueue {
public:
    static constexpr std::size_t kCapacity = 128;
    // False, and nothing kept, when the queue is full.
    bool Add(const QString& path);
    // Makes the oldest path the current one; false when none is left.
    bool TakeNext();
    bool IsEmpty() const { return m_paths.empty(); }
    std::size_t Size() const { return m_paths.size(); }
    const QString& Current() const { return m_current; }

private:
    std::deque<QString> m_paths;
    QString m_current;
};

// Bindings started from handheld files: by the chooser, or by items dragged out of the
// handheld's file browser, which are looked up through the engine one after another.
class CEpocAdding {
public:
    // How long an open may go unanswered before the drop moves on to its next item, and how
    // often one entry may be reported busy before it is given up.
    static constexpr std::chrono::milliseconds kOpenTimeout{30000};
    static constexpr int kMaxBusyOpens = 50;

    explicit CEpocAdding(CDovetailManagerView& view, std::chrono::milliseconds openTimeout = kOpenTimeout);

    void OnAddEpocFile();
    // True when the data is a drop from the handheld's browser (its five formats by name).
    static bool IsEpocDrop(const QMimeData* data);
    // Queues the dropped items and opens the first through engine (may be null: no
    // connection). Malformed data is refused whole with a message.
    void OnDropItems(const QMimeData* data, IEpocEngine* engine);
    // The engine opened the current path: bind it, then open the next one.
    void OnEpocEntryDetails(int32_t result, IEpocEngine* engine);
    // The engine reported the current entry busy: it is opened again, and released once its
    // details are read.
    void OnEntryBusy(IEpocEngine* engine);
    // True while an open is awaited.
    bool IsOpening() const { return m_opening; }
    CEpocDropQueue& Queue() { return m_queue; }

    // The save dialog, the filter and the types; true when the record is complete.
    static bool ChoosePcTarget(QWidget* parent, CDocSynchEntry& record);
    // P with the entry's extension in upper case appended, unless P already holds it in
    // lower or upper case.
    static QString WithTargetExtension(const QString& path, const QString& extension);
    // Registered class text of three EPOC type ids; empty when none.
    static QString EpocClassText(uint32_t uid1, uint32_t uid2, uint32_t uid3);

private:
    void OpenCurrent(IEpocEngine* engine);
    // Issues the open of the current path; false when the engine cannot take it.
    bool IssueOpen(IEpocEngine* engine);
    // Done with the current path (bound, skipped or given up): release it if it was busy,
    // then open the next one.
    void FinishCurrent(IEpocEngine* engine);

    CDovetailManagerView& m_view;
    CEpocDropQueue m_queue;
    std::unique_ptr<IEpocRemoteFile> m_remoteFile;
    // An open is awaited for the current path; answers arriving otherwise are ignored.
    bool m_opening = false;
    int m_busyAnswers = 0;
    IEpocEngine* m_engine = nullptr;
    QTimer m_watchdog;
};
