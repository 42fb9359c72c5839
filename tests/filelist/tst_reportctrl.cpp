// The file list control driven as the main window, the loader thread and the
// user drive it: rows filled and sorted, header clicks and drags, the header
// menu, in-place editing with mouse and keys, the saved layout across a
// restart, and the hint in the empty list.

#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "filelist/ReportHeader.h"
#include "platform/ProfileStore.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

using namespace zorvane;
using namespace Qt::Literals::StringLiterals;

namespace {

using History = QList<ColumnSortInfo>;

// Stands in for the main window: keeps what the list tells it.
class NotifyWindow final : public QObject {
public:
    struct Sort {
        int column;
        bool ascending;
    };
    struct Edit {
        int row;
        int column;
        QString text;
    };
    QList<Sort> sorted;
    QList<Edit> edits;

protected:
    bool event(QEvent* event) override {
        if (event->type() == WM_LIST_SORTED) {
            const auto* done = static_cast<ListSortedEvent*>(event);
            sorted.append({done->column, done->ascending});
            return true;
        }
        if (event->type() == WM_CELL_EDITED) {
            const auto* edited = static_cast<CellEditedEvent*>(event);
            edits.append(
                {edited->row, edited->column, edited->list->CellText(edited->row, edited->column)});
            return true;
        }
        return QObject::event(event);
    }
};

// A file list configured as the main window configures it, with its layout
// in a store of its own.
struct FileList {
    explicit FileList(const QString& storePath = {})
        : store(storePath.isEmpty() ? dir.filePath(u"Zorvane.conf"_s) : storePath) {
        list.ConfigureFileList(store, &window);
        list.resize(900, 400);
    }

    int Add(const QString& name) {
        auto info = std::make_unique<MediaFileInfo>();
        const int row = list.InsertRow(list.RowCount(), name);
        list.SetRowData(row, info.get());
        records.push_back(std::move(info));
        return row;
    }
    MediaFileInfo& Info(int row) { return *list.GetRowData(row); }
    QStringList Names() const {
        QStringList names;
        for (int row = 0; row < list.RowCount(); ++row) {
            names.append(list.CellText(row, ColumnName));
        }
        return names;
    }
    void Show() {
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
    }
    CReportHeader* Header() { return static_cast<CReportHeader*>(list.header()); }
    QPoint CellCentre(int row, int column) {
        return list.visualRect(list.model()->index(row, column)).center();
    }
    int Selected() const { return list.CountRows(CReportCtrl::Selected); }

    QTemporaryDir dir;
    ProfileStore store;
    NotifyWindow window;
    CReportCtrl list;
    std::vector<std::unique_ptr<MediaFileInfo>> records;
};

QList<qint32> Unpack(const QByteArray& bytes) {
    QList<qint32> values;
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
        values.append(qFromLittleEndian<qint32>(bytes.constData() + at));
    }
    return values;
}

QByteArray Pack(const QList<qint32>& values) {
    return PackInt32LittleEndian(values);
}

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& position,
               Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, position, target->mapToGlobal(position),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The pixels of a widget that are clearly blue, as the hint's text is in
// whatever shade the list picks to keep it readable on its band.
int CountBluePixels(QWidget* widget) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            count += qBlue(line[x]) > std::max(qRed(line[x]), qGreen(line[x])) + 60 ? 1 : 0;
        }
    }
    return count;
}

// Runs `inspect` on the popup menu that the next call opens, then closes it
// or lets the chosen action fire.
void WhenMenuOpens(std::function<QAction*(QMenu*)> inspect, bool* opened) {
    QTimer::singleShot(0, [inspect, opened] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        *opened = menu != nullptr;
        if (menu == nullptr) {
            return;
        }
        QAction* chosen = inspect(menu);
        if (chosen != nullptr) {
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            menu->close();
        }
    });
}

} // namespace

class TestReportCtrl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void numberText_data();
    void numberText();
    void rowsCarryRecordAndDefaultColours();
    void insertColumnGivesEveryRowItsCells();
    void rowStates();
    void deleteRowsByFilter();
    void deleteRowSelectsNext();

    void clicksBuildSortHistory_data();
    void clicksBuildSortHistory();
    void headerClickSortsOnlyWithHeaderSort();
    void sortPostsNotificationAndHoldsBusyFlag();
    void typedComparisons_data();
    void typedComparisons();
    void tiesFollowHistoryInPrimaryDirection();
    void textOrderIsUtf8ByteOrder_data();
    void textOrderIsUtf8ByteOrder();
    void selectionAndRecordsMoveWithRows();
    void shortRangesAreNotReordered();

    void zebraAndInvalidColours();
    void tintOnlyAfterSortWithTint();
    void coloursArePainted();
    void cellColourOperations();

    void clickStartsEdit_data();
    void clickStartsEdit();
    void enterCommitsChangedName();
    void enterWithUnchangedNameSendsNothing();
    void escapeCancels();
    void tabMovesBetweenEditableColumns();
    void upAndDownWrap();
    void mousePressCommitsScrollingCancels();
    void editFollowsItsRowThroughASort();
    void spaceIsSwallowed();

    void moveRow_data();
    void moveRow();

    void hideAndShowColumn();
    void hiddenColumnsRefuseWidth();
    void headerDropNeverLandsAmongHidden();
    void draggedHeaderStaysRightOfHidden();
    void dividerDoubleClickFitsCellsOnly();
    void headerMenu();
    void headerMenuFromKeyboardDoesNothing();
    void ensureColumnVisible_data();
    void ensureColumnVisible();

    void layoutSurvivesRestart();
    void missingLayoutGivesDefaults();
    void defaultWidthsFollowTheFont();
    void damagedLayoutIsRead_data();
    void damagedLayoutIsRead();

    void hintIndexFollowsClock_data();
    void hintIndexFollowsClock();
    void hintIsPaintedOnlyInEmptyList();

    void loaderThreadWritesThroughSink();
    void sinkFollowsItsRow();
    void loaderThreadLoadsAndSorts();
};

void TestReportCtrl::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

// --- Rows and cells -----------------------------------------------------------

void TestReportCtrl::numberText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("two decimals") << 3.14159 << 2 << u"3.14"_s;
    QTest::newRow("size rounds") << 9.999 << 2 << u"10.00"_s;
    // As C formats: an exact tie goes to the even digit.
    QTest::newRow("no decimals") << 2.5 << 0 << u"2"_s;
    QTest::newRow("exact tie") << 1.125 << 2 << u"1.12"_s;
    QTest::newRow("negative") << -0.5 << 1 << u"-0.5"_s;
    QTest::newRow("trimmed zeros") << 2.5 << -1 << u"2.5"_s;
    QTest::newRow("trimmed point") << 100.0 << -1 << u"100"_s;
    QTest::newRow("zero") << 0.0 << -1 << u"0"_s;
    QTest::newRow("six places") << 0.125 << -1 << u"0.125"_s;
    QTest::newRow("beyond six places") << 0.0000004 << -1 << u"0"_s;
}

void TestReportCtrl::numberText() {
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    FileList files;
    const int row = files.Add(u"a.mp3"_s);
    QVERIFY(files.list.SetCellNumber(row, ColumnSize, value, decimals));
    QCOMPARE(files.list.CellText(row, ColumnSize), text);
}

void TestReportCtrl::rowsCarryRecordAndDefaultColours() {
    FileList files;
    QCOMPARE(files.list.ColumnCount(), kFileColumnCount);
    const int row = files.list.InsertRow(0, u"first.mp3"_s);
    QCOMPARE(row, 0);
    QCOMPARE(files.list.GetRowData(row), nullptr);
    MediaFileInfo info;
    QVERIFY(files.list.SetRowData(row, &info));
    QCOMPARE(files.list.GetRowData(row), &info);
    QCOMPARE(files.list.CellText(row, ColumnName), u"first.mp3"_s);
    const QPalette palette = files.list.palette();
    for (int column = 0; column < kFileColumnCount; ++column) {
        QCOMPARE(files.list.CellTextColour(row, column), palette.color(QPalette::Text));
        QCOMPARE(files.list.CellBackColour(row, column), palette.color(QPalette::Base));
    }
    // Past the end appends; before the start is refused.
    QCOMPARE(files.list.InsertRow(99, u"last.mp3"_s), 1);
    QCOMPARE(files.list.InsertRow(-1, u"never.mp3"_s), -1);
    QCOMPARE(files.list.RowCount(), 2);
    QVERIFY(!files.list.SetCellText(5, 0, u"x"_s));
    QVERIFY(!files.list.SetCellText(0, kFileColumnCount, u"x"_s));
    QCOMPARE(files.list.GetRowData(7), nullptr);
}

