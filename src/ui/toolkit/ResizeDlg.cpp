#include "ResizeDlg.h"

#include "platform/MessageSink.h"
#include "ui/toolkit/SizeGripExt.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>

using namespace Qt::Literals::StringLiterals;

namespace zorvane {

namespace {

constexpr const char* kControlIdProperty = "zorvaneControlId";

struct Axis {
    int low = 0;
    int high = 0;
    bool fromCurrent = false; // compared with the control's position, not the rule's
};

// One axis of a rule. `low`/`high` are the rule's edges, `currentLow`/
// `currentHigh` the control's; the extents are the client's width or height.
Axis LayAxis(int mode, bool keepFollowsCurrent, int low, int high, int currentLow, int currentHigh,
             int newExtent, int previousExtent, int initialExtent, double ratio1, double ratio2) {
    switch (mode) {
    case AnchorStretch:
        return {low, high + (newExtent - previousExtent), false};
    case AnchorMove: {
        const int change = newExtent - previousExtent;
        return {low + change, high + change, false};
    }
    case AnchorCentre: {
        const int size = currentHigh - currentLow;
        const int start = int(newExtent * ratio1 - size * 0.5);
        return {start, start + size, false};
    }
    case AnchorScale:
        if (initialExtent == 0) {
            return {currentLow, currentHigh, true};
        }
        return {int(qint64(low) * newExtent / initialExtent),
                int(qint64(high) * newExtent / initialExtent), true};
    case AnchorShare: {
        const int change = newExtent - initialExtent;
        return {low + int(ratio1 * change), int(high + (ratio1 + ratio2) * change), true};
    }
    default:
        // Where the other mode of this axis places the control by its
        // registered rectangle, the rule's edges are not where the control
        // is: keeping it means keeping it where it is now.
        if (keepFollowsCurrent) {
            return {currentLow, currentHigh, true};
        }
        return {low, high, false};
    }
}

bool FromRegistration(int mode) {
    return mode == AnchorScale || mode == AnchorShare;
}

// Only the step-by-step modes carry their result forward; the others always
// start again from the registered rectangle, which must stay untouched.
bool KeepsResult(int mode) {
    return mode == AnchorStretch || mode == AnchorMove || mode == AnchorCentre;
}

double CentreRatio(int low, int high, int extent) {
    return extent > 0 ? (low + high) * 0.5 / extent : 0.0;
}

} // namespace

void SetDlgCtrlID(QWidget* control, int controlId) {
    if (control) {
        control->setProperty(kControlIdProperty, controlId);
    }
}

int GetDlgCtrlID(const QWidget* control) {
    return control ? control->property(kControlIdProperty).toInt() : 0;
}

QWidget* FindDlgItem(const QWidget* dialog, int controlId) {
    const QList<QWidget*> children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (GetDlgCtrlID(child) == controlId) {
            return child;
        }
    }
    return nullptr;
}

unsigned MovedEdges(int sizeKind, int sizingEdge) {
    if (sizeKind == SizeRestored || sizeKind == SizeMaximized) {
        return EdgeRight | EdgeBottom;
    }
    switch (sizingEdge) {
    case SizingLeft:
        return EdgeLeft;
    case SizingRight:
        return EdgeRight;
    case SizingTop:
        return EdgeTop;
    case SizingTopLeft:
        return EdgeLeft | EdgeTop;
    case SizingTopRight:
        return EdgeRight | EdgeTop;
    case SizingBottom:
        return EdgeBottom;
    case SizingBottomLeft:
        return EdgeLeft | EdgeBottom;
    case SizingBottomRight:
        return EdgeRight | EdgeBottom;
    default:
        return EdgeNone;
    }
}

