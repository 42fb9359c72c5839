#pragma once

#include "ui/toolkit/WindowPlacementStore.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QRect>

#include <optional>

class QSettings;

namespace zorvane {

class CSizeGripExt;
class MessageSink;

// Dialog controls are known by number, as in the dialog layouts they come
// from. The number is kept on the widget, so any code can find a control
// again without holding a pointer to it.
void SetDlgCtrlID(QWidget* control, int controlId);
// 0 when the widget has no number.
int GetDlgCtrlID(const QWidget* control);
// The child of `dialog` with that control id, or nullptr.
QWidget* FindDlgItem(const QWidget* dialog, int controlId);

// Where a control goes, per axis, when the dialog's size changes. Described
// horizontally; vertically the same with top, bottom and heights.
enum AnchorMode : int {
    AnchorKeep = 0,    // stays where it is
    AnchorStretch = 1, // the right edge follows the dialog's right edge
    AnchorMove = 2,    // both edges follow the dialog's right edge
    AnchorCentre = 3,  // keeps its width, its centre at ratioX1 of the width
    AnchorScale = 4,   // both edges scale with the dialog's width
    AnchorShare = 5,   // takes shares ratioX1, ratioX2 of the change in width
};

// Options of a rule, in bits 16-17 of its mode word.
inline constexpr quint32 ClipOnErase = 0x10000;   // the dialog does not erase under it
inline constexpr quint32 RepaintOnMove = 0x20000; // redrawn at once, with the area it leaves

// The edges of the dialog that moved in one size change.
enum MovedEdge : unsigned {
    EdgeNone = 0,
    EdgeLeft = 1,
    EdgeRight = 2,
    EdgeTop = 4,
    EdgeBottom = 8,
};

// The kinds of size change the platform reports.
enum SizeKind : int {
    SizeRestored = 0,
    SizeMinimized = 1,
    SizeMaximized = 2,
    SizeMaxShow = 3,
    SizeMaxHide = 4,
};

// The edge or corner the user drags while sizing a window.
enum SizingEdge : int {
    SizingNone = 0,
    SizingLeft = 1,
    SizingRight = 2,
    SizingTop = 3,
    SizingTopLeft = 4,
    SizingTopRight = 5,
    SizingBottom = 6,
    SizingBottomLeft = 7,
    SizingBottomRight = 8,
};

// How one control follows the dialog's size.
struct ResizeRule {
    int controlId = 0;
    // Bits 0-3: horizontal mode when the left edge moves; 4-7: when the right
    // edge moves; 8-11: vertical mode when the top edge moves; 12-15: when the
    // bottom edge moves; 16-17: ClipOnErase, RepaintOnMove.
    quint32 modes = 0;
    // In dialog client coordinates; right and bottom lie just outside.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    double ratioX1 = -1.0;
    double ratioX2 = -1.0;
    double ratioY1 = -1.0;
    double ratioY2 = -1.0;
    QPointer<QWidget> control;

    int LeftMode() const { return int(modes & 0xF); }
    int RightMode() const { return int((modes >> 4) & 0xF); }
    int TopMode() const { return int((modes >> 8) & 0xF); }
    int BottomMode() const { return int((modes >> 12) & 0xF); }
    bool Has(quint32 option) const { return (modes & option) != 0; }
    QRect Rect() const { return QRect(left, top, right - left, bottom - top); }
};

// The edges a size change moved: the right and bottom ones when the window
// was restored or maximised, else those of the edge being dragged.
unsigned MovedEdges(int sizeKind, int sizingEdge);

// Where one rule puts its control after a size change, or nothing when the
// control stays as it is. `current` is the control's geometry now; the sizes
// are the dialog's client area after the change, after the previous layout
// and when the dialog was initialised. Axes that follow the dialog step by
// step keep their new edges in the rule.
std::optional<QRect> ApplyResizeRule(ResizeRule& rule, const QRect& current, const QSize& newClient,
                                     const QSize& previousClient, const QSize& initialClient,
                                     unsigned movedEdges);

// A dialog that can be resized like a main window: registered controls follow
// the size by their rules, a size grip sits in the corner, and the window's
// placement is saved when it goes away.
//
// Subclasses create their controls, then register rules in OnInitDialog after
// calling the base version; it runs once, when the dialog is first shown.
class CResizeDlg : public QDialog {
    Q_OBJECT

public:
    explicit CResizeDlg(QWidget* parent = nullptr);
    // Saves the placement under placementName, when there is one and the
    // dialog has been shown; says "Fail to Save!" when that fails.
    ~CResizeDlg() override;

    // Registers a control, by number or by pointer, at its current position.
    // `options` is 0, 1 (ClipOnErase), 2 (RepaintOnMove) or 3. A second rule
    // for the same control replaces the first. False when there is no such
    // control among the dialog's children.
    bool AddResizeRule(int controlId, int leftMode, int rightMode, int topMode, int bottomMode,
                       int options = 0, double ratioX1 = -1.0, double ratioX2 = -1.0,
                       double ratioY1 = -1.0, double ratioY2 = -1.0);
    bool AddResizeRule(QWidget* control, int leftMode, int rightMode, int topMode, int bottomMode,
                       int options = 0, double ratioX1 = -1.0, double ratioX2 = -1.0,
                       double ratioY1 = -1.0, double ratioY2 = -1.0);
    const QList<ResizeRule>& ResizeRules() const { return rules; }

    // Hides the grip until the next size change.
    void HideSizeGrip();
    CSizeGripExt* SizeGrip() const { return grip; }

    // The first child with this number, or null.
    QWidget* GetDlgItem(int controlId) const;

    // The store for the placement, and where "Fail to Save!" goes (null: a
    // message box).
    WindowPlacementStore& PlacementStore() { return placementStore; }
    void SetSettings(QSettings* settings) { placementStore.SetSettings(settings); }
    void SetMessageSink(MessageSink* sink) { messageSink = sink; }

    // The client area, in screen coordinates, at initialisation and after the
    // last layout.
    QRect InitialClientRect() const { return initialClient; }
    QRect PreviousClientRect() const { return previousClient; }
    bool IsInitialised() const { return initialised; }

    // When not empty, the placement is saved under this name in "Position".
    QString placementName;

protected:
    // Takes the initial client rectangle and creates the grip. Subclasses
    // call it first, then add their rules.
    virtual void OnInitDialog();
    // Remembers the edge being dragged, for the next size change.
    void OnSizing(int sizingEdge);
    // Lays out the registered controls after a size change of this kind.
    void OnSizeChange(int sizeKind);

    // The smallest size the user can give the window. Left at 0, each
    // becomes the dialog's size when it is first shown (its template size,
    // before any stored placement), so that the rules only ever grow the
    // layout and no control is pushed over another.
    int minTrackWidth = 0;
    int minTrackHeight = 0;
    bool widthResizable = true;
    bool heightResizable = true;

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QRect ClientRectOnScreen() const;
    void ApplyTrackingSize();
    void ShowGripUnlessMaximized();

    QList<ResizeRule> rules;
    QRect initialClient;
    QRect previousClient;
    int sizingEdge = SizingNone;
    bool initialised = false;
    WindowPlacementStore placementStore;
    MessageSink* messageSink = nullptr;
    CSizeGripExt* grip;
};

} // namespace zorvane