void TestReportCtrl::insertColumnGivesEveryRowItsCells() {
    CReportCtrl list;
    list.InsertColumn(0, u"A"_s, Qt::AlignLeft, 80);
    list.InsertColumn(1, u"C"_s, Qt::AlignRight);
    list.InsertRow(0, u"a0"_s);
    list.InsertRow(1, u"a1"_s);
    list.SetCellText(0, 1, u"c0"_s);
    list.SetCellBackColour(0, 1, QColor(1, 2, 3), false);

    QCOMPARE(list.InsertColumn(1, u"B"_s, Qt::AlignHCenter, 64), 1);
    QCOMPARE(list.ColumnCount(), 3);
    QCOMPARE(list.ColumnTitle(1), u"B"_s);
    QCOMPARE(list.CellText(0, 1), QString());
    QCOMPARE(list.CellText(0, 2), u"c0"_s);
    QCOMPARE(list.CellBackColour(0, 2), QColor(1, 2, 3));
    QCOMPARE(list.CellBackColour(1, 1), list.palette().color(QPalette::Base));
    const std::vector<ColumnState> states = list.ColumnStates();
    QCOMPARE(states.size(), size_t(3));
    QCOMPARE(states[1].visible, uint8_t(1));
    QCOMPARE(states[1].savedWidth, 64);
    QCOMPARE(states[1].savedPosition, -1);
    QCOMPARE(states[2].savedWidth, 0); // inserted without a width
    QCOMPARE(list.ColumnWidth(1), 64);

    QVERIFY(list.DeleteColumn(0));
    QCOMPARE(list.ColumnStates().size(), size_t(2));
    QCOMPARE(list.CellText(0, 1), u"c0"_s);
}

void TestReportCtrl::rowStates() {
    FileList files;
    for (int i = 0; i < 6; ++i) {
        files.Add(u"f%1.mp3"_s.arg(i));
    }
    CReportCtrl& list = files.list;
    QCOMPARE(list.QueryRowStates(2),
             unsigned(CReportCtrl::Unselected | CReportCtrl::Unchecked | CReportCtrl::Unfocused));
    QVERIFY(list.ApplyRowStates(2, CReportCtrl::Selected | CReportCtrl::Focused));
    QCOMPARE(list.QueryRowStates(2),
             unsigned(CReportCtrl::Selected | CReportCtrl::Unchecked | CReportCtrl::Focused));
    QVERIFY(list.ApplyRowStates(4, CReportCtrl::Selected | CReportCtrl::Checked));
    QVERIFY(!list.ApplyRowStates(9, CReportCtrl::Selected));
    QVERIFY(list.ApplyRowStates(9, 0));

    QCOMPARE(list.CountRows(CReportCtrl::AllRows), 6);
    QCOMPARE(list.CountRows(CReportCtrl::Selected), 2);
    QCOMPARE(list.CountRows(CReportCtrl::Unselected), 4);
    QCOMPARE(list.CountRows(CReportCtrl::Selected | CReportCtrl::Checked), 1);
    QCOMPARE(list.CountRows(CReportCtrl::Focused), 1);
    QCOMPARE(list.NextRow(CReportCtrl::Selected), 2);
    QCOMPARE(list.NextRow(CReportCtrl::Selected, 2), 4);
    QCOMPARE(list.NextRow(CReportCtrl::Selected, 4), -1);
    QCOMPARE(list.NextRow(CReportCtrl::Unselected, 2), 3);
    QCOMPARE(list.NextRow(CReportCtrl::AllRows, 5), -1);
    QCOMPARE(list.NextRow(CReportCtrl::AllRows), 0);

    list.InvertSelection();
    QCOMPARE(list.CountRows(CReportCtrl::Selected), 4);
    QCOMPARE(list.NextRow(CReportCtrl::Selected), 0);
    QCOMPARE(list.NextRow(CReportCtrl::Selected, 1), 3);

    QCOMPARE(list.ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Selected), 6);
    QCOMPARE(list.CountRows(CReportCtrl::Selected), 6);
    QCOMPARE(list.ApplyStatesToRows(CReportCtrl::Checked, CReportCtrl::Unselected), 1);
    QCOMPARE(list.QueryRowStates(4) & CReportCtrl::Selected, 0u);
    QCOMPARE(list.ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Unselected), 6);
    QCOMPARE(list.CountRows(CReportCtrl::Selected), 0);
    QVERIFY(list.ApplyRowStates(2, CReportCtrl::Unfocused));
    QCOMPARE(list.CountRows(CReportCtrl::Focused), 0);
}

void TestReportCtrl::deleteRowsByFilter() {
    FileList files;
    for (int i = 0; i < 8; ++i) {
        files.Add(u"f%1.mp3"_s.arg(i));
    }
    for (int row : {1, 2, 5, 7}) {
        files.list.ApplyRowStates(row, CReportCtrl::Selected);
    }
    QCOMPARE(files.list.DeleteRows(CReportCtrl::Selected), 4);
    QCOMPARE(files.Names(), (QStringList{u"f0.mp3"_s, u"f3.mp3"_s, u"f4.mp3"_s, u"f6.mp3"_s}));
    QCOMPARE(files.list.DeleteRows(CReportCtrl::AllRows), 4);
    QCOMPARE(files.list.RowCount(), 0);
}

void TestReportCtrl::deleteRowSelectsNext() {
    FileList files;
    for (int i = 0; i < 3; ++i) {
        files.Add(u"f%1.mp3"_s.arg(i));
    }
    QVERIFY(files.list.DeleteRow(0, true));
    QCOMPARE(files.Names(), (QStringList{u"f1.mp3"_s, u"f2.mp3"_s}));
    QCOMPARE(files.list.NextRow(CReportCtrl::Selected), 0);
    QVERIFY(files.list.DeleteRow(1, false));
    QCOMPARE(files.Names(), QStringList{u"f1.mp3"_s});
    QVERIFY(!files.list.DeleteRow(3, false));

    // Deleting another row keeps what is typed; deleting the edited row
    // drops it.
    files.Add(u"f3.mp3"_s);
    files.Show();
    QVERIFY(files.list.BeginCellEdit(1, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"kept"_s);
    QVERIFY(files.list.DeleteRow(0, false));
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.Names(), QStringList{u"kept.mp3"_s});
    QCOMPARE(files.window.edits.size(), 1);
    QVERIFY(files.list.BeginCellEdit(0, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"lost"_s);
    QVERIFY(files.list.DeleteRow(0, false));
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.window.edits.size(), 1);
}

// --- Sorting -----------------------------------------------------------------------

void TestReportCtrl::clicksBuildSortHistory_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<History>("expected");
    // The list starts with {Name, ascending}, as after a start without a
    // stored history.
    QTest::newRow("new column ascending") << QList<int>{3} << History{{3, 1}, {0, 1}};
    QTest::newRow("primary reversed") << QList<int>{3, 3} << History{{3, 0}, {0, 1}};
    QTest::newRow("primary reversed back") << QList<int>{3, 3, 3} << History{{3, 1}, {0, 1}};
    QTest::newRow("older column keeps its direction")
        << QList<int>{3, 3, 5, 3} << History{{3, 0}, {5, 1}, {0, 1}};
    QTest::newRow("A, B, A") << QList<int>{4, 6, 4} << History{{4, 1}, {6, 1}, {0, 1}};
    QTest::newRow("initial Name reversed") << QList<int>{0} << History{{0, 0}};
    QTest::newRow("seven columns keep six")
        << QList<int>{1, 2, 3, 4, 5, 6, 7}
        << History{{7, 1}, {6, 1}, {5, 1}, {4, 1}, {3, 1}, {2, 1}};
}

void TestReportCtrl::clicksBuildSortHistory() {
    QFETCH(QList<int>, clicks);
    QFETCH(History, expected);
    FileList files;
    QCOMPARE(files.list.SortHistory(), (History{{0, 1}}));
    for (const int column : clicks) {
        files.list.OnColumnClick(column);
    }
    QCOMPARE(files.list.SortHistory(), expected);
}

void TestReportCtrl::headerClickSortsOnlyWithHeaderSort() {
    FileList files;
    files.Add(u"b.mp3"_s);
    files.Add(u"c.mp3"_s);
    files.Add(u"a.mp3"_s);
    files.Show();
    CReportHeader* header = files.Header();
    const QPoint name(header->sectionViewportPosition(ColumnName) + 40, header->height() / 2);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
    // Name was the ascending primary column: the click reverses it.
    QCOMPARE(files.list.SortHistory(), (History{{0, 0}}));
    QCOMPARE(files.Names(), (QStringList{u"c.mp3"_s, u"b.mp3"_s, u"a.mp3"_s}));

    files.list.EnableHeaderSort(false);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, name);
    QCOMPARE(files.Names(), (QStringList{u"c.mp3"_s, u"b.mp3"_s, u"a.mp3"_s}));
}

