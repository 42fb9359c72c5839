#pragma once

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <cstdint>

class QProgressBar;
class QPushButton;

namespace zorvane {

// The small window that shows a busy bar while a load takes long, with a
// Cancel button that asks the load to stop. It is made once, hidden, and
// shown by each load that lasts more than half a second (at once for a drop).
class CProcessing : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShowDelayMs = 500;
    // The Cancel button's command id.
    static constexpr int kCancelCommand = 3;

    explicit CProcessing(QWidget* parent = nullptr);

    // The flags that Cancel and closing set: the list is busy, the load stops.
    void SetStopFlags(std::atomic<int32_t>* listBusy, std::atomic<int32_t>* loadRunning);

    // Shows the window after `ms` unless StopShowTimer comes first.
    void StartShowTimer(int ms = kShowDelayMs);
    void StopShowTimer();
    bool ShowTimerActive() const { return showTimer.isActive(); }
    // Centres the window over `owner`'s frame.
    void CentreOver(const QWidget* owner);

    // Whether the user cancelled (or closed the window) since ResetCancelled.
    bool WasCancelled() const { return cancelled; }
    void ResetCancelled() { cancelled = false; }

    QProgressBar* ProgressBar() const { return progressBar; }
    QPushButton* CancelButton() const { return cancelButton; }

public slots:
    void reject() override;

private:
    void RequestStop();

    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;
    QTimer showTimer;
    std::atomic<int32_t>* listBusy = nullptr;
    std::atomic<int32_t>* loadRunning = nullptr;
    bool cancelled = false;
};

} // namespace zorvane
