#include "ConvProg.h"

#include "LogRowDelegate.h"

#include "engine/ConversionEvents.h"
#include "engine/ConversionRun.h"
#include "engine/EngineContext.h"
#include "engine/Ticks.h"
#include "platform/DisplayText.h"
#include "platform/Shell.h"
#include "platform/TaskbarProgress.h"
#include "ui/toolkit/DialogUnits.h"
#include "ui/toolkit/FontScale.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace zorvane {

int CConvProg::logLineNumber = 0;
int CConvProg::progressMessageCount = 0;

namespace {

// Size of the window in dialog units.
constexpr int kWidthDu = 367;
constexpr int kHeightDu = 273;

// Widths of the log's columns for the 8-point dialog font.
constexpr int kNumberColumnPx = 55;
constexpr int kTimeColumnPx = 63;
constexpr int kDescriptionColumnPx = 500;

using TaskbarState = TaskbarProgress::State;

// A path that may be longer than the room for it: shortened in the middle,
// where a path says least, so that the start of the folder and the file
// name stay readable; the whole path is its tool tip and its accessible
// description.
class ElidedLabel final : public QLabel {
public:
    using QLabel::QLabel;

    void SetFullText(const QString& text) {
        fullText = text;
        const QString shown = EscapedForDisplay(text);
        // A tool tip that looks like markup would be shown as markup.
        setToolTip(Qt::mightBeRichText(shown) ? QStringLiteral("<p style='white-space:pre'>") +
                                                    shown.toHtmlEscaped() + QStringLiteral("</p>")
                                              : shown);
        setAccessibleDescription(shown);
        Elide();
    }
    const QString& FullText() const { return fullText; }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLabel::resizeEvent(e);
        Elide();
    }
    void changeEvent(QEvent* e) override {
        QLabel::changeEvent(e);
        if (e->type() == QEvent::FontChange) {
            Elide();
        }
    }

private:
    void Elide() {
        const QString shown = fontMetrics().elidedText(EscapedForDisplay(fullText), Qt::ElideMiddle,
                                                       contentsRect().width());
        if (shown != text()) {
            setText(shown);
        }
    }

    QString fullText;
};

// Every row of the log starts with its number and time, so showing a row
// never needs the log to scroll sideways; a click on a long line scrolled it
// to the line's start and took those two columns out of sight.
class LogView final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    void scrollTo(const QModelIndex& index, ScrollHint hint) override {
        const int kept = horizontalScrollBar()->value();
        QTreeWidget::scrollTo(index, hint);
        horizontalScrollBar()->setValue(kept);
    }
};

// The window's controls, placed in dialog units, each with its control id.
struct ControlMaker {
    QWidget* parent;
    const DialogUnits& du;

    QLabel* Label(int id, const QString& text, int x, int y, int w,
                  Qt::Alignment align = Qt::AlignLeft) const {
        auto* l = new QLabel(text, parent);
        SetDlgCtrlID(l, id);
        l->setGeometry(du.Rect(x, y, w, 9));
        l->setAlignment(align | Qt::AlignVCenter);
        return l;
    }

    QGroupBox* Group(int id, const QString& title, int y) const {
        auto* g = new QGroupBox(title, parent);
        SetDlgCtrlID(g, id);
        g->setGeometry(du.Rect(7, y, 353, 50));
        return g;
    }

    QProgressBar* Bar(int id, int y) const {
        auto* b = new QProgressBar(parent);
        SetDlgCtrlID(b, id);
        b->setGeometry(du.Rect(14, y, 339, 10));
        b->setRange(0, 100);
        b->setValue(0);
        b->setTextVisible(false);
        return b;
    }

    // One row of four label/value pairs, evenly spread over the group.
    void Values(int y, const int (&ids)[8]) const {
        static const char16_t* const kLabels[] = {u"Done:", u"Speed:", u"Elapsed:", u"ETA:"};
        static const char16_t* const kValues[] = {u"0.00%", u"0.00x", u"00:00:00", u"00:00:00"};
        for (int i = 0; i < 4; ++i) {
            const int x = 14 + i * 86;
            Label(ids[2 * i], QString::fromUtf16(kLabels[i]), x, y, 34, Qt::AlignRight);
            QLabel* value = Label(ids[2 * i + 1], QString::fromUtf16(kValues[i]), x + 36, y, 46);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    }

    QPushButton* Button(int id, const QString& text, int x) const {
        auto* b = new QPushButton(text, parent);
        SetDlgCtrlID(b, id);
        b->setGeometry(du.Rect(x, 252, 50, 14));
        b->setAutoDefault(false);
        return b;
    }
};

} // namespace

