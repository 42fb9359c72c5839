#pragma once

#include "InfoRowSink.h"

#include <QFileInfo>
#include <QString>

namespace zorvane {

// Format code of an upper-case extension ("MP3" gives 2); 0 for any other.
uint8_t FormatCodeForExtension(const QString& upperExtension);

// The cells a loader writes before the info reader runs: Name, Path (ending
// with "/"), Type (the upper-case extension), Size(MB) and Last Modified, with
// formatCode and sizeMB of the record.
void FillFileCells(const QFileInfo& file, InfoRowSink& row);

class InfoReader;

// A whole row for one file, as the file list shows it: the loader's cells,
// then properties and tags from the reader, then the bitrate.
void ReadFileRow(InfoReader& reader, const QFileInfo& file, InfoRowSink& row);

} // namespace zorvane
