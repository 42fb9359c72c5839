#pragma once

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

class QSettings;

namespace zorvane {

// The bar between two panes, such as the folder tree and the file list. The
// splitter owns the panes as child widgets; their signals keep going where
// they went. The user drags the bar with the mouse (Escape cancels); the
// left pane keeps its width, or the bottom pane its height, when the
// splitter is resized, and the bar position is kept in the settings store
// from one run to the next.
class CSSplitter : public QWidget {
    Q_OBJECT

public:
    // Style bits of CreateSplit, as in the window styles they come from.
    static constexpr quint32 VerticalSplit = 0x1;   // a left and a right pane
    static constexpr quint32 HorizontalSplit = 0x2; // a top and a bottom pane
    static constexpr quint32 WindowVisible = 0x10000000;
    static constexpr quint32 WindowChild = 0x40000000;
    static constexpr int barWidth = 3;

    enum class SplitKind { None, Vertical, Horizontal };

    // A null store means the user's own settings store; a store given here
    // must outlive the splitter, which writes its position when destroyed.
    explicit CSSplitter(QWidget* parent = nullptr, QSettings* settings = nullptr);
    ~CSSplitter() override;

    // Places the splitter on `rect` of the parent, takes both panes in and
    // splits between them, with min1 and min2 as the smallest left and right
    // widths (vertical) or top and bottom heights (horizontal). With both
    // split bits the horizontal split is the one that stays active.
    bool CreateSplit(quint32 style, QWidget* parent, QWidget* pane1, QWidget* pane2, int identifier,
                     const QRect& rect, int min1, int min2);

    // Live drag moves the panes with the bar; otherwise a thin tracker moves
    // and the panes follow once, on release.
    void SetLiveDrag(bool live) { liveDrag = live; }
    bool IsLiveDrag() const { return liveDrag; }

    void ShowLeftPane();
    void HideLeftPane();
    bool IsLeftPaneShown() const { return !leftPaneHidden; }

    void SetVerticalSplit(int x);
    void SetHorizontalSplit(int y);
    int ClampVertical(int x) const;
    int ClampHorizontal(int y) const;

    SplitKind Kind() const { return kind; }
    int Identifier() const { return identifier; }
    int LeftPaneWidth() const { return leftPaneWidth; }
    int BottomPaneHeight() const { return bottomPaneHeight; }
    QRect LeftPaneRect() const { return leftPaneRect; }
    QRect RightPaneRect() const { return rightPaneRect; }
    QRect TopPaneRect() const { return topPaneRect; }
    QRect BottomPaneRect() const { return bottomPaneRect; }
    QRect VerticalBarRect() const { return verticalBarRect; }
    QRect HorizontalBarRect() const { return horizontalBarRect; }
    bool IsDragging() const { return verticalDragging || horizontalDragging; }
    // The tracker line while a drag without live panes is on, else null.
    const QWidget* Tracker() const;

    // Where the positions are kept: "splt/init_v103" for identifier 103.
    static QString VerticalSection(int identifier);
    static QString HorizontalSection(int identifier);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitVertical();
    void InitHorizontal();
    void AdoptPane(QWidget* pane);
    void StartDrag(bool vertical, const QPoint& position);
    void DrawTracker(bool vertical, int position);
    void EraseTracker();
    void EndDrag();

    SplitKind kind = SplitKind::None;
    QSettings* store;
    QPointer<QWidget> leftPane;
    QPointer<QWidget> rightPane;
    QPointer<QWidget> topPane;
    QPointer<QWidget> bottomPane;
    int minLeftWidth = 0;
    int minRightWidth = 0;
    int minTopHeight = 0;
    int minBottomHeight = 0;
    int identifier = 0;
    int leftPaneWidth = 0;
    int bottomPaneHeight = 0;
    QRect leftPaneRect;
    QRect rightPaneRect;
    QRect topPaneRect;
    QRect bottomPaneRect;
    QRect verticalBarRect;
    QRect horizontalBarRect;
    QRect verticalTracker;
    QRect horizontalTracker;
    bool verticalPressed = false;
    bool verticalDragging = false;
    bool horizontalPressed = false;
    bool horizontalDragging = false;
    int lastDragX = 0;
    int lastDragY = 0;
    // Where the bar was when the drag began, so that Escape can put a live
    // drag back.
    int dragStartSplit = 0;
    QPointer<QWidget> focusBeforeDrag;
    bool leftPaneHidden = false;
    bool liveDrag = false;
    QWidget* tracker = nullptr;
};

} // namespace zorvane
