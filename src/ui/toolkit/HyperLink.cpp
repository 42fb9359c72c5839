#include "HyperLink.h"

#include "Contrast.h"
#include "platform/Shell.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextDocument>
#include <QUrl>

namespace zorvane {

namespace {

// The shell's codes for the two failures we can tell apart here.
constexpr int kFileNotFound = 2;
constexpr int kNoAssociation = 31;
// Any value above 32 means success; the shell returns an instance handle.
constexpr int kOpened = 33;

// A label reads as static text to assistive tools; this one is a link that
// can be followed, named by what it shows and described by where it leads.
class HyperLinkAccessible final : public QAccessibleWidget {
public:
    explicit HyperLinkAccessible(CHyperLink* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text type) const override {
        const CHyperLink* link = Link();
        if (type == QAccessible::Name && link->accessibleName().isEmpty()) {
            return link->text();
        }
        if (type == QAccessible::Description && link->accessibleDescription().isEmpty()) {
            return link->LinkTarget();
        }
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        state.traversed = Link()->IsVisited();
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            Link()->Activate();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    CHyperLink* Link() const { return static_cast<CHyperLink*>(widget()); }
};

QAccessibleInterface* HyperLinkAccessibleFactory(const QString& key, QObject* object) {
    if (key == QLatin1String(CHyperLink::staticMetaObject.className())) {
        if (auto* link = qobject_cast<CHyperLink*>(object)) {
            return new HyperLinkAccessible(link);
        }
    }
    return nullptr;
}

// Before any link exists: setting up a label already asks for its
// accessible interface, and the first answer is kept for the widget's life.
void InstallHyperLinkAccessible() {
    QAccessible::installFactory(HyperLinkAccessibleFactory);
}
Q_CONSTRUCTOR_FUNCTION(InstallHyperLinkAccessible)

} // namespace

int DesktopShellOpener::Open(const QString& target) {
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty()) {
        return kFileNotFound;
    }
    const QUrl url = QUrl::fromUserInput(trimmed, QDir::currentPath(), QUrl::AssumeLocalFile);
    if (!url.isValid()) {
        return kFileNotFound;
    }
    // xdg-open runs detached and reports success even for a missing file; a
    // link to a local file that is not there deserves the precise message.
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        return kFileNotFound;
    }
    // The platform layer is the one place that hands targets to the desktop.
    return DesktopUrlOpener().OpenUrl(url) ? kOpened : kNoAssociation;
}

DesktopShellOpener& DesktopShellOpener::Instance() {
    static DesktopShellOpener instance;
    return instance;
}

CHyperLink::CHyperLink(QWidget* parent) : CHyperLink(QString(), parent) {}

CHyperLink::CHyperLink(const QString& text, QWidget* parent)
    : QLabel(text, parent), opener(&DesktopShellOpener::Instance()) {
    Attach();
}

CHyperLink::~CHyperLink() = default;

void CHyperLink::Attach() {
    // A target must never be read as markup, neither in the label nor below.
    setTextFormat(Qt::PlainText);
    if (linkTarget.isEmpty()) {
        linkTarget = text();
    }
    textFollowsTarget = text().isEmpty();
    if (textFollowsTarget) {
        setText(linkTarget);
    }
    TakeFont();
    FitToText();
    setCursor(Qt::PointingHandCursor);
    // Hover starts on the first move over the control, with no button held.
    setMouseTracking(true);
    // A link that only the mouse can follow shuts out keyboard users.
    setFocusPolicy(Qt::StrongFocus);
    UpdateToolTip();
}

void CHyperLink::TakeFont() {
    // The hover look is drawn, never set as the widget's font, so that a font
    // given to the control from outside stays the one both copies follow.
    normalFont = font();
    normalFont.setUnderline(false);
    underlinedFont = normalFont;
    underlinedFont.setUnderline(true);
}

void CHyperLink::SetLinkTarget(const QString& target) {
    // A link created without text of its own shows its address, also when
    // the address is set or changed later (the About box sets it on opening).
    textFollowsTarget = textFollowsTarget || text().isEmpty();
    linkTarget = target;
    if (textFollowsTarget) {
        setText(linkTarget);
    }
    FitToText();
    UpdateToolTip();
}

void CHyperLink::SetLinkColour(const QColor& colour) {
    linkColour = colour;
    update();
}

void CHyperLink::SetVisitedColour(const QColor& colour) {
    visitedColour = colour;
    update();
}

void CHyperLink::SetHoverColour(const QColor& colour) {
    hoverColour = colour;
    update();
}

void CHyperLink::SetAutoSize(bool on) {
    autoSize = on;
    FitToText();
}

