#pragma once

#include "engine/ConversionState.h"
#include "ui/toolkit/ResizeDlg.h"

#include <QBasicTimer>
#include <QString>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace zorvane {

class EngineContext;
class Shell;
class TaskbarProgress;
enum class OpenResult;

// Control numbers of the progress window.
enum ConvProgControl : int {
    IdCurrentGroup = 1071,
    IdOverallGroup = 1072,
    IdFileBar = 1073,
    IdOverallBar = 1074,
    IdPauseButton = 1075,
    IdFileDoneLabel = 1076,
    IdOverallDoneLabel = 1077,
    IdFileSpeedLabel = 1078,
    IdOverallSpeedLabel = 1079,
    IdFileDone = 1080,
    IdOverallDone = 1081,
    IdFileSpeed = 1082,
    IdOverallSpeed = 1083,
    IdOverallElapsedLabel = 1084,
    IdFileElapsedLabel = 1085,
    IdOverallElapsed = 1086,
    IdFileElapsed = 1087,
    IdFileEta = 1088,
    IdOverallEtaLabel = 1089,
    IdFileEtaLabel = 1090,
    IdOverallEta = 1091,
    IdSource = 1092,
    IdDestination = 1093,
    IdSourceLabel = 1094,
    IdDestinationLabel = 1095,
    IdClearButton = 1096,
    IdLogList = 1003,
    IdCancelButton = 2,
};

// The window of a conversion run: the progress of the current file and of
// the whole run, the log, and Pause/Resume, Cancel, Clear, then Finish and
// Open Dir. It owns the run's shared state: whoever opens it fills State()
// (tasks, totals, settings) and then runs it with exec().
//
// Thread safety: all handlers run on the window's thread. The engine reaches
// it through posted events and the ConversionView calls, which only queue
// work for this thread.
class CConvProg : public CResizeDlg, public ConversionView {
    Q_OBJECT

public:
    static constexpr const char16_t* kPlacementName = u"{6D1F3A20-8C44-4E7B-9B52-3F0A7C1D2E85}";
    static constexpr int kRefreshTimerId = 1;

    // taskbar and shell may be null (no taskbar progress; the desktop shell).
    CConvProg(EngineContext& ctx, TaskbarProgress* taskbar = nullptr, Shell* shell = nullptr,
              QWidget* parent = nullptr);
    ~CConvProg() override;

    ConversionState& State() { return state; }

    // Adds a numbered, timed line to the log and scrolls to it.
    void AppendLogLine(const QString& text, int level);

    // The process-wide counters: they go on from run to run.
    static int LogLineNumber() { return logLineNumber; }
    static int ProgressMessageCount() { return progressMessageCount; }

    QTreeWidget* LogList() const { return logList; }
    // What a control says; for Source and Destination the whole path, even
    // when the window shows it shortened.
    QString ControlText(int id) const;

    // ConversionView: called on the driver thread.
    void SetTitle(const QString& title) override;
    void SetSourceText(const QString& path) override;
    void SetDestinationText(const QString& path) override;
    void StartRefreshTimer() override;
    void ShowErrorBox(const QString& text) override;

public slots:
    void OnPauseCommand();  // 1075
    void OnCancelCommand(); // 2, also the close box
    void OnClearCommand();  // 1096

protected:
    void OnInitDialog() override;
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

    // The Cancel question; true for Yes. Tests answer it themselves.
    virtual bool AskCancel();
    // Tells the user that the desktop could not open something; a warning
    // box. Tests record it instead.
    virtual void ShowOpenFailure(const QString& text);

private:
    void CreateControls();
    void NameControls();
    void RegisterRules();
    // The log's "#" and "Time" columns: the original widths scaled with the
    // log's font, never narrower than their texts.
    int LogColumnWidth(int column) const;
    // A value label's text, which is also what a screen reader reads for it.
    void SetValueText(int id, const QString& text);
    void FitDescriptionColumn();
    void OpenOutputFolder();
    // What the user is told when the output folder cannot be opened.
    static QString OpenFolderFailureText(const QString& folder, OpenResult result);
    void OnProgress(float filePercent, float overallPercent);
    void OnFinished();
    void SetTaskbarState(int state);
    void EndRun();

    EngineContext& ctx;
    ConversionState state;
    TaskbarProgress* taskbar;
    Shell* shell;
    std::unique_ptr<Shell> ownShell;
    QBasicTimer refreshTimer;
    bool closing = false;

    QProgressBar* fileBar = nullptr;
    QProgressBar* overallBar = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* clearButton = nullptr;
    QTreeWidget* logList = nullptr;

    static int logLineNumber;
    static int progressMessageCount;
};

} // namespace zorvane
