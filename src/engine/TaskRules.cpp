#include "TaskRules.h"

#include "ConversionState.h"
#include "ConversionTask.h"
#include "MediaFileInfo.h"
#include "platform/FolderCreation.h"

#include <QFileInfo>

namespace zorvane {

uint32_t AutomaticRate(uint32_t sourceRate) {
    for (size_t i = 1; i < kSampleRateHz.size(); ++i) {
        if (uint32_t(kSampleRateHz[i]) >= sourceRate) {
            return uint32_t(kSampleRateHz[i]);
        }
    }
    return uint32_t(kSampleRateHz.back());
}

uint32_t TargetChannels(uint32_t sourceChannels, int channelMode) {
    switch (channelMode) {
    case ChannelAutomatic:
        return sourceChannels < 2 ? sourceChannels : 2;
    case ChannelMono:
        return 1;
    default:
        return 2;
    }
}

uint32_t TargetRate(uint32_t sourceRate, int frequencyIndex) {
    if (frequencyIndex > 0 && frequencyIndex < int(kSampleRateHz.size())) {
        return uint32_t(kSampleRateHz[size_t(frequencyIndex)]);
    }
    return AutomaticRate(sourceRate);
}

double SampleRatio(uint32_t targetRate, uint32_t targetChannels, uint32_t sourceRate,
                   uint32_t sourceChannels) {
    const double source = double(sourceRate) * double(sourceChannels);
    if (source <= 0.0) {
        return 0.0;
    }
    return double(targetRate) * double(targetChannels) / source;
}

uint64_t ExpectedSamples(double sampleRatio, uint64_t sourceTotalSamples, int speedPercent,
                         uint32_t targetChannels) {
    const int speed = UsableSpeedPercent(speedPercent);
    uint64_t n = uint64_t(sampleRatio * double(sourceTotalSamples) * (100.0 / double(speed)));
    if (targetChannels > 1) {
        n -= n % targetChannels;
    }
    return n;
}

QString OutputName(const QString& sourceName) {
    const qsizetype dot = sourceName.lastIndexOf(u'.');
    const QString stem = dot >= 0 ? sourceName.left(dot + 1) : sourceName + u'.';
    return stem + QStringLiteral("mp3");
}

QString DestinationPath(const QString& sourceFolder, const QString& sourceName,
                        const ConversionSettings& settings) {
    const QString& folder = settings.sameAsSource == 1 ? sourceFolder : settings.outputFolder;
    QString path = folder;
    if (!path.isEmpty() && !path.endsWith(u'/')) {
        path += u'/';
    }
    return path + OutputName(sourceName);
}

CConversionTask BuildTask(const MediaFileInfo& info, const QString& sourceFolder,
                          const QString& sourceName, const ConversionSettings& settings) {
    CConversionTask task;
    task.sourcePath = sourceFolder + sourceName;
    task.destinationPath = DestinationPath(sourceFolder, sourceName, settings);
    task.sourceFormat = info.formatCode;
    task.sourceRate = info.sampleRate;
    task.sourceChannels = info.channels;
    task.sourceTagTypes = info.tagFlags;
    task.outputFormat = kFormatMp3;
    task.targetChannels = TargetChannels(task.sourceChannels, settings.channelMode);
    task.targetRate = TargetRate(task.sourceRate, settings.frequencyIndex);
    task.sampleRatio =
        SampleRatio(task.targetRate, task.targetChannels, task.sourceRate, task.sourceChannels);
    task.expectedSamples = ExpectedSamples(task.sampleRatio, info.totalSamples,
                                           settings.speedPercent, task.targetChannels);
    task.needsProcessing = 1;
    static_cast<TagTexts&>(task) = info;
    return task;
}

void CreateOutputFolder(const ConversionSettings& settings) {
    if (settings.sameAsSource == 0 && !QFileInfo(settings.outputFolder).isDir()) {
        CreateFolderPath(settings.outputFolder);
    }
}

void AppendTask(ConversionState& state, const CConversionTask& task) {
    state.totalSamplesExpected += task.expectedSamples;
    state.totalAudioSeconds += task.AudioSeconds(task.expectedSamples);
    state.tasks.push_back(task);
}

} // namespace zorvane
