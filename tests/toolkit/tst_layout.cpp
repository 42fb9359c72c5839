#include "platform/MessageSink.h"
#include "ui/toolkit/ResizeDlg.h"
#include "ui/toolkit/SSplitter.h"
#include "ui/toolkit/SizeGripExt.h"
#include "ui/toolkit/WindowPlacementStore.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace zorvane;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kMainWindowName = u"{0E7A5C93-2B61-4F08-A3D4-91C6B7E2F540}"_s;
const QString kProgressWindowName = u"{6D1F3A20-8C44-4E7B-9B52-3F0A7C1D2E85}"_s;

class RecordingSink final : public MessageSink {
public:
    void ShowError(const QString& text) override { errors.append(text); }
    void ShowMessage(const QString& text) override { messages.append(text); }
    QStringList errors;
    QStringList messages;
};

// A settings store of the test's own, in an INI file that goes with it.
struct TestStore {
    TestStore() : settings(dir.filePath(u"store.ini"_s), QSettings::IniFormat) {}
    QTemporaryDir dir;
    QSettings settings;
};

QList<qint32> Unpack(const QByteArray& bytes) {
    QList<qint32> values;
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4) {
        values.append(qFromLittleEndian<qint32>(bytes.constData() + at));
    }
    return values;
}

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& position) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, position, target->mapToGlobal(position), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Hover(QWidget* target, const QPoint& position) {
    QMouseEvent event(QEvent::MouseMove, position, target->mapToGlobal(position), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses on the bar at `from` and moves to `to`, leaving the button down.
void StartDrag(CSSplitter* splitter, const QPoint& from, const QPoint& to) {
    SendMouse(splitter, QEvent::MouseButtonPress, from);
    SendMouse(splitter, QEvent::MouseMove, to);
}

void Drag(CSSplitter* splitter, const QPoint& from, const QPoint& to) {
    StartDrag(splitter, from, to);
    SendMouse(splitter, QEvent::MouseButtonRelease, to);
}

int RightOf(const QRect& rect) {
    return rect.x() + rect.width();
}

// The main window's arrangement: a folder tree and a file list either side
// of a vertical bar, 100 and 150 pixels at least, in a 600 by 400 splitter.
struct SplitHost {
    explicit SplitHost(QSettings* settings, quint32 style = 0x50000001, int min1 = 100,
                       int min2 = 150) {
        host.resize(600, 400);
        edit = new QLineEdit(&host);
        edit->setGeometry(0, 0, 10, 10);
        left = new QListWidget;
        right = new QListWidget;
        splitter = new CSSplitter(&host, settings);
        splitter->CreateSplit(style, &host, left, right, 103, QRect(0, 0, 600, 400), min1, min2);
        host.show();
    }
    int SplitX() const { return splitter->VerticalBarRect().x() + CSSplitter::barWidth; }

    QWidget host;
    QLineEdit* edit;
    QListWidget* left;
    QListWidget* right;
    CSSplitter* splitter;
};

// A dialog laid out like the progress window: two group boxes and two
// progress bars that stretch, centred labels and buttons, and a log that
// takes all the extra room.
class ProgressLikeDialog final : public CResizeDlg {
public:
    ProgressLikeDialog() {
        resize(400, 300);
        group = Control(new QGroupBox(this), 1071, QRect(10, 10, 380, 60));
        bar = Control(new QProgressBar(this), 1073, QRect(20, 30, 360, 20));
        label = Control(new QLabel(u"Elapsed"_s, this), 1080, QRect(150, 80, 100, 20));
        log = Control(new QListWidget(this), 1003, QRect(10, 110, 380, 120));
        pause = Control(new QPushButton(u"Pause"_s, this), 1075, QRect(110, 250, 80, 25));
        cancel = Control(new QPushButton(u"Cancel"_s, this), 2, QRect(210, 250, 80, 25));
    }

    QWidget* group;
    QWidget* bar;
    QWidget* label;
    QWidget* log;
    QWidget* pause;
    QWidget* cancel;

protected:
    void OnInitDialog() override {
        CResizeDlg::OnInitDialog();
        for (const int id : {1071, 1073}) {
            AddResizeRule(id, 1, 1, 0, 0);
        }
        for (const int id : {1075, 2}) {
            AddResizeRule(id, 3, 3, 2, 2);
        }
        AddResizeRule(1080, 3, 3, 0, 0, 1);
        AddResizeRule(1003, 1, 1, 1, 1);
    }

private:
    QWidget* Control(QWidget* control, int id, const QRect& rect) {
        SetDlgCtrlID(control, id);
        control->setGeometry(rect);
        return control;
    }
};

// A parent with a background no style would choose, to see through the grip.
class RedWidget final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::red); }
};

class WideScrollBarStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        return metric == PM_ScrollBarExtent ? 23 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

public:
    TestLayout() {
        // Before anything opens a settings store: the user's own is never
        // touched, the default store lands in this folder.
        qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_s).toUtf8());
        qputenv("HOME", home.path().toUtf8());
    }

private slots:
    void anchorArithmetic_data();
    void anchorArithmetic();
    void movedEdges_data();
    void movedEdges();
    void addResizeRule();
    void dialogFollowsSize();
    void gripHiddenWhenMaximised();
    void hideSizeGripUntilNextSize();
    void gripShapeAndTransparency_data();
    void gripShapeAndTransparency();
    void gripPlacement();
    void splitterFirstRun();
    void splitterClamps_data();
    void splitterClamps();
    void splitterNarrowThenWide();
    void escapeCancelsDrag_data();
    void escapeCancelsDrag();
    void escapeWithoutDragIsLeftAlone();
    void hideShowLeftPane();
    void splitterRemembersPosition();
    void splitterUsesUserStoreByDefault();
    void storedPositionClampedAtFirstSizeChange();
    void horizontalSplit();
    void bothSplitBitsLeaveHorizontal();
    void barCursor();
    void placementRecordLayout();
    void placementRoundTrip();
    void firstRunPlacement();
    void showOverride_data();
    void showOverride();
    void storedOverrideApplies();
    void unreadablePlacement_data();
    void unreadablePlacement();
    void dialogSavesPlacement();
    void failedSaveSaysSo();

