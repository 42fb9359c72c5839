// The file list filled with a few dozen made-up MP3 files, one of them
// unusable, sorted by Track; or the empty list with its hint. To try the list
// by hand (click headers, right-click the header, edit a name) or to take
// screenshots of it.
//
//   zorvane-filelist-demo [--screenshot FILE] [--empty-screenshot FILE] [--hint N]
//                         [--edit-screenshot FILE] [--timings ROWS]
//
// With a screenshot option the demo takes its pictures and quits; --timings
// fills a shown list with ROWS rows, from the window's thread and from a
// loader thread, sorts it by every column, recolours and empties it, and
// prints how long each step took. It keeps its layout in a temporary file,
// never in the user's store.

#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "platform/ProfileStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace zorvane;

namespace {

// Answers the list's sort notification the way the main window does: the
// sorted column shows its direction, every other column nothing.
class SortImages final : public QObject {
public:
    explicit SortImages(CReportCtrl& reportList) : list(reportList) {}

protected:
    bool event(QEvent* event) override {
        if (event->type() != WM_LIST_SORTED) {
            return QObject::event(event);
        }
        const auto* sorted = static_cast<ListSortedEvent*>(event);
        for (int column = 0; column < list.ColumnCount(); ++column) {
            list.SetHeaderSortImage(column,
                                    column != sorted->column ? 0 : (sorted->ascending ? 1 : 2));
        }
        return true;
    }

private:
    CReportCtrl& list;
};

struct Album {
    QString artist;
    QString album;
    QString genre;
    QString year;
    QStringList titles;
};

const std::vector<Album>& Albums() {
    static const std::vector<Album> albums = {
        {u"Harbour Lights"_s,
         u"Tidal Notes"_s,
         u"Ambient"_s,
         u"2019"_s,
         {u"Low Water"_s, u"Buoy"_s, u"Salt Wind"_s, u"Night Ferry"_s, u"Fog Horn"_s,
          u"Breakwater"_s, u"Drift"_s, u"Shoreline"_s, u"Lantern"_s, u"Ebb"_s, u"Tide Table"_s,
          u"Moorings"_s}},
        {u"The Quiet Engines"_s,
         u"Slow Machines"_s,
         u"Post-Rock"_s,
         u"2021"_s,
         {u"Idle"_s, u"Governor"_s, u"Flywheel"_s, u"Piston Song"_s, u"Cooling"_s, u"Overhaul"_s,
          u"Escapement"_s, u"Last Shift"_s}},
        {u"Lecture Series"_s,
         u"Physics of Sound"_s,
         u"Speech"_s,
         u"2018"_s,
         {u"Waves and Pressure"_s, u"Resonance"_s, u"Hearing"_s, u"Rooms"_s, u"Recording"_s,
          u"Compression"_s, u"Tempo and Pitch"_s, u"Summary"_s, u"Questions"_s, u"Appendix"_s}},
    };
    return albums;
}

// Fills the list with rows as the loader would, records owned by `records`.
void FillList(CReportCtrl& list, std::vector<std::unique_ptr<MediaFileInfo>>& records,
              int fileIcon) {
    const QDateTime modified(QDate(2024, 3, 14), QTime(9, 26, 53));
    int serial = 0;
    for (const Album& album : Albums()) {
        const int total = int(album.titles.size());
        for (int track = 1; track <= total; ++track, ++serial) {
            auto info = std::make_unique<MediaFileInfo>();
            const QString title = album.titles[track - 1];
            const int row = list.InsertRow(
                list.RowCount(), u"%1 - %2.mp3"_s.arg(track, 2, 10, QLatin1Char('0')).arg(title), 0,
                fileIcon);
            list.SetRowData(row, info.get());
            info->formatCode = 2;
            info->tagFlags = 3;
            info->trackNumber = uint8_t(track);
            info->trackTotal = uint8_t(total);
            info->sampleRate = serial % 5 == 0 ? 48000 : 44100;
            info->channels = album.genre == u"Speech" ? 1 : 2;
            info->bitrateKbps = album.genre == u"Speech" ? 64 : (serial % 3 == 0 ? 320 : 192);
            info->durationSeconds = 95.0 + (serial * 37) % 300;
            info->sizeMB = info->durationSeconds * info->bitrateKbps / 8.0 / 1024.0;
            info->artist = album.artist;
            info->album = album.album;
            info->track = u"%1/%2"_s.arg(track).arg(total);
            info->title = title;
            info->genre = album.genre;
            info->date = album.year;
            list.SetCellText(row, ColumnPath,
                             u"/home/ada/Music/%1/%2/"_s.arg(album.artist, album.album));
            list.SetCellText(row, ColumnType, u"MP3"_s);
            list.SetCellText(row, ColumnTag, u"ID3v1, ID3v2"_s);
            list.SetCellText(row, ColumnArtist, info->artist);
            list.SetCellText(row, ColumnAlbumArtist, info->artist);
            list.SetCellText(row, ColumnAlbum, info->album);
            list.SetCellText(row, ColumnTrack, info->track);
            list.SetCellText(row, ColumnTitle, info->title);
            list.SetCellText(row, ColumnGenre, info->genre);
            list.SetCellText(row, ColumnDate, info->date);
            list.SetCellNumber(row, ColumnSize, info->sizeMB, 2);
            list.SetCellText(row, ColumnLastModified,
                             modified.addSecs(serial * 4111).toString(u"yyyy/MM/dd HH:mm:ss"_s));
            list.SetCellText(row, ColumnDuration, DurationText(info->durationSeconds));
            list.SetCellText(row, ColumnFrequency, FrequencyText(info->sampleRate));
            list.SetCellText(row, ColumnChannel, ChannelText(info->channels));
            list.SetCellText(row, ColumnBitrate, BitrateText(info->bitrateKbps));
            records.push_back(std::move(info));
        }
    }
    // A file the decoder refused: no tags, no stream, Type in red.
    auto broken = std::make_unique<MediaFileInfo>();
    broken->invalid = 1;
    broken->formatCode = 2;
    broken->sizeMB = 0.01;
    const int row = list.InsertRow(list.RowCount(), u"truncated download.mp3"_s, 0, fileIcon);
    list.SetRowData(row, broken.get());
    list.SetCellText(row, ColumnPath, u"/home/ada/Downloads/"_s);
    list.SetCellText(row, ColumnType, u"Unknown"_s);
    list.SetCellTextColour(row, ColumnType, QColor::fromRgba(kInvalidTypeTextRgb), true);
    list.SetCellNumber(row, ColumnSize, broken->sizeMB, 2);
    list.SetCellText(row, ColumnLastModified, modified.toString(u"yyyy/MM/dd HH:mm:ss"_s));
    records.push_back(std::move(broken));
}

// One made-up file per row, all 18 cells written through a row sink as the
// info reader writes them.
void AddTimedRow(CReportCtrl& list, MediaFileInfo* info, int serial, bool buffered) {
    const int row = list.InsertRow(list.RowCount());
    list.SetRowData(row, info);
    info->trackNumber = uint8_t(serial * 7 % 30);
    info->trackTotal = 30;
    info->sampleRate = serial % 3 == 0 ? 48000 : 44100;
    info->channels = 1 + serial % 2;
    info->bitrateKbps = 64 + serial * 32 % 256;
    info->sizeMB = (serial * 7919 % 10007) / 997.0;
    info->durationSeconds = serial * 13 % 4000;
    info->invalid = serial % 97 == 0 ? 1 : 0;
    const std::unique_ptr<InfoRowSink> cells = list.RowSink(row, buffered);
    cells->SetCellText(ColumnName, u"file %1.mp3"_s.arg(serial * 7919 % 10007));
    cells->SetCellText(ColumnPath, u"/music/folder %1/"_s.arg(serial % 40));
    cells->SetCellText(ColumnType, u"MP3"_s);
    cells->SetCellText(ColumnTag, u"ID3v2"_s);
    cells->SetCellText(ColumnArtist, u"Artist %1"_s.arg(serial % 113));
    cells->SetCellText(ColumnAlbumArtist, u"Artist %1"_s.arg(serial % 113));
    cells->SetCellText(ColumnAlbum, u"Album %1"_s.arg(serial % 331));
    cells->SetCellText(ColumnTrack, u"%1/30"_s.arg(info->trackNumber));
    cells->SetCellText(ColumnTitle, u"Title %1"_s.arg(serial * 31 % 1009));
    cells->SetCellText(ColumnGenre, u"Genre %1"_s.arg(serial % 17));
    cells->SetCellText(ColumnDate, QString::number(1960 + serial % 60));
    cells->SetCellText(ColumnComment, QString());
    cells->SetCellText(ColumnSize, CReportCtrl::NumberText(info->sizeMB, 2));
    cells->SetCellText(ColumnLastModified,
                       QDateTime::fromSecsSinceEpoch(1600000000 + serial * 7717LL % 99999999)
                           .toString(u"yyyy/MM/dd HH:mm:ss"_s));
    cells->SetCellText(ColumnDuration, DurationText(info->durationSeconds));
    cells->SetCellText(ColumnFrequency, FrequencyText(info->sampleRate));
    cells->SetCellText(ColumnChannel, ChannelText(info->channels));
    cells->SetCellText(ColumnBitrate, BitrateText(info->bitrateKbps));
}

// Fills the list from a loader thread while the window's thread runs its
// event loop, then sorts from there too, as a load ends.
void LoadFromThread(CReportCtrl& list, std::vector<std::unique_ptr<MediaFileInfo>>& records,
                    bool buffered) {
    std::atomic<bool> done{false};
    std::thread loader([&] {
        list.SetRedraw(false);
        for (int i = 0; i < int(records.size()); ++i) {
            AddTimedRow(list, records[size_t(i)].get(), i, buffered);
        }
        list.SortByHistory(0, list.RowCount() - 1, true);
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done) {
            loop.quit();
        }
    });
    poll.start(10);
    loop.exec();
    loader.join();
}

