#include "MessageSink.h"

#include <cstdio>

namespace zorvane {

void StandardErrorSink::ShowError(const QString& text) {
    std::fprintf(stderr, "zorvane: error: %s\n", text.toLocal8Bit().constData());
}

void StandardErrorSink::ShowMessage(const QString& text) {
    std::fprintf(stderr, "zorvane: %s\n", text.toLocal8Bit().constData());
}

} // namespace zorvane