private:
    QTemporaryDir home;
};

// ---- Resize rules -------------------------------------------------------

void TestLayout::anchorArithmetic_data() {
    QTest::addColumn<QList<int>>("modes"); // left, right, top, bottom
    QTest::addColumn<QList<double>>("ratios");
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("current");
    QTest::addColumn<QSize>("newClient");
    QTest::addColumn<QSize>("previousClient");
    QTest::addColumn<QSize>("initialClient");
    QTest::addColumn<uint>("edges");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<QRect>("target");
    QTest::addColumn<QRect>("storedAfter");

    const QList<double> none = {-1.0, -1.0, -1.0, -1.0};
    const uint rightBottom = EdgeRight | EdgeBottom;
    const QRect r(10, 10, 100, 20);

    QTest::newRow("keep") << QList<int>{0, 0, 0, 0} << none << r << r << QSize(600, 400)
                          << QSize(400, 300) << QSize(400, 300) << rightBottom << false << QRect()
                          << r;
    QTest::newRow("stretch both ways")
        << QList<int>{1, 1, 1, 1} << none << QRect(10, 10, 380, 100) << QRect(10, 10, 380, 100)
        << QSize(600, 400) << QSize(400, 300) << QSize(400, 300) << rightBottom << true
        << QRect(10, 10, 580, 200) << QRect(10, 10, 580, 200);
    QTest::newRow("stretch by the change since the last layout")
        << QList<int>{1, 1, 0, 0} << none << QRect(10, 10, 480, 20) << QRect(10, 10, 480, 20)
        << QSize(600, 300) << QSize(500, 300) << QSize(400, 300) << rightBottom << true
        << QRect(10, 10, 580, 20) << QRect(10, 10, 580, 20);
    QTest::newRow("move") << QList<int>{2, 2, 2, 2} << none << QRect(100, 250, 80, 25)
                          << QRect(100, 250, 80, 25) << QSize(600, 400) << QSize(400, 300)
                          << QSize(400, 300) << rightBottom << true << QRect(300, 350, 80, 25)
                          << QRect(300, 350, 80, 25);
    QTest::newRow("centre") << QList<int>{3, 3, 3, 3} << QList<double>{0.5, -1.0, 110.0 / 300, -1.0}
                            << QRect(150, 100, 100, 20) << QRect(150, 100, 100, 20)
                            << QSize(600, 400) << QSize(400, 300) << QSize(400, 300) << rightBottom
                            << true << QRect(250, 136, 100, 20) << QRect(250, 136, 100, 20);
    QTest::newRow("centre keeps the control's own width")
        << QList<int>{3, 3, 0, 0} << QList<double>{0.5, -1.0, -1.0, -1.0}
        << QRect(150, 100, 100, 20) << QRect(150, 100, 120, 20) << QSize(600, 300)
        << QSize(400, 300) << QSize(400, 300) << rightBottom << true << QRect(240, 100, 120, 20)
        << QRect(240, 100, 120, 20);
    QTest::newRow("centre truncates toward zero")
        << QList<int>{3, 3, 0, 0} << QList<double>{0.3, -1.0, -1.0, -1.0} << QRect(0, 0, 100, 20)
        << QRect(0, 0, 100, 20) << QSize(55, 300) << QSize(400, 300) << QSize(400, 300)
        << rightBottom << true << QRect(-33, 0, 100, 20) << QRect(-33, 0, 100, 20);
    QTest::newRow("scale from the registered rectangle")
        << QList<int>{4, 4, 4, 4} << none << QRect(40, 30, 80, 30) << QRect(50, 40, 100, 40)
        << QSize(610, 450) << QSize(500, 400) << QSize(400, 300) << rightBottom << true
        << QRect(61, 45, 122, 45) << QRect(40, 30, 80, 30);
    QTest::newRow("scale leaves a control that is already there alone")
        << QList<int>{4, 4, 4, 4} << none << QRect(40, 30, 80, 30) << QRect(61, 45, 122, 45)
        << QSize(610, 450) << QSize(500, 400) << QSize(400, 300) << rightBottom << false << QRect()
        << QRect(40, 30, 80, 30);
    QTest::newRow("share of the change since initialisation")
        << QList<int>{5, 5, 0, 0} << QList<double>{0.25, 0.5, -1.0, -1.0} << QRect(100, 10, 100, 30)
        << QRect(100, 10, 100, 30) << QSize(601, 300) << QSize(500, 300) << QSize(400, 300)
        << rightBottom << true << QRect(150, 10, 200, 30) << QRect(100, 10, 100, 30);
    QTest::newRow("share vertically")
        << QList<int>{0, 0, 5, 5} << QList<double>{-1.0, -1.0, 0.5, 0.5} << QRect(10, 100, 50, 20)
        << QRect(10, 100, 50, 20) << QSize(400, 500) << QSize(400, 300) << QSize(400, 300)
        << rightBottom << true << QRect(10, 200, 50, 120) << QRect(10, 100, 50, 20);
    QTest::newRow("left-edge mode when the left edge moved")
        << QList<int>{2, 1, 0, 0} << none << r << r << QSize(500, 300) << QSize(400, 300)
        << QSize(400, 300) << uint(EdgeLeft | EdgeRight) << true << QRect(110, 10, 100, 20)
        << QRect(110, 10, 100, 20);
    QTest::newRow("right-edge mode when only the right edge moved")
        << QList<int>{2, 1, 0, 0} << none << r << r << QSize(500, 300) << QSize(400, 300)
        << QSize(400, 300) << uint(EdgeRight) << true << QRect(10, 10, 200, 20)
        << QRect(10, 10, 200, 20);
    QTest::newRow("left-edge mode 0 gives way to the right-edge mode")
        << QList<int>{0, 2, 0, 0} << none << r << r << QSize(500, 300) << QSize(400, 300)
        << QSize(400, 300) << uint(EdgeLeft | EdgeRight) << true << QRect(110, 10, 100, 20)
        << QRect(110, 10, 100, 20);
    QTest::newRow("top-edge mode when the top edge moved")
        << QList<int>{0, 0, 2, 1} << none << r << r << QSize(400, 400) << QSize(400, 300)
        << QSize(400, 300) << uint(EdgeTop | EdgeBottom) << true << QRect(10, 110, 100, 20)
        << QRect(10, 110, 100, 20);
    QTest::newRow("no edge known")
        << QList<int>{1, 1, 1, 1} << none << r << r << QSize(600, 400) << QSize(400, 300)
        << QSize(400, 300) << uint(EdgeNone) << false << QRect() << r;
    QTest::newRow("keep beside scale keeps the control where it is")
        << QList<int>{0, 4, 0, 0} << none << QRect(40, 10, 80, 20) << QRect(61, 10, 122, 20)
        << QSize(610, 300) << QSize(400, 300) << QSize(400, 300) << uint(EdgeLeft) << false
        << QRect() << QRect(40, 10, 80, 20);
    QTest::newRow("keep beside scale, vertically")
        << QList<int>{0, 0, 0, 4} << none << QRect(10, 30, 50, 30) << QRect(10, 45, 50, 45)
        << QSize(400, 450) << QSize(400, 300) << QSize(400, 300) << uint(EdgeTop) << false
        << QRect() << QRect(10, 30, 50, 30);
    QTest::newRow("keep beside scale leaves the registered edges")
        << QList<int>{0, 4, 1, 1} << none << QRect(40, 10, 80, 20) << QRect(61, 10, 122, 20)
        << QSize(610, 400) << QSize(610, 300) << QSize(400, 300) << uint(EdgeLeft | EdgeBottom)
        << true << QRect(61, 10, 122, 120) << QRect(40, 10, 80, 120);
}

