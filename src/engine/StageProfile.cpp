#include "StageProfile.h"

namespace zorvane {

namespace {

QString Row(const char* name, const StageTimes& t) {
    const double total = double(t.totalUs.load()) / 1e6;
    const double in = double(t.waitInputUs.load()) / 1e6;
    const double out = double(t.waitOutputUs.load()) / 1e6;
    const double work = std::max(0.0, total - in - out);
    return QString::asprintf("%-8s %9.2f %9.2f %11.2f %12.2f\n", name, total, work, in, out);
}

} // namespace

QString StageProfile::Report() const {
    QString text = QStringLiteral("stage      total s    work s  wait in s  wait out s\n");
    text += Row("decoder", decoder);
    text += Row("tempo", tempo);
    text += Row("encoder", encoder);
    return text;
}

} // namespace zorvane
