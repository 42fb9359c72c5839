#include "FileRow.h"

#include "InfoReader.h"

#include <QDateTime>

namespace zorvane {

uint8_t FormatCodeForExtension(const QString& upperExtension) {
    return upperExtension == u"MP3" ? 2 : 0;
}

void FillFileCells(const QFileInfo& file, InfoRowSink& row) {
    MediaFileInfo& info = row.Info();
    const QString name = file.fileName();
    row.SetCellText(ColumnName, name);
    QString folder = file.absolutePath();
    if (!folder.endsWith(u'/')) {
        folder += u'/';
    }
    row.SetCellText(ColumnPath, folder);
    info.sizeMB = double(uint64_t(file.size())) * (1.0 / 1048576.0);
    row.SetCellText(ColumnSize, QString::asprintf("%.2f", info.sizeMB));
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = (dot >= 0 ? name.mid(dot + 1) : name).toUpper();
    info.formatCode = FormatCodeForExtension(extension);
    row.SetCellText(ColumnType, extension);
    row.SetCellText(ColumnLastModified, file.lastModified().toLocalTime().toString(
                                            QStringLiteral("yyyy/MM/dd HH:mm:ss")));
}

void ReadFileRow(InfoReader& reader, const QFileInfo& file, InfoRowSink& row) {
    FillFileCells(file, row);
    reader.ReadMediaInfo(file.absoluteFilePath(), row);
    InfoReader::ReadBitrate(file.absoluteFilePath(), row);
}

} // namespace zorvane