void TestReportCtrl::sortPostsNotificationAndHoldsBusyFlag() {
    FileList files;
    std::atomic<int32_t> busy{0};
    files.list.SetBusyFlag(&busy);
    for (const QString& name : {u"b"_s, u"a"_s, u"c"_s}) {
        files.Add(name);
    }
    QList<int32_t> busyDuringSort;
    connect(files.list.model(), &QAbstractItemModel::layoutAboutToBeChanged, &files.list,
            [&] { busyDuringSort.append(busy.load()); });

    files.list.OnColumnClick(ColumnArtist);
    files.list.OnColumnClick(ColumnName);
    QCOMPARE(busyDuringSort, (QList<int32_t>{1}));
    QCOMPARE(busy.load(), 0);
    // Posted, not sent: it arrives once the window's thread is free.
    QVERIFY(files.window.sorted.isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(files.window.sorted.size(), 2);
    QCOMPARE(files.window.sorted[0].column, int(ColumnArtist));
    QVERIFY(files.window.sorted[0].ascending);
    QCOMPARE(files.window.sorted[1].column, int(ColumnName));
    QVERIFY(files.window.sorted[1].ascending);

    files.list.OnColumnClick(ColumnName);
    QCoreApplication::processEvents();
    QCOMPARE(files.window.sorted.size(), 3);
    QVERIFY(!files.window.sorted[2].ascending);

    // A column the list does not have enters the history but sorts nothing.
    files.list.OnColumnClick(kFileColumnCount);
    QCoreApplication::processEvents();
    QCOMPARE(files.window.sorted.size(), 3);
}

void TestReportCtrl::typedComparisons_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("texts");
    // Per row: trackNumber, trackTotal, sizeMB and the number of the column.
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("ascending");

    QTest::newRow("track numbers, not text")
        << int(ColumnTrack) << QStringList{u"10/10"_s, u"2/10"_s, u"3/12"_s, u"3/10"_s}
        << QList<double>{10, 10, 0, 0, 2, 10, 0, 0, 3, 12, 0, 0, 3, 10, 0, 0}
        << QStringList{u"2/10"_s, u"3/10"_s, u"3/12"_s, u"10/10"_s};
    QTest::newRow("size as number")
        << int(ColumnSize) << QStringList{u"10.25"_s, u"9.50"_s, u"100.00"_s}
        << QList<double>{0, 0, 10.25, 0, 0, 0, 9.5, 0, 0, 0, 100, 0}
        << QStringList{u"9.50"_s, u"10.25"_s, u"100.00"_s};
    QTest::newRow("frequency as number")
        << int(ColumnFrequency) << QStringList{u"44100 Hz"_s, u"8000 Hz"_s, u"22050 Hz"_s}
        << QList<double>{0, 0, 0, 44100, 0, 0, 0, 8000, 0, 0, 0, 22050}
        << QStringList{u"8000 Hz"_s, u"22050 Hz"_s, u"44100 Hz"_s};
    QTest::newRow("channels as number")
        << int(ColumnChannel) << QStringList{u"2 (Stereo)"_s, u"10"_s, u"1 (Mono)"_s}
        << QList<double>{0, 0, 0, 2, 0, 0, 0, 10, 0, 0, 0, 1}
        << QStringList{u"1 (Mono)"_s, u"2 (Stereo)"_s, u"10"_s};
    QTest::newRow("bitrate as number")
        << int(ColumnBitrate) << QStringList{u"128 kbps"_s, u"96 kbps"_s, u"320 kbps"_s}
        << QList<double>{0, 0, 0, 128, 0, 0, 0, 96, 0, 0, 0, 320}
        << QStringList{u"96 kbps"_s, u"128 kbps"_s, u"320 kbps"_s};
    QTest::newRow("names in byte order")
        << int(ColumnName) << QStringList{u"apple.mp3"_s, u"Banana.mp3"_s, u"9.mp3"_s,
                                          u"10.mp3"_s,    u"apple.mp"_s,   u"\u00e9t\u00e9.mp3"_s}
        << QList<double>(24, 0.0)
        << QStringList{u"10.mp3"_s,   u"9.mp3"_s,     u"Banana.mp3"_s,
                       u"apple.mp"_s, u"apple.mp3"_s, u"\u00e9t\u00e9.mp3"_s};
    QTest::newRow("date as text") << int(ColumnLastModified)
                                  << QStringList{u"2024/03/01 10:00:00"_s, u"2023/12/31 23:59:59"_s,
                                                 u"2024/03/01 09:59:59"_s}
                                  << QList<double>(12, 0.0)
                                  << QStringList{u"2023/12/31 23:59:59"_s, u"2024/03/01 09:59:59"_s,
                                                 u"2024/03/01 10:00:00"_s};
}

void TestReportCtrl::typedComparisons() {
    QFETCH(int, column);
    QFETCH(QStringList, texts);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, ascending);
    for (const bool up : {true, false}) {
        FileList files;
        for (int i = 0; i < texts.size(); ++i) {
            const int row = files.Add(u"row%1"_s.arg(i));
            files.list.SetCellText(row, column, texts[i]);
            MediaFileInfo& info = files.Info(row);
            info.trackNumber = uint8_t(values[i * 4]);
            info.trackTotal = uint8_t(values[i * 4 + 1]);
            info.sizeMB = values[i * 4 + 2];
            info.sampleRate = info.channels = info.bitrateKbps = uint32_t(values[i * 4 + 3]);
        }
        files.list.SetSortHistory({{column, up ? 1 : 0}});
        files.list.SortByHistory(0, files.list.RowCount() - 1, true);
        QStringList sorted;
        for (int row = 0; row < files.list.RowCount(); ++row) {
            sorted.append(files.list.CellText(row, column));
        }
        QStringList expected = ascending;
        if (!up) {
            std::reverse(expected.begin(), expected.end());
        }
        QCOMPARE(sorted, expected);
    }
}

void TestReportCtrl::tiesFollowHistoryInPrimaryDirection() {
    FileList files;
    struct Row {
        QString name;
        int track;
        QString artist;
    };
    const QList<Row> rows = {{u"r0"_s, 2, u"Cee"_s},
                             {u"r1"_s, 1, u"Bee"_s},
                             {u"r2"_s, 2, u"Aye"_s},
                             {u"r3"_s, 1, u"Dee"_s},
                             {u"r4"_s, 2, u"Bee"_s}};
    for (const Row& entry : rows) {
        const int row = files.Add(entry.name);
        files.Info(row).trackNumber = uint8_t(entry.track);
        files.list.SetCellText(row, ColumnArtist, entry.artist);
    }
    // Artist was stored ascending, but a tie follows the primary direction.
    files.list.SetSortHistory({{ColumnTrack, 0}, {ColumnArtist, 1}});
    files.list.SortByHistory(0, files.list.RowCount() - 1, true);
    QCOMPARE(files.Names(), (QStringList{u"r0"_s, u"r4"_s, u"r2"_s, u"r3"_s, u"r1"_s}));
    QCOMPARE(files.list.CompareRows(0, 1, ColumnTrack, 0), 1); // Cee after Bee
    QCOMPARE(files.list.CompareRows(0, 1, ColumnTrack, 1), 0); // no older column left
    QCOMPARE(files.list.CompareRows(3, 3, ColumnTrack, 0), 0);

    files.list.SetSortHistory({{ColumnTrack, 1}, {ColumnArtist, 0}});
    files.list.SortByHistory(0, files.list.RowCount() - 1, true);
    QCOMPARE(files.Names(), (QStringList{u"r1"_s, u"r3"_s, u"r2"_s, u"r4"_s, u"r0"_s}));
}

void TestReportCtrl::textOrderIsUtf8ByteOrder_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("case") << u"B"_s << u"a"_s;
    QTest::newRow("digits as characters") << u"10"_s << u"9"_s;
    QTest::newRow("prefix") << u"abc"_s << u"abcd"_s;
    QTest::newRow("empty") << QString() << u"a"_s;
    QTest::newRow("latin above ascii") << u"z"_s << u"\u00e9"_s;
    QTest::newRow("private use below astral") << u"\ue000"_s << u"\U0001f3b5"_s;
    QTest::newRow("last bmp below astral") << u"\uffee"_s << u"\U00010000"_s;
    QTest::newRow("astral order") << u"\U0001d11e"_s << u"\U0001f3b5"_s;
    QTest::newRow("equal") << u"Title \u00e9"_s << u"Title \u00e9"_s;
}

void TestReportCtrl::textOrderIsUtf8ByteOrder() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    const QByteArray bytesA = a.toUtf8();
    const QByteArray bytesB = b.toUtf8();
    const int byteOrder = bytesA == bytesB ? 0 : (bytesA < bytesB ? -1 : 1);
    QCOMPARE(CReportCtrl::CompareTexts(a, b), byteOrder);
    QCOMPARE(CReportCtrl::CompareTexts(b, a), -byteOrder);
}

