#pragma once

#include "InfoRowSink.h"
#include "engine/MediaFileInfo.h"

#include <QPersistentModelIndex>
#include <QString>

#include <memory>
#include <vector>

namespace zorvane {

class CReportCtrl;

// One row of the file list as the info reader sees it. Made and used on the
// loader thread; every access to the list runs on the list's thread while the
// loader waits. The row is tracked, not its index: if the user sorts or moves
// rows during a load, the writes still reach the file they belong to, and
// after the row is deleted they go nowhere.
//
// Immediate: every read and write is one call on the list's thread.
// Buffered: the row's cells are read once when the sink is made, reads and
// writes then use that copy, and the changed cells reach the list together
// on Flush() or when the sink goes away. A call to the window's thread costs
// far more than the work it carries, and the reader makes about twenty per
// file; buffered, a row costs two.
class ReportRowSink final : public InfoRowSink {
public:
    enum class Mode { Immediate, Buffered };

    ReportRowSink(CReportCtrl& list, int row, Mode mode = Mode::Immediate);
    ~ReportRowSink() override;
    ReportRowSink(const ReportRowSink&) = delete;
    ReportRowSink& operator=(const ReportRowSink&) = delete;

    // The row's record; a record of its own when the row has none, so that
    // the reader always has somewhere to write.
    MediaFileInfo& Info() override;
    QString CellText(int column) const override;
    void SetCellText(int column, const QString& text) override;
    void SetCellTextColor(int column, uint32_t rgb) override;
    // Where the row is now; -1 once it was deleted.
    int Row() const;
    // Hands the buffered changes to the list; nothing to do when immediate.
    void Flush();

private:
    struct Cell {
        QString text;
        uint32_t textRgb = 0;
        bool textChanged = false;
        bool colourChanged = false;
    };

    void FlushOnWindowThread();

    CReportCtrl& list;
    const Mode mode;
    // Made, read and destroyed on the list's thread only.
    std::unique_ptr<QPersistentModelIndex> where;
    MediaFileInfo* info = nullptr;
    MediaFileInfo spare;
    std::vector<Cell> cells; // buffered mode only
};

} // namespace zorvane
