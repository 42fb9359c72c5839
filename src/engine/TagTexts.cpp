#include "TagTexts.h"

#include <array>
#include <utility>

namespace zorvane {

QString* TagTexts::Text(int index) {
    return const_cast<QString*>(std::as_const(*this).Text(index));
}

const QString* TagTexts::Text(int index) const {
    const std::array<const QString*, kCount> texts{&artist, &albumArtist, &album, &track,
                                                   &title,  &genre,       &date,  &comment};
    return index >= 0 && index < kCount ? texts[size_t(index)] : nullptr;
}

} // namespace zorvane