std::optional<QRect> ApplyResizeRule(ResizeRule& rule, const QRect& current, const QSize& newClient,
                                     const QSize& previousClient, const QSize& initialClient,
                                     unsigned movedEdges) {
    int horizontal = AnchorKeep;
    if ((movedEdges & EdgeLeft) && rule.LeftMode() != AnchorKeep) {
        horizontal = rule.LeftMode();
    } else if (movedEdges & EdgeRight) {
        horizontal = rule.RightMode();
    }
    int vertical = AnchorKeep;
    if ((movedEdges & EdgeTop) && rule.TopMode() != AnchorKeep) {
        vertical = rule.TopMode();
    } else if (movedEdges & EdgeBottom) {
        vertical = rule.BottomMode();
    }

    const bool keepX = FromRegistration(rule.LeftMode()) || FromRegistration(rule.RightMode());
    const bool keepY = FromRegistration(rule.TopMode()) || FromRegistration(rule.BottomMode());
    const Axis x = LayAxis(horizontal, keepX, rule.left, rule.right, current.x(),
                           current.x() + current.width(), newClient.width(), previousClient.width(),
                           initialClient.width(), rule.ratioX1, rule.ratioX2);
    const Axis y =
        LayAxis(vertical, keepY, rule.top, rule.bottom, current.y(), current.y() + current.height(),
                newClient.height(), previousClient.height(), initialClient.height(), rule.ratioY1,
                rule.ratioY2);

    const QRect target(x.low, y.low, x.high - x.low, y.high - y.low);
    const int compareLeft = x.fromCurrent ? current.x() : rule.left;
    const int compareRight = x.fromCurrent ? current.x() + current.width() : rule.right;
    const int compareTop = y.fromCurrent ? current.y() : rule.top;
    const int compareBottom = y.fromCurrent ? current.y() + current.height() : rule.bottom;
    if (x.low == compareLeft && x.high == compareRight && y.low == compareTop &&
        y.high == compareBottom) {
        return std::nullopt;
    }
    if (KeepsResult(horizontal)) {
        rule.left = x.low;
        rule.right = x.high;
    }
    if (KeepsResult(vertical)) {
        rule.top = y.low;
        rule.bottom = y.high;
    }
    return target;
}

CResizeDlg::CResizeDlg(QWidget* parent) : QDialog(parent), grip(new CSizeGripExt(this)) {}

CResizeDlg::~CResizeDlg() {
    // A dialog that was never shown has no placement of its own; saving its
    // unused default size would overwrite the user's.
    if (!initialised || placementName.isEmpty()) {
        return;
    }
    if (!placementStore.SavePlacement(this, placementName, u"Position"_s)) {
        const QString text = u"Fail to Save!"_s;
        if (messageSink) {
            messageSink->ShowMessage(text);
        } else {
            QMessageBox::information(nullptr, QGuiApplication::applicationDisplayName(), text);
        }
    }
}

bool CResizeDlg::AddResizeRule(int controlId, int leftMode, int rightMode, int topMode,
                               int bottomMode, int options, double ratioX1, double ratioX2,
                               double ratioY1, double ratioY2) {
    return AddResizeRule(GetDlgItem(controlId), leftMode, rightMode, topMode, bottomMode, options,
                         ratioX1, ratioX2, ratioY1, ratioY2);
}

bool CResizeDlg::AddResizeRule(QWidget* control, int leftMode, int rightMode, int topMode,
                               int bottomMode, int options, double ratioX1, double ratioX2,
                               double ratioY1, double ratioY2) {
    if (!control || control == this || !isAncestorOf(control)) {
        return false;
    }
    ResizeRule rule;
    rule.controlId = GetDlgCtrlID(control);
    rule.control = control;
    rule.modes = quint32(leftMode & 0xF) | quint32(rightMode & 0xF) << 4 |
                 quint32(topMode & 0xF) << 8 | quint32(bottomMode & 0xF) << 12 |
                 quint32(options & 0x3) << 16;
    const QRect rect = control->geometry();
    rule.left = rect.x();
    rule.top = rect.y();
    rule.right = rect.x() + rect.width();
    rule.bottom = rect.y() + rect.height();
    rule.ratioX1 = ratioX1;
    rule.ratioX2 = ratioX2;
    rule.ratioY1 = ratioY1;
    rule.ratioY2 = ratioY2;
    if (leftMode == AnchorCentre || leftMode == AnchorScale || rightMode == AnchorCentre ||
        rightMode == AnchorScale) {
        rule.ratioX1 = CentreRatio(rule.left, rule.right, width());
    }
    if (topMode == AnchorCentre || topMode == AnchorScale || bottomMode == AnchorCentre ||
        bottomMode == AnchorScale) {
        rule.ratioY1 = CentreRatio(rule.top, rule.bottom, height());
    }
    if (rule.Has(ClipOnErase)) {
        // Qt leaves the background under a child that paints its own alone;
        // that is how a control is kept out of the dialog's erasing here.
        control->setAutoFillBackground(true);
    }

    for (ResizeRule& existing : rules) {
        if (existing.control == control) {
            existing = rule;
            return true;
        }
    }
    rules.append(rule);
    return true;
}