CConvProg::CConvProg(EngineContext& engine, TaskbarProgress* taskbarProgress, Shell* desktop,
                     QWidget* parent)
    : CResizeDlg(parent), ctx(engine), taskbar(taskbarProgress), shell(desktop) {
    placementName = QString::fromUtf16(kPlacementName);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setWindowIcon(QIcon::fromTheme(QStringLiteral("media-playback-start")));
    CreateControls();
}

CConvProg::~CConvProg() {
    if (state.driverThread.Started()) {
        CancelConversion(ctx, state);
    }
    SetTaskbarState(int(TaskbarState::None));
}

void CConvProg::CreateControls() {
    const DialogUnits du(font());
    resize(du.X(kWidthDu), du.Y(kHeightDu));

    const ControlMaker make{this, du};

    // Group boxes first, so that they stay behind what they frame.
    make.Group(IdCurrentGroup, QStringLiteral("Current Progress"), 6);
    make.Group(IdOverallGroup, QStringLiteral("Overall Progress"), 60);
    fileBar = make.Bar(IdFileBar, 19);
    overallBar = make.Bar(IdOverallBar, 73);
    make.Values(35, {IdFileDoneLabel, IdFileDone, IdFileSpeedLabel, IdFileSpeed, IdFileElapsedLabel,
                     IdFileElapsed, IdFileEtaLabel, IdFileEta});
    make.Values(89, {IdOverallDoneLabel, IdOverallDone, IdOverallSpeedLabel, IdOverallSpeed,
                     IdOverallElapsedLabel, IdOverallElapsed, IdOverallEtaLabel, IdOverallEta});

    make.Label(IdSourceLabel, QStringLiteral("Source:"), 7, 116, 44);
    make.Label(IdDestinationLabel, QStringLiteral("Destination:"), 7, 128, 44);
    for (int id : {int(IdSource), int(IdDestination)}) {
        auto* value = new ElidedLabel(this);
        SetDlgCtrlID(value, id);
        value->setGeometry(du.Rect(53, id == IdSource ? 116 : 128, 307, 9));
        value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setTextFormat(Qt::PlainText);
    }

    logList = new LogView(this);
    SetDlgCtrlID(logList, IdLogList);
    logList->setGeometry(du.Rect(7, 142, 353, 104));
    logList->setColumnCount(4);
    logList->setHeaderLabels(
        {QString(), QStringLiteral("#"), QStringLiteral("Time"), QStringLiteral("Description")});
    logList->setRootIsDecorated(false);
    logList->setUniformRowHeights(true);
    logList->setSelectionBehavior(QAbstractItemView::SelectRows);
    logList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    logList->setAllColumnsShowFocus(true);
    logList->setItemDelegate(new LogRowDelegate(logList));
    logList->header()->setStretchLastSection(false);
    logList->header()->setSectionsMovable(true);
    logList->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    logList->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    logList->setColumnWidth(1, LogColumnWidth(1));
    logList->setColumnWidth(2, LogColumnWidth(2));
    logList->setColumnWidth(3, FontScaledPixels(kDescriptionColumnPx, logList->font()));
    // The first column only carries each row's level.
    logList->hideColumn(0);

    clearButton = make.Button(IdClearButton, QStringLiteral("Clear"), 97);
    pauseButton = make.Button(IdPauseButton, QStringLiteral("Pause"), 158);
    cancelButton = make.Button(IdCancelButton, QStringLiteral("Cancel"), 219);
    connect(clearButton, &QPushButton::clicked, this, &CConvProg::OnClearCommand);
    connect(pauseButton, &QPushButton::clicked, this, &CConvProg::OnPauseCommand);
    connect(cancelButton, &QPushButton::clicked, this, &CConvProg::OnCancelCommand);
    NameControls();
}

