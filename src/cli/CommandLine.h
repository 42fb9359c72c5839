#pragma once

#include "settings/ConversionSettings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane {

// What the user asked zorvane-convert to do. Each setting is optional: what
// is not given on the command line comes from Config.ini.
struct CliOptions {
    QStringList inputs; // files and folders, in the order given
    // Inputs whose bytes are not valid UTF-8: their QString would name
    // another file, so they are reported, not opened.
    QList<QByteArray> unrepresentableInputs;
    bool recursive = false;
    bool stopOnError = false;
    bool listOnly = false;
    bool showHelp = false;
    bool profile = false;
    std::optional<int> speedPercent;
    std::optional<int> speedMode;
    std::optional<int> bitrateIndex;
    std::optional<int> frequencyIndex;
    std::optional<int> channelMode;
    // How many files convert at once; unset: DefaultJobs().
    std::optional<int> jobs;
    std::optional<QString> outputFolder; // --out
    bool sameAsSource = false;           // --same-as-source

    // The settings of the run: `base` (from Config.ini) with the flags applied.
    ConversionSettings Apply(ConversionSettings base) const;
};

// Parses the arguments after the program name, as the bytes the system gave
// (a file name need not be UTF-8). On a mistake returns nothing and sets
// *error to a message that says what to do.
std::optional<CliOptions> ParseCommandLine(const QList<QByteArray>& args, QString* error);

// Files converted at once when --jobs is not given: one pipeline keeps
// about two cores busy, so half the cores, and at least one.
int DefaultJobs();

// The --help text.
QString UsageText();

} // namespace zorvane
