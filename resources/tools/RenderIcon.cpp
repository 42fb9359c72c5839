// Renders an SVG icon into PNG files at fixed sizes, for icon themes that
// want bitmaps (hicolor), and draws contact sheets for looking at icons.
//   zorvane-render-icon SVG ROOT NAME SIZE...   writes ROOT/<S>x<S>/apps/NAME.png
//   zorvane-render-icon --sheet PNG SVG...      each SVG at 16, 24, 32 and 48
//                                               pixels, and 16 magnified three
//                                               times, on white and dark grey

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <cstdio>
#include <iterator>

namespace {

// Qt draws what it understands of an SVG and only warns about the rest; an
// icon drawn with parts missing must not pass quietly into the build.
bool sawWarning = false;

void Complain(const QString& text) {
    std::fprintf(stderr, "zorvane-render-icon: %s\n", qPrintable(text));
}

// A null image when the SVG cannot be drawn (missing file, no SVG icon engine).
QImage Render(const QIcon& icon, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
    if (pixmap.isNull()) {
        return {};
    }
    QPainter painter(&image);
    // An icon that is not square comes back smaller on one side; keep it centred.
    painter.drawPixmap((size - pixmap.width()) / 2, (size - pixmap.height()) / 2, pixmap);
    painter.end();
    for (int y = 0; y < size; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            if (qAlpha(line[x]) != 0) {
                return image;
            }
        }
    }
    return {};
}

QIcon LoadIcon(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        Complain(QStringLiteral("no such file: ") + path);
        return {};
    }
    return QIcon(path);
}

int RenderSizes(const QString& svg, const QString& root, const QString& name,
                const QStringList& sizes) {
    const QIcon icon = LoadIcon(svg);
    if (icon.isNull()) {
        return 1;
    }
    for (const QString& text : sizes) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            Complain(QStringLiteral("not a size: ") + text);
            return 2;
        }
        const QImage image = Render(icon, size);
        if (image.isNull()) {
            Complain(QStringLiteral("cannot draw ") + svg +
                     QStringLiteral(" (is the Qt SVG icon engine installed?)"));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            Complain(QStringLiteral("cannot write ") + file);
            return 1;
        }
    }
    if (sawWarning) {
        Complain(QStringLiteral("Qt warned while drawing ") + svg);
        return 1;
    }
    return 0;
}

int RenderSheet(const QString& output, const QStringList& svgs) {
    // 0 stands for the 16-pixel image blown up, to judge its pixels.
    const int sizes[] = {16, 24, 32, 48, 0};
    const QColor backgrounds[] = {QColor(Qt::white), QColor(0x2b, 0x2b, 0x2b)};
    const int margin = 8;
    const int cell = 48 + 2 * margin;
    const int columns = int(std::size(sizes) * std::size(backgrounds));
    QImage sheet(columns * cell, int(svgs.size()) * cell, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&sheet);
    for (qsizetype row = 0; row < svgs.size(); ++row) {
        const QIcon icon = LoadIcon(svgs[row]);
        int column = 0;
        for (const QColor& background : backgrounds) {
            for (const int size : sizes) {
                const QRect box(column * cell, int(row) * cell, cell, cell);
                painter.fillRect(box, background);
                QImage image = icon.isNull() ? QImage() : Render(icon, size == 0 ? 16 : size);
                if (image.isNull()) {
                    painter.fillRect(box.adjusted(margin, margin, -margin, -margin), Qt::red);
                    ++column;
                    continue;
                }
                if (size == 0) {
                    image = image.scaled(48, 48, Qt::IgnoreAspectRatio, Qt::FastTransformation);
                }
                painter.drawImage(
                    box.topLeft() + QPoint((cell - image.width()) / 2, (cell - image.height()) / 2),
                    image);
                ++column;
            }
        }
    }
    painter.end();
    return sheet.save(output, "PNG") ? 0 : 1;
}

// The offscreen platform asks for a runtime folder that a build need not have;
// its complaint about that would only clutter the build's output.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(u"QStandardPaths: XDG_RUNTIME_DIR")) {
        return;
    }
    sawWarning = sawWarning || (type != QtDebugMsg && type != QtInfoMsg);
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

} // namespace

int main(int argc, char** argv) {
    // Runs during the build, where there may be no display to talk to.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 3 && args[0] == u"--sheet") {
        return RenderSheet(args[1], args.mid(2));
    }
    if (args.size() >= 4) {
        return RenderSizes(args[0], args[1], args[2], args.mid(3));
    }
    Complain(
        QStringLiteral("usage: zorvane-render-icon SVG ROOT NAME SIZE... | --sheet PNG SVG..."));
    return 2;
}
