#pragma once

#include <QImage>
#include <QSizeGrip>

namespace zorvane {

// The sizing box in the bottom-right corner of a resizable dialog. It can be
// cut to a triangle, so that less of the controls below it is covered, and
// drawn transparent, so that the dialog's background shows around the ridges.
// Dragging it resizes the window, which QSizeGrip already does.
class CSizeGripExt : public QSizeGrip {
    Q_OBJECT

public:
    explicit CSizeGripExt(QWidget* parent);
    ~CSizeGripExt() override;

    // Makes the grip a hidden child of the parent at the platform's size, then
    // applies the three flags and places it. False without a parent.
    bool CreateGrip(QWidget* parent, bool visible, bool triangular, bool transparent);

    void SetTriangular(bool triangular);
    void SetTransparent(bool transparent);
    // Takes effect at the next PlaceGrip.
    void SetGripVisible(bool visible);
    // Moves the grip to the parent's bottom-right corner (bottom-left in a
    // right-to-left layout), below its siblings, and shows or hides it.
    void PlaceGrip(QWidget* parent);

    bool IsGripVisible() const { return gripVisible; }
    bool IsTriangular() const { return triangular; }
    bool IsTransparent() const { return transparent; }
    QSize GripSize() const { return QSize(gripWidth, gripHeight); }

    QSize sizeHint() const override { return GripSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ReadGripSize();
    void ApplyTriangle();
    void MakeTransparencyImages();
    void RenderGrip(QImage& image) const;

    int gripWidth = 0;
    int gripHeight = 0;
    bool gripVisible = false;
    bool triangular = false;
    bool transparent = false;
    // While transparent: the grip as the style draws it, and the mask of the
    // pixels that are not its background.
    QImage colourImage;
    QImage maskImage;
};

} // namespace zorvane
