// libFuzzer target: any byte sequence, saved as an .mp3 file, is read as the
// file list reads it (stream format and length, tags, bitrate).

#include "FuzzMain.h"
#include "InputRun.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Named so that the reproducer's stack says what went wrong.
[[noreturn]] __attribute__((noinline)) void TemporaryInputCouldNotBeWritten() {
    std::fprintf(stderr, "fuzz_inforeader: the temporary input file could not be written\n");
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zorvane::fuzzing::InitializeFuzzProcess(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zorvane::fuzzing::InputRun run(data, size);
    if (!run.Ready()) {
        TemporaryInputCouldNotBeWritten();
    }
    run.ReadRow();
    return 0;
}
