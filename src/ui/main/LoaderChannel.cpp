#include "LoaderChannel.h"

#include "platform/FileIcons.h"

#include <QThread>

#include <chrono>
#include <utility>

namespace zorvane {

namespace {

// How long the loader sleeps at most before it looks at its stop flag again
// while the queue is full.
constexpr auto kRoomPoll = std::chrono::milliseconds(50);
constexpr qint64 kTitleIntervalMs = 100;

} // namespace

LoaderChannel::LoaderChannel(QObject* parent) : QObject(parent) {
    pollTimer.setInterval(kPollMs);
    connect(&pollTimer, &QTimer::timeout, this, [this] { Poll(); });
}

LoaderChannel::~LoaderChannel() {
    Close();
}

void LoaderChannel::SetDrainRequestHandler(std::function<void()> handler) {
    drainRequested = std::move(handler);
}

void LoaderChannel::StartPolling() {
    if (!pollTimer.isActive()) {
        pollTimer.start();
    }
}

void LoaderChannel::StopPolling() {
    pollTimer.stop();
}

void LoaderChannel::Poll() {
    const bool paced =
        lastDrainEmptied && lastDrain.isValid() && lastDrain.elapsed() < kDrainPaceMs;
    if (paced && OnlyRowsWait()) {
        return;
    }
    lastDrain.start();
    if (drainRequested) {
        drainRequested();
    }
}

bool LoaderChannel::OnlyRowsWait() const {
    const std::lock_guard lock(mutex);
    return !items.empty() && items.size() == waitingRows;
}

bool LoaderChannel::HasItems() const {
    const std::lock_guard lock(mutex);
    return !items.empty();
}

bool LoaderChannel::Drain(int budgetMs, const RowsHandler& onRows) {
    QElapsedTimer spent;
    spent.start();
    do {
        std::vector<LoadedRow> rows;
        Item call;
        {
            const std::lock_guard lock(mutex);
            if (items.empty()) {
                lastDrainEmptied = true;
                return true;
            }
            // A run of rows, or the one call at the front.
            while (!items.empty() && items.front().row && rows.size() < kMaxRowsPerBatch) {
                rows.push_back(std::move(*items.front().row));
                items.pop_front();
            }
            if (rows.empty()) {
                call = std::move(items.front());
                items.pop_front();
            } else {
                waitingRows -= rows.size();
            }
        }
        if (!rows.empty()) {
            // The loader may be waiting for room.
            roomOrDone.notify_all();
            if (onRows) {
                onRows(rows);
            }
        } else {
            if (call.call) {
                call.call();
            }
            Finish(call.waiter);
        }
    } while (spent.elapsed() < budgetMs);
    lastDrainEmptied = !HasItems();
    return lastDrainEmptied;
}

void LoaderChannel::Finish(const std::shared_ptr<Waiter>& waiter) {
    if (!waiter) {
        return;
    }
    {
        const std::lock_guard lock(mutex);
        waiter->done = true;
    }
    roomOrDone.notify_all();
}

void LoaderChannel::Close() {
    pollTimer.stop();
    {
        const std::lock_guard lock(mutex);
        closed = true;
        for (Item& item : items) {
            if (item.waiter) {
                item.waiter->done = true;
            }
        }
        items.clear();
        waitingRows = 0;
    }
    roomOrDone.notify_all();
}

void LoaderChannel::Push(Item&& item) {
    {
        const std::lock_guard lock(mutex);
        if (closed) {
            if (item.waiter) {
                item.waiter->done = true;
            }
            return;
        }
        if (item.row) {
            ++waitingRows;
        }
        items.push_back(std::move(item));
    }
}

void LoaderChannel::PushRow(LoadedRow&& row, const std::atomic<int32_t>& running) {
    {
        std::unique_lock lock(mutex);
        // A load that was asked to stop never waits: the window that stopped
        // it may be waiting for it to end.
        while (!closed && waitingRows >= kMaxWaitingRows && running.load() == 1) {
            roomOrDone.wait_for(lock, kRoomPoll);
        }
    }
    Item item;
    item.row = std::make_unique<LoadedRow>(std::move(row));
    Push(std::move(item));
}

void LoaderChannel::Post(std::function<void()> call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    Item item;
    item.call = std::move(call);
    Push(std::move(item));
}

void LoaderChannel::Call(std::function<void()> call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    auto waiter = std::make_shared<Waiter>();
    Item item;
    item.call = std::move(call);
    item.waiter = waiter;
    Push(std::move(item));
    std::unique_lock lock(mutex);
    roomOrDone.wait(lock, [&] { return waiter->done; });
}

void LoaderChannel::BeginLoaderState() {
    titleClock.invalidate();
    iconFolder.clear();
    skipped.clear();
}

void LoaderChannel::NoteSkipped(const QString& shownPath, const QString& reason) {
    skipped << shownPath + QStringLiteral(": ") + reason;
}

QStringList LoaderChannel::TakeSkipped() {
    return std::exchange(skipped, {});
}

bool LoaderChannel::TitleDue() {
    if (titleClock.isValid() && titleClock.elapsed() < kTitleIntervalMs) {
        return false;
    }
    titleClock.start();
    return true;
}

QString LoaderChannel::CachedIconName(const QString& folder, const QString& path) {
    if (iconFolder.isEmpty() || iconFolder != folder) {
        iconFolder = folder;
        iconName = IconNameForPath(path);
    }
    return iconName;
}

LoaderMessageSink::LoaderMessageSink(LoaderChannel& loaderChannel, std::function<bool()> allowed,
                                     std::function<void(const QString&)> shower)
    : channel(loaderChannel), mayShow(std::move(allowed)), show(std::move(shower)) {}

void LoaderMessageSink::ShowError(const QString& text) {
    if (!mayShow()) {
        return;
    }
    // The loader waits for the answer, as it would for a box of its own; the
    // window asks again when it runs the call, since a stop may come between.
    channel.Call([this, text] {
        if (mayShow()) {
            show(text);
        }
    });
}

void LoaderMessageSink::ShowMessage(const QString& text) {
    ShowError(text);
}

} // namespace zorvane