void TestLayout::anchorArithmetic() {
    QFETCH(QList<int>, modes);
    QFETCH(QList<double>, ratios);
    QFETCH(QRect, stored);
    QFETCH(QRect, current);
    QFETCH(QSize, newClient);
    QFETCH(QSize, previousClient);
    QFETCH(QSize, initialClient);
    QFETCH(uint, edges);
    QFETCH(bool, moved);
    QFETCH(QRect, target);
    QFETCH(QRect, storedAfter);

    ResizeRule rule;
    rule.modes = quint32(modes[0]) | quint32(modes[1]) << 4 | quint32(modes[2]) << 8 |
                 quint32(modes[3]) << 12;
    rule.left = stored.x();
    rule.top = stored.y();
    rule.right = RightOf(stored);
    rule.bottom = stored.y() + stored.height();
    rule.ratioX1 = ratios[0];
    rule.ratioX2 = ratios[1];
    rule.ratioY1 = ratios[2];
    rule.ratioY2 = ratios[3];

    const std::optional<QRect> result =
        ApplyResizeRule(rule, current, newClient, previousClient, initialClient, edges);
    QCOMPARE(result.has_value(), moved);
    if (moved) {
        QCOMPARE(*result, target);
    }
    QCOMPARE(rule.Rect(), storedAfter);
}

void TestLayout::movedEdges_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("sizing");
    QTest::addColumn<uint>("edges");

    const uint rightBottom = EdgeRight | EdgeBottom;
    QTest::newRow("restored") << int(SizeRestored) << int(SizingLeft) << rightBottom;
    QTest::newRow("maximised") << int(SizeMaximized) << int(SizingNone) << rightBottom;
    QTest::newRow("left") << int(SizeMaxShow) << int(SizingLeft) << uint(EdgeLeft);
    QTest::newRow("right") << int(SizeMaxShow) << int(SizingRight) << uint(EdgeRight);
    QTest::newRow("top") << int(SizeMaxShow) << int(SizingTop) << uint(EdgeTop);
    QTest::newRow("top-left") << int(SizeMaxShow) << int(SizingTopLeft) << uint(EdgeLeft | EdgeTop);
    QTest::newRow("top-right") << int(SizeMaxHide) << int(SizingTopRight)
                               << uint(EdgeRight | EdgeTop);
    QTest::newRow("bottom") << int(SizeMaxShow) << int(SizingBottom) << uint(EdgeBottom);
    QTest::newRow("bottom-left") << int(SizeMaxShow) << int(SizingBottomLeft)
                                 << uint(EdgeLeft | EdgeBottom);
    QTest::newRow("bottom-right") << int(SizeMaxShow) << int(SizingBottomRight) << rightBottom;
    QTest::newRow("no edge") << int(SizeMaxHide) << int(SizingNone) << uint(EdgeNone);
}

void TestLayout::movedEdges() {
    QFETCH(int, kind);
    QFETCH(int, sizing);
    QFETCH(uint, edges);
    QCOMPARE(MovedEdges(kind, sizing), edges);
}

void TestLayout::addResizeRule() {
    CResizeDlg dialog;
    dialog.resize(400, 300);
    auto* button = new QPushButton(&dialog);
    button->setGeometry(150, 250, 100, 20);
    SetDlgCtrlID(button, 1075);
    auto* list = new QListWidget(&dialog);
    list->setGeometry(10, 10, 380, 200);
    auto* label = new QLabel(&dialog);
    label->setGeometry(0, 220, 100, 20);
    QWidget stranger;

    QVERIFY(dialog.AddResizeRule(1075, 3, 3, 2, 2, 0, -1.0, -1.0, -1.0, -1.0));
    QVERIFY(dialog.AddResizeRule(list, 1, 1, 1, 1, 2, 0.1, 0.2, 0.3, 0.4));
    QVERIFY(dialog.AddResizeRule(label, 4, 4, 3, 3, 1));
    QVERIFY(!dialog.AddResizeRule(4242, 1, 1, 1, 1));
    QVERIFY(!dialog.AddResizeRule(&stranger, 1, 1, 1, 1));
    QCOMPARE(dialog.ResizeRules().size(), 3);

    const ResizeRule centred = dialog.ResizeRules().at(0);
    QCOMPARE(centred.controlId, 1075);
    QCOMPARE(centred.modes, 0x2233u);
    QCOMPARE(centred.Rect(), QRect(150, 250, 100, 20));
    QCOMPARE(centred.ratioX1, 0.5); // the centre, 200 of 400
    QCOMPARE(centred.ratioY1, -1.0);

    const ResizeRule stretched = dialog.ResizeRules().at(1);
    QCOMPARE(stretched.modes, 0x21111u);
    QVERIFY(stretched.Has(RepaintOnMove));
    QVERIFY(!stretched.Has(ClipOnErase));
    QCOMPARE(stretched.ratioX1, 0.1);
    QCOMPARE(stretched.ratioY2, 0.4);
    QVERIFY(!list->autoFillBackground());

    const ResizeRule scaled = dialog.ResizeRules().at(2);
    QCOMPARE(scaled.modes, 0x13344u);
    QCOMPARE(scaled.ratioX1, 50.0 / 400);
    QCOMPARE(scaled.ratioY1, 230.0 / 300);
    // Kept out of the dialog's erasing by painting its own background.
    QVERIFY(label->autoFillBackground());

    // A second rule for a control replaces its first, taken where it is now.
    button->move(20, 30);
    QVERIFY(dialog.AddResizeRule(button, 1, 1, 0, 0));
    QCOMPARE(dialog.ResizeRules().size(), 3);
    QCOMPARE(dialog.ResizeRules().at(0).modes, 0x11u);
    QCOMPARE(dialog.ResizeRules().at(0).Rect(), QRect(20, 30, 100, 20));
    QCOMPARE(dialog.GetDlgItem(1075), button);
    QCOMPARE(dialog.GetDlgItem(1076), nullptr);
}