// The list being timed, shown at a fixed size, with one record ready per
// row, and the clock every step is timed by.
struct TimingRun {
    explicit TimingRun(int rowCount);
    // Ends a step begun with clock.start().
    void Report(const QString& what);

    const int rows;
    QTextStream out{stdout};
    QTemporaryDir folder;
    ProfileStore store{folder.filePath(u"Zorvane.conf"_s)};
    CReportCtrl list;
    std::vector<std::unique_ptr<MediaFileInfo>> records;
    QElapsedTimer clock;
};

TimingRun::TimingRun(int rowCount) : rows(rowCount) {
    list.ConfigureFileList(store, nullptr);
    list.resize(1200, 700);
    list.show();
    QApplication::processEvents();
    for (int i = 0; i < rows; ++i) {
        records.push_back(std::make_unique<MediaFileInfo>());
    }
}

void TimingRun::Report(const QString& what) {
    QApplication::processEvents(); // the repaint that follows belongs to the step
    out << what << u": "_s << clock.elapsed() << u" ms"_s << Qt::endl;
}

// Times `work` and the repaint that follows it.
template <typename Work> void Step(TimingRun& run, const QString& what, Work&& work) {
    run.clock.start();
    work();
    run.Report(what);
}

// What one call from the loader costs by itself.
void TimeEmptyLoaderCalls(TimingRun& run) {
    std::atomic<bool> done{false};
    run.clock.start();
    std::thread caller([&] {
        for (int i = 0; i < run.rows; ++i) {
            run.list.RowCount();
        }
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    caller.join();
    run.Report(u"%1 empty calls from a loader thread"_s.arg(run.rows));
}

// Every column clicked twice, the second click reversing the first, with
// every row selected so that the selection travels with the rows.
void TimeSorts(TimingRun& run) {
    run.list.ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Selected);
    int slowest = 0;
    QString slowestColumn;
    for (int column = 0; column < kFileColumnCount; ++column) {
        const QString title = kFileColumns[size_t(column)].title.toString();
        for (int pass = 0; pass < 2; ++pass) {
            run.clock.start();
            run.list.OnColumnClick(column);
            QApplication::processEvents();
            const int ms = int(run.clock.elapsed());
            run.out << u"sort by "_s << title
                    << (pass == 0 ? u" (first click)"_s : u" (reversed)"_s) << u": "_s << ms
                    << u" ms"_s << Qt::endl;
            if (ms > slowest) {
                slowest = ms;
                slowestColumn = title;
            }
        }
    }
    run.out << u"slowest sort: "_s << slowestColumn << u", "_s << slowest << u" ms"_s << Qt::endl;
}

int Timings(int rows) {
    TimingRun run(rows);
    CReportCtrl& list = run.list;
    Step(run, u"insert %1 rows, 18 cells each, window thread"_s.arg(rows), [&] {
        for (int i = 0; i < rows; ++i) {
            AddTimedRow(list, run.records[size_t(i)].get(), i, false);
        }
    });
    Step(run, u"delete all rows at once"_s, [&] { list.DeleteRows(CReportCtrl::AllRows); });
    TimeEmptyLoaderCalls(run);
    Step(run, u"insert %1 rows from a loader thread, buffered sink, then sort"_s.arg(rows),
         [&] { LoadFromThread(list, run.records, true); });
    // Both loads start from an empty list, so that they compare.
    list.DeleteRows(CReportCtrl::AllRows);
    Step(run, u"insert %1 rows from a loader thread, a call per cell, then sort"_s.arg(rows),
         [&] { LoadFromThread(list, run.records, false); });
    TimeSorts(run);
    Step(run, u"recolour all rows"_s, [&] { list.ApplyRowColours(true); });
    Step(run, u"invert and select all"_s, [&] {
        list.InvertSelection();
        list.ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Selected);
    });
    Step(run, u"size every column to its cells"_s, [&] { list.AutoSizeColumn(-1, false); });
    Step(run, u"move the last row to the top 1000 times"_s, [&] {
        for (int i = 0; i < 1000; ++i) {
            list.MoveRow(rows - 1, 0);
        }
    });
    // Row by row, as Remove All takes them out.
    Step(run, u"delete row 0 until empty (Remove All)"_s, [&] {
        while (list.RowCount() > 0) {
            list.DeleteRow(0, false);
        }
    });
    return 0;
}

