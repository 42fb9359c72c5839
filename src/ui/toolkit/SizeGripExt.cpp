#include "SizeGripExt.h"

#include <QEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QStyle>
#include <QStyleOptionSizeGrip>

namespace zorvane {

CSizeGripExt::CSizeGripExt(QWidget* parent) : QSizeGrip(parent) {
    // Keyboard navigation must never stop on the grip.
    setFocusPolicy(Qt::NoFocus);
    ReadGripSize();
    resize(GripSize());
    hide();
}

CSizeGripExt::~CSizeGripExt() = default;

bool CSizeGripExt::CreateGrip(QWidget* parent, bool visible, bool triangularGrip,
                              bool transparentGrip) {
    if (!parent) {
        return false;
    }
    if (parentWidget() != parent) {
        setParent(parent);
    }
    hide();
    ReadGripSize();
    resize(GripSize());
    SetTriangular(triangularGrip);
    SetTransparent(transparentGrip);
    gripVisible = visible;
    PlaceGrip(parent);
    return true;
}

void CSizeGripExt::SetTriangular(bool on) {
    triangular = on;
    ApplyTriangle();
    if (isVisible()) {
        update();
    }
}

void CSizeGripExt::SetTransparent(bool on) {
    transparent = on;
    MakeTransparencyImages();
    if (isVisible()) {
        update();
    }
}

void CSizeGripExt::SetGripVisible(bool visible) {
    gripVisible = visible;
}

void CSizeGripExt::PlaceGrip(QWidget* parent) {
    if (!parent) {
        return;
    }
    const int x = isRightToLeft() ? 0 : parent->width() - gripWidth;
    move(x, parent->height() - gripHeight);
    // Below its siblings, like a window at the bottom of the z-order: a
    // control reaching into the corner stays usable.
    lower();
    setVisible(gripVisible);
}

void CSizeGripExt::ReadGripSize() {
    // The width of a vertical scroll bar and the height of a horizontal one.
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    gripWidth = extent;
    gripHeight = extent;
}

void CSizeGripExt::ApplyTriangle() {
    if (!triangular) {
        clearMask();
        return;
    }
    // Through the bottom-left, bottom-right and top-right corners.
    const QPolygon triangle(
        {QPoint(0, gripHeight), QPoint(gripWidth, gripHeight), QPoint(gripWidth, 0)});
    setMask(QRegion(triangle));
}

void CSizeGripExt::MakeTransparencyImages() {
    if (!transparent) {
        colourImage = QImage();
        maskImage = QImage();
        return;
    }
    colourImage = QImage(GripSize() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    colourImage.setDevicePixelRatio(devicePixelRatioF());
    maskImage = QImage(colourImage.size(), QImage::Format_MonoLSB);
}

void CSizeGripExt::RenderGrip(QImage& image) const {
    // The grip as a scroll bar's sizing box draws it: the ridges on the face
    // colour.
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    QStyleOptionSizeGrip option;
    option.initFrom(this);
    option.rect = QRect(QPoint(0, 0), GripSize());
    option.corner = isRightToLeft() ? Qt::BottomLeftCorner : Qt::BottomRightCorner;
    style()->drawControl(QStyle::CE_SizeGrip, &option, &painter, this);
}

void CSizeGripExt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent) {
        QImage image(GripSize() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatioF());
        RenderGrip(image);
        painter.drawImage(QPoint(0, 0), image);
        return;
    }
    if (colourImage.size() != GripSize() * devicePixelRatioF()) {
        MakeTransparencyImages();
    }
    RenderGrip(colourImage);
    // Whatever has the colour of the top-left pixel is background: the mask
    // clears it, so the parent shows through there.
    maskImage = colourImage.createMaskFromColor(colourImage.pixel(0, 0), Qt::MaskOutColor);
    for (int y = 0; y < colourImage.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(colourImage.scanLine(y));
        for (int x = 0; x < colourImage.width(); ++x) {
            if (maskImage.pixelIndex(x, y) == 0) {
                line[x] = 0;
            }
        }
    }
    painter.drawImage(QPoint(0, 0), colourImage);
}

void CSizeGripExt::changeEvent(QEvent* event) {
    QSizeGrip::changeEvent(event);
    if (event->type() != QEvent::StyleChange) {
        return;
    }
    // The platform's sizes may have changed with the style: keep the
    // bottom-right corner where it is.
    const QPoint bottomRight(x() + width(), y() + height());
    ReadGripSize();
    MakeTransparencyImages();
    ApplyTriangle();
    setGeometry(bottomRight.x() - gripWidth, bottomRight.y() - gripHeight, gripWidth, gripHeight);
}

} // namespace zorvane
