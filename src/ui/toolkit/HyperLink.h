#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

namespace zorvane {

// Opens a link target with the desktop. The result follows the shell's
// convention so that one table of texts explains every failure: above 32 is
// success, anything else is an error code (31: no application associated).
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual int Open(const QString& target) = 0;
};

// The desktop's own handler (xdg-open on Linux), through the platform layer.
class DesktopShellOpener final : public ShellOpener {
public:
    int Open(const QString& target) override;
    static DesktopShellOpener& Instance();
};

// A text label that behaves like a web link: coloured, underlined and red
// while the pointer is over it, a hand pointer, the target as tool tip, and a
// click that opens the target and marks the link visited. It takes the
// keyboard focus with Tab, shows a focus frame, and Enter or Space opens it;
// assistive tools see a link named by its text and described by its target.
class CHyperLink : public QLabel {
    Q_OBJECT

public:
    explicit CHyperLink(QWidget* parent = nullptr);
    explicit CHyperLink(const QString& text, QWidget* parent = nullptr);
    ~CHyperLink() override;

    // Results of ShellOpener::Open above this mean success.
    static constexpr int kOpenSucceeded = 32;
    // Hover is checked this often after the pointer came over the link.
    static constexpr int kHoverIntervalMs = 100;

    // Stores the target, refits the control and updates the tool tip. A link
    // without text of its own shows its target.
    void SetLinkTarget(const QString& target);
    QString LinkTarget() const { return linkTarget; }

    QColor LinkColour() const { return linkColour; }
    QColor VisitedColour() const { return visitedColour; }
    QColor HoverColour() const { return hoverColour; }
    void SetLinkColour(const QColor& colour);
    void SetVisitedColour(const QColor& colour);
    void SetHoverColour(const QColor& colour);

    bool AutoSize() const { return autoSize; }
    void SetAutoSize(bool on);

    bool IsHovering() const { return hovering; }
    bool IsVisited() const { return visited; }
    // The colour of the link's present state: link, visited or hover.
    QColor CurrentTextColour() const;
    // What is painted for it: that colour fitted to the window's background
    // in the current theme, so that it can be read (ui/toolkit/Contrast.h).
    QColor DrawnTextColour() const;

    // Resizes the control to fit its text, keeping the edge its alignment
    // anchors. QLabel::setText is not virtual: call this after changing the
    // text directly.
    void FitToText();

    // Asks the opener to open the target; returns its result.
    int OpenLinkTarget(const QString& target);
    // What a click, Enter or Space does: opens the target, marks the link
    // visited or explains the failure, and emits linkOpened.
    void Activate();

    // The opener is not owned; nullptr restores the desktop's.
    void SetOpener(ShellOpener* shellOpener);

    // "Unable to open hyperlink:" and the explanation of the code.
    static QString OpenErrorText(int code);

signals:
    // After every click: whether the target could be opened.
    void linkOpened(bool success);

protected:
    // Beeps and shows OpenErrorText(code) in a warning box.
    virtual void ShowOpenError(int code);

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void Attach();
    void TakeFont();
    void UpdateToolTip();
    void EndHover();

    QColor linkColour{0x00, 0x00, 0xEE};
    QColor visitedColour{0x55, 0x1A, 0x8B};
    QColor hoverColour{0xFF, 0x00, 0x00};
    bool hovering = false;
    bool visited = false;
    bool autoSize = true;
    bool textFollowsTarget = false;
    QString linkTarget;
    QFont normalFont;
    QFont underlinedFont;
    QBasicTimer hoverTimer;
    ShellOpener* opener;
};

} // namespace zorvane
