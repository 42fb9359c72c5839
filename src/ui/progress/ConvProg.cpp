#include "ConvProg.h"

#include "LogRowDelegate.h"

#include "engine/ConversionEvents.h"
#include "engine/ConversionRun.h"
#include "engine/EngineContext.h"
#include "engine/Ticks.h"
#include "platform/Shell.h"
#include "platform/TaskbarProgress.h"
#include "ui/toolkit/DialogUnits.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>

namespace zorvane {

int CConvProg::logLineNumber = 0;
int CConvProg::progressMessageCount = 0;

namespace {

// Size of the window in dialog units.
constexpr int kWidthDu = 367;
constexpr int kHeightDu = 273;

using TaskbarState = TaskbarProgress::State;

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

QString CConvProg::FormatHms(unsigned seconds) {
    return QString::asprintf("%02u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

void CConvProg::CreateControls() {
    const DialogUnits du(font());
    resize(du.X(kWidthDu), du.Y(kHeightDu));

    auto label = [this, &du](int id, const QString& text, int x, int y, int w,
                             Qt::Alignment align = Qt::AlignLeft) {
        auto* l = new QLabel(text, this);
        SetDlgCtrlID(l, id);
        l->setGeometry(du.Rect(x, y, w, 9));
        l->setAlignment(align | Qt::AlignVCenter);
        return l;
    };
    auto group = [this, &du](int id, const QString& title, int y) {
        auto* g = new QGroupBox(title, this);
        SetDlgCtrlID(g, id);
        g->setGeometry(du.Rect(7, y, 353, 50));
        return g;
    };
    auto bar = [this, &du](int id, int y) {
        auto* b = new QProgressBar(this);
        SetDlgCtrlID(b, id);
        b->setGeometry(du.Rect(14, y, 339, 10));
        b->setRange(0, 100);
        b->setValue(0);
        b->setTextVisible(false);
        return b;
    };
    // One row of four label/value pairs, evenly spread over the group.
    auto values = [&](int y, const int(&ids)[8]) {
        static const char16_t* const kLabels[] = {u"Done:", u"Speed:", u"Elapsed:", u"ETA:"};
        static const char16_t* const kValues[] = {u"0.00%", u"0.00x", u"00:00:00", u"00:00:00"};
        for (int i = 0; i < 4; ++i) {
            const int x = 14 + i * 86;
            label(ids[2 * i], QString::fromUtf16(kLabels[i]), x, y, 34, Qt::AlignRight);
            QLabel* value = label(ids[2 * i + 1], QString::fromUtf16(kValues[i]), x + 36, y, 46);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    };

    // Group boxes first, so that they stay behind what they frame.
    group(IdCurrentGroup, QStringLiteral("Current Progress"), 6);
    group(IdOverallGroup, QStringLiteral("Overall Progress"), 60);
    fileBar = bar(IdFileBar, 19);
    overallBar = bar(IdOverallBar, 73);
    values(35, {IdFileDoneLabel, IdFileDone, IdFileSpeedLabel, IdFileSpeed, IdFileElapsedLabel,
                IdFileElapsed, IdFileEtaLabel, IdFileEta});
    values(89, {IdOverallDoneLabel, IdOverallDone, IdOverallSpeedLabel, IdOverallSpeed,
                IdOverallElapsedLabel, IdOverallElapsed, IdOverallEtaLabel, IdOverallEta});

    label(IdSourceLabel, QStringLiteral("Source:"), 7, 116, 44);
    label(IdDestinationLabel, QStringLiteral("Destination:"), 7, 128, 44);
    for (int id : {int(IdSource), int(IdDestination)}) {
        QLabel* value = label(id, QString(), 53, id == IdSource ? 116 : 128, 307);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setTextFormat(Qt::PlainText);
    }

    logList = new QTreeWidget(this);
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
    logList->setColumnWidth(1, 55);
    logList->setColumnWidth(2, 63);
    logList->setColumnWidth(3, 500);
    logList->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    logList->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    // The first column only carries each row's level.
    logList->hideColumn(0);

    auto button = [this, &du](int id, const QString& text, int x) {
        auto* b = new QPushButton(text, this);
        SetDlgCtrlID(b, id);
        b->setGeometry(du.Rect(x, 252, 50, 14));
        b->setAutoDefault(false);
        return b;
    };
    clearButton = button(IdClearButton, QStringLiteral("Clear"), 97);
    pauseButton = button(IdPauseButton, QStringLiteral("Pause"), 158);
    cancelButton = button(IdCancelButton, QStringLiteral("Cancel"), 219);
    connect(clearButton, &QPushButton::clicked, this, &CConvProg::OnClearCommand);
    connect(pauseButton, &QPushButton::clicked, this, &CConvProg::OnPauseCommand);
    connect(cancelButton, &QPushButton::clicked, this, &CConvProg::OnCancelCommand);
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
    logList->scrollToItem(item);
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
    auto setText = [this](int id, const QString& text) {
        if (auto* l = qobject_cast<QLabel*>(GetDlgItem(id))) {
            l->setText(text);
        }
    };
    setText(IdFileDone, QString::asprintf("%5.2f%%", double(f)));
    setText(IdOverallDone, QString::asprintf("%5.2f%%", double(o)));
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
    setText(IdFileElapsed, FormatHms(unsigned(e)));
    if (f > 0) {
        setText(IdFileEta, FormatHms(unsigned((100.0 - f) * e / f)));
    }
    setText(IdOverallElapsed, FormatHms(unsigned(E)));
    if (o > 0) {
        setText(IdOverallEta, FormatHms(unsigned((100.0 - o) * E / o)));
    }
    setText(IdFileSpeed, QString::asprintf(" %5.2fx", state.FileAudioSeconds() / e));
    setText(IdOverallSpeed,
            QString::asprintf(" %5.2fx", E > 0 ? state.OverallAudioSeconds() / E : 0.0));
    if (taskbar) {
        taskbar->SetValue(quint64(o), 100);
    }
}

void CConvProg::OnFinished() {
    state.Stop();
    for (int id : {int(IdFileDone), int(IdOverallDone)}) {
        qobject_cast<QLabel*>(GetDlgItem(id))->setText(QStringLiteral("100.00%"));
    }
    fileBar->setValue(100);
    overallBar->setValue(100);
    for (int id : {int(IdFileEta), int(IdOverallEta)}) {
        qobject_cast<QLabel*>(GetDlgItem(id))->setText(QStringLiteral("00:00:00"));
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
        if (!shell) {
            ownShell = std::make_unique<Shell>();
            shell = ownShell.get();
        }
        shell->OpenPath(state.settings.outputFolder);
    }
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
    if (state.IsRunning()) {
        logList->resizeColumnToContents(3);
    } else {
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
        this, [this, path] { qobject_cast<QLabel*>(GetDlgItem(IdSource))->setText(path); },
        Qt::QueuedConnection);
}

void CConvProg::SetDestinationText(const QString& path) {
    QMetaObject::invokeMethod(
        this, [this, path] { qobject_cast<QLabel*>(GetDlgItem(IdDestination))->setText(path); },
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