void CConvProg::NameControls() {
    struct Group {
        int group;
        const char16_t* name;
        int bar;
        const char16_t* barName;
        const char16_t* valuePrefix;
        int pairs[8]; // label, value
    };
    static const Group kGroups[] = {
        {IdCurrentGroup,
         u"Current Progress",
         IdFileBar,
         u"Current file progress",
         u"Current file: ",
         {IdFileDoneLabel, IdFileDone, IdFileSpeedLabel, IdFileSpeed, IdFileElapsedLabel,
          IdFileElapsed, IdFileEtaLabel, IdFileEta}},
        {IdOverallGroup,
         u"Overall Progress",
         IdOverallBar,
         u"Overall progress",
         u"Overall: ",
         {IdOverallDoneLabel, IdOverallDone, IdOverallSpeedLabel, IdOverallSpeed,
          IdOverallElapsedLabel, IdOverallElapsed, IdOverallEtaLabel, IdOverallEta}},
    };
    static const char16_t* const kValueNames[] = {u"Done", u"Speed", u"Elapsed", u"ETA"};
    for (const Group& g : kGroups) {
        GetDlgItem(g.group)->setAccessibleName(QString::fromUtf16(g.name));
        QWidget* progress = GetDlgItem(g.bar);
        progress->setAccessibleName(QString::fromUtf16(g.barName));
        progress->setAccessibleDescription(QString::fromUtf16(g.name));
        for (int i = 0; i < 4; ++i) {
            auto* label = qobject_cast<QLabel*>(GetDlgItem(g.pairs[2 * i]));
            auto* value = qobject_cast<QLabel*>(GetDlgItem(g.pairs[2 * i + 1]));
            // The same four labels stand in both groups: the value's name says
            // which group it belongs to, its description what it shows now.
            label->setBuddy(value);
            value->setAccessibleName(QString::fromUtf16(g.valuePrefix) +
                                     QString::fromUtf16(kValueNames[i]));
            value->setAccessibleDescription(value->text().trimmed());
        }
    }
    for (int id : {int(IdSourceLabel), int(IdDestinationLabel)}) {
        auto* label = qobject_cast<QLabel*>(GetDlgItem(id));
        QWidget* value = GetDlgItem(id == IdSourceLabel ? IdSource : IdDestination);
        label->setBuddy(value);
        value->setAccessibleName(label->text().chopped(1)); // without the colon
    }
    logList->setAccessibleName(QStringLiteral("Log"));
    logList->setAccessibleDescription(
        QStringLiteral("Numbered, timed messages of the conversion run"));
    clearButton->setAccessibleDescription(QStringLiteral("Empties the log"));
    pauseButton->setAccessibleDescription(
        QStringLiteral("Pauses or resumes the conversion; after the run, opens the output folder"));
    cancelButton->setAccessibleDescription(
        QStringLiteral("Cancels the conversion; after the run, closes this window"));
}

int CConvProg::LogColumnWidth(int column) const {
    const QFont font = logList->font();
    // The text margin of an item view cell, on each side.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, logList) + 1;
    int width = 0;
    QString widest;
    switch (column) {
    case 1:
        width = FontScaledPixels(kNumberColumnPx, font);
        widest = QStringLiteral("0000 ");
        break;
    case 2:
        width = FontScaledPixels(kTimeColumnPx, font);
        widest = QStringLiteral("00:00:00");
        break;
    default:
        return logList->columnWidth(column);
    }
    // Digits are wider than the average letter: the scaled width alone can
    // cut the time in a font with broad figures.
    const int text = int(std::ceil(QFontMetricsF(font).horizontalAdvance(widest)));
    width = std::max(width, text + 2 * margin);
    return std::max(width, logList->header()->sectionSizeHint(column));
}

void CConvProg::RegisterRules() {
    for (int id : {int(IdCurrentGroup), int(IdOverallGroup), int(IdFileBar), int(IdOverallBar),
                   int(IdSource), int(IdDestination)}) {
        AddResizeRule(id, AnchorStretch, AnchorStretch, AnchorKeep, AnchorKeep);
    }
    AddResizeRule(IdLogList, AnchorStretch, AnchorStretch, AnchorStretch, AnchorStretch);
    for (int id : {int(IdClearButton), int(IdPauseButton), int(IdCancelButton)}) {
        AddResizeRule(id, AnchorCentre, AnchorCentre, AnchorMove, AnchorMove);
    }
    for (int id : {1076, 1077, 1078, 1079, 1084, 1085, 1089, 1090, 1081, 1082, 1083, 1086, 1087,
                   1088, 1091}) {
        AddResizeRule(id, AnchorCentre, AnchorCentre, AnchorKeep, AnchorKeep);
    }
    AddResizeRule(IdFileDone, AnchorCentre, AnchorCentre, AnchorKeep, AnchorKeep, ClipOnErase);
}

void CConvProg::OnInitDialog() {
    CResizeDlg::OnInitDialog();
    RegisterRules();
    if (!PlacementStore().RestorePlacement(this, placementName, QStringLiteral("Position"))) {
        // Nothing stored yet: the store's own default, centred on the screen.
        PlacementStore().Placement().ApplyTo(this);
    }
    SetTaskbarState(int(TaskbarState::Normal));
    auto* opening = new ConvProgressEvent(0.0f, 0.0f);
    opening->AnnotatePublished();
    QCoreApplication::postEvent(this, opening);
    state.receiver = this;
    state.view = this;
    StartConversion(ctx, state);
}

