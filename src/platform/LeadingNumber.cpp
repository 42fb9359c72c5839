#include "LeadingNumber.h"

namespace zorvane {

LeadingNumber ReadLeadingNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    LeadingNumber number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        number.negative = text[i] == u'-';
        ++i;
    }
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        number.magnitude = number.magnitude * 10u + uint32_t(text[i].unicode() - u'0');
    }
    return number;
}

} // namespace zorvane