void TestReportCtrl::selectionAndRecordsMoveWithRows() {
    FileList files;
    for (const QString& name : {u"d"_s, u"b"_s, u"a"_s, u"c"_s}) {
        files.Add(name);
    }
    const MediaFileInfo* recordOfB = files.list.GetRowData(1);
    files.list.ApplyRowStates(1, CReportCtrl::Selected | CReportCtrl::Focused);
    files.list.ApplyRowStates(3, CReportCtrl::Selected);
    files.list.SetCellTextColour(1, ColumnType, QColor(255, 0, 0), false);
    files.list.SortByHistory(0, 3, true);
    QCOMPARE(files.Names(), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    QCOMPARE(files.list.GetRowData(1), recordOfB);
    QCOMPARE(files.list.CellTextColour(1, ColumnType), QColor(255, 0, 0));
    QCOMPARE(files.list.QueryRowStates(1) & (CReportCtrl::Selected | CReportCtrl::Focused),
             unsigned(CReportCtrl::Selected | CReportCtrl::Focused));
    QCOMPARE(files.list.NextRow(CReportCtrl::Selected, 1), 2);
    QCOMPARE(files.list.CountRows(CReportCtrl::Selected), 2);
}

void TestReportCtrl::shortRangesAreNotReordered() {
    FileList files;
    files.Add(u"b"_s);
    files.Add(u"a"_s);
    files.list.SortRange(0, 0, ColumnName, true);
    files.list.SortRange(1, 1, ColumnName, true);
    files.list.SortRange(0, 2, ColumnName, true); // past the last row
    files.list.SortRange(-1, 1, ColumnName, true);
    QCOMPARE(files.Names(), (QStringList{u"b"_s, u"a"_s}));
    files.list.SortRange(0, 1, ColumnName, true);
    QCOMPARE(files.Names(), (QStringList{u"a"_s, u"b"_s}));

    // One row is not reordered, but it is coloured.
    FileList single;
    single.Add(u"only"_s);
    single.Info(0).invalid = 1;
    single.list.SortByHistory(0, 0, true);
    QCOMPARE(single.list.CellBackColour(0, ColumnName).rgb(), CReportCtrl::kInvalidRowRgb);
    QCoreApplication::processEvents();
    QCOMPARE(single.window.sorted.size(), 1);
}

// --- Colours -------------------------------------------------------------------------

void TestReportCtrl::zebraAndInvalidColours() {
    FileList files;
    for (int i = 0; i < 5; ++i) {
        files.Add(u"f%1"_s.arg(i));
    }
    files.Info(1).invalid = 1;
    files.Info(4).invalid = 1;
    files.list.ApplyRowColours(false);
    const QList<QRgb> expected = {CReportCtrl::kEvenRowRgb, CReportCtrl::kInvalidRowRgb,
                                  CReportCtrl::kEvenRowRgb, CReportCtrl::kOddRowRgb,
                                  CReportCtrl::kInvalidRowRgb};
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < kFileColumnCount; ++column) {
            QCOMPARE(files.list.CellBackColour(row, column).rgb(), expected[row]);
        }
    }
    QCOMPARE(CReportCtrl::kInvalidRowRgb, qRgb(255, 225, 241));
    QCOMPARE(CReportCtrl::kOddRowRgb, qRgb(243, 245, 252));
    QCOMPARE(CReportCtrl::kOddTintRgb, qRgb(235, 238, 250));
    QCOMPARE(CReportCtrl::kEvenTintRgb, qRgb(247, 248, 253));

    // Moving the invalid rows elsewhere keeps them pink.
    files.list.MoveRow(1, 2);
    files.list.MoveRow(4, 0);
    files.list.ApplyRowColours(true);
    QCOMPARE(files.list.CellBackColour(0, ColumnName).rgb(), CReportCtrl::kInvalidRowRgb);
    QCOMPARE(files.list.CellBackColour(3, ColumnName).rgb(), CReportCtrl::kInvalidRowRgb);
    QCOMPARE(files.list.CellBackColour(3, ColumnPath).rgb(), CReportCtrl::kInvalidRowRgb);
    QCOMPARE(files.list.CellBackColour(1, ColumnPath).rgb(), CReportCtrl::kOddRowRgb);
}

void TestReportCtrl::tintOnlyAfterSortWithTint() {
    FileList files;
    for (int i = 0; i < 4; ++i) {
        files.Add(u"f%1"_s.arg(i));
    }
    files.list.SetSortHistory({{ColumnArtist, 1}});
    files.list.SortByHistory(0, 3, false);
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(files.list.CellBackColour(row, ColumnArtist).rgb(),
                 row % 2 == 0 ? CReportCtrl::kEvenRowRgb : CReportCtrl::kOddRowRgb);
    }
    files.list.SortByHistory(0, 3, true);
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(files.list.CellBackColour(row, ColumnArtist).rgb(),
                 row % 2 == 0 ? CReportCtrl::kEvenTintRgb : CReportCtrl::kOddTintRgb);
        QCOMPARE(files.list.CellBackColour(row, ColumnAlbum).rgb(),
                 row % 2 == 0 ? CReportCtrl::kEvenRowRgb : CReportCtrl::kOddRowRgb);
    }
}

void TestReportCtrl::coloursArePainted() {
    FileList files;
    for (int i = 0; i < 4; ++i) {
        files.Add(u"f%1"_s.arg(i));
        files.list.SetCellText(i, ColumnPath, u"/p%1/"_s.arg(i));
    }
    files.Info(2).invalid = 1;
    files.list.SetSortHistory({{ColumnPath, 1}});
    files.list.SortByHistory(0, 3, true);
    files.Show();
    const QImage image = files.list.viewport()->grab().toImage();
    // Inside cells with no text: the Artist column has none.
    const QPoint odd = files.CellCentre(1, ColumnArtist);
    const QPoint invalid = files.CellCentre(2, ColumnArtist);
    const QPoint tinted = files.CellCentre(1, ColumnPath) + QPoint(60, 0);
    QCOMPARE(image.pixel(odd) & 0xffffff, CReportCtrl::kOddRowRgb & 0xffffff);
    QCOMPARE(image.pixel(invalid) & 0xffffff, CReportCtrl::kInvalidRowRgb & 0xffffff);
    QCOMPARE(image.pixel(tinted) & 0xffffff, CReportCtrl::kOddTintRgb & 0xffffff);
}

void TestReportCtrl::cellColourOperations() {
    FileList files;
    for (int i = 0; i < 3; ++i) {
        files.Add(u"f%1"_s.arg(i));
    }
    const QColor base = files.list.palette().color(QPalette::Base);
    files.list.SetCellBackColour(1, ColumnTag, QColor(9, 9, 9), true);
    QCOMPARE(files.list.CellBackColour(1, ColumnTag), QColor(9, 9, 9));
    QCOMPARE(files.list.CellBackColour(1, ColumnType), base);
    // A column outside the columns: the whole row.
    files.list.SetCellTextColour(2, -1, QColor(1, 1, 1), true);
    QCOMPARE(files.list.CellTextColour(2, ColumnName), QColor(1, 1, 1));
    QCOMPARE(files.list.CellTextColour(2, ColumnBitrate), QColor(1, 1, 1));
    QCOMPARE(files.list.CellTextColour(1, ColumnName), files.list.palette().color(QPalette::Text));
    // A row outside the list: that column of every row.
    files.list.SetCellBackColour(-1, ColumnTitle, QColor(7, 7, 7), false);
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(files.list.CellBackColour(row, ColumnTitle), QColor(7, 7, 7));
    }
    // No colour: back to the system's.
    files.list.SetCellBackColour(-1, -1, QColor(), true);
    QCOMPARE(files.list.CellBackColour(1, ColumnTag), base);
    QCOMPARE(files.list.CellBackColour(0, ColumnTitle), base);
}

// --- In-place editing --------------------------------------------------------------------

void TestReportCtrl::clickStartsEdit_data() {
    QTest::addColumn<unsigned>("statesBefore");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("edits");
    const unsigned both = CReportCtrl::Selected | CReportCtrl::Focused;
    QTest::newRow("selected and focused") << both << int(ColumnName) << true << true;
    QTest::newRow("not selected") << unsigned(CReportCtrl::Focused) << int(ColumnName) << true
                                  << false;
    QTest::newRow("not focused") << unsigned(CReportCtrl::Selected) << int(ColumnName) << true
                                 << false;
    QTest::newRow("column not editable") << both << int(ColumnPath) << true << false;
    QTest::newRow("editing off") << both << int(ColumnName) << false << false;
}

void TestReportCtrl::clickStartsEdit() {
    QFETCH(unsigned, statesBefore);
    QFETCH(int, column);
    QFETCH(bool, enabled);
    QFETCH(bool, edits);
    FileList files;
    files.Add(u"one.mp3"_s);
    files.Add(u"Track 02.final.mp3"_s);
    files.list.SetEditEnabled(enabled);
    files.Show();
    files.list.ApplyRowStates(1, statesBefore);
    QTest::mouseClick(files.list.viewport(), Qt::LeftButton, {}, files.CellCentre(1, column));
    QCOMPARE(files.list.IsEditing(), edits);
    if (!edits) {
        QVERIFY(files.list.Editor() == nullptr || !files.list.Editor()->isVisible());
        return;
    }
    QLineEdit* editor = files.list.Editor();
    QVERIFY(editor->isVisible());
    QCOMPARE(files.list.EditRow(), 1);
    QCOMPARE(files.list.EditColumn(), int(ColumnName));
    QCOMPARE(editor->text(), u"Track 02.final.mp3"_s);
    // Up to the last point: the extension stays as it is.
    QCOMPARE(editor->selectedText(), u"Track 02.final"_s);
    QCOMPARE(files.list.NameBeforeEdit(), u"Track 02.final.mp3"_s);
    QVERIFY(editor->geometry().intersects(files.list.visualRect(files.list.model()->index(1, 0))));
    QCOMPARE(files.Selected(), 1);
}

void TestReportCtrl::enterCommitsChangedName() {
    FileList files;
    files.Add(u"a.mp3"_s);
    files.Add(u"old.mp3"_s);
    files.Show();
    QVERIFY(files.list.BeginCellEdit(1, ColumnName));
    QCOMPARE(files.list.NameBeforeEdit(), u"old.mp3"_s);
    QTest::keyClicks(files.list.Editor(), u"new"_s);
    QTest::keyClick(files.list.Editor(), Qt::Key_Return);
    QVERIFY(!files.list.IsEditing());
    QVERIFY(!files.list.Editor()->isVisible());
    QCOMPARE(files.list.CellText(1, ColumnName), u"new.mp3"_s);
    QCOMPARE(files.window.edits.size(), 1);
    QCOMPARE(files.window.edits[0].row, 1);
    QCOMPARE(files.window.edits[0].column, int(ColumnName));
    // The cell already holds the new text when the window hears of it.
    QCOMPARE(files.window.edits[0].text, u"new.mp3"_s);
    QCOMPARE(files.list.NameBeforeEdit(), u"old.mp3"_s);
}

