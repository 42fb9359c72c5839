#include "Processing.h"

#include "ui/toolkit/DialogUnits.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvane {

using namespace Qt::StringLiterals;

CProcessing::CProcessing(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(u"ProcessingDialog"_s);
    setWindowTitle(u"Processing Audio Files..."_s);
    setModal(false);

    // The template's layout in dialog units: a 302 x 11 bar at (7, 7) and a
    // 50 x 14 button at (259, 23) in a 316 x 44 window. A layout keeps those
    // margins and lets the window grow, never shrink below what it holds.
    const DialogUnits units(font());
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(u"ProgressBar"_s);
    progressBar->setAccessibleName(u"Loading files"_s);
    // A range of 0..0 is Qt's busy bar, which animates by itself.
    progressBar->setRange(0, 0);
    progressBar->setTextVisible(false);
    progressBar->setMinimumSize(units.X(302), units.Y(11));

    cancelButton = new QPushButton(u"Cancel"_s, this);
    cancelButton->setObjectName(u"CancelButton"_s);
    cancelButton->setAccessibleName(u"Cancel loading"_s);
    cancelButton->setAutoDefault(false);
    cancelButton->setMinimumSize(units.X(50), units.Y(14));
    connect(cancelButton, &QPushButton::clicked, this, [this] { RequestStop(); });

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->setContentsMargins(units.X(7), units.Y(7), units.X(7), units.Y(7));
    layout->setSpacing(units.Y(23) - units.Y(7) - units.Y(11));
    layout->addWidget(progressBar);
    layout->addLayout(buttons);

    const QSize wanted(units.X(316), units.Y(44));
    resize(wanted.expandedTo(layout->minimumSize()));

    showTimer.setSingleShot(true);
    connect(&showTimer, &QTimer::timeout, this, [this] {
        if (isHidden()) {
            show();
        }
    });
}

void CProcessing::SetStopFlags(std::atomic<int32_t>* busy, std::atomic<int32_t>* running) {
    listBusy = busy;
    loadRunning = running;
}

void CProcessing::StartShowTimer(int ms) {
    showTimer.start(ms);
}

void CProcessing::StopShowTimer() {
    showTimer.stop();
}

void CProcessing::CentreOver(const QWidget* owner) {
    if (owner == nullptr) {
        return;
    }
    const QRect frame = owner->frameGeometry();
    QRect placed(QPoint(0, 0), size().expandedTo(minimumSizeHint()));
    placed.moveCenter(frame.center());
    move(placed.topLeft());
}

void CProcessing::RequestStop() {
    cancelled = true;
    // The list stays busy (no drops, no Convert) until the load's end has
    // sorted the rows it kept.
    if (listBusy != nullptr) {
        listBusy->store(1);
    }
    if (loadRunning != nullptr) {
        loadRunning->store(0);
    }
}

void CProcessing::reject() {
    // Escape and the close box stop the load as Cancel does, and the window
    // only hides: it is made once and kept.
    RequestStop();
    hide();
}

} // namespace zorvane
