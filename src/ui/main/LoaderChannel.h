#pragma once

#include "filelist/InfoRowSink.h"
#include "filelist/ReportModel.h"
#include "platform/MessageSink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zorvane {

// One file's row as the loader built it off the window's thread: every cell,
// its colours and record, and the icon name of its type.
struct LoadedRow {
    InfoRowCells cells;
    QString iconName;
};

// The loader thread's way to the window's thread: an ordered queue of rows
// and of calls (status texts, message boxes, the start and end of a load).
// While a load runs, the window's thread looks at the queue every few
// milliseconds and takes off what waits, for a few milliseconds at most, so
// that its event loop keeps turning however fast the loader reads; rows that
// arrive together reach the list with one insert. The loader only ever
// touches the queue under its lock: it posts nothing to the window.
//
// Every wait ends: the loader waits for room only while its load runs, a
// waited call is always carried out by Drain, and Close() ends every wait at
// once.
class LoaderChannel : public QObject {
    Q_OBJECT
public:
    // Beyond this many waiting rows the loader waits for the window.
    static constexpr size_t kMaxWaitingRows = 4000;
    // Rows appended with one insert at most.
    static constexpr size_t kMaxRowsPerBatch = 1000;
    // How often the window's thread looks at the queue during a load.
    static constexpr int kPollMs = 10;
    // After a drain that emptied the queue, rows wait this long for the next,
    // so that they arrive in batches of hundreds rather than a few at a time:
    // every insert costs the list a layout of all its rows. Calls (a box, the
    // end of the load) do not wait.
    static constexpr int kDrainPaceMs = 40;

    using RowsHandler = std::function<void(std::vector<LoadedRow>& rows)>;

    explicit LoaderChannel(QObject* parent = nullptr);
    ~LoaderChannel() override;

    // --- The window's thread --------------------------------------------------

    // What each look at the queue runs; the window drains with its own
    // handlers. Looks start with StartPolling and end with StopPolling.
    void SetDrainRequestHandler(std::function<void()> handler);
    void StartPolling();
    void StopPolling();
    // Takes items off the queue in order for about budgetMs (at least one),
    // rows in runs handed to onRows, calls run in place. Returns whether the
    // queue was found empty. Safe to re-enter from a call's nested event
    // loop: items are taken one run at a time, so the order holds.
    bool Drain(int budgetMs, const RowsHandler& onRows);
    bool HasItems() const;
    // Rows taken off the queue and made ready for the list, waiting for the
    // one insert of their batch. The window's thread only.
    std::vector<NewRow>& ListRows() { return listRows; }
    // Ends every wait of the loader and drops what is queued; the channel
    // takes nothing any more. For the window's end.
    void Close();

    // --- The loader thread -----------------------------------------------------

    // Queues a row. While more than kMaxWaitingRows wait and `running` is
    // still 1, waits for the window to take some.
    void PushRow(LoadedRow&& row, const std::atomic<int32_t>& running);
    // Queues a call for the window's thread and goes on.
    void Post(std::function<void()> call);
    // Queues a call and waits until the window's thread has run it (or the
    // channel was closed).
    void Call(std::function<void()> call);

    // The loader thread's own state, kept here between the files of a load.
    // Forgets what the previous load left.
    void BeginLoaderState();
    // Throttle of the processing window's title: true at most ten times a
    // second.
    bool TitleDue();
    // The icon name of the folder last looked up, so that a folder's files
    // cost one lookup.
    QString CachedIconName(const QString& folder, const QString& path);
    void ForgetIconName() { iconFolder.clear(); }
    // Entries a load left out and must name to the user (FIFOs, devices,
    // names that are not valid UTF-8): shown path and reason.
    void NoteSkipped(const QString& shownPath, const QString& reason);
    QStringList TakeSkipped();

private:
    void Poll();
    bool OnlyRowsWait() const;

    struct Waiter {
        bool done = false;
    };
    struct Item {
        std::unique_ptr<LoadedRow> row; // a row, or
        std::function<void()> call;     // a call
        std::shared_ptr<Waiter> waiter; // set when the loader waits for the call
    };

    void Push(Item&& item);
    void Finish(const std::shared_ptr<Waiter>& waiter);

    mutable std::mutex mutex;
    std::condition_variable roomOrDone;
    std::deque<Item> items;
    size_t waitingRows = 0;
    bool closed = false;
    std::function<void()> drainRequested;
    QTimer pollTimer;
    QElapsedTimer lastDrain;
    bool lastDrainEmptied = false;

    std::vector<NewRow> listRows;

    QElapsedTimer titleClock;
    QString iconFolder;
    QString iconName;
    QStringList skipped;
};

// The info reader's messages during a load: each goes to `show` on the
// window's thread through the channel while the loader waits, unless
// `mayShow` says no (a stop was asked for, or the user silenced them).
class LoaderMessageSink final : public MessageSink {
public:
    LoaderMessageSink(LoaderChannel& channel, std::function<bool()> mayShow,
                      std::function<void(const QString&)> show);
    void ShowError(const QString& text) override;
    void ShowMessage(const QString& text) override;

private:
    LoaderChannel& channel;
    std::function<bool()> mayShow;
    std::function<void(const QString&)> show;
};

} // namespace zorvane