void TestLayout::dialogFollowsSize() {
    ProgressLikeDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.ResizeRules().size(), 6);
    QCOMPARE(dialog.InitialClientRect().size(), QSize(400, 300));

    // Wider: the buttons stay centred, the group boxes and bars stretch.
    dialog.resize(600, 300);
    QTRY_COMPARE(dialog.group->geometry(), QRect(10, 10, 580, 60));
    QCOMPARE(dialog.bar->geometry(), QRect(20, 30, 560, 20));
    QCOMPARE(dialog.pause->geometry(), QRect(185, 250, 80, 25));
    QCOMPARE(dialog.cancel->geometry(), QRect(335, 250, 80, 25));
    QCOMPARE(dialog.label->geometry(), QRect(250, 80, 100, 20));
    QCOMPARE(dialog.log->geometry(), QRect(10, 110, 580, 120));
    QCOMPARE(dialog.PreviousClientRect().size(), QSize(600, 300));
    QVERIFY(dialog.label->autoFillBackground());

    // Taller: the buttons follow the bottom edge, the group boxes stay.
    dialog.resize(600, 420);
    QTRY_COMPARE(dialog.pause->geometry(), QRect(185, 370, 80, 25));
    QCOMPARE(dialog.cancel->geometry(), QRect(335, 370, 80, 25));
    QCOMPARE(dialog.group->geometry(), QRect(10, 10, 580, 60));
    QCOMPARE(dialog.label->geometry(), QRect(250, 80, 100, 20));
    QCOMPARE(dialog.log->geometry(), QRect(10, 110, 580, 240));

    // And back: everything returns to where it started.
    dialog.resize(400, 300);
    QTRY_COMPARE(dialog.log->geometry(), QRect(10, 110, 380, 120));
    QCOMPARE(dialog.pause->geometry(), QRect(110, 250, 80, 25));
    QCOMPARE(dialog.group->geometry(), QRect(10, 10, 380, 60));
}

// ---- Size grip ----------------------------------------------------------

void TestLayout::gripHiddenWhenMaximised() {
    ProgressLikeDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CSizeGripExt* grip = dialog.SizeGrip();
    QVERIFY(grip->isVisible());
    QVERIFY(grip->IsTriangular());
    QVERIFY(!grip->IsTransparent());
    QCOMPARE(grip->geometry().bottomRight(), dialog.rect().bottomRight());

    dialog.showMaximized();
    QTRY_VERIFY(dialog.isMaximized());
    QTRY_VERIFY(!grip->isVisible());
    QVERIFY(!grip->IsGripVisible());

    dialog.showNormal();
    QTRY_VERIFY(!dialog.isMaximized());
    QTRY_VERIFY(grip->isVisible());
    QTRY_COMPARE(dialog.size(), QSize(400, 300));
    QCOMPARE(grip->geometry().bottomRight(), dialog.rect().bottomRight());
}

void TestLayout::hideSizeGripUntilNextSize() {
    ProgressLikeDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.HideSizeGrip();
    QVERIFY(!dialog.SizeGrip()->isVisible());
    QTest::qWait(20);
    QVERIFY(!dialog.SizeGrip()->isVisible());

    dialog.resize(500, 350);
    QTRY_VERIFY(dialog.SizeGrip()->isVisible());
    QCOMPARE(dialog.SizeGrip()->geometry().bottomRight(), QPoint(499, 349));
}

void TestLayout::gripShapeAndTransparency_data() {
    QTest::addColumn<bool>("triangular");
    QTest::addColumn<bool>("transparent");
    QTest::newRow("square, opaque") << false << false;
    QTest::newRow("square, transparent") << false << true;
    QTest::newRow("triangle, opaque") << true << false;
    QTest::newRow("triangle, transparent") << true << true;
}

void TestLayout::gripShapeAndTransparency() {
    QFETCH(bool, triangular);
    QFETCH(bool, transparent);

    RedWidget parent;
    parent.resize(200, 100);
    auto* grip = new CSizeGripExt(&parent);
    QVERIFY(grip->CreateGrip(&parent, true, triangular, transparent));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    const QSize size = grip->GripSize();
    QVERIFY(size.width() > 4);
    QCOMPARE(grip->size(), size);
    if (triangular) {
        QVERIFY(grip->mask().contains(QPoint(size.width() - 2, size.height() - 2)));
        QVERIFY(!grip->mask().contains(QPoint(1, 1)));
    } else {
        QVERIFY(grip->mask().isEmpty());
    }

    // The top-left pixel is background by definition: the parent's red shows
    // there only through a transparent, square grip.
    const QImage image = parent.grab().toImage();
    const QPoint corner = grip->geometry().topLeft() + QPoint(1, 1);
    const bool red = image.pixelColor(corner) == QColor(Qt::red);
    QCOMPARE(red, transparent || triangular);
    if (!transparent && !triangular) {
        QCOMPARE(image.pixelColor(corner), grip->palette().color(QPalette::Window));
    }
}

