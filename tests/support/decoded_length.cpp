// zorvane-decoded-length: decodes MP3 files to the end and prints, per file,
// the seconds of audio really in it (not what its Info frame claims), for
// scripts that check outputs.
// Usage: zorvane-decoded-length FILE...   Exit status 1 when a file does not decode.

#include "Mp3Fixtures.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int status = 0;
    for (const QString& path : app.arguments().mid(1)) {
        zorvane::testing::DecodedAudio audio;
        QString error;
        if (!zorvane::testing::DecodeMp3(path, &audio, &error)) {
            std::printf("%s\tundecodable: %s\n", qPrintable(path), qPrintable(error));
            status = 1;
            continue;
        }
        std::printf("%s\t%.3f\n", qPrintable(path), audio.seconds());
    }
    return status;
}