QColor CHyperLink::CurrentTextColour() const {
    if (hovering) {
        return hoverColour;
    }
    return visited ? visitedColour : linkColour;
}

QColor CHyperLink::DrawnTextColour() const {
    // Asked at every paint: a theme changed while the window is open shows
    // at once, and a colour that reads on a light window may not on a dark one.
    const QColor window = palette().color(QPalette::Window);
    return ReadableOn(window, ThemedColour(CurrentTextColour(), window));
}

void CHyperLink::SetOpener(ShellOpener* shellOpener) {
    opener = shellOpener != nullptr ? shellOpener : &DesktopShellOpener::Instance();
}

void CHyperLink::UpdateToolTip() {
    // QToolTip guesses rich text from the content; a target that looks like
    // markup is escaped so that it shows as typed.
    if (Qt::mightBeRichText(linkTarget)) {
        setToolTip(QStringLiteral("<p style='white-space:pre'>") + linkTarget.toHtmlEscaped() +
                   QStringLiteral("</p>"));
    } else {
        setToolTip(linkTarget);
    }
}

void CHyperLink::FitToText() {
    if (!autoSize) {
        return;
    }
    const QSize textSize = QFontMetrics(normalFont).size(0, text());
    const QSize frame = size() - contentsRect().size();
    const QSize fitted = textSize + frame;
    const QRect old = geometry();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());

    int top = old.top();
    if (align & Qt::AlignVCenter) {
        top += (old.height() - fitted.height()) / 2;
    }
    int left = old.left();
    if (align & Qt::AlignHCenter) {
        left += (old.width() - fitted.width()) / 2;
    } else if (align & Qt::AlignRight) {
        left = old.left() + old.width() - fitted.width();
    }
    setGeometry(left, top, fitted.width(), fitted.height());
    updateGeometry();
}

int CHyperLink::OpenLinkTarget(const QString& target) {
    return opener->Open(target);
}

QString CHyperLink::OpenErrorText(int code) {
    QString reason;
    switch (code) {
    case 0:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case 2:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case 3:
        reason = QStringLiteral("The specified path was not found.");
        break;
    case 5:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case 8:
        reason = QStringLiteral("There was not enough memory to complete the operation.");
        break;
    case 11:
        reason =
            QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        break;
    case 26:
        reason = QStringLiteral("A sharing violation occurred. ");
        break;
    case 27:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case 28:
        reason = QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
        break;
    case 29:
        reason = QStringLiteral("The DDE transaction failed.");
        break;
    case 30:
        reason = QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                                "transactions\nwere being processed.");
        break;
    case 31:
        reason = QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
        break;
    case 32:
        reason = QStringLiteral("The specified dynamic-link library was not found.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
        break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

void CHyperLink::ShowOpenError(int code) {
    QApplication::beep();
    QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), OpenErrorText(code));
}

void CHyperLink::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    drawFrame(&painter);
    painter.setFont(hovering ? underlinedFont : normalFont);
    painter.setPen(DrawnTextColour());
    const int wrap = wordWrap() ? int(Qt::TextWordWrap) : 0;
    painter.drawText(contentsRect(),
                     int(QStyle::visualAlignment(layoutDirection(), alignment())) | wrap, text());
    if (hasFocus()) {
        // The style decides the look, and whether it shows at all after a
        // click rather than a Tab.
        QStyleOptionFocusRect focusFrame;
        focusFrame.initFrom(this);
        focusFrame.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focusFrame, &painter, this);
    }
}

void CHyperLink::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        TakeFont();
        FitToText();
    }
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (hovering) {
        return;
    }
    hovering = true;
    update();
    // The pointer can leave without this control hearing of it (a window on
    // top, a grab elsewhere); the timer notices and ends the hover.
    hoverTimer.start(kHoverIntervalMs, this);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    hovering = false;
    update();
    Activate();
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool opens = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (!opens || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QLabel::keyPressEvent(event);
        return;
    }
    // Accepted also when held down, so that a dialog's default button never
    // sees an Enter meant for the link; only the first press opens.
    event->accept();
    if (!event->isAutoRepeat()) {
        Activate();
    }
}

void CHyperLink::Activate() {
    const int result = OpenLinkTarget(linkTarget);
    const bool opened = result > kOpenSucceeded;
    if (opened) {
        visited = true;
        update();
    } else {
        ShowOpenError(result);
    }
    emit linkOpened(opened);
}

void CHyperLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    EndHover();
}

void CHyperLink::timerEvent(QTimerEvent* event) {
    if (event->timerId() != hoverTimer.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
        EndHover();
    }
}

void CHyperLink::EndHover() {
    hoverTimer.stop();
    if (!hovering) {
        return;
    }
    hovering = false;
    update();
}

} // namespace zorvane