QString CConvProg::ControlText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* path = dynamic_cast<ElidedLabel*>(w)) {
        return path->FullText();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    return QString();
}

void CConvProg::AppendLogLine(const QString& text, int level) {
    ++logLineNumber;
    auto* item =
        new QTreeWidgetItem({QString(), QString::asprintf("%03d ", logLineNumber),
                             QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text});
    item->setData(0, LogRowDelegate::kLevelRole, level);
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(2, Qt::AlignCenter);
    logList->addTopLevelItem(item);
    // Through the view's own scrollTo, which keeps the sideways position.
    logList->scrollTo(logList->model()->index(logList->topLevelItemCount() - 1, 0));
    if (!state.IsRunning()) {
        // The sizing timer has stopped or never started: the lines of a run's
        // end would otherwise stay cut.
        FitDescriptionColumn();
    }
}

void CConvProg::FitDescriptionColumn() {
    logList->resizeColumnToContents(3);
}

void CConvProg::SetValueText(int id, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(GetDlgItem(id))) {
        l->setText(text);
        l->setAccessibleDescription(text.trimmed());
    }
}

bool CConvProg::event(QEvent* e) {
    if (auto* progress = EngineEventCast<ConvProgressEvent>(e)) {
        OnProgress(progress->filePercent, progress->overallPercent);
        return true;
    }
    if (auto* log = EngineEventCast<ConvLogEvent>(e)) {
        AppendLogLine(log->text, log->level);
        if (log->level > LogNormal) {
            SetTaskbarState(int(TaskbarState::Error));
        }
        return true;
    }
    if (EngineEventCast<ConvFinishedEvent>(e)) {
        OnFinished();
        return true;
    }
    return CResizeDlg::event(e);
}

void CConvProg::OnProgress(float filePercent, float overallPercent) {
    if (!state.IsRunning()) {
        return;
    }
    ++progressMessageCount;
    const float f = std::min(filePercent, 100.0f);
    const float o = std::min(overallPercent, 100.0f);
    SetValueText(IdFileDone, QString::asprintf("%5.2f%%", double(f)));
    SetValueText(IdOverallDone, QString::asprintf("%5.2f%%", double(o)));
    overallBar->setValue(int(o));
    fileBar->setValue(int(f));
    if (progressMessageCount % 10 != 0) {
        return;
    }
    const uint32_t now = TickCount();
    const double e = double(uint32_t(now - state.fileStartTick.load())) / 1000.0;
    const double E = double(uint32_t(now - state.overallStartTick.load())) / 1000.0;
    if (e <= 0.1) {
        return;
    }
    SetValueText(IdFileElapsed, HmsText(e));
    if (f > 0) {
        SetValueText(IdFileEta, HmsText((100.0 - f) * e / f));
    }
    SetValueText(IdOverallElapsed, HmsText(E));
    if (o > 0) {
        SetValueText(IdOverallEta, HmsText((100.0 - o) * E / o));
    }
    SetValueText(IdFileSpeed, QString::asprintf(" %5.2fx", state.FileAudioSeconds() / e));
    SetValueText(IdOverallSpeed,
                 QString::asprintf(" %5.2fx", E > 0 ? state.OverallAudioSeconds() / E : 0.0));
    if (taskbar) {
        taskbar->SetValue(quint64(o), 100);
    }
}

void CConvProg::OnFinished() {
    state.Stop();
    for (int id : {int(IdFileDone), int(IdOverallDone)}) {
        SetValueText(id, QStringLiteral("100.00%"));
    }
    fileBar->setValue(100);
    overallBar->setValue(100);
    for (int id : {int(IdFileEta), int(IdOverallEta)}) {
        SetValueText(id, QStringLiteral("00:00:00"));
    }
    pauseButton->setEnabled(state.settings.sameAsSource == 0);
    pauseButton->setText(QStringLiteral("Open Dir"));
    cancelButton->setText(QStringLiteral("Finish"));
    setWindowTitle(QStringLiteral("Finished Converting"));
    AppendLogLine(QStringLiteral("Finished converting, all done ^_^"), LogNormal);
    if (taskbar) {
        taskbar->SetValue(100, 100);
    }
}