bool Save(QWidget& widget, const QString& path) {
    return widget.grab().save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption shot(u"screenshot"_s, u"Save the filled list to FILE and quit."_s,
                                  u"FILE"_s);
    const QCommandLineOption emptyShot(
        u"empty-screenshot"_s, u"Save the empty list with its hint to FILE and quit."_s, u"FILE"_s);
    const QCommandLineOption hint(u"hint"_s, u"Show hint N (0-9) in the empty list."_s, u"N"_s);
    const QCommandLineOption editShot(
        u"edit-screenshot"_s, u"Save the list renaming a file to FILE and quit."_s, u"FILE"_s);
    const QCommandLineOption timings(u"timings"_s, u"Time the list's work with ROWS rows."_s,
                                     u"ROWS"_s);
    parser.addOptions({shot, emptyShot, hint, editShot, timings});
    parser.process(app);
    if (parser.isSet(timings)) {
        return Timings(parser.value(timings).toInt());
    }

    QTemporaryDir folder;
    ProfileStore store(folder.filePath(u"Zorvane.conf"_s));

    CReportCtrl list;
    SortImages sortImages(list);
    list.setWindowTitle(u"Zorvane file list"_s);
    list.ConfigureFileList(store, &sortImages);
    const int fileIcon = list.AddSmallImage(list.style()->standardIcon(QStyle::SP_FileIcon));
    std::vector<std::unique_ptr<MediaFileInfo>> records;
    FillList(list, records, fileIcon);
    list.SetSortHistory({ColumnSortInfo{ColumnTrack, 1}, ColumnSortInfo{ColumnAlbum, 1}});
    list.SortByHistory(0, list.RowCount() - 1, true);
    list.ApplyRowStates(5, CReportCtrl::Selected | CReportCtrl::Focused);
    list.resize(1180, 640);

    CReportCtrl empty;
    empty.setWindowTitle(u"Zorvane empty file list"_s);
    QTemporaryDir emptyFolder;
    ProfileStore emptyStore(emptyFolder.filePath(u"Zorvane.conf"_s));
    empty.ConfigureFileList(emptyStore, nullptr);
    if (parser.isSet(hint)) {
        const quint64 at = parser.value(hint).toULongLong() * CReportCtrl::kHintPeriodMs;
        empty.SetHintClock([at] { return at; });
    }
    empty.resize(760, 420);

    const bool takePictures =
        parser.isSet(shot) || parser.isSet(emptyShot) || parser.isSet(editShot);
    if (!takePictures) {
        list.show();
        empty.show();
        return app.exec();
    }
    int failures = 0;
    if (parser.isSet(shot)) {
        list.show();
        QApplication::processEvents();
        failures += Save(list, parser.value(shot)) ? 0 : 1;
    }
    if (parser.isSet(editShot)) {
        list.show();
        list.BeginCellEdit(5, ColumnName);
        QApplication::processEvents();
        failures += Save(list, parser.value(editShot)) ? 0 : 1;
        list.FinishCellEdit(false);
    }
    if (parser.isSet(emptyShot)) {
        empty.show();
        QApplication::processEvents();
        failures += Save(empty, parser.value(emptyShot)) ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
