#include "CommandLine.h"

namespace zorvane {

QString UsageText() {
    return QStringLiteral("Usage: zorvane-convert [--out DIR] FILE...\n"
                          "\n"
                          "Converts MP3 files to new constant-bitrate MP3 files with the settings\n"
                          "of Config.ini and prints the conversion log.\n"
                          "\n"
                          "Options:\n"
                          "  --out DIR   write the new files into DIR (created when missing);\n"
                          "              without it each file is written beside its source\n"
                          "  -h, --help  show this text\n"
                          "\n"
                          "An existing output is never overwritten: the new file is numbered,\n"
                          "e.g. \"song (2).mp3\". Sources are only read.\n"
                          "\n"
                          "Exit status: 0 when every file was converted, 1 when a conversion\n"
                          "failed, 2 when the arguments were wrong.\n");
}

std::optional<CliOptions> ParseCommandLine(const QStringList& args, QString* error) {
    CliOptions options;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (onlyFiles || !arg.startsWith(u'-') || arg == u"-") {
            options.inputs << arg;
            continue;
        }
        if (arg == u"--") {
            onlyFiles = true;
        } else if (arg == u"-h" || arg == u"--help") {
            options.showHelp = true;
        } else if (arg == u"--out" || arg.startsWith(u"--out=")) {
            QString value;
            if (arg == u"--out") {
                if (i + 1 >= args.size()) {
                    *error = QStringLiteral("--out needs a folder, e.g. --out ~/Music/fast");
                    return std::nullopt;
                }
                value = args.at(++i);
            } else {
                value = arg.mid(6);
            }
            if (value.isEmpty()) {
                *error = QStringLiteral("--out needs a folder, e.g. --out ~/Music/fast");
                return std::nullopt;
            }
            options.outputFolder = value;
        } else {
            *error = QStringLiteral("unknown option %1; see zorvane-convert --help").arg(arg);
            return std::nullopt;
        }
    }
    if (!options.showHelp && options.inputs.isEmpty()) {
        *error = QStringLiteral("no input files; give one or more MP3 files, see --help");
        return std::nullopt;
    }
    return options;
}

} // namespace zorvane
