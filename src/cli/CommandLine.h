#pragma once

#include "settings/ConversionSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane {

// What the user asked zorvane-convert to do. Each setting is optional: what
// is not given on the command line comes from Config.ini.
struct CliOptions {
    QStringList inputs; // files and folders, in the order given
    bool recursive = false;
    bool listOnly = false;
    bool showHelp = false;
    bool profile = false;
    std::optional<int> speedPercent;
    std::optional<int> speedMode;
    std::optional<int> bitrateIndex;
    std::optional<int> frequencyIndex;
    std::optional<int> channelMode;
    std::optional<QString> outputFolder; // --out
    bool sameAsSource = false;           // --same-as-source

    // The settings of the run: `base` (from Config.ini) with the flags applied.
    ConversionSettings Apply(ConversionSettings base) const;
};

// Parses the arguments after the program name. On a mistake returns nothing
// and sets *error to a message that says what to do.
std::optional<CliOptions> ParseCommandLine(const QStringList& args, QString* error);

// The --help text.
QString UsageText();

} // namespace zorvane
