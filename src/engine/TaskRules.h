#pragma once

#include "settings/ConversionSettings.h"

#include <QString>

#include <cstdint>

namespace zorvane {

class CConversionTask;
class ConversionState;
struct MediaFileInfo;

// The output rate when the frequency setting is "automatic": the source rate
// when it is a standard rate, else the next standard rate above it, and
// 48,000 Hz above the table.
uint32_t AutomaticRate(uint32_t sourceRate);

// Output channels for a source channel count and the channelMode setting.
uint32_t TargetChannels(uint32_t sourceChannels, int channelMode);

// Output rate for a source rate and the frequencyIndex setting.
uint32_t TargetRate(uint32_t sourceRate, int frequencyIndex);

// (targetRate × targetChannels) / (sourceRate × sourceChannels).
double SampleRatio(uint32_t targetRate, uint32_t targetChannels, uint32_t sourceRate,
                   uint32_t sourceChannels);

// Expected output length in samples over all channels, from the source's
// length in samples over all channels: truncated, then brought down to a
// multiple of the target channel count. 64-bit throughout: a long audiobook
// has more than 2^32 samples.
uint64_t ExpectedSamples(double sampleRatio, uint64_t sourceTotalSamples, int speedPercent,
                         uint32_t targetChannels);

// The output file name: the name up to and including its last "." and "mp3"
// ("song.MP3" and "song.mp3" both give "song.mp3").
QString OutputName(const QString& sourceName);

// Where the output of a source in `sourceFolder` (ending with "/") goes.
QString DestinationPath(const QString& sourceFolder, const QString& sourceName,
                        const ConversionSettings& settings);

// The task for one usable file of the list: source and destination, formats,
// target rate and channels, expected length and the tag texts.
// `sourceFolder` ends with "/"; `sourceName` is the file name.
CConversionTask BuildTask(const MediaFileInfo& info, const QString& sourceFolder,
                          const QString& sourceName, const ConversionSettings& settings);

// Creates the output folder when the settings write into one. A failure is
// not reported here: the run reports it for each file, naming the folder.
void CreateOutputFolder(const ConversionSettings& settings);

// Adds a task's expected length to the run's totals and appends a copy.
void AppendTask(ConversionState& state, const CConversionTask& task);

} // namespace zorvane
