// zorvane-make-tone: writes a sine-tone MP3 for demos and benchmarks.
// Usage: zorvane-make-tone OUT.mp3 [seconds] [rate] [channels] [frequency] [dBFS]

#include "Mp3Fixtures.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // An option (--help) is no file name: writing a tone to "--help" helps nobody.
    if (args.size() < 2 || args[1].startsWith(u'-')) {
        std::fprintf(stderr,
                     "usage: zorvane-make-tone OUT.mp3 [seconds] [rate] [channels] [Hz] [dBFS]\n");
        return 2;
    }
    zorvane::testing::ToneParams tone;
    if (args.size() > 2)
        tone.seconds = args[2].toDouble();
    if (args.size() > 3)
        tone.sampleRate = args[3].toInt();
    if (args.size() > 4)
        tone.channels = args[4].toInt();
    if (args.size() > 5)
        tone.frequencyHz = args[5].toDouble();
    if (args.size() > 6)
        tone.levelDbfs = args[6].toDouble();
    QString error;
    if (!zorvane::testing::WriteToneMp3(args[1], tone, &error)) {
        std::fprintf(stderr, "zorvane-make-tone: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
