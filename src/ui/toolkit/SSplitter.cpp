#include "SSplitter.h"

#include "ui/toolkit/ResizeDlg.h"
#include "ui/toolkit/WindowPlacementStore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace zorvane {

namespace {

// From edges, right and bottom just outside, to a QRect.
QRect FromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

int RightOf(const QRect& rect) {
    return rect.x() + rect.width();
}

int BottomOf(const QRect& rect) {
    return rect.y() + rect.height();
}

int ReadPosition(QSettings& settings, const QString& key, int fallback) {
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok ? value : fallback;
}

// The line that follows the pointer while the bar is dragged. It inverts what
// lies below it, so it shows on any pane and needs no colour of its own.
class TrackerLine final : public QWidget {
public:
    explicit TrackerLine(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(rect(), palette().color(QPalette::Button));
    }
};

} // namespace

CSSplitter::CSSplitter(QWidget* parent, QSettings* settings) : QWidget(parent), store(settings) {}

CSSplitter::~CSSplitter() {
    if (leftPaneRect.isEmpty() && bottomPaneRect.isEmpty()) {
        return;
    }
    ScopedSettings settings(store);
    if (!leftPaneRect.isEmpty()) {
        settings->setValue(VerticalSection(identifier) + u"/VertSplitPos"_s, RightOf(leftPaneRect));
    }
    if (!bottomPaneRect.isEmpty()) {
        settings->setValue(HorizontalSection(identifier) + u"/HorizSplitPos"_s,
                           bottomPaneRect.height());
    }
    settings.Flush();
}

QString CSSplitter::VerticalSection(int id) {
    return u"splt/init_v"_s + QString::number(id);
}

QString CSSplitter::HorizontalSection(int id) {
    return u"splt/init_h"_s + QString::number(id);
}

bool CSSplitter::CreateSplit(quint32 style, QWidget* parent, QWidget* pane1, QWidget* pane2,
                             int splitterId, const QRect& rect, int min1, int min2) {
    if (parent && parentWidget() != parent) {
        setParent(parent);
    }
    identifier = splitterId;
    SetDlgCtrlID(this, splitterId);
    // The bar answers the pointer even with no button held, to show the
    // sizing cursor over it.
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setGeometry(rect);

    if (style & VerticalSplit) {
        leftPane = pane1;
        rightPane = pane2;
        minLeftWidth = min1;
        minRightWidth = min2;
        AdoptPane(pane1);
        AdoptPane(pane2);
        kind = SplitKind::Vertical;
        InitVertical();
    }
    if (style & HorizontalSplit) {
        topPane = pane1;
        bottomPane = pane2;
        minTopHeight = min1;
        minBottomHeight = min2;
        AdoptPane(pane1);
        AdoptPane(pane2);
        kind = SplitKind::Horizontal;
        InitHorizontal();
    }
    setVisible((style & WindowVisible) != 0);
    return true;
}

void CSSplitter::AdoptPane(QWidget* pane) {
    if (!pane || pane->parentWidget() == this) {
        return;
    }
    // Reparenting hides a widget; a pane keeps the visibility it had. A
    // widget that was never shown nor hidden counts as shown, like a new
    // child.
    const bool wasHidden = pane->isHidden() && pane->testAttribute(Qt::WA_WState_ExplicitShowHide);
    pane->setParent(this);
    pane->setVisible(!wasHidden);
}

void CSSplitter::InitVertical() {
    ScopedSettings settings(store);
    const int stored =
        ReadPosition(*settings, VerticalSection(identifier) + u"/VertSplitPos"_s, 2 * minLeftWidth);
    // Not clamped yet: the first size change does that, once the splitter
    // has its final size.
    SetVerticalSplit(stored + barWidth / 2);
    leftPaneWidth = leftPaneRect.width();
}

void CSSplitter::InitHorizontal() {
    ScopedSettings settings(store);
    bottomPaneHeight = ReadPosition(*settings, HorizontalSection(identifier) + u"/HorizSplitPos"_s,
                                    2 * minBottomHeight);
    SetHorizontalSplit(height() - barWidth / 2 - bottomPaneHeight);
}

void CSSplitter::SetVerticalSplit(int x) {
    const QRect client = rect();
    verticalBarRect = FromEdges(x - barWidth, client.top(), x + barWidth, BottomOf(client));
    leftPaneRect = FromEdges(client.left(), client.top(), x - barWidth / 2, BottomOf(client));
    rightPaneRect = FromEdges(RightOf(leftPaneRect) + barWidth, client.top(), RightOf(client),
                              BottomOf(client));
    if (leftPane) {
        leftPane->setGeometry(leftPaneRect);
        leftPane->update();
    }
    if (rightPane) {
        rightPane->setGeometry(rightPaneRect);
        rightPane->update();
    }
}

void CSSplitter::SetHorizontalSplit(int y) {
    const QRect client = rect();
    horizontalBarRect = FromEdges(0, y - barWidth, RightOf(client), y + barWidth);
    bottomPaneRect = FromEdges(client.left(), y + barWidth / 2, RightOf(client), BottomOf(client));
    topPaneRect =
        FromEdges(client.left(), client.top(), RightOf(client), bottomPaneRect.y() - barWidth);
    if (topPane) {
        topPane->setGeometry(topPaneRect);
        topPane->update();
    }
    if (bottomPane) {
        bottomPane->setGeometry(bottomPaneRect);
        bottomPane->update();
    }
}

int CSSplitter::ClampVertical(int x) const {
    // The left minimum is applied last, so it wins when both cannot be met.
    x = std::min(x, RightOf(rect()) - minRightWidth);
    return std::max(x, rect().left() + minLeftWidth);
}