void TestReportCtrl::enterWithUnchangedNameSendsNothing() {
    FileList files;
    files.Add(u"same.mp3"_s);
    files.Show();
    QVERIFY(files.list.BeginCellEdit(0, ColumnName));
    QVERIFY(!files.list.BeginCellEdit(0, ColumnName)); // already that cell
    QTest::keyClick(files.list.Editor(), Qt::Key_Enter);
    QVERIFY(!files.list.IsEditing());
    QVERIFY(files.window.edits.isEmpty());
    QVERIFY(!files.list.FinishCellEdit(true)); // nothing active
}

void TestReportCtrl::escapeCancels() {
    FileList files;
    files.Add(u"keep.mp3"_s);
    files.Show();
    QVERIFY(files.list.BeginCellEdit(0, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"typed"_s);
    QTest::keyClick(files.list.Editor(), Qt::Key_Escape);
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.list.CellText(0, ColumnName), u"keep.mp3"_s);
    QVERIFY(files.window.edits.isEmpty());
    // The keyboard goes back to the list.
    QCOMPARE(files.list.focusWidget(), &files.list);
}

void TestReportCtrl::tabMovesBetweenEditableColumns() {
    FileList files;
    files.Add(u"a.mp3"_s);
    files.list.SetCellText(0, ColumnTitle, u"Title"_s);
    files.list.AddEditableColumn(ColumnTitle);
    files.list.AddEditableColumn(ColumnTitle); // already there
    files.list.AddEditableColumn(kFileColumnCount);
    QCOMPARE(files.list.EditableColumns(), (std::vector<unsigned>{0, unsigned(ColumnTitle)}));
    files.list.resize(300, 200);
    files.Show();
    QVERIFY(files.list.BeginCellEdit(0, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"b"_s);
    QTest::keyClick(files.list.Editor(), Qt::Key_Tab);
    // The Name was committed on the way.
    QCOMPARE(files.list.CellText(0, ColumnName), u"b.mp3"_s);
    QCOMPARE(files.window.edits.size(), 1);
    QCOMPARE(files.list.EditColumn(), int(ColumnTitle));
    QCOMPARE(files.list.Editor()->text(), u"Title"_s);
    // Title lies beyond the narrow window: it was scrolled into view.
    const QRect title = files.list.visualRect(files.list.model()->index(0, ColumnTitle));
    QVERIFY(title.left() >= 0 && title.right() <= files.list.viewport()->width());
    QTest::keyClick(files.list.Editor(), Qt::Key_Tab);
    QCOMPARE(files.list.EditColumn(), int(ColumnName));
    QTest::keyClick(files.list.Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(files.list.EditColumn(), int(ColumnTitle));
    QTest::keyClick(files.list.Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(files.list.EditColumn(), int(ColumnName));
    QCOMPARE(files.list.EditRow(), 0);
    QCOMPARE(files.window.edits.size(), 1);
}

void TestReportCtrl::upAndDownWrap() {
    FileList files;
    for (int i = 0; i < 3; ++i) {
        files.Add(u"f%1.mp3"_s.arg(i));
    }
    files.Show();
    QVERIFY(files.list.BeginCellEdit(2, ColumnName));
    QTest::keyClick(files.list.Editor(), Qt::Key_Down);
    QCOMPARE(files.list.EditRow(), 0);
    QCOMPARE(files.Selected(), 1);
    QCOMPARE(files.list.NextRow(CReportCtrl::Selected), 0);
    QTest::keyClick(files.list.Editor(), Qt::Key_Up);
    QCOMPARE(files.list.EditRow(), 2);
    QTest::keyClicks(files.list.Editor(), u"x"_s);
    QTest::keyClick(files.list.Editor(), Qt::Key_Up);
    QCOMPARE(files.list.EditRow(), 1);
    QCOMPARE(files.list.EditColumn(), int(ColumnName));
    QCOMPARE(files.list.CellText(2, ColumnName), u"x.mp3"_s);
    QCOMPARE(files.window.edits.size(), 1);
    QCOMPARE(files.window.edits[0].row, 2);
}

void TestReportCtrl::mousePressCommitsScrollingCancels() {
    FileList files;
    for (int i = 0; i < 60; ++i) {
        files.Add(u"f%1.mp3"_s.arg(i, 2, 10, QLatin1Char('0')));
    }
    files.list.resize(500, 250);
    files.Show();

    QVERIFY(files.list.BeginCellEdit(0, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"g"_s);
    QTest::mouseClick(files.list.viewport(), Qt::RightButton, {}, files.CellCentre(2, ColumnPath));
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.list.CellText(0, ColumnName), u"g.mp3"_s);

    QVERIFY(files.list.BeginCellEdit(1, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"h"_s);
    files.list.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.list.CellText(1, ColumnName), u"f01.mp3"_s);

    files.list.verticalScrollBar()->setValue(0);
    QVERIFY(files.list.BeginCellEdit(1, ColumnName));
    const QPoint at = files.CellCentre(3, ColumnPath);
    QWheelEvent wheel(at, files.list.viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(files.list.viewport(), &wheel);
    QVERIFY(!files.list.IsEditing());

    // Starting to drag a header divider cancels too.
    QVERIFY(files.list.BeginCellEdit(1, ColumnName));
    QTest::keyClicks(files.list.Editor(), u"i"_s);
    CReportHeader* header = files.Header();
    const int divider = header->sectionViewportPosition(ColumnName) + header->sectionSize(0) - 1;
    SendMouse(header->viewport(), QEvent::MouseButtonPress, QPoint(divider, 5));
    SendMouse(header->viewport(), QEvent::MouseButtonRelease, QPoint(divider, 5));
    QVERIFY(!files.list.IsEditing());
    QCOMPARE(files.list.CellText(1, ColumnName), u"f01.mp3"_s);
    QVERIFY(files.window.edits.size() == 1);
}

void TestReportCtrl::editFollowsItsRowThroughASort() {
    FileList files;
    for (const QString& name : {u"c.mp3"_s, u"a.mp3"_s, u"b.mp3"_s}) {
        files.Add(name);
    }
    files.Show();
    QVERIFY(files.list.BeginCellEdit(0, ColumnName)); // c.mp3
    QTest::keyClicks(files.list.Editor(), u"z"_s);
    // A load that ends meanwhile sorts the list.
    files.list.SortByHistory(0, 2, true);
    QVERIFY(files.list.IsEditing());
    QCOMPARE(files.list.EditRow(), 2);
    QTest::keyClick(files.list.Editor(), Qt::Key_Return);
    QCOMPARE(files.Names(), (QStringList{u"a.mp3"_s, u"b.mp3"_s, u"z.mp3"_s}));
    QCOMPARE(files.window.edits.size(), 1);
    QCOMPARE(files.window.edits[0].row, 2);
}

void TestReportCtrl::spaceIsSwallowed() {
    FileList files;
    files.Add(u"a.mp3"_s);
    files.Add(u"b.mp3"_s);
    files.Show();
    files.list.setFocus();
    files.list.ApplyRowStates(1, CReportCtrl::Focused);
    QTest::keyClick(&files.list, Qt::Key_Space);
    QCOMPARE(files.Selected(), 0);
    QTest::keyClick(&files.list, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(files.Selected(), 0);
    // Other keys still move through the list.
    QTest::keyClick(&files.list, Qt::Key_Up);
    QCOMPARE(files.list.NextRow(CReportCtrl::Selected), 0);
}

// --- Moving rows ----------------------------------------------------------------------------

void TestReportCtrl::moveRow_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("last row down") << 3 << 4 << 3 << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("first row to top")
        << 0 << -1 << 0 << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("to bottom") << 1 << INT_MAX << 3 << QStringList{u"a"_s, u"c"_s, u"d"_s, u"b"_s};
    QTest::newRow("to top") << 2 << -1 << 0 << QStringList{u"c"_s, u"a"_s, u"b"_s, u"d"_s};
    QTest::newRow("down one") << 1 << 2 << 2 << QStringList{u"a"_s, u"c"_s, u"b"_s, u"d"_s};
    QTest::newRow("up one") << 2 << 1 << 1 << QStringList{u"a"_s, u"c"_s, u"b"_s, u"d"_s};
    QTest::newRow("not a row") << 4 << 0 << -1 << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
}

void TestReportCtrl::moveRow() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, result);
    QFETCH(QStringList, names);
    FileList files;
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s}) {
        files.Add(name);
    }
    const MediaFileInfo* moved = files.list.GetRowData(from);
    if (files.list.ApplyRowStates(from, CReportCtrl::Selected | CReportCtrl::Focused)) {
        files.list.SetCellTextColour(from, ColumnType, QColor(255, 0, 0), false);
    }
    QCOMPARE(files.list.MoveRow(from, to), result);
    QCOMPARE(files.Names(), names);
    if (result >= 0) {
        QCOMPARE(files.list.GetRowData(result), moved);
        QCOMPARE(files.list.QueryRowStates(result) & (CReportCtrl::Selected | CReportCtrl::Focused),
                 unsigned(CReportCtrl::Selected | CReportCtrl::Focused));
        QCOMPARE(files.list.CountRows(CReportCtrl::Selected), 1);
        QCOMPARE(files.list.CellTextColour(result, ColumnType), QColor(255, 0, 0));
    }
}