void CResizeDlg::HideSizeGrip() {
    grip->SetGripVisible(false);
    grip->PlaceGrip(this);
}

QWidget* CResizeDlg::GetDlgItem(int controlId) const {
    return FindDlgItem(this, controlId);
}

void CResizeDlg::OnInitDialog() {
    initialClient = ClientRectOnScreen();
    previousClient = initialClient;
    // A window that opens maximised has its template size as normal size.
    QSize templateSize = isMaximized() || isFullScreen() ? normalGeometry().size() : size();
    if (const QScreen* display = screen(); display != nullptr && templateSize.isValid()) {
        // A large font can make the template larger than the screen; the
        // window must still fit on it.
        templateSize = templateSize.boundedTo(display->availableSize());
    }
    if (templateSize.isValid()) {
        minTrackWidth = minTrackWidth > 0 ? minTrackWidth : templateSize.width();
        minTrackHeight = minTrackHeight > 0 ? minTrackHeight : templateSize.height();
    }
    ApplyTrackingSize();
    grip->CreateGrip(this, true, true, false);
}

void CResizeDlg::OnSizing(int edge) {
    sizingEdge = edge;
}

void CResizeDlg::OnSizeChange(int sizeKind) {
    if (sizeKind == SizeMinimized) {
        return;
    }
    const unsigned edges = MovedEdges(sizeKind, sizingEdge);
    if (!rules.isEmpty()) {
        const QRect client = ClientRectOnScreen();
        if (edges != EdgeNone) {
            // Every move is worked out first and then made in one go, so the
            // dialog is painted once with all controls in their new places.
            struct Move {
                QWidget* control;
                QRect from;
                QRect to;
                bool repaint;
            };
            QList<Move> moves;
            moves.reserve(rules.size());
            for (ResizeRule& rule : rules) {
                if (!rule.control) {
                    continue;
                }
                const QRect from = rule.control->geometry();
                if (const std::optional<QRect> to =
                        ApplyResizeRule(rule, from, client.size(), previousClient.size(),
                                        initialClient.size(), edges)) {
                    moves.append({rule.control, from, *to, rule.Has(RepaintOnMove)});
                }
            }
            for (const Move& move : moves) {
                move.control->setGeometry(move.to);
            }
            for (const Move& move : moves) {
                if (move.repaint) {
                    move.control->repaint();
                    repaint(QRegion(move.from).subtracted(QRegion(move.to)));
                }
            }
        }
        previousClient = client;
    }
    sizingEdge = SizingNone;
    ShowGripUnlessMaximized();
}

QRect CResizeDlg::ClientRectOnScreen() const {
    return QRect(mapToGlobal(QPoint(0, 0)), size());
}

void CResizeDlg::ApplyTrackingSize() {
    setMinimumSize(minTrackWidth, minTrackHeight);
    if (!widthResizable) {
        setMaximumWidth(minTrackWidth);
    }
    if (!heightResizable) {
        setMaximumHeight(minTrackHeight);
    }
}

void CResizeDlg::ShowGripUnlessMaximized() {
    grip->SetGripVisible(!isMaximized());
    grip->PlaceGrip(this);
}

void CResizeDlg::showEvent(QShowEvent* event) {
    if (!initialised && !event->spontaneous()) {
        initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CResizeDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (!initialised) {
        return;
    }
    OnSizeChange(isMinimized() ? SizeMinimized : isMaximized() ? SizeMaximized : SizeRestored);
}

void CResizeDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Maximising can arrive after the size that goes with it: the grip must
    // follow the state either way.
    if (event->type() == QEvent::WindowStateChange && initialised && !isMinimized()) {
        ShowGripUnlessMaximized();
    }
}

} // namespace zorvane
