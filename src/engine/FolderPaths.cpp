#include "FolderPaths.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace zorvane {

namespace {

constexpr int kDefaultNameMax = 255;

// Drops whole characters from the end of `stem` until `stem + tail` encodes
// to at most maxBytes bytes. Never splits a surrogate pair; keeps at least
// one character so that the name keeps something of the source's.
QString FitStem(QString stem, const QString& tail, int maxBytes) {
    while (stem.size() > 1 && QFile::encodeName(stem + tail).size() > maxBytes) {
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    }
    return stem;
}

} // namespace

int LongestNameInFolder(const QString& folder) {
    const QByteArray name = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const long max = ::pathconf(name.constData(), _PC_NAME_MAX);
    return max > 0 && max < 4096 ? int(max) : kDefaultNameMax;
}

QString NumberedDestinationPath(const QString& path, int n) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folderPart = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot >= 0 ? name.left(dot) : name;
    const QString extension = dot >= 0 ? name.mid(dot) : QString();
    const QString tail = (n < 2 ? QString() : QStringLiteral(" (%1)").arg(n)) + extension;
    const int maxBytes = LongestNameInFolder(slash > 0 ? path.left(slash) : folderPart);
    return folderPart + FitStem(stem, tail, maxBytes) + tail;
}

QString UniqueDestinationPath(const QString& path) {
    for (int n = 2;; ++n) {
        const QString candidate = NumberedDestinationPath(path, n);
        if (!NameIsTaken(candidate)) {
            return candidate;
        }
    }
}

bool NameIsTaken(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace zorvane
