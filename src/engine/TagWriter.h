#pragma once

#include <QString>

namespace zorvane {

class CConversionTask;
class ConversionState;

// The product's web address, part of the encoder credit in every output.
inline constexpr char16_t kProductWebAddress[] = u"https://www.quenlor.com/zorvane";

// "Zorvane", CR LF, and the web address: the "encoded by" text of ID3v2 and APE.
QString EncoderCreditText();

// Gives the finished output the tag types its source had (sourceTagTypes),
// filled from the task's eight tag texts plus the encoder credit, and strips
// every other tag type. When source and output both carry ID3v2, the
// source's attached pictures (cover art) are copied too. Returns 1, or 0
// after logging "Fail to write tag:  <path>". Does not stop the run.
int WriteTags(ConversionState& state, CConversionTask& task);

} // namespace zorvane
