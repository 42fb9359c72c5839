#pragma once

#include <QString>

namespace zorvane {

// A file name or path as it may be printed or logged. A name on Linux can
// hold any byte but "/" and NUL: a line break in a name would otherwise
// start a new log line (and could forge one such as "Converting status:
// OK."), an escape sequence would drive the terminal, and a bidirectional
// override would show the name's characters in another order. Each such
// character is shown as an escape instead: \n, \r, \t, \xHH for the other
// C0 controls and DEL, \uHHHH for C1 controls, line and paragraph separators
// and bidirectional controls. Everything else, backslashes included, is shown
// as it is.
QString EscapedForDisplay(const QString& text);

// A duration as "HH:MM:SS", hours unbounded ("100:00:00"); fractions are cut.
// Nothing below zero, NaN included, and an estimate of any size is safe.
QString HmsText(double seconds);

} // namespace zorvane