// --- Columns ------------------------------------------------------------------------------------

void TestReportCtrl::hideAndShowColumn() {
    FileList files;
    CReportCtrl& list = files.list;
    QVERIFY(list.SetColumnWidth(ColumnAlbumArtist, 123));
    QVERIFY(list.ShowColumn(ColumnAlbumArtist, false));
    QVERIFY(!list.IsColumnVisible(ColumnAlbumArtist));
    QCOMPARE(list.ColumnWidth(ColumnAlbumArtist), 0);
    QCOMPARE(list.DisplayOrder().first(), int(ColumnAlbumArtist));
    ColumnState state = list.ColumnStates()[ColumnAlbumArtist];
    QCOMPARE(state.savedWidth, 123);
    QCOMPARE(state.savedPosition, kFileColumnCount);
    // Hiding it again must not lose the width it had.
    QVERIFY(list.ShowColumn(ColumnAlbumArtist, false));
    QCOMPARE(list.ColumnStates()[ColumnAlbumArtist].savedWidth, 123);

    QVERIFY(list.ShowColumn(ColumnGenre, false));
    QCOMPARE(list.DisplayOrder().mid(0, 2), (QList<int>{int(ColumnGenre), int(ColumnAlbumArtist)}));

    QVERIFY(list.ShowColumn(ColumnAlbumArtist, true));
    QVERIFY(list.IsColumnVisible(ColumnAlbumArtist));
    QCOMPARE(list.ColumnWidth(ColumnAlbumArtist), 123);
    QCOMPARE(list.DisplayOrder().last(), int(ColumnAlbumArtist));
    QCOMPARE(list.DisplayOrder().first(), int(ColumnGenre));
    QVERIFY(!list.ShowColumn(kFileColumnCount, false));
}

void TestReportCtrl::hiddenColumnsRefuseWidth() {
    FileList files;
    files.Add(u"a rather long file name for sizing.mp3"_s);
    files.Show();
    files.list.ShowColumn(ColumnComment, false);
    QVERIFY(!files.list.SetColumnWidth(ColumnComment, 80));
    QCOMPARE(files.list.ColumnWidth(ColumnComment), 0);
    files.list.setFocus();
    QTest::keyClick(&files.list, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(files.list.ColumnWidth(ColumnComment), 0);
    QVERIFY(!files.list.IsColumnVisible(ColumnComment));
    // Every shown column now fits its cells: Name is wider than before,
    // empty ones are narrower than their defaults.
    QVERIFY(files.list.ColumnWidth(ColumnName) > files.list.DefaultColumnWidth(ColumnName));
    QVERIFY(files.list.ColumnWidth(ColumnTitle) < files.list.DefaultColumnWidth(ColumnTitle));
    // The plus key of the main keyboard does nothing of the kind.
    files.list.SetColumnWidth(ColumnTitle, 150);
    QTest::keyClick(&files.list, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(files.list.ColumnWidth(ColumnTitle), 150);
    // Shown again, it gets the width it had when hidden.
    files.list.ShowColumn(ColumnComment, true);
    QCOMPARE(files.list.ColumnWidth(ColumnComment), files.list.DefaultColumnWidth(ColumnComment));
}

void TestReportCtrl::headerDropNeverLandsAmongHidden() {
    FileList files;
    files.list.ShowColumn(ColumnTag, false);
    files.list.ShowColumn(ColumnGenre, false);
    QHeaderView* header = files.list.header();
    // What a drop does: the header moves the section, then tells the list.
    header->moveSection(header->visualIndex(ColumnBitrate), 0);
    const QList<int> order = files.list.DisplayOrder();
    QCOMPARE(order.mid(0, 3), (QList<int>{int(ColumnGenre), int(ColumnTag), int(ColumnBitrate)}));
    header->moveSection(header->visualIndex(ColumnDate), 1);
    QCOMPARE(files.list.DisplayOrder().mid(0, 4),
             (QList<int>{int(ColumnGenre), int(ColumnTag), int(ColumnDate), int(ColumnBitrate)}));
    // Among the shown columns anything goes.
    header->moveSection(header->visualIndex(ColumnName), kFileColumnCount - 1);
    QCOMPARE(files.list.DisplayOrder().last(), int(ColumnName));
}

void TestReportCtrl::draggedHeaderStaysRightOfHidden() {
    FileList files;
    files.list.resize(2200, 300);
    files.list.ShowColumn(ColumnTag, false);
    files.list.ShowColumn(ColumnAlbum, false);
    files.Show();
    CReportHeader* header = files.Header();
    const int y = header->height() / 2;
    const QPoint start(header->sectionViewportPosition(ColumnBitrate) + 40, y);
    SendMouse(header->viewport(), QEvent::MouseButtonPress, start);
    for (int x = start.x(); x > 0; x -= 50) {
        SendMouse(header->viewport(), QEvent::MouseMove, QPoint(x, y));
    }
    SendMouse(header->viewport(), QEvent::MouseMove, QPoint(1, y));
    SendMouse(header->viewport(), QEvent::MouseButtonRelease, QPoint(1, y));
    QCOMPARE(files.list.DisplayOrder().mid(0, 4),
             (QList<int>{int(ColumnAlbum), int(ColumnTag), int(ColumnBitrate), int(ColumnName)}));
    QCOMPARE(files.list.ColumnWidth(ColumnTag), 0);
    QCOMPARE(files.list.ColumnWidth(ColumnAlbum), 0);
}

void TestReportCtrl::dividerDoubleClickFitsCellsOnly() {
    FileList files;
    files.list.resize(1400, 300);
    files.Add(u"x.mp3"_s);
    files.list.ShowColumn(ColumnType, false);
    files.Show();
    CReportHeader* header = files.Header();
    const int y = header->height() / 2;

    // The left edge of the first shown column: the hidden column before it
    // has no divider there.
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(1, y));
    QVERIFY(!files.list.IsColumnVisible(ColumnType));
    QCOMPARE(files.list.ColumnWidth(ColumnType), 0);
    QCOMPARE(header->sectionSize(ColumnType), 0);

    // Album Artist has no text: fitted to its cells it is narrower than its
    // caption.
    const int right = header->sectionViewportPosition(ColumnAlbumArtist) +
                      header->sectionSize(ColumnAlbumArtist) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(right, y));
    const int fitted = files.list.ColumnWidth(ColumnAlbumArtist);
    QVERIFY(fitted < 110);
    QVERIFY(fitted < header->sectionSizeHint(ColumnAlbumArtist));
    files.list.AutoSizeColumn(ColumnAlbumArtist, true);
    QVERIFY(files.list.ColumnWidth(ColumnAlbumArtist) >=
            header->sectionSizeHint(ColumnAlbumArtist));
}

void TestReportCtrl::headerMenu() {
    FileList files;
    files.list.ShowColumn(ColumnComment, false);
    files.Show();
    CReportHeader* header = files.Header();
    const QPoint at(30, header->height() / 2);
    QStringList texts;
    QList<bool> checked;
    QList<bool> enabled;
    bool opened = false;
    WhenMenuOpens(
        [&](QMenu* menu) -> QAction* {
            QAction* genre = nullptr;
            for (QAction* action : menu->actions()) {
                texts.append(action->isSeparator() ? u"|"_s : action->text());
                if (!action->isSeparator()) {
                    checked.append(action->isChecked());
                    enabled.append(action->isEnabled());
                }
                if (action->text() == u"Genre"_s) {
                    genre = action;
                }
            }
            return genre;
        },
        &opened);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, header->viewport()->mapToGlobal(at));
    QApplication::sendEvent(header->viewport(), &event);
    QVERIFY(opened);
    QCOMPARE(texts,
             (QStringList{u"Name"_s,     u"Path"_s,      u"Type"_s,         u"|"_s,
                          u"Tag"_s,      u"Artist"_s,    u"Album Artist"_s, u"Album"_s,
                          u"Track"_s,    u"Title"_s,     u"Genre"_s,        u"Date"_s,
                          u"Comment"_s,  u"|"_s,         u"Size(MB)"_s,     u"Last Modified"_s,
                          u"Duration"_s, u"Frequency"_s, u"Channel"_s,      u"Bitrate"_s}));
    QList<bool> shown(kFileColumnCount, true);
    shown[ColumnComment] = false;
    QCOMPARE(checked, shown);
    QList<bool> available(kFileColumnCount, true);
    available[ColumnName] = available[ColumnPath] = false;
    QCOMPARE(enabled, available);
    // Choosing Genre hid it.
    QVERIFY(!files.list.IsColumnVisible(ColumnGenre));

    // The same command twice shows it again; one with a notification code
    // is not a menu command.
    files.list.HandleHeaderCommand(ColumnGenre);
    QVERIFY(files.list.IsColumnVisible(ColumnGenre));
    files.list.HandleHeaderCommand(0x10000u | ColumnGenre);
    QVERIFY(files.list.IsColumnVisible(ColumnGenre));
}