void TestLayout::gripPlacement() {
    QWidget parent;
    parent.resize(300, 200);
    auto* grip = new CSizeGripExt(&parent);
    auto* cover = new QLabel(&parent);
    cover->setGeometry(250, 150, 50, 50);
    QVERIFY(!grip->CreateGrip(nullptr, true, true, false));
    QVERIFY(grip->CreateGrip(&parent, true, true, false));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    const QSize size = grip->GripSize();
    QCOMPARE(grip->geometry(), QRect(QPoint(300 - size.width(), 200 - size.height()), size));
    // Below its siblings, so a control in the corner stays usable.
    QCOMPARE(parent.children().constFirst(), grip);
    QCOMPARE(grip->focusPolicy(), Qt::NoFocus);

    grip->SetGripVisible(false);
    QVERIFY(grip->isVisible()); // only the next placing hides it
    grip->PlaceGrip(&parent);
    QVERIFY(!grip->isVisible());

    // In a right-to-left layout the corner being dragged is the bottom-left.
    parent.setLayoutDirection(Qt::RightToLeft);
    grip->SetGripVisible(true);
    grip->PlaceGrip(&parent);
    QCOMPARE(grip->geometry(), QRect(QPoint(0, 200 - size.height()), size));
    parent.setLayoutDirection(Qt::LeftToRight);
    grip->PlaceGrip(&parent);

    // A new style may bring a new size: the bottom-right corner stays.
    const QPoint bottomRight = grip->geometry().bottomRight();
    WideScrollBarStyle wide;
    grip->setStyle(&wide);
    QCOMPARE(grip->GripSize(), QSize(23, 23));
    QCOMPARE(grip->size(), QSize(23, 23));
    QCOMPARE(grip->geometry().bottomRight(), bottomRight);
    QVERIFY(grip->mask().contains(QPoint(21, 21)));
    QVERIFY(!grip->mask().contains(QPoint(2, 2)));
    grip->setStyle(nullptr);
}

// ---- Splitter -----------------------------------------------------------

void TestLayout::splitterFirstRun() {
    TestStore store;
    SplitHost split(&store.settings);
    QVERIFY(QTest::qWaitForWindowExposed(&split.host));
    CSSplitter* splitter = split.splitter;

    QCOMPARE(splitter->Kind(), CSSplitter::SplitKind::Vertical);
    QCOMPARE(GetDlgCtrlID(splitter), 103);
    QVERIFY(splitter->isVisible());
    QVERIFY(splitter->hasMouseTracking());
    QCOMPARE(split.left->parentWidget(), splitter);
    QCOMPARE(split.right->parentWidget(), splitter);
    QVERIFY(split.left->isVisible());
    QVERIFY(split.right->isVisible());

    // Nothing stored: the bar at twice the left minimum.
    QCOMPARE(splitter->LeftPaneRect(), QRect(0, 0, 200, 400));
    QCOMPARE(splitter->LeftPaneWidth(), 200);
    QCOMPARE(split.left->geometry(), QRect(0, 0, 200, 400));
    QCOMPARE(split.right->geometry(), QRect(203, 0, 397, 400));
    QCOMPARE(splitter->VerticalBarRect(), QRect(198, 0, 6, 400));
    QVERIFY(splitter->IsLeftPaneShown());
    QVERIFY(!splitter->IsLiveDrag());
}

void TestLayout::splitterClamps_data() {
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("split");

    for (const bool live : {false, true}) {
        const char* how = live ? "live" : "tracker";
        QTest::addRow("%s, far right stops at width - 150", how) << live << 590 << 450;
        QTest::addRow("%s, beyond the right edge", how) << live << 900 << 450;
        QTest::addRow("%s, far left stops at 100", how) << live << 10 << 100;
        QTest::addRow("%s, beyond the left edge", how) << live << -50 << 100;
        QTest::addRow("%s, in between", how) << live << 300 << 300;
    }
}

void TestLayout::splitterClamps() {
    QFETCH(bool, live);
    QFETCH(int, to);
    QFETCH(int, split);

    TestStore store;
    SplitHost host(&store.settings);
    CSSplitter* splitter = host.splitter;
    splitter->SetLiveDrag(live);

    StartDrag(splitter, QPoint(201, 50), QPoint(to, 60));
    QVERIFY(splitter->IsDragging());
    if (live) {
        QVERIFY(!splitter->Tracker());
        QCOMPARE(RightOf(host.left->geometry()), split - 1);
    } else {
        // Only the tracker moves; the panes wait for the release.
        QVERIFY(splitter->Tracker());
        QCOMPARE(splitter->Tracker()->geometry(), QRect(split - 1, 0, 3, 400));
        QCOMPARE(RightOf(host.left->geometry()), 200);
    }
    SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(to, 60));

    QVERIFY(!splitter->IsDragging());
    QVERIFY(!splitter->Tracker());
    QCOMPARE(host.SplitX(), split);
    QCOMPARE(RightOf(host.left->geometry()), split - 1);
    QCOMPARE(host.right->geometry().x(), split + 2);
    QCOMPARE(RightOf(host.right->geometry()), 600);
    QCOMPARE(splitter->LeftPaneWidth(), split - 1);
}

void TestLayout::splitterNarrowThenWide() {
    TestStore store;
    SplitHost host(&store.settings);
    CSSplitter* splitter = host.splitter;

    // Narrower than both minima together: the left minimum wins.
    splitter->resize(220, 400);
    QCOMPARE(host.SplitX(), 100);
    QCOMPARE(RightOf(host.left->geometry()), 99);
    QCOMPARE(RightOf(host.right->geometry()), 220);
    QCOMPARE(splitter->LeftPaneWidth(), 200);

    splitter->resize(320, 400);
    QCOMPARE(host.SplitX(), 170);

    // Wide again: the remembered width comes back.
    splitter->resize(700, 400);
    QCOMPARE(RightOf(host.left->geometry()), 200);
    QCOMPARE(RightOf(host.right->geometry()), 700);
    QCOMPARE(host.right->height(), 400);
}

