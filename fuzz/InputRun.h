#pragma once

// One arbitrary byte sequence taken through the program's own paths: written
// to a file, read as the file list reads it and, when the list would accept
// it, converted as a run converts it. The fuzz targets and the regression
// tests of what they found share this, so a reproducer means the same thing
// in both.

#include "filelist/InfoRowSink.h"
#include "platform/MessageSink.h"

#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace zorvane::fuzzing {

// A crafted header can claim hours of audio in a few bytes; what a fuzz input
// really holds decodes in a few seconds, so rows claiming more are not
// converted: their time would go into the encoder, not into finding bugs.
inline constexpr double kMaxConvertedSeconds = 30.0;

// The longest a conversion of such a row may take. A stage that stalls is only
// stopped by the driver's own watchdog after 10 s, which would already be a
// hang as far as a user is concerned.
inline constexpr int kConversionDeadlineMs = 5000;

// How long a conversion that was asked to stop may take to end.
inline constexpr int kStopDeadlineMs = 2000;

// The "Trouble with mpg123" boxes of damaged files would only be noise.
class DiscardingSink final : public MessageSink {
public:
    void ShowError(const QString&) override {}
    void ShowMessage(const QString&) override {}
};

enum class ConversionOutcome {
    NotTried,    // invalid row, or one that claims too much audio
    Ended,       // the driver returned within the deadline (converted or not)
    EndedLate,   // past the deadline, but it ended once asked to stop
    NeverEnded,  // not even a stop request ended it; its threads still run
    NoWorkspace, // the temporary folder could not be made
};

const char* OutcomeName(ConversionOutcome outcome);

class InputRun {
public:
    // Writes the bytes as "input.mp3" into a fresh folder under
    // QDir::tempPath() ($TMPDIR or /tmp), removed with the object.
    InputRun(const uint8_t* data, size_t size);
    InputRun(const InputRun&) = delete;
    InputRun& operator=(const InputRun&) = delete;

    // False when the folder or the file could not be written.
    bool Ready() const { return ready; }

    // ReadFileRow with an info reader of its own, as a loader thread does.
    const InfoRowCells& ReadRow();

    // Reads the row first when it was not, then converts it at 150 % in tempo
    // mode with the default settings into a folder of its own.
    ConversionOutcome Convert(int deadlineMs = kConversionDeadlineMs);

    // Milliseconds the last Convert() waited for the driver.
    qint64 ConversionMs() const { return conversionMs; }

    // Names in the output folder that are hidden temporary outputs: a run that
    // ended must never leave one.
    QStringList LeftoverTemporaryFiles() const;

    const InfoRowCells& Row() const { return row; }
    QString SourcePath() const { return sourcePath; }
    QString OutputFolder() const;

private:
    QTemporaryDir folder;
    QString sourcePath;
    bool ready = false;
    bool rowRead = false;
    InfoRowCells row;
    qint64 conversionMs = 0;
};

} // namespace zorvane::fuzzing
