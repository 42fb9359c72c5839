#include "ConversionTask.h"

namespace zorvane {

float CConversionTask::AudioSeconds(uint64_t n) const {
    const double perSecond = double(targetRate) * double(targetChannels);
    if (perSecond <= 0.0) {
        return 0.0f;
    }
    return float(double(n) / perSecond);
}

} // namespace zorvane
