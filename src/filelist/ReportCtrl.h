#pragma once

#include "InfoRowSink.h"
#include "ReportModel.h"
#include "engine/MediaFileInfo.h"

#include <QEvent>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

class QLineEdit;
class QMenu;

namespace zorvane {

class CReportCtrl;
class CReportHeader;
class ProfileStore;
class ReportDelegate;

// One entry of the sort history, 8 bytes when stored.
struct ColumnSortInfo {
    int32_t column = 0;
    int32_t ascending = 1; // 1 ascending, 0 descending
    friend bool operator==(const ColumnSortInfo&, const ColumnSortInfo&) = default;
};

// What the list remembers of a column so that hiding it can be undone.
struct ColumnState {
    uint8_t visible = 1;
    int32_t savedWidth = 0;     // pixels, given back when shown again
    int32_t savedPosition = -1; // display position to return to; -1 until first hidden
};

// Posted to the notify window after every SortByHistory.
inline constexpr QEvent::Type WM_LIST_SORTED = QEvent::Type(42769);
// Sent to the notify window when an in-place edit changed a cell.
inline constexpr QEvent::Type WM_CELL_EDITED = QEvent::Type(42770);

class ListSortedEvent final : public QEvent {
public:
    ListSortedEvent(int sortColumn, bool sortAscending)
        : QEvent(WM_LIST_SORTED), column(sortColumn), ascending(sortAscending) {}
    int column;
    bool ascending;
};

class CellEditedEvent final : public QEvent {
public:
    CellEditedEvent(int editedRow, int editedColumn, CReportCtrl* sender)
        : QEvent(WM_CELL_EDITED), row(editedRow), column(editedColumn), list(sender) {}
    int row;
    int column;
    CReportCtrl* list;
};

// The main window's file list: a report list with one row per file and one
// cell per column, per-cell colours, a record per row, a multi-column sort
// history, zebra colouring, in-place editing of chosen columns, columns that
// can be hidden and shown from the header's menu, and hints painted into the
// empty list.
//
// The row, cell, state, column, sorting and colouring operations may be
// called from the loader thread: they are then carried out on the window's
// thread while the caller waits. The window's thread must therefore never
// block on the loader without running RunPendingLoaderCalls() in its wait.
// The editing and hint accessors and the plain setters belong to the
// window's thread.
class CReportCtrl : public QTreeView {
    Q_OBJECT

public:
    // Bits that describe a row, and select rows when used as a filter.
    enum RowState : unsigned {
        AllRows = 1, // as a filter only
        Selected = 2,
        Unselected = 4,
        Checked = 8,
        Unchecked = 16,
        Focused = 32,
        Unfocused = 64,
    };

    static constexpr int kMaxSortHistory = 6;
    static constexpr int kHintCount = 10;
    static constexpr int kHintPeriodMs = 6000;
    static constexpr QRgb kInvalidRowRgb = 0xffffe1f1u; // 255, 225, 241
    static constexpr QRgb kOddRowRgb = 0xfff3f5fcu;     // 243, 245, 252
    static constexpr QRgb kOddTintRgb = 0xffebeefau;    // 235, 238, 250
    static constexpr QRgb kEvenRowRgb = 0xffffffffu;    // white
    static constexpr QRgb kEvenTintRgb = 0xfff7f8fdu;   // 247, 248, 253
    static constexpr QRgb kHintTextRgb = 0xff6a6affu;   // 106, 106, 255
    static constexpr int kHeaderCaptionLimit = 511;

    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    // --- Notifications and shared flags ---------------------------------

    // Receives WM_LIST_SORTED and WM_CELL_EDITED.
    void SetNotifyWindow(QObject* window);
    QObject* NotifyWindow() const { return notifyWindow; }
    // The main window's busy flag, set around every sort; may be null.
    void SetBusyFlag(std::atomic<int32_t>* flag) { listBusy = flag; }
    // While this flag is set a click on a header sorts nothing (a load is
    // appending rows that its own end will sort); may be null.
    void SetSortRefusedFlag(const std::atomic<int32_t>* flag) { sortRefused = flag; }
    // Stops or resumes painting; ApplyRowColours always resumes it.
    void SetRedraw(bool on);

    // --- Columns ----------------------------------------------------------

    // width < 0: the header's default width. Returns the column's index or -1.
    int InsertColumn(int column, const QString& title, Qt::Alignment alignment = Qt::AlignLeft,
                     int width = -1);
    bool DeleteColumn(int column);
    int ColumnCount() const;
    QString ColumnTitle(int column) const;
    Qt::Alignment ColumnAlignment(int column) const;
    // 0 for a hidden column.
    int ColumnWidth(int column) const;
    // Refused (false) for a hidden column or a negative width.
    bool SetColumnWidth(int column, int width);
    // Logical column indices from left to right.
    QList<int> DisplayOrder() const;
    void SetDisplayOrder(const QList<int>& order);

    // Hides a column (it goes to the left end with width 0) or shows it again
    // (at the right end, with the width it had).
    bool ShowColumn(int column, bool show);
    bool IsColumnVisible(int column) const;
    std::vector<ColumnState> ColumnStates() const;
    // A command of the header menu: the low 16 bits name the column whose
    // visibility flips; anything with high bits set is not ours.
    void HandleHeaderCommand(quint32 command);

