#pragma once

#include "FileListColumns.h"
#include "engine/MediaFileInfo.h"

#include <QString>

#include <array>
#include <cstdint>

namespace zorvane {

// The one row that the info reader fills: its record and its cells. The file
// list implements it over a list row (delivering each write to the window's
// thread and waiting for it); the command-line tool and the tests use
// InfoRowCells. Columns are FileColumn values.
class InfoRowSink {
public:
    virtual ~InfoRowSink() = default;
    virtual MediaFileInfo& Info() = 0;
    virtual QString CellText(int column) const = 0;
    virtual void SetCellText(int column, const QString& text) = 0;
    // rgb as a QRgb (0xAARRGGBB); the list repaints the cell.
    virtual void SetCellTextColor(int column, uint32_t rgb) = 0;
};

// A row kept in memory: the record, every cell's text and colour.
class InfoRowCells final : public InfoRowSink {
public:
    static constexpr uint32_t kDefaultTextRgb = 0xff000000u;

    MediaFileInfo& Info() override { return info; }
    QString CellText(int column) const override;
    void SetCellText(int column, const QString& text) override;
    void SetCellTextColor(int column, uint32_t rgb) override;
    uint32_t CellTextColor(int column) const;

    MediaFileInfo info;

private:
    static bool IsColumn(int column) { return column >= 0 && column < kFileColumnCount; }

    std::array<QString, kFileColumnCount> cells;
    std::array<uint32_t, kFileColumnCount> colors = MakeDefaultColors();

    static constexpr std::array<uint32_t, kFileColumnCount> MakeDefaultColors() {
        std::array<uint32_t, kFileColumnCount> all{};
        all.fill(kDefaultTextRgb);
        return all;
    }
};

} // namespace zorvane