int CSSplitter::ClampHorizontal(int y) const {
    y = std::min(y, BottomOf(rect()) - minBottomHeight);
    return std::max(y, rect().top() + minTopHeight);
}

void CSSplitter::HideLeftPane() {
    if (kind != SplitKind::Vertical || !rightPane || leftPaneHidden) {
        return;
    }
    leftPaneHidden = true;
    // No bar to grab while there is nothing to its left.
    verticalBarRect = QRect();
    if (leftPane) {
        leftPane->hide();
    }
    rightPane->setGeometry(rect());
}

void CSSplitter::ShowLeftPane() {
    if (kind != SplitKind::Vertical) {
        return;
    }
    leftPaneHidden = false;
    leftPaneWidth = leftPaneRect.width();
    // The splitter may have shrunk while the pane was away; like a size
    // change, keep the remembered width but fit the bar to the space there is.
    SetVerticalSplit(ClampVertical(RightOf(leftPaneRect) + barWidth / 2));
    if (leftPane) {
        leftPane->show();
    }
}

const QWidget* CSSplitter::Tracker() const {
    return tracker && tracker->isVisible() ? tracker : nullptr;
}

void CSSplitter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (kind == SplitKind::Vertical) {
        if (leftPaneHidden) {
            if (rightPane) {
                rightPane->setGeometry(rect());
            }
            return;
        }
        // Clamping does not touch leftPaneWidth: when the splitter grows
        // again, the left pane gets its width back.
        SetVerticalSplit(ClampVertical(leftPaneWidth + barWidth / 2));
    } else if (kind == SplitKind::Horizontal) {
        SetHorizontalSplit(ClampHorizontal(height() - barWidth / 2 - bottomPaneHeight));
    }
}

void CSSplitter::StartDrag(bool vertical, const QPoint& position) {
    if (vertical) {
        verticalTracker = rect();
        lastDragX = position.x();
        dragStartSplit = leftPaneWidth;
    } else {
        horizontalTracker = rect();
        lastDragY = position.y();
        dragStartSplit = bottomPaneHeight;
    }
    if (!liveDrag) {
        DrawTracker(vertical, vertical ? position.x() : position.y());
    }
    focusBeforeDrag = QApplication::focusWidget();
    setFocus(Qt::MouseFocusReason);
    setCursor(vertical ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    if (vertical) {
        verticalPressed = verticalDragging = true;
    } else {
        horizontalPressed = horizontalDragging = true;
    }
}

void CSSplitter::DrawTracker(bool vertical, int position) {
    if (!tracker) {
        tracker = new TrackerLine(this);
    }
    // A bar of barWidth pixels at the drag position, across the splitter.
    QRect& line = vertical ? verticalTracker : horizontalTracker;
    line = vertical ? QRect(position - barWidth / 2, 0, barWidth, height())
                    : QRect(0, position - barWidth / 2, width(), barWidth);
    tracker->setGeometry(line);
    tracker->raise();
    tracker->show();
}

void CSSplitter::EraseTracker() {
    if (tracker) {
        tracker->hide();
    }
}

void CSSplitter::EndDrag() {
    verticalPressed = verticalDragging = false;
    horizontalPressed = horizontalDragging = false;
}

void CSSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    if (kind == SplitKind::Vertical && verticalBarRect.contains(position)) {
        StartDrag(true, position);
    } else if (kind == SplitKind::Horizontal && horizontalBarRect.contains(position)) {
        StartDrag(false, position);
    }
}

void CSSplitter::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (verticalDragging) {
        const int x = ClampVertical(position.x());
        if (liveDrag) {
            SetVerticalSplit(x);
            leftPaneWidth = leftPaneRect.width();
        } else {
            EraseTracker();
            DrawTracker(true, verticalTracker.x() + barWidth / 2 + (x - lastDragX));
            lastDragX = x;
        }
        return;
    }
    if (horizontalDragging) {
        const int y = ClampHorizontal(position.y());
        if (liveDrag) {
            SetHorizontalSplit(y);
            bottomPaneHeight = bottomPaneRect.height();
        } else {
            EraseTracker();
            DrawTracker(false, horizontalTracker.y() + barWidth / 2 + (y - lastDragY));
            lastDragY = y;
        }
        return;
    }
    if (kind == SplitKind::Vertical && verticalBarRect.contains(position)) {
        setCursor(Qt::SizeHorCursor);
    } else if (kind == SplitKind::Horizontal && horizontalBarRect.contains(position)) {
        setCursor(Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
}

void CSSplitter::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (verticalPressed && verticalDragging) {
        const int x = ClampVertical(position.x());
        if (!liveDrag) {
            EraseTracker();
        }
        SetVerticalSplit(x);
        leftPaneWidth = leftPaneRect.width();
        EndDrag();
        return;
    }
    if (horizontalPressed && horizontalDragging) {
        const int y = ClampHorizontal(position.y());
        if (!liveDrag) {
            EraseTracker();
        }
        SetHorizontalSplit(y);
        bottomPaneHeight = bottomPaneRect.height();
        EndDrag();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CSSplitter::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || !IsDragging()) {
        QWidget::keyPressEvent(event);
        return;
    }
    EraseTracker();
    // Escape cancels: a live drag has already moved the panes and puts them
    // back where the drag began.
    if (liveDrag && verticalDragging) {
        leftPaneWidth = dragStartSplit;
        SetVerticalSplit(leftPaneWidth + barWidth / 2);
    } else if (liveDrag && horizontalDragging) {
        bottomPaneHeight = dragStartSplit;
        SetHorizontalSplit(height() - barWidth / 2 - bottomPaneHeight);
    }
    if (focusBeforeDrag) {
        focusBeforeDrag->setFocus(Qt::OtherFocusReason);
    }
    EndDrag();
    event->accept();
}

} // namespace zorvane