void TestReportCtrl::headerMenuFromKeyboardDoesNothing() {
    FileList files;
    files.Show();
    CReportHeader* header = files.Header();
    bool opened = false;
    WhenMenuOpens([](QMenu*) -> QAction* { return nullptr; }, &opened);
    const QPoint at(30, header->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, header->viewport()->mapToGlobal(at));
    QApplication::sendEvent(header->viewport(), &event);
    QCoreApplication::processEvents();
    QVERIFY(!opened);
    // A right-click on the rows is not the header's.
    bool openedOnRows = false;
    WhenMenuOpens([](QMenu*) -> QAction* { return nullptr; }, &openedOnRows);
    const QPoint row(30, 30);
    QContextMenuEvent onRows(QContextMenuEvent::Mouse, row,
                             files.list.viewport()->mapToGlobal(row));
    QApplication::sendEvent(files.list.viewport(), &onRows);
    QCoreApplication::processEvents();
    QVERIFY(!openedOnRows);
}

void TestReportCtrl::ensureColumnVisible_data() {
    QTest::addColumn<int>("scrolled");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("partialOk");
    QTest::addColumn<int>("expected");
    // Name and Path 150 wide, Type 65, Tag 100, Artist and Album Artist 110;
    // a view 400 wide.
    QTest::newRow("already in view") << 0 << int(ColumnPath) << false << 0;
    QTest::newRow("right edge out") << 0 << int(ColumnTag) << false << 365 + 100 - 400;
    QTest::newRow("partly in view, partial ok") << 0 << int(ColumnTag) << true << 0;
    QTest::newRow("left of view") << 300 << int(ColumnPath) << false << 150;
    QTest::newRow("left edge out, partial ok") << 250 << int(ColumnPath) << true << 250;
    QTest::newRow("just out on the left, partial ok") << 300 << int(ColumnPath) << true << 150;
    QTest::newRow("far right") << 0 << int(ColumnAlbum) << true << 685 + 110 - 400;
}

void TestReportCtrl::ensureColumnVisible() {
    QFETCH(int, scrolled);
    QFETCH(int, column);
    QFETCH(bool, partialOk);
    QFETCH(int, expected);
    FileList files;
    files.Add(u"a"_s);
    files.Show();
    for (int c = 0; c <= ColumnAlbum; ++c) {
        files.list.SetColumnWidth(c, kFileColumns[size_t(c)].defaultWidth);
    }
    files.list.resize(400 + files.list.width() - files.list.viewport()->width(), 300);
    QApplication::processEvents();
    QCOMPARE(files.list.viewport()->width(), 400);
    files.list.horizontalScrollBar()->setValue(scrolled);
    QCOMPARE(files.list.horizontalScrollBar()->value(), scrolled);
    files.list.EnsureColumnVisible(column, partialOk);
    QCOMPARE(files.list.horizontalScrollBar()->value(), expected);
}

// --- Saved layout
// ----------------------------------------------------------------------------------

void TestReportCtrl::layoutSurvivesRestart() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Zorvane.conf"_s);
    {
        FileList first(path);
        first.list.SetColumnWidth(ColumnAlbumArtist, 140);
        first.list.SetColumnWidth(ColumnTitle, 222);
        first.list.ShowColumn(ColumnAlbumArtist, false);
        first.list.header()->moveSection(first.list.header()->visualIndex(ColumnBitrate), 3);
        first.list.OnColumnClick(ColumnArtist);
        first.list.OnColumnClick(ColumnTrack);
        first.list.OnColumnClick(ColumnTrack);
        first.list.SaveColumnLayout(first.store);
        QVERIFY(first.store.Flush());

        const QList<qint32> column = Unpack(*first.store.ReadBinary(u"FileList"_s, u"Column"_s));
        QCOMPARE(column.size(), kFileColumnCount * 2);
        QCOMPARE(column[ColumnAlbumArtist * 2], 0);
        QCOMPARE(column[ColumnAlbumArtist * 2 + 1], 140);
        QCOMPARE(column[ColumnTitle * 2], 1);
        QCOMPARE(column[ColumnTitle * 2 + 1], 222);
        QCOMPARE(Unpack(*first.store.ReadBinary(u"FileList"_s, u"SortEx"_s)),
                 (QList<qint32>{ColumnTrack, 0, ColumnArtist, 1, ColumnName, 1}));
    }
    FileList second(path);
    CReportCtrl& list = second.list;
    QVERIFY(!list.IsColumnVisible(ColumnAlbumArtist));
    QCOMPARE(list.ColumnWidth(ColumnTitle), 222);
    QCOMPARE(list.ColumnWidth(ColumnName), list.DefaultColumnWidth(ColumnName));
    QCOMPARE(list.SortHistory(), (History{{ColumnTrack, 0}, {ColumnArtist, 1}, {ColumnName, 1}}));
    // The order is not kept: only the hidden column moved to the left.
    QList<int> expected{int(ColumnAlbumArtist)};
    for (int column = 0; column < kFileColumnCount; ++column) {
        if (column != ColumnAlbumArtist) {
            expected.append(column);
        }
    }
    QCOMPARE(list.DisplayOrder(), expected);
    list.ShowColumn(ColumnAlbumArtist, true);
    QCOMPARE(list.ColumnWidth(ColumnAlbumArtist), 140);
    QCOMPARE(list.DisplayOrder().last(), int(ColumnAlbumArtist));

    // The next load sorts by the order in effect at closing.
    for (const int track : {2, 1, 2}) {
        const int row = second.Add(u"t%1"_s.arg(second.list.RowCount()));
        second.Info(row).trackNumber = uint8_t(track);
        second.list.SetCellText(row, ColumnArtist, track == 2 && row == 2 ? u"A"_s : u"B"_s);
    }
    list.SortByHistory(0, 2, true);
    QCOMPARE(second.Names(), (QStringList{u"t0"_s, u"t2"_s, u"t1"_s}));
}

void TestReportCtrl::missingLayoutGivesDefaults() {
    FileList files;
    for (int column = 0; column < kFileColumnCount; ++column) {
        QVERIFY(files.list.IsColumnVisible(column));
        QCOMPARE(files.list.ColumnWidth(column), files.list.DefaultColumnWidth(column));
        QCOMPARE(files.list.ColumnTitle(column), kFileColumns[column].title.toString());
        QCOMPARE(files.list.ColumnAlignment(column), Qt::Alignment(kFileColumns[column].alignment));
    }
    QCOMPARE(files.list.SortHistory(), (History{{0, 1}}));
    QVERIFY(files.list.HeaderSortEnabled());
    QVERIFY(files.list.EditEnabled());
    QVERIFY(files.list.ShowEmptyTips());
    QCOMPARE(files.list.NotifyWindow(), &files.window);
    QCOMPARE(files.list.EditableColumns(), std::vector<unsigned>{0});
}

// The default widths fit their captions at any font size and grow with it; a
// stored layout keeps the user's widths whatever the font.
void TestReportCtrl::defaultWidthsFollowTheFont() {
    const QFont original = QApplication::font();
    QTemporaryDir dir;
    const QString stored = dir.filePath(u"stored.conf"_s);
    {
        ProfileStore store(stored);
        store.WriteBinary(u"FileList"_s, u"Column"_s, Pack({1, 77, 1, 88}));
        QVERIFY(store.Flush());
    }
    QList<int> previous;
    for (const int points : {9, 10, 12}) {
        QFont font = original;
        font.setPointSize(points);
        QApplication::setFont(font);
        FileList files;
        const QFontMetrics metrics(files.list.header()->font());
        QList<int> widths;
        for (int c = 0; c < kFileColumnCount; ++c) {
            widths.append(files.list.ColumnWidth(c));
            const QString title = kFileColumns[size_t(c)].title.toString();
            QVERIFY2(widths[c] >= metrics.horizontalAdvance(title) + 8,
                     qPrintable(u"%1 at %2 pt"_s.arg(title).arg(points)));
            if (!previous.isEmpty()) {
                QVERIFY2(widths[c] > previous[c], qPrintable(title));
            }
        }
        previous = widths;
        FileList kept(stored);
        QCOMPARE(kept.list.ColumnWidth(ColumnName), 77);
        QCOMPARE(kept.list.ColumnWidth(ColumnPath), 88);
        QCOMPARE(kept.list.ColumnWidth(ColumnType), widths[ColumnType]);
    }
    QApplication::setFont(original);
}

