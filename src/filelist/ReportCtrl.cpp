// The file list's construction, its notifications and the calls the loader
// thread makes into it. Rows and their states are in ReportCtrlRows.cpp,
// sorting in ReportCtrlSort.cpp, colours and the empty-list hints in
// ReportCtrlPaint.cpp, columns in ReportCtrlColumns.cpp, editing and input in
// ReportCtrlEdit.cpp.

#include "ReportCtrl.h"

#include "ReportDelegate.h"
#include "ReportHeader.h"
#include "ReportRowSink.h"

#include <QCoreApplication>
#include <QScrollBar>

#include <chrono>

namespace zorvane {

namespace {

quint64 MillisecondsSinceStart() {
    // The steady clock counts from boot on the systems we run on, which is
    // what keeps every list showing the same hint at the same time.
    return quint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count());
}

} // namespace

CReportCtrl::CReportCtrl(QWidget* parent) : QTreeView(parent) {
    reportModel = new ReportModel(this);
    reportModel->SetDefaultColours(palette().color(QPalette::Text).rgb(),
                                   palette().color(QPalette::Base).rgb());
    reportHeader = new CReportHeader(this);
    reportHeader->SetReportModel(reportModel);
    setHeader(reportHeader);
    setModel(reportModel);
    delegate = new ReportDelegate(this);
    setItemDelegate(delegate);

    // A flat report: one line per row, the whole row selected, several rows
    // at a time, cells never edited by the view itself.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);

    // Every column can be dragged, Name included: the view's tree column
    // is an ordinary column here.
    reportHeader->setSectionsMovable(true);
    reportHeader->setFirstSectionMovable(true);
    reportHeader->setStretchLastSection(false);
    reportHeader->setSectionsClickable(false);
    reportHeader->setHighlightSections(false);
    reportHeader->setSectionResizeMode(QHeaderView::Interactive);

    connect(reportHeader, &QHeaderView::sectionClicked, this, &CReportCtrl::OnColumnClick);
    connect(reportHeader, &QHeaderView::sectionMoved, this, &CReportCtrl::OnSectionMoved);
    connect(reportHeader, &QHeaderView::sectionResized, this, [this] { PlaceEditor(); });
    connect(reportHeader, &CReportHeader::dividerDragStarting, this,
            [this] { FinishCellEdit(false); });
    connect(reportHeader, &CReportHeader::dividerDoubleClicked, this,
            [this](int column) { AutoSizeColumn(column, false); });
    connect(reportHeader, &CReportHeader::menuRequested, this, &CReportCtrl::OnHeaderMenu);

    // Only the user's own scrolling ends an edit; the list scrolls by itself
    // to bring an edited cell into view.
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { CancelEditFromUser(); });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { CancelEditFromUser(); });
    // Scrolling moves what is already painted; a hint must be drawn whole.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (showEmptyTips != 0 && reportModel->Rows() == 0) {
            viewport()->update();
        }
    });

    hintClock = MillisecondsSinceStart;
    hintTimer.setSingleShot(true);
    hintTimer.setTimerType(Qt::CoarseTimer);
    connect(&hintTimer, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
}

CReportCtrl::~CReportCtrl() = default;

// --- Notifications ----------------------------------------------------------

void CReportCtrl::SetNotifyWindow(QObject* window) {
    notifyWindow = window;
}

void CReportCtrl::SetRedraw(bool on) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetRedraw(on); });
    }
    setUpdatesEnabled(on);
}

// The hint clock lives beside the constructor that installs the default one.
void CReportCtrl::SetHintClock(std::function<quint64()> clock) {
    hintClock = clock ? std::move(clock) : std::function<quint64()>(MillisecondsSinceStart);
    viewport()->update();
}

void CReportCtrl::startDrag(Qt::DropActions) {
    // The rows are files: what a drag carries is their paths, which only the
    // window knows how to build.
    emit dragRequested();
}

// --- The loader thread -------------------------------------------------------------

std::unique_ptr<InfoRowSink> CReportCtrl::RowSink(int row, bool buffered) {
    return std::make_unique<ReportRowSink>(
        *this, row, buffered ? ReportRowSink::Mode::Buffered : ReportRowSink::Mode::Immediate);
}

namespace {

QEvent::Type PendingCallsEvent() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

void CReportCtrl::RunFromOtherThread(const std::function<void()>& run) const {
    // A queue of our own rather than a blocking queued connection: the same
    // wait, but the hand-over goes through locks that thread checkers see,
    // and the window's thread can run exactly these calls while it waits.
    PendingCall call{&run};
    {
        const std::lock_guard lock(callMutex);
        pendingCalls.push_back(&call);
    }
    QCoreApplication::postEvent(const_cast<CReportCtrl*>(this), new QEvent(PendingCallsEvent()));
    std::unique_lock lock(callMutex);
    callDone.wait(lock, [&call] { return call.done; });
}

void CReportCtrl::RunPendingLoaderCalls() {
    for (;;) {
        PendingCall* call = nullptr;
        {
            const std::lock_guard lock(callMutex);
            if (pendingCalls.empty()) {
                return;
            }
            call = pendingCalls.front();
            pendingCalls.pop_front();
        }
        (*call->run)();
        {
            const std::lock_guard lock(callMutex);
            call->done = true;
        }
        callDone.notify_all();
    }
}

bool CReportCtrl::event(QEvent* event) {
    if (event->type() == PendingCallsEvent()) {
        RunPendingLoaderCalls();
        return true;
    }
    return QTreeView::event(event);
}

} // namespace zorvane
