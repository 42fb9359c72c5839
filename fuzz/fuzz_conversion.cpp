// libFuzzer target: any byte sequence, saved as an .mp3 file, is read as the
// file list reads it and, when the list would convert it, converted at 150 %
// in tempo mode. Besides crashes and leaks it treats as a finding a run that
// outlives its deadline and a run that ends but leaves a temporary output.

#include "FuzzMain.h"
#include "InputRun.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

using zorvane::fuzzing::ConversionOutcome;
using zorvane::fuzzing::InputRun;

// Each finding aborts in a function of its own, so that the stack printed
// with the reproducer names it among the libraries' own warnings.

[[noreturn]] __attribute__((noinline)) void TemporaryInputCouldNotBeWritten() {
    std::fprintf(stderr, "fuzz_conversion: the temporary input file could not be written\n");
    std::abort();
}

[[noreturn]] __attribute__((noinline)) void ConversionEndedOnlyWhenStopped(const InputRun& run) {
    std::fprintf(stderr,
                 "fuzz_conversion: a conversion of %.3f s of audio was still running after "
                 "%d ms; it ended when asked to stop\n",
                 run.Row().info.durationSeconds, zorvane::fuzzing::kConversionDeadlineMs);
    std::abort();
}

[[noreturn]] __attribute__((noinline)) void ConversionNeverEnded(const InputRun& run) {
    std::fprintf(stderr,
                 "fuzz_conversion: a conversion of %.3f s of audio was still running after "
                 "%d ms and did not end within %d ms of being asked to stop\n",
                 run.Row().info.durationSeconds, zorvane::fuzzing::kConversionDeadlineMs,
                 zorvane::fuzzing::kStopDeadlineMs);
    std::abort();
}

[[noreturn]] __attribute__((noinline)) void TemporaryOutputLeftBehind(const QStringList& names) {
    std::fprintf(stderr, "fuzz_conversion: the run ended but left %s\n",
                 qPrintable(names.join(QStringLiteral(", "))));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zorvane::fuzzing::InitializeFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputRun run(data, size);
    if (!run.Ready()) {
        TemporaryInputCouldNotBeWritten();
    }
    switch (run.Convert()) {
    case ConversionOutcome::EndedLate:
        ConversionEndedOnlyWhenStopped(run);
    case ConversionOutcome::NeverEnded:
        ConversionNeverEnded(run);
    case ConversionOutcome::Ended:
        if (const QStringList left = run.LeftoverTemporaryFiles(); !left.isEmpty()) {
            TemporaryOutputLeftBehind(left);
        }
        break;
    case ConversionOutcome::NotTried:
    case ConversionOutcome::NoWorkspace:
        break;
    }
    return 0;
}