void TestLayout::escapeCancelsDrag_data() {
    QTest::addColumn<bool>("live");
    QTest::newRow("tracker") << false;
    QTest::newRow("live") << true;
}

void TestLayout::escapeCancelsDrag() {
    QFETCH(bool, live);

    TestStore store;
    SplitHost host(&store.settings);
    CSSplitter* splitter = host.splitter;
    splitter->SetLiveDrag(live);
    host.host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host.host));
    host.edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), host.edit);

    StartDrag(splitter, QPoint(201, 50), QPoint(400, 50));
    QCOMPARE(QApplication::focusWidget(), splitter);
    QCOMPARE(splitter->cursor().shape(), Qt::SizeHorCursor);
    QCOMPARE(RightOf(host.left->geometry()), live ? 399 : 200);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!splitter->IsDragging());
    QVERIFY(!splitter->Tracker());
    QCOMPARE(QApplication::focusWidget(), host.edit);
    QCOMPARE(RightOf(host.left->geometry()), 200);
    QCOMPARE(host.right->geometry().x(), 203);
    QCOMPARE(splitter->LeftPaneWidth(), 200);

    // The rest of the gesture changes nothing.
    SendMouse(splitter, QEvent::MouseMove, QPoint(450, 50));
    SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(450, 50));
    QCOMPARE(RightOf(host.left->geometry()), 200);
    QCOMPARE(splitter->LeftPaneWidth(), 200);
}

void TestLayout::escapeWithoutDragIsLeftAlone() {
    TestStore store;
    SplitHost host(&store.settings);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(host.splitter, &escape);
    // Not taken, so that a dialog around the splitter can close on it.
    QVERIFY(!escape.isAccepted());
}

void TestLayout::hideShowLeftPane() {
    TestStore store;
    SplitHost host(&store.settings);
    CSSplitter* splitter = host.splitter;
    Drag(splitter, QPoint(201, 50), QPoint(300, 50));
    QCOMPARE(RightOf(host.left->geometry()), 299);

    splitter->HideLeftPane();
    QVERIFY(!splitter->IsLeftPaneShown());
    QVERIFY(!host.left->isVisible());
    QCOMPARE(host.right->geometry(), QRect(0, 0, 600, 400));
    QVERIFY(splitter->VerticalBarRect().isEmpty());
    SendMouse(splitter, QEvent::MouseButtonPress, QPoint(301, 50));
    QVERIFY(!splitter->IsDragging());
    SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(301, 50));

    // While hidden, the list keeps filling the splitter.
    splitter->resize(500, 300);
    QCOMPARE(host.right->geometry(), QRect(0, 0, 500, 300));
    splitter->resize(600, 400);

    splitter->ShowLeftPane();
    QVERIFY(splitter->IsLeftPaneShown());
    QVERIFY(host.left->isVisible());
    QCOMPARE(host.left->geometry(), QRect(0, 0, 299, 400));
    QCOMPARE(host.right->geometry(), QRect(302, 0, 298, 400));
    QCOMPARE(splitter->LeftPaneWidth(), 299);
    QVERIFY(!splitter->VerticalBarRect().isEmpty());

    // Shown again in a splitter that shrank meanwhile: the bar fits in, the
    // width comes back when there is room.
    splitter->HideLeftPane();
    splitter->resize(350, 400);
    splitter->ShowLeftPane();
    QCOMPARE(host.SplitX(), 200);
    QCOMPARE(RightOf(host.right->geometry()), 350);
    splitter->resize(600, 400);
    QCOMPARE(RightOf(host.left->geometry()), 299);
}

void TestLayout::splitterRemembersPosition() {
    TestStore store;
    {
        SplitHost host(&store.settings);
        Drag(host.splitter, QPoint(201, 50), QPoint(300, 50));
    }
    QCOMPARE(store.settings.value(u"splt/init_v103/VertSplitPos"_s).toInt(), 299);
    // A vertical split has no bottom pane, so nothing is written for one.
    QVERIFY(!store.settings.contains(u"splt/init_h103/HorizSplitPos"_s));

    SplitHost again(&store.settings);
    QCOMPARE(RightOf(again.left->geometry()), 299);
    QCOMPARE(again.splitter->LeftPaneWidth(), 299);

    // A hidden left pane keeps its last place.
    again.splitter->HideLeftPane();
    delete again.splitter;
    QCOMPARE(store.settings.value(u"splt/init_v103/VertSplitPos"_s).toInt(), 299);
}

void TestLayout::splitterUsesUserStoreByDefault() {
    {
        SplitHost host(nullptr);
        Drag(host.splitter, QPoint(201, 50), QPoint(260, 50));
    }
    QSettings user(u"Quenlor Corporation"_s, u"Zorvane"_s);
    QVERIFY(user.fileName().startsWith(home.path()));
    QCOMPARE(user.value(u"splt/init_v103/VertSplitPos"_s).toInt(), 259);
    QFile::remove(user.fileName());
}

void TestLayout::storedPositionClampedAtFirstSizeChange() {
    TestStore store;
    store.settings.setValue(u"splt/init_v103/VertSplitPos"_s, 1000);
    SplitHost host(&store.settings);
    QVERIFY(QTest::qWaitForWindowExposed(&host.host));
    QCOMPARE(host.SplitX(), 450);
    // Clamped for this size only: the stored width is still what it wants.
    QCOMPARE(host.splitter->LeftPaneWidth(), 1000);
}