void TestReportCtrl::damagedLayoutIsRead_data() {
    QTest::addColumn<QByteArray>("column");
    QTest::addColumn<QByteArray>("sortEx");
    QTest::addColumn<QList<int>>("hidden");
    QTest::addColumn<QList<int>>("widths"); // of columns 0..3; -1 the default
    QTest::addColumn<History>("history");
    const QByteArray none;
    QTest::newRow("three entries") << Pack({1, 50, 1, 60, 0, 70}) << none << QList<int>{2}
                                   << QList<int>{50, 60, 0, -1} << History{{0, 1}};
    QTest::newRow("trailing fragment")
        << Pack({1, 50, 1, 60}) + QByteArray(5, '\x01') << none << QList<int>{}
        << QList<int>{50, 60, -1, -1} << History{{0, 1}};
    QTest::newRow("Name and Path stay shown")
        << Pack({0, 50, 0, 60, 0, 70}) << none << QList<int>{2} << QList<int>{50, 60, 0, -1}
        << History{{0, 1}};
    QTest::newRow("unusable widths") << Pack({1, -5, 1, 99999, 1, 0}) << none << QList<int>{}
                                     << QList<int>{-1, -1, 0, -1} << History{{0, 1}};
    QTest::newRow("empty history")
        << none << QByteArray("") << QList<int>{} << QList<int>{-1, -1, -1, -1} << History{{0, 1}};
    QTest::newRow("long history kept")
        << none << Pack({1, 1, 2, 0, 3, 1, 4, 1, 5, 0, 6, 1, 7, 1, 8, 0}) << QList<int>{}
        << QList<int>{-1, -1, -1, -1}
        << History{{1, 1}, {2, 0}, {3, 1}, {4, 1}, {5, 0}, {6, 1}, {7, 1}, {8, 0}};
    QTest::newRow("columns it does not have") << none << Pack({99, 1, 4, 7, -1, 0}) << QList<int>{}
                                              << QList<int>{-1, -1, -1, -1} << History{{4, 1}};
}

void TestReportCtrl::damagedLayoutIsRead() {
    QFETCH(QByteArray, column);
    QFETCH(QByteArray, sortEx);
    QFETCH(QList<int>, hidden);
    QFETCH(QList<int>, widths);
    QFETCH(History, history);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Zorvane.conf"_s);
    {
        ProfileStore store(path);
        if (!column.isNull()) {
            store.WriteBinary(u"FileList"_s, u"Column"_s, column);
        }
        if (!sortEx.isNull()) {
            store.WriteBinary(u"FileList"_s, u"SortEx"_s, sortEx);
        }
        QVERIFY(store.Flush());
    }
    FileList files(path);
    for (int c = 0; c < kFileColumnCount; ++c) {
        QCOMPARE(files.list.IsColumnVisible(c), !hidden.contains(c));
    }
    for (int c = 0; c < widths.size(); ++c) {
        QCOMPARE(files.list.ColumnWidth(c),
                 widths[c] < 0 ? files.list.DefaultColumnWidth(c) : widths[c]);
    }
    QCOMPARE(files.list.SortHistory(), history);
    // Clicking cuts a long history to six again.
    files.list.OnColumnClick(ColumnDate);
    QVERIFY(files.list.SortHistory().size() <= CReportCtrl::kMaxSortHistory);
}

// --- Hints
// ----------------------------------------------------------------------------------------

void TestReportCtrl::hintIndexFollowsClock_data() {
    QTest::addColumn<quint64>("ms");
    QTest::addColumn<int>("index");
    QTest::newRow("start") << quint64(0) << 0;
    QTest::newRow("end of first") << quint64(5999) << 0;
    QTest::newRow("second") << quint64(6000) << 1;
    QTest::newRow("last") << quint64(59999) << 9;
    QTest::newRow("next minute") << quint64(60000) << 0;
    QTest::newRow("days later") << quint64(86400000) * 3 + 6000 * 8 + 1 << 8;
}

void TestReportCtrl::hintIndexFollowsClock() {
    QFETCH(quint64, ms);
    QFETCH(int, index);
    QCOMPARE(CReportCtrl::HintIndexAt(ms), index);
    CReportCtrl list;
    list.SetHintClock([ms] { return ms; });
    QCOMPARE(list.CurrentHintText(), CReportCtrl::HintText(index));
    QCOMPARE(CReportCtrl::HintText(0), u"Drag & Drop files and folders here"_s);
    QCOMPARE(CReportCtrl::HintText(3),
             u"Add subfolders by clicking the \"Add SubFolders\" toolbar button"_s);
    QCOMPARE(CReportCtrl::HintText(9), u"Right click the column header and click the floating "
                                       u"popup menu to show/hide columns"_s);
    QCOMPARE(CReportCtrl::HintText(10), QString());
}

void TestReportCtrl::hintIsPaintedOnlyInEmptyList() {
    FileList files;
    files.list.SetHintClock([] { return quint64(0); });
    files.Show();
    const int shortHint = CountBluePixels(files.list.viewport());
    QVERIFY(shortHint > 50);

    // The longest hint wraps onto more lines: more of the hint's colour.
    files.list.SetHintClock([] { return quint64(4 * CReportCtrl::kHintPeriodMs); });
    const int longHint = CountBluePixels(files.list.viewport());
    QVERIFY(longHint > shortHint * 2);

    files.list.SetShowEmptyTips(false);
    QCOMPARE(CountBluePixels(files.list.viewport()), 0);
    files.list.SetShowEmptyTips(true);
    files.Add(u"a.mp3"_s);
    QCOMPARE(CountBluePixels(files.list.viewport()), 0);
    files.list.DeleteRows(CReportCtrl::AllRows);
    QVERIFY(CountBluePixels(files.list.viewport()) > 50);
}

// --- The loader thread
// -------------------------------------------------------------------------------

void TestReportCtrl::loaderThreadWritesThroughSink() {
    FileList files;
    files.Add(u"a.mp3"_s);
    files.Add(u"b.mp3"_s);
    std::atomic<bool> done{false};
    QString nameSeen;
    MediaFileInfo* recordSeen = nullptr;
    std::thread loader([&] {
        {
            const std::unique_ptr<InfoRowSink> row = files.list.RowSink(1);
            nameSeen = row->CellText(ColumnName);
            recordSeen = &row->Info();
            row->Info().sampleRate = 44100;
            row->SetCellText(ColumnFrequency, u"44100 Hz"_s);
            row->SetCellTextColor(ColumnType, 0xffff0000u);
            files.list.SetCellNumber(0, ColumnSize, 1.5, 2);
        }
        done = true;
    });
    // No event loop: the window's thread only runs the calls it is owed,
    // as it does while it waits for a loader to stop.
    while (!done) {
        files.list.RunPendingLoaderCalls();
    }
    loader.join();
    QCOMPARE(nameSeen, u"b.mp3"_s);
    QCOMPARE(recordSeen, files.list.GetRowData(1));
    QCOMPARE(files.Info(1).sampleRate, 44100u);
    QCOMPARE(files.list.CellText(1, ColumnFrequency), u"44100 Hz"_s);
    QCOMPARE(files.list.CellTextColour(1, ColumnType), QColor(255, 0, 0));
    QCOMPARE(files.list.CellTextColour(1, ColumnName), files.list.palette().color(QPalette::Text));
    QCOMPARE(files.list.CellText(0, ColumnSize), u"1.50"_s);
}

void TestReportCtrl::sinkFollowsItsRow() {
    FileList files;
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s}) {
        files.Add(name);
    }
    const std::unique_ptr<InfoRowSink> sink = files.list.RowSink(2);
    files.list.MoveRow(2, 0);
    sink->SetCellText(ColumnTitle, u"for c"_s);
    QCOMPARE(files.list.CellText(0, ColumnTitle), u"for c"_s);
    files.list.OnColumnClick(ColumnName); // Name descending: c, b, a
    files.list.OnColumnClick(ColumnName); // ascending: a, b, c
    sink->SetCellText(ColumnGenre, u"still c"_s);
    QCOMPARE(files.list.CellText(2, ColumnGenre), u"still c"_s);
    QCOMPARE(sink->CellText(ColumnName), u"c"_s);
    files.list.DeleteRow(2, false);
    sink->SetCellText(ColumnGenre, u"gone"_s);
    QCOMPARE(sink->CellText(ColumnName), QString());
    for (int row = 0; row < files.list.RowCount(); ++row) {
        QVERIFY(files.list.CellText(row, ColumnGenre).isEmpty());
    }
}

void TestReportCtrl::loaderThreadLoadsAndSorts() {
    FileList files;
    std::atomic<int32_t> busy{0};
    files.list.SetBusyFlag(&busy);
    std::vector<std::unique_ptr<MediaFileInfo>> records;
    for (int i = 0; i < 200; ++i) {
        records.push_back(std::make_unique<MediaFileInfo>());
        records.back()->trackNumber = uint8_t((i * 37) % 200);
    }
    std::atomic<bool> done{false};
    std::thread loader([&] {
        files.list.SetRedraw(false);
        for (int i = 0; i < 200; ++i) {
            const int row = files.list.InsertRow(files.list.RowCount());
            files.list.SetRowData(row, records[size_t(i)].get());
            files.list.SetCellText(row, ColumnName, u"f%1"_s.arg(i));
        }
        files.list.SetSortHistory({{ColumnTrack, 1}});
        files.list.SortByHistory(0, files.list.RowCount() - 1, true);
        done = true;
    });
    // The window's event loop carries out the loader's calls.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(done);
    loader.join();
    QVERIFY(files.list.updatesEnabled());
    QCOMPARE(busy.load(), 0);
    QCOMPARE(files.list.RowCount(), 200);
    for (int row = 1; row < 200; ++row) {
        QVERIFY(files.list.GetRowData(row - 1)->trackNumber <=
                files.list.GetRowData(row)->trackNumber);
    }
    QTRY_COMPARE(files.window.sorted.size(), 1);
    QCOMPARE(files.window.sorted[0].column, int(ColumnTrack));
}

QTEST_MAIN(TestReportCtrl)
#include "tst_reportctrl.moc"