void CConvProg::OnPauseCommand() {
    if (state.IsRunning()) {
        const bool nowPaused = state.paused.load() == 0;
        state.paused.store(nowPaused ? 1 : 0);
        pauseButton->setText(nowPaused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        SetTaskbarState(int(nowPaused ? TaskbarState::Paused : TaskbarState::Normal));
        return;
    }
    if (state.settings.sameAsSource == 0) {
        OpenOutputFolder();
    }
}

void CConvProg::OpenOutputFolder() {
    if (!shell) {
        ownShell = std::make_unique<Shell>();
        shell = ownShell.get();
    }
    const QString folder = state.settings.outputFolder;
    const OpenResult result = shell->OpenPath(folder);
    if (result != OpenResult::Opened) {
        ShowOpenFailure(OpenFolderFailureText(folder, result));
    }
}

QString CConvProg::OpenFolderFailureText(const QString& folder, OpenResult result) {
    QString shown = QDir::toNativeSeparators(QDir::cleanPath(folder));
    shown = EscapedForDisplay(shown.isEmpty() ? folder : shown);
    if (result == OpenResult::NotFound) {
        return QStringLiteral("Could not open the folder %1: it does not exist. It may have been "
                              "moved or deleted, or the run wrote nothing to it. Check the output "
                              "folder in Options.")
            .arg(shown);
    }
    return QStringLiteral("Could not open the folder %1: no file manager or application is set to "
                          "open folders. Open it from your file manager.")
        .arg(shown);
}

void CConvProg::ShowOpenFailure(const QString& text) {
    QMessageBox::warning(this, windowTitle(), text);
}

void CConvProg::OnCancelCommand() {
    if (closing) {
        return;
    }
    if (state.IsRunning()) {
        state.paused.store(1);
        if (!AskCancel()) {
            state.paused.store(0);
            return;
        }
        SetTaskbarState(int(TaskbarState::Indeterminate));
        state.aborted.store(1);
        state.Stop();
        pauseButton->setEnabled(false);
        cancelButton->setEnabled(false);
        setWindowTitle(QStringLiteral("Aborting, Please Wait..."));
        // Every stage polls `running`, so this returns within one block of
        // work; nothing is killed and no file is left reported as OK.
        CancelConversion(ctx, state);
    } else {
        EndRun();
    }
    // Lines the engine posted before it stopped still belong in the log.
    QCoreApplication::sendPostedEvents(this);
    closing = true;
    done(0);
}

void CConvProg::EndRun() {
    // The driver ends by itself once `running` is 0; wait for its last lines.
    WaitForConversion(ctx, state);
}

void CConvProg::OnClearCommand() {
    logList->clear();
    logList->horizontalScrollBar()->setValue(0);
}

bool CConvProg::AskCancel() {
    return QMessageBox::question(this, windowTitle(), QStringLiteral("Do You Want to Cancel?"),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void CConvProg::timerEvent(QTimerEvent* e) {
    if (e->timerId() != refreshTimer.timerId()) {
        CResizeDlg::timerEvent(e);
        return;
    }
    FitDescriptionColumn();
    if (!state.IsRunning()) {
        // This last fit takes in the lines written since the previous tick.
        refreshTimer.stop();
    }
}

void CConvProg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        e->accept(); // neither closes the window
        return;
    default:
        CResizeDlg::keyPressEvent(e);
    }
}

void CConvProg::reject() {
    // Escape; closing goes through Cancel only.
}

void CConvProg::closeEvent(QCloseEvent* e) {
    if (closing) {
        e->accept();
        return;
    }
    e->ignore();
    OnCancelCommand();
}

void CConvProg::SetTitle(const QString& title) {
    QMetaObject::invokeMethod(
        this, [this, title] { setWindowTitle(title); }, Qt::QueuedConnection);
}

void CConvProg::SetSourceText(const QString& path) {
    QMetaObject::invokeMethod(
        this, [this, path] { static_cast<ElidedLabel*>(GetDlgItem(IdSource))->SetFullText(path); },
        Qt::QueuedConnection);
}

void CConvProg::SetDestinationText(const QString& path) {
    QMetaObject::invokeMethod(
        this,
        [this, path] { static_cast<ElidedLabel*>(GetDlgItem(IdDestination))->SetFullText(path); },
        Qt::QueuedConnection);
}

void CConvProg::StartRefreshTimer() {
    QMetaObject::invokeMethod(
        this, [this] { refreshTimer.start(1000, this); }, Qt::QueuedConnection);
}

void CConvProg::ShowErrorBox(const QString& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { QMessageBox::critical(this, windowTitle(), text); },
        Qt::QueuedConnection);
}

void CConvProg::SetTaskbarState(int newState) {
    if (taskbar) {
        taskbar->SetState(TaskbarState(newState));
    }
}

} // namespace zorvane