void TestLayout::horizontalSplit() {
    TestStore store;
    {
        SplitHost host(&store.settings, 0x50000002, 50, 80);
        CSSplitter* splitter = host.splitter;
        QCOMPARE(splitter->Kind(), CSSplitter::SplitKind::Horizontal);
        // Nothing stored: the bottom pane twice its minimum height.
        QCOMPARE(splitter->BottomPaneHeight(), 160);
        QCOMPARE(host.right->geometry(), QRect(0, 240, 600, 160));
        QCOMPARE(host.left->geometry(), QRect(0, 0, 600, 237));
        QCOMPARE(splitter->HorizontalBarRect(), QRect(0, 236, 600, 6));

        // Taller: the bottom pane keeps its height.
        splitter->resize(600, 500);
        QCOMPARE(host.right->geometry(), QRect(0, 340, 600, 160));
        QCOMPARE(host.left->geometry(), QRect(0, 0, 600, 337));

        StartDrag(splitter, QPoint(300, 339), QPoint(300, 5));
        QCOMPARE(splitter->Tracker()->geometry(), QRect(0, 49, 600, 3));
        QCOMPARE(splitter->cursor().shape(), Qt::SizeVerCursor);
        SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(300, 5));
        QCOMPARE(host.right->geometry().y(), 51);
        QCOMPARE(splitter->BottomPaneHeight(), 449);

        Drag(splitter, QPoint(300, 50), QPoint(300, 490));
        QCOMPARE(host.right->geometry(), QRect(0, 421, 600, 79));
        QCOMPARE(splitter->BottomPaneHeight(), 79);

        // Hiding the left pane belongs to vertical splits only.
        splitter->HideLeftPane();
        QVERIFY(splitter->IsLeftPaneShown());
        QVERIFY(host.left->isVisible());
    }
    QCOMPARE(store.settings.value(u"splt/init_h103/HorizSplitPos"_s).toInt(), 79);
    QVERIFY(!store.settings.contains(u"splt/init_v103/VertSplitPos"_s));

    SplitHost again(&store.settings, 0x50000002, 50, 80);
    QCOMPARE(again.right->geometry(), QRect(0, 321, 600, 79));
}

void TestLayout::bothSplitBitsLeaveHorizontal() {
    TestStore store;
    SplitHost host(&store.settings, 0x50000003, 100, 100);
    CSSplitter* splitter = host.splitter;
    QCOMPARE(splitter->Kind(), CSSplitter::SplitKind::Horizontal);
    QCOMPARE(host.right->geometry(), QRect(0, 200, 600, 200));

    SendMouse(splitter, QEvent::MouseButtonPress, QPoint(201, 50));
    QVERIFY(!splitter->IsDragging());
    SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(201, 50));
    // Too short for both minima: the top minimum wins.
    splitter->resize(600, 300);
    QCOMPARE(host.right->geometry(), QRect(0, 101, 600, 199));
}

