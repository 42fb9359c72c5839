#include "CommandLine.h"

#include "filelist/FolderScan.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>

namespace zorvane {

namespace {

QString BitrateList() {
    QStringList values;
    for (int16_t kbps : kBitrateKbps) {
        values << QString::number(kbps);
    }
    return values.join(u", ");
}

QString RateList() {
    QStringList values;
    for (size_t i = 1; i < kSampleRateHz.size(); ++i) {
        values << QString::number(kSampleRateHz[i]);
    }
    return values.join(u", ");
}

std::optional<int> ParseSpeed(const QString& value) {
    QString text = value.trimmed();
    if (text.endsWith(u'%')) {
        text.chop(1);
    }
    bool ok = false;
    const int speed = text.toInt(&ok);
    if (!ok || speed < kMinSpeedPercent || speed > kMaxSpeedPercent) {
        return std::nullopt;
    }
    return speed;
}

std::optional<int> ParseBitrate(const QString& value) {
    bool ok = false;
    const int kbps = value.trimmed().toInt(&ok);
    for (size_t i = 0; ok && i < kBitrateKbps.size(); ++i) {
        if (kBitrateKbps[i] == kbps) {
            return int(i);
        }
    }
    return std::nullopt;
}

std::optional<int> ParseRate(const QString& value) {
    if (value.compare(u"auto", Qt::CaseInsensitive) == 0) {
        return 0;
    }
    bool ok = false;
    const int hz = value.trimmed().toInt(&ok);
    for (size_t i = 1; ok && i < kSampleRateHz.size(); ++i) {
        if (kSampleRateHz[i] == hz) {
            return int(i);
        }
    }
    return std::nullopt;
}

std::optional<int> ParseChannels(const QString& value) {
    static const char16_t* const kNames[] = {u"auto", u"mono", u"stereo", u"joint", u"dual"};
    for (int i = 0; i < 5; ++i) {
        if (value.compare(QStringView(kNames[i]), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

// More pipelines than this only queue for the same cores and memory.
constexpr int kMaxJobs = 64;

std::optional<int> ParseJobs(const QString& value) {
    bool ok = false;
    const int jobs = value.trimmed().toInt(&ok);
    if (!ok || jobs < 1 || jobs > kMaxJobs) {
        return std::nullopt;
    }
    return jobs;
}

std::optional<int> ParseMode(const QString& value) {
    if (value.compare(u"tempo", Qt::CaseInsensitive) == 0) {
        return int(SpeedModeTempo);
    }
    if (value.compare(u"resample", Qt::CaseInsensitive) == 0) {
        return int(SpeedModeResample);
    }
    return std::nullopt;
}

// The options that take one value from a fixed set, and where it goes.
struct ValueOption {
    const char16_t* name;
    const char16_t* example;
    std::optional<int> (*parse)(const QString&);
    QString (*allowed)();
    std::optional<int> CliOptions::*target;
};

const ValueOption* FindValueOption(const QString& name) {
    static const ValueOption kOptions[] = {
        {u"--speed", u"150", ParseSpeed,
         [] { return QStringLiteral("a percentage from 20 to 500"); }, &CliOptions::speedPercent},
        {u"--mode", u"tempo", ParseMode, [] { return QStringLiteral("tempo or resample"); },
         &CliOptions::speedMode},
        {u"--bitrate", u"128", ParseBitrate,
         [] { return QStringLiteral("one of %1 (kbit/s)").arg(BitrateList()); },
         &CliOptions::bitrateIndex},
        {u"--rate", u"44100", ParseRate,
         [] { return QStringLiteral("auto or one of %1 (Hz)").arg(RateList()); },
         &CliOptions::frequencyIndex},
        {u"--channels", u"mono", ParseChannels,
         [] { return QStringLiteral("auto, mono, stereo, joint or dual"); },
         &CliOptions::channelMode},
        {u"--jobs", u"2", ParseJobs,
         [] { return QStringLiteral("a number of files from 1 to %1").arg(kMaxJobs); },
         &CliOptions::jobs},
    };
    for (const ValueOption& option : kOptions) {
        if (name == QStringView(option.name)) {
            return &option;
        }
    }
    return nullptr;
}

// The options without a value, each setting its flag.
struct FlagOption {
    const char16_t* shortName; // nullptr: none
    const char16_t* name;
    bool CliOptions::*target;
};

bool* FindFlag(const QString& name, CliOptions& options) {
    static const FlagOption kFlags[] = {
        {u"-h", u"--help", &CliOptions::showHelp},
        {u"-r", u"--recursive", &CliOptions::recursive},
        {nullptr, u"--list", &CliOptions::listOnly},
        {nullptr, u"--profile", &CliOptions::profile},
        {nullptr, u"--same-as-source", &CliOptions::sameAsSource},
        {nullptr, u"--stop-on-error", &CliOptions::stopOnError},
    };
    for (const FlagOption& flag : kFlags) {
        if (name == QStringView(flag.name) ||
            (flag.shortName && name == QStringView(flag.shortName))) {
            return &(options.*(flag.target));
        }
    }
    return nullptr;
}

// One pass over the arguments. Each step that finds a mistake sets *error
// to a message that says what to do and returns false.
class CommandLineParser {
public:
    CommandLineParser(const QList<QByteArray>& rawArguments, QString* errorText)
        : rawArgs(rawArguments), error(errorText) {
        for (const QByteArray& raw : rawArgs) {
            args << QFile::decodeName(raw);
        }
    }

    std::optional<CliOptions> Parse();

private:
    void AddInput();
    bool ReadOption();
    std::optional<QString> TakeValue(const QString& example);
    bool ReadValueOption(const ValueOption& option);
    bool ReadOutputFolder();
    bool CheckOptions() const;

    const QList<QByteArray>& rawArgs;
    QStringList args;
    QString* error;
    CliOptions options;
    qsizetype i = 0;                    // the argument being read
    QString name;                       // of the option being read
    std::optional<QString> inlineValue; // of the option being read, when "--name=VALUE"
};

std::optional<CliOptions> CommandLineParser::Parse() {
    bool onlyFiles = false;
    for (i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (onlyFiles || !arg.startsWith(u'-') || arg == u"-") {
            AddInput();
        } else if (arg == u"--") {
            onlyFiles = true;
        } else if (!ReadOption()) {
            return std::nullopt;
        }
    }
    if (!CheckOptions()) {
        return std::nullopt;
    }
    return options;
}

void CommandLineParser::AddInput() {
    if (IsRepresentableName(rawArgs.at(i))) {
        options.inputs << args.at(i);
    } else {
        options.unrepresentableInputs << rawArgs.at(i);
    }
}

bool CommandLineParser::ReadOption() {
    const QString& arg = args.at(i);
    // Options with a value take it as "--name VALUE" or "--name=VALUE".
    name = arg;
    inlineValue.reset();
    const qsizetype eq = arg.indexOf(u'=');
    if (arg.startsWith(u"--") && eq > 2) {
        name = arg.left(eq);
        inlineValue = arg.mid(eq + 1);
    }
    if (bool* flag = FindFlag(name, options)) {
        *flag = true;
        return true;
    }
    if (const ValueOption* option = FindValueOption(name)) {
        return ReadValueOption(*option);
    }
    if (name == u"--out") {
        return ReadOutputFolder();
    }
    *error = QStringLiteral("unknown option %1; see zorvane-convert --help").arg(arg);
    return false;
}

std::optional<QString> CommandLineParser::TakeValue(const QString& example) {
    if (inlineValue) {
        return inlineValue;
    }
    if (i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value, e.g. %1 %2").arg(name, example);
        return std::nullopt;
    }
    return args.at(++i);
}

bool CommandLineParser::ReadValueOption(const ValueOption& option) {
    const auto value = TakeValue(QString::fromUtf16(option.example));
    if (!value) {
        return false;
    }
    const std::optional<int> parsed = option.parse(*value);
    if (!parsed) {
        *error = QStringLiteral("%1 %2 is not valid; use %3").arg(name, *value, option.allowed());
        return false;
    }
    options.*(option.target) = parsed;
    return true;
}

bool CommandLineParser::ReadOutputFolder() {
    const auto value = TakeValue(QStringLiteral("~/Music/fast"));
    if (!value) {
        return false;
    }
    if (value->isEmpty()) {
        *error = QStringLiteral("--out needs a folder, e.g. --out ~/Music/fast");
        return false;
    }
    const QByteArray rawValue =
        inlineValue ? rawArgs.at(i).mid(rawArgs.at(i).indexOf('=') + 1) : rawArgs.at(i);
    if (!IsRepresentableName(rawValue)) {
        *error = QStringLiteral("--out %1: the name is not valid UTF-8; choose another "
                                "folder")
                     .arg(EscapedNameBytes(rawValue));
        return false;
    }
    options.outputFolder = *value;
    return true;
}

bool CommandLineParser::CheckOptions() const {
    if (options.outputFolder && options.sameAsSource) {
        *error = QStringLiteral("--out and --same-as-source exclude each other; choose one");
        return false;
    }
    if (!options.showHelp && options.inputs.isEmpty() && options.unrepresentableInputs.isEmpty()) {
        *error = QStringLiteral("no input files; give MP3 files or folders, see --help");
        return false;
    }
    return true;
}

} // namespace

int DefaultJobs() {
    return std::max(1, QThread::idealThreadCount() / 2);
}

QString UsageText() {
    return QStringLiteral(
               "Usage: zorvane-convert [OPTIONS] FILE|FOLDER...\n"
               "       zorvane-convert --list [-r] FILE|FOLDER...\n"
               "\n"
               "Changes the playback speed of MP3 files and writes new constant-bitrate\n"
               "MP3 files with the tags of their sources. Folders add the MP3 files in\n"
               "them (-r: and in their subfolders). Settings not given as options come\n"
               "from Config.ini (the desktop program's Options).\n"
               "\n"
               "Options:\n"
               "  --speed PERCENT     20..500; 100 keeps the speed, 150 plays 1.5x faster\n"
               "  --mode tempo|resample\n"
               "                      tempo keeps the pitch; resample changes tempo and\n"
               "                      pitch together\n"
               "  --bitrate KBPS      constant bitrate of the output: %1\n"
               "  --rate HZ|auto      sampling frequency of the output: %2, or auto\n"
               "                      (the source's rate, raised to the next standard one)\n"
               "  --channels auto|mono|stereo|joint|dual\n"
               "                      channel mode of the output; auto keeps mono mono\n"
               "  --out DIR           write the new files into DIR (created when missing)\n"
               "  --same-as-source    write each new file beside its source\n"
               "  -r, --recursive     also take the MP3 files in subfolders of a FOLDER\n"
               "  --list              convert nothing; print what the file list would show:\n"
               "                      a header line, then one tab-separated line per file\n"
               "  --profile           after the run, print how long each stage worked\n"
               "                      and waited\n"
               "  --stop-on-error     stop at the first file that fails, as the desktop\n"
               "                      program does; by default the others still convert\n"
               "  --jobs N            convert N files at once (default here: %3, half the\n"
               "                      cores); with N above 1, each file's log lines are\n"
               "                      printed together when it ends, in the order the\n"
               "                      files finish; --jobs 1 converts one after another\n"
               "  -h, --help          show this text\n"
               "\n"
               "An existing file is never overwritten: the new one is numbered, e.g.\n"
               "\"song (2).mp3\". Sources are only read. Files that are not valid MP3\n"
               "files are listed and skipped, as are FIFOs, devices and sockets, and\n"
               "names that are not valid UTF-8 (rename those to convert them). At the\n"
               "end, standard error lists every file that was not converted, and why.\n"
               "\n"
               "Ctrl+C (or SIGTERM, SIGHUP) stops after cleaning up the current files;\n"
               "a second Ctrl+C ends the tool at once, which can leave the current\n"
               "outputs behind as hidden temporary files (.NAME.XXXXXX.part) in the\n"
               "output folder.\n"
               "\n"
               "Exit status: 0 when every file was converted without an error line, 1\n"
               "when a file was skipped or failed, an error line was logged or standard\n"
               "output could not be written, 2 when the arguments were wrong, 130 after\n"
               "a second Ctrl+C.\n")
        .arg(BitrateList(), RateList(), QString::number(DefaultJobs()));
}

ConversionSettings CliOptions::Apply(ConversionSettings base) const {
    if (speedPercent) {
        base.speedPercent = int16_t(*speedPercent);
    }
    if (speedMode) {
        base.speedMode = int16_t(*speedMode);
    }
    if (bitrateIndex) {
        base.bitrateIndex = int16_t(*bitrateIndex);
    }
    if (frequencyIndex) {
        base.frequencyIndex = int16_t(*frequencyIndex);
    }
    if (channelMode) {
        base.channelMode = int16_t(*channelMode);
    }
    if (outputFolder) {
        base.sameAsSource = 0;
        base.outputFolder = QDir(*outputFolder).absolutePath() + u'/';
    }
    if (sameAsSource) {
        base.sameAsSource = 1;
    }
    return base;
}

std::optional<CliOptions> ParseCommandLine(const QList<QByteArray>& rawArgs, QString* error) {
    return CommandLineParser(rawArgs, error).Parse();
}

} // namespace zorvane
