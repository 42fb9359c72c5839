#include "InputRun.h"

#include "engine/ConversionRun.h"
#include "engine/ConversionState.h"
#include "engine/EngineContext.h"
#include "engine/TaskRules.h"
#include "filelist/FileListColumns.h"
#include "filelist/FileRow.h"
#include "filelist/InfoReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace zorvane::fuzzing {

const char* OutcomeName(ConversionOutcome outcome) {
    switch (outcome) {
    case ConversionOutcome::NotTried:
        return "not tried";
    case ConversionOutcome::Ended:
        return "ended";
    case ConversionOutcome::EndedLate:
        return "ended late";
    case ConversionOutcome::NeverEnded:
        return "never ended";
    case ConversionOutcome::NoWorkspace:
        return "no workspace";
    }
    return "?";
}

InputRun::InputRun(const uint8_t* data, size_t size)
    : folder(QDir::tempPath() + QStringLiteral("/zorvane-fuzz-XXXXXX")) {
    if (!folder.isValid() || !QDir(folder.path()).mkdir(QStringLiteral("out"))) {
        return;
    }
    sourcePath = folder.filePath(QStringLiteral("input.mp3"));
    QFile file(sourcePath);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    const auto length = qint64(size);
    ready = size == 0 || file.write(reinterpret_cast<const char*>(data), length) == length;
}

QString InputRun::OutputFolder() const {
    return folder.filePath(QStringLiteral("out"));
}

const InfoRowCells& InputRun::ReadRow() {
    DiscardingSink sink;
    InfoReader reader(sink);
    row = InfoRowCells();
    ReadFileRow(reader, QFileInfo(sourcePath), row);
    rowRead = true;
    return row;
}

ConversionOutcome InputRun::Convert(int deadlineMs) {
    conversionMs = 0;
    if (!ready) {
        return ConversionOutcome::NoWorkspace;
    }
    if (!rowRead) {
        ReadRow();
    }
    if (row.info.invalid != 0 || row.info.durationSeconds > kMaxConvertedSeconds) {
        return ConversionOutcome::NotTried;
    }

    // Held by pointer: a run whose threads never end must be let go rather
    // than destroyed under them.
    auto ctx = std::make_unique<EngineContext>();
    auto state = std::make_unique<ConversionState>();
    if (!ctx->IsValid()) {
        return ConversionOutcome::NotTried;
    }
    ConversionSettings settings;
    settings.speedMode = SpeedModeTempo;
    settings.speedPercent = 150;
    settings.outputFolder = OutputFolder() + u'/';
    state->settings = settings;
    state->startDelayMs = 0;
    AppendTask(*state,
               BuildTask(row.info, row.CellText(ColumnPath), row.CellText(ColumnName), settings));

    QElapsedTimer timer;
    timer.start();
    StartConversion(*ctx, *state);
    ConversionOutcome outcome = ConversionOutcome::Ended;
    if (!state->driverThread.WaitFor(unsigned(deadlineMs))) {
        state->aborted.store(1);
        state->Stop();
        outcome = state->driverThread.WaitFor(kStopDeadlineMs) ? ConversionOutcome::EndedLate
                                                               : ConversionOutcome::NeverEnded;
    }
    conversionMs = timer.elapsed();
    if (outcome == ConversionOutcome::NeverEnded) {
        // Its threads still use both; joining them would hang the caller too.
        static_cast<void>(ctx.release());
        static_cast<void>(state.release());
        return outcome;
    }
    WaitForConversion(*ctx, *state);
    return outcome;
}

QStringList InputRun::LeftoverTemporaryFiles() const {
    QStringList names =
        QDir(OutputFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.removeIf([](const QString& name) { return !name.startsWith(u'.'); });
    return names;
}

} // namespace zorvane::fuzzing