void TestLayout::barCursor() {
    TestStore store;
    SplitHost host(&store.settings);
    Hover(host.splitter, QPoint(201, 80));
    QVERIFY(host.splitter->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(host.splitter->cursor().shape(), Qt::SizeHorCursor);
    Hover(host.splitter, QPoint(150, 80));
    QVERIFY(!host.splitter->testAttribute(Qt::WA_SetCursor));
}

// ---- Window placement ---------------------------------------------------

void TestLayout::placementRecordLayout() {
    TestStore store;
    QWidget window;
    window.setGeometry(100, 120, 300, 200);
    WindowPlacementStore placements(&store.settings);
    QVERIFY(placements.SavePlacement(&window, kProgressWindowName, u"Position"_s));

    const QVariant value = store.settings.value(u"Position/"_s + kProgressWindowName);
    QCOMPARE(value.typeId(), int(QMetaType::QByteArray));
    const QByteArray bytes = value.toByteArray();
    QCOMPARE(bytes.size(), 44);
    // length, flags, show command, minimised and maximised positions, normal
    // rectangle as left, top, right, bottom; all 32-bit little-endian.
    QCOMPARE(bytes.toHex(), QByteArray("2c000000"
                                       "00000000"
                                       "01000000"
                                       "ffffffffffffffff"
                                       "ffffffffffffffff"
                                       "64000000"
                                       "78000000"
                                       "90010000"
                                       "40010000"));
    QCOMPARE(store.settings.value(u"Position/Default"_s).toInt(), 0);
    QCOMPARE(placements.Placement().ToBytes(), bytes);

    // A maximised window saves its restored rectangle and the maximised state.
    window.show();
    window.showMaximized();
    QTRY_VERIFY(window.isMaximized());
    QVERIFY(placements.SavePlacement(&window, kProgressWindowName, u"Position"_s));
    const QList<qint32> fields =
        Unpack(store.settings.value(u"Position/"_s + kProgressWindowName).toByteArray());
    QCOMPARE(fields.size(), 11);
    QCOMPARE(fields[2], 3);
    QCOMPARE(fields.mid(7), (QList<qint32>{100, 120, 400, 320}));
}

void TestLayout::placementRoundTrip() {
    TestStore store;
    {
        QWidget window;
        window.setGeometry(50, 60, 320, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        WindowPlacementStore placements(&store.settings);
        QVERIFY(placements.SavePlacement(&window, kMainWindowName, u"Position"_s));
    }

    QWidget window;
    window.setGeometry(10, 10, 100, 100);
    WindowPlacementStore placements(&store.settings);
    QVERIFY(placements.RestorePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(placements.Placement().NormalRect(), QRect(50, 60, 320, 240));
    QCOMPARE(placements.Placement().showCmd, WindowPlacement::kShowMaximized);
    window.show();
    QTRY_VERIFY(window.isMaximized());
    window.showNormal();
    QTRY_COMPARE(window.geometry(), QRect(50, 60, 320, 240));

    // A normal window comes back normal, where it was.
    WindowPlacementStore saver(&store.settings);
    window.setGeometry(70, 80, 330, 250);
    QTRY_COMPARE(window.geometry(), QRect(70, 80, 330, 250));
    QVERIFY(saver.SavePlacement(&window, kMainWindowName, u"Position"_s));
    QWidget other;
    WindowPlacementStore restorer(&store.settings);
    QVERIFY(restorer.RestorePlacement(&other, kMainWindowName, u"Position"_s));
    QCOMPARE(other.geometry(), QRect(70, 80, 330, 250));
    QVERIFY(!(other.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)));
}

void TestLayout::firstRunPlacement() {
    TestStore store;
    QWidget window;
    window.setGeometry(10, 20, 300, 200);
    WindowPlacementStore placements(&store.settings);
    QVERIFY(!placements.RestorePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(window.geometry(), QRect(10, 20, 300, 200));
    QCOMPARE(WindowPlacementStore::ShowOverride(), 0);

    const QRect screen = window.screen()->geometry();
    const QRect centred(screen.x() + (screen.width() - 300) / 2,
                        screen.y() + (screen.height() - 200) / 2, 300, 200);
    QCOMPARE(placements.DefaultPlacement().NormalRect(), centred);
    QCOMPARE(placements.Placement(), placements.DefaultPlacement());

    // The default is worked out on the first restore only.
    window.setGeometry(0, 0, 500, 400);
    QVERIFY(!placements.RestorePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(placements.DefaultPlacement().NormalRect(), centred);
}

void TestLayout::showOverride_data() {
    QTest::addColumn<uint>("showCmd");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<int>("override");
    QTest::addColumn<uint>("expected");

    QTest::newRow("1 leaves maximised") << 3u << 0u << 1 << 3u;
    QTest::newRow("1 leaves minimised") << 2u << 0u << 1 << 2u;
    QTest::newRow("2 makes normal") << 3u << 0u << 2 << 1u;
    QTest::newRow("3 maximises") << 1u << 0u << 3 << 3u;
    QTest::newRow("4 minimises") << 1u << 0u << 4 << 2u;
    QTest::newRow("none: minimised becomes normal") << 2u << 0u << 0 << 1u;
    QTest::newRow("none: minimised from maximised") << 2u << 2u << 0 << 3u;
    QTest::newRow("other: minimised from maximised") << 2u << 2u << 7 << 3u;
    QTest::newRow("none: maximised stays") << 3u << 2u << 0 << 3u;
    QTest::newRow("none: normal stays") << 1u << 0u << 0 << 1u;
}

void TestLayout::showOverride() {
    QFETCH(uint, showCmd);
    QFETCH(uint, flags);
    QFETCH(int, override);
    QFETCH(uint, expected);
    QCOMPARE(WindowPlacementStore::AdjustedShowCommand(showCmd, flags, override), expected);
}

void TestLayout::storedOverrideApplies() {
    TestStore store;
    WindowPlacement normal;
    normal.SetNormalRect(QRect(40, 50, 300, 200));
    store.settings.setValue(u"Position/"_s + kMainWindowName, normal.ToBytes());
    store.settings.setValue(u"Position/Default"_s, 3);

    QWidget window;
    WindowPlacementStore placements(&store.settings);
    QVERIFY(placements.RestorePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(WindowPlacementStore::ShowOverride(), 3);
    QCOMPARE(placements.Placement().showCmd, WindowPlacement::kShowMaximized);
    QVERIFY(window.windowState() & Qt::WindowMaximized);

    // Saving writes the override back as it was read.
    QVERIFY(placements.SavePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(store.settings.value(u"Position/Default"_s).toInt(), 3);

    // Without an override, a window closed minimised comes back normal.
    store.settings.setValue(u"Position/Default"_s, 0);
    WindowPlacement minimised = normal;
    minimised.showCmd = WindowPlacement::kShowMinimized;
    store.settings.setValue(u"Position/"_s + kMainWindowName, minimised.ToBytes());
    QWidget other;
    WindowPlacementStore fresh(&store.settings);
    QVERIFY(fresh.RestorePlacement(&other, kMainWindowName, u"Position"_s));
    QCOMPARE(WindowPlacementStore::ShowOverride(), 0);
    QVERIFY(!(other.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
    QCOMPARE(other.geometry(), QRect(40, 50, 300, 200));
}

void TestLayout::unreadablePlacement_data() {
    QTest::addColumn<QVariant>("value");

    WindowPlacement wrongLength;
    wrongLength.length = 40;
    wrongLength.SetNormalRect(QRect(40, 50, 300, 200));
    WindowPlacement empty;
    QTest::newRow("too short") << QVariant(QByteArray(20, '\1'));
    QTest::newRow("text") << QVariant(QString(44, u'x'));
    QTest::newRow("wrong length field") << QVariant(wrongLength.ToBytes());
    QTest::newRow("empty rectangle") << QVariant(empty.ToBytes());
}

void TestLayout::unreadablePlacement() {
    QFETCH(QVariant, value);
    TestStore store;
    store.settings.setValue(u"Position/"_s + kMainWindowName, value);
    QWidget window;
    window.setGeometry(10, 20, 300, 200);
    WindowPlacementStore placements(&store.settings);
    QVERIFY(!placements.RestorePlacement(&window, kMainWindowName, u"Position"_s));
    QCOMPARE(window.geometry(), QRect(10, 20, 300, 200));
    QCOMPARE(placements.Placement(), placements.DefaultPlacement());
}

void TestLayout::dialogSavesPlacement() {
    TestStore store;
    RecordingSink sink;
    {
        auto dialog = std::make_unique<ProgressLikeDialog>();
        dialog->SetSettings(&store.settings);
        dialog->SetMessageSink(&sink);
        dialog->placementName = kProgressWindowName;
        dialog->setGeometry(30, 40, 420, 320);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QTRY_COMPARE(dialog->geometry(), QRect(30, 40, 420, 320));
    }
    const QList<qint32> fields =
        Unpack(store.settings.value(u"Position/"_s + kProgressWindowName).toByteArray());
    QCOMPARE(fields, (QList<qint32>{44, 0, 1, -1, -1, -1, -1, 30, 40, 450, 360}));
    QVERIFY(sink.messages.isEmpty());

    // Without a name, or never shown, nothing is written.
    store.settings.clear();
    {
        ProgressLikeDialog unnamed;
        unnamed.SetSettings(&store.settings);
        unnamed.show();
        QVERIFY(QTest::qWaitForWindowExposed(&unnamed));
        ProgressLikeDialog unshown;
        unshown.SetSettings(&store.settings);
        unshown.placementName = kMainWindowName;
    }
    QVERIFY(store.settings.allKeys().isEmpty());
}

void TestLayout::failedSaveSaysSo() {
    QTemporaryDir dir;
    // A file where the store's folder should be: not even root can write.
    QFile blocker(dir.filePath(u"blocker"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings unwritable(dir.filePath(u"blocker/store.ini"_s), QSettings::IniFormat);

    RecordingSink sink;
    {
        ProgressLikeDialog dialog;
        dialog.SetSettings(&unwritable);
        dialog.SetMessageSink(&sink);
        dialog.placementName = kProgressWindowName;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }
    QCOMPARE(sink.messages, QStringList{u"Fail to Save!"_s});
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
