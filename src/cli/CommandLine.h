#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane {

// What the user asked zorvane-convert to do.
struct CliOptions {
    QStringList inputs;   // files (and, later, folders) in the order given
    QString outputFolder; // --out; empty: beside each source
    bool showHelp = false;
};

// Parses the arguments after the program name. On a mistake returns nothing
// and sets *error to a message that says what to do.
std::optional<CliOptions> ParseCommandLine(const QStringList& args, QString* error);

// The --help text.
QString UsageText();

} // namespace zorvane