    // Fits the column (-1: every column) to its cells, and to its caption too
    // with fitHeader. Hidden columns stay hidden.
    void AutoSizeColumn(int column, bool fitHeader);
    void EnsureColumnVisible(int column, bool partialOk);
    // image: 0 none, 1 ascending arrow, 2 descending arrow.
    void SetHeaderSortImage(int column, int image, bool imageLeft = false);
    int HeaderSortImage(int column) const;
    void EnableHeaderSort(bool on);
    bool HeaderSortEnabled() const;
    // The look of the desktop's file manager: the platform's own style with
    // hot tracking. Always true here.
    bool ApplyExplorerTheme();

    // --- Saved layout ("FileList" section: "Column" and "SortEx") ---------

    // Inserts the file list's columns with their stored widths (defaults when
    // nothing is stored), hides the ones stored hidden, and takes the stored
    // sort history ({0, ascending} when none).
    void LoadColumnLayout(const ProfileStore& store);
    // The width a file list column gets when nothing is stored for it: the
    // column table's width, which is for the 8-point dialog font, scaled
    // with the list's font.
    int DefaultColumnWidth(int column) const;
    void SaveColumnLayout(ProfileStore& store) const;
    // Everything the main window sets up on the file list when it opens:
    // theme, saved layout, header sorting, editing of the Name column, hints.
    void ConfigureFileList(const ProfileStore& store, QObject* window);

    // --- Rows and cells ----------------------------------------------------

    int RowCount() const;
    // Inserts a row before `row` (RowCount() appends); states are RowState
    // bits. Returns the new row's index, or -1 for a negative row.
    int InsertRow(int row, const QString& text = {}, unsigned states = 0, int image = -1);
    // Appends filled rows at the end with one notification of the views, so
    // that thousands of rows cost one layout rather than one each. The texts
    // are moved out of `rows`. Returns the index of the first new row.
    int AppendRows(std::vector<NewRow>& rows);
    QString CellText(int row, int column) const;
    bool SetCellText(int row, int column, const QString& text);
    // decimals >= 0: that many decimals; otherwise "%f" without trailing
    // zeros and point.
    bool SetCellNumber(int row, int column, double value, int decimals);
    static QString NumberText(double value, int decimals);
    // The caller frees the row's record.
    bool DeleteRow(int row, bool selectNext);
    // Deletes the rows matching the filter; returns how many.
    int DeleteRows(unsigned filter);
    // Deletes the rows marked non-zero (one mark per row, from the top);
    // returns how many. The selection of the rows that stay is kept.
    int DeleteRows(const std::vector<char>& marked);
    MediaFileInfo* GetRowData(int row) const;
    bool SetRowData(int row, MediaFileInfo* record);
    // An invalid colour stands for the system's default. A row outside the
    // list means every row, a column outside the columns every column.
    void SetCellTextColour(int row, int column, const QColor& colour, bool redraw);
    void SetCellBackColour(int row, int column, const QColor& colour, bool redraw);
    QColor CellTextColour(int row, int column) const;
    QColor CellBackColour(int row, int column) const;
    // The image of column 0, an index into the small images (-1: none).
    bool SetRowImage(int row, int image);
    int RowImage(int row) const;
    int AddSmallImage(const QIcon& icon);
    void SetSmallImages(const QList<QIcon>& icons);

    // --- Row states ---------------------------------------------------------

    unsigned QueryRowStates(int row) const;
    bool ApplyRowStates(int row, unsigned states);
    int CountRows(unsigned filter) const;
    // The first matching row after `after` (-1: from the top), or -1.
    int NextRow(unsigned filter, int after = -1) const;
    // The selected rows, top to bottom. One pass over the selection's ranges:
    // asking row by row walks every range for each row, which a selection
    // of thousands of single rows turns into seconds. Window's thread only.
    std::vector<int> SelectedRows() const;
    int ApplyStatesToRows(unsigned filter, unsigned states);
    void InvertSelection();
    // Moves a row with its texts, states and record; `to` is brought into the
    // list. Returns the new index, or -1 when `from` is not a row.
    int MoveRow(int from, int to);
    // Scrolls the row fully into view.
    void EnsureRowVisible(int row);

    // --- Sorting -------------------------------------------------------------

    QList<ColumnSortInfo> SortHistory() const;
    void SetSortHistory(const QList<ColumnSortInfo>& history);
    // What a click on a column's header does.
    void OnColumnClick(int column);
    void SortRange(int first, int last, int column, bool ascending);
    void SortByHistory(int first, int last, bool tint);
    // -1, 0 or 1; ties go to the older columns of the sort history.
    int CompareRows(int rowA, int rowB, int column, int depth) const;
    // Byte order of the texts' UTF-8 forms, without making them.
    static int CompareTexts(QStringView a, QStringView b);
    void ApplyRowColours(bool tint);

    // --- In-place editing ----------------------------------------------------

