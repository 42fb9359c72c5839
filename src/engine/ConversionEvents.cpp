#include "ConversionEvents.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define ZORVANE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#include <sanitizer/tsan_interface.h>
#define ZORVANE_TSAN 1
#endif
#endif

namespace zorvane {

ConversionEvent::~ConversionEvent() {
    if (gate) {
        gate->Open();
    }
}

void ConversionEvent::AnnotatePublished() {
#ifdef ZORVANE_TSAN
    __tsan_release(this);
#endif
}

void ConversionEvent::AnnotateReceived() {
#ifdef ZORVANE_TSAN
    __tsan_acquire(this);
#endif
}

} // namespace zorvane
