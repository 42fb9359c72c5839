#pragma once

// What both fuzz targets need before the first input: the application object
// the engine's Qt types expect, made once and kept for the process's life.

namespace zorvane::fuzzing {

void InitializeFuzzProcess(int* argc, char*** argv);

} // namespace zorvane::fuzzing