    void SetEditEnabled(bool on);
    bool EditEnabled() const { return editEnabled != 0; }
    void AddEditableColumn(int column);
    std::vector<unsigned> EditableColumns() const { return editableColumns; }
    bool BeginCellEdit(int row, int column);
    // Returns whether the cell changed.
    bool FinishCellEdit(bool commit);
    bool IsEditing() const { return editRow >= 0; }
    int EditRow() const { return editRow; }
    int EditColumn() const { return editColumn; }
    QLineEdit* Editor() const { return editor; }
    // The Name text of the row whose Name is being edited.
    QString NameBeforeEdit() const { return nameBeforeEdit; }
    void SetNameBeforeEdit(const QString& name) { nameBeforeEdit = name; }

    // --- Hints in the empty list ---------------------------------------------

    void SetShowEmptyTips(bool on);
    bool ShowEmptyTips() const { return showEmptyTips != 0; }
    static QString HintText(int index);
    // Which hint shows at `ms` milliseconds after system start.
    static int HintIndexAt(quint64 ms);
    QString CurrentHintText() const;
    // Milliseconds since system start; replaceable so that tests need not wait.
    void SetHintClock(std::function<quint64()> clock);

    // --- The loader thread ---------------------------------------------------

    // The info reader's view of one row (see ReportRowSink). Its writes
    // follow the row if it is moved or sorted meanwhile, and stop when it is
    // deleted. Buffered, the row's changes arrive together when the sink is
    // flushed or destroyed.
    std::unique_ptr<InfoRowSink> RowSink(int row, bool buffered = false);
    // Carries out the calls that loader threads are waiting on; for the
    // window's thread while it waits for a loader to end.
    void RunPendingLoaderCalls();

signals:
    // The user started dragging selected rows; the window builds the drag.
    void dragRequested();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void updateGeometries() override;
    bool event(QEvent* event) override;

private:
    friend class ReportRowSink;

    bool IsWindowThread() const { return QThread::currentThread() == thread(); }
    // Runs fn on the window's thread, waiting for it when called from another.
    template <typename Fn> auto OnWindowThread(Fn&& fn) const -> std::invoke_result_t<Fn&> {
        using Result = std::invoke_result_t<Fn&>;
        if (IsWindowThread()) {
            return fn();
        }
        if constexpr (std::is_void_v<Result>) {
            RunFromOtherThread([&fn] { fn(); });
        } else {
            Result result{};
            RunFromOtherThread([&result, &fn] { result = fn(); });
            return result;
        }
    }
    void RunFromOtherThread(const std::function<void()>& call) const;

    QModelIndex RowIndex(int row, int column = 0) const;
    std::vector<char> SelectedRowMask() const;
    // 1 for each row whose states hold every bit of the filter (all rows
    // for AllRows).
    std::vector<char> MatchingRows(unsigned filter) const;
    void SelectRows(const std::vector<char>& rows, bool select);
    void SetColour(int row, int column, const QColor& colour, bool text, bool redraw);
    void QuickSort(std::vector<int>& rows, int lo, int hi, int column, bool ascending) const;
    int CompareCells(int rowA, int rowB, int column) const;

    void OnSectionMoved(int column, int oldVisual, int newVisual);
    void OnHeaderMenu(const QPoint& globalPosition);
    int HiddenColumnCount() const;
    void ApplyOrder(const QList<int>& order);
    void LoadColumns(const ProfileStore& store);
    void LoadSortHistory(const ProfileStore& store);

    void ShowEditor();
    void PlaceEditor();
    QRect CellLabelRect(int row, int column) const;
    bool EditorKey(QKeyEvent* event);
    void CancelEditFromUser();
    void ScheduleHintRepaint();
    void PaintHint();

    // The members the list is known by, in the order it was first described.
    QPointer<QObject> notifyWindow;
    QList<ColumnSortInfo> sortHistory;
    int32_t showEmptyTips = 0;
    std::vector<ColumnState> columnStates;
    std::vector<unsigned> editableColumns;
    QString nameBeforeEdit;
    QLineEdit* editor = nullptr;
    int32_t editEnabled = 0;
    int32_t editRow = -1;
    int32_t editColumn = -1;
    int32_t editorAlignment = -1;

    ReportModel* reportModel = nullptr;
    CReportHeader* reportHeader = nullptr;
    ReportDelegate* delegate = nullptr;
    std::atomic<int32_t>* listBusy = nullptr;
    const std::atomic<int32_t>* sortRefused = nullptr;
    bool headerSort = false;
    bool finishingEdit = false;
    bool applyingOrder = false;
    // What a left press found, for the release that may start an edit.
    QPersistentModelIndex pressedIndex;
    bool pressMayEdit = false;
    std::function<quint64()> hintClock;
    QTimer hintTimer;
    int lastHintIndex = -1;

    // Calls from other threads, waiting to run on the window's thread.
    struct PendingCall {
        const std::function<void()>* run;
        bool done = false;
    };
    mutable std::mutex callMutex;
    mutable std::condition_variable callDone;
    mutable std::deque<PendingCall*> pendingCalls;
};

} // namespace zorvane
