#include "FuzzMain.h"

#include <QCoreApplication>

namespace zorvane::fuzzing {

void InitializeFuzzProcess(int* argc, char*** argv) {
    // Never deleted: libFuzzer leaves through exit(), and Qt's own globals
    // may already be gone by the time a static object would be destroyed.
    static QCoreApplication* app = nullptr;
    if (!app) {
        app = new QCoreApplication(*argc, *argv);
    }
}

} // namespace zorvane::fuzzing
