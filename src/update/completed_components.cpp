#include "update/completed_components.h"

#include "host/settings_store.h"
#include "update/download_engine.h"

#include <algorithm>

namespace tarnlow {

std::optional<qint32> highestCompleteComponent(const QList<VersionRow>& rows, qsizetype writtenCount) {
    writtenCount = std::clamp<qsizetype>(writtenCount, 0, rows.size());
    // The lowest component with a row still missing; everything below it is complete.
    std::optional<qint32> lowestIncomplete;
    for (qsizetype i = writtenCount; i < rows.size(); ++i) {
        const qint32 component = rows.at(i).componentNumber;
        if (!lowestIncomplete || component < *lowestIncomplete)
            lowestIncomplete = component;
    }
    std::optional<qint32> highest;
    for (qsizetype i = 0; i < writtenCount; ++i) {
        const qint32 component = rows.at(i).componentNumber;
        if (lowestIncomplete && component >= *lowestIncomplete)
            continue;
        if (!highest || component > *highest)
            highest = component;
    }
    return highest;
}

std::optional<qint32> recordCompletedComponents(SettingsStore& settings, const QList<VersionRow>& rows,
                                                qsizetype writtenCount, qint32 installed) {
    const std::optional<qint32> complete = highestCompleteComponent(rows, writtenCount);
    if (!complete || *complete <= installed)
        return installed;
    if (!settings.write(kSettingsKey, kInstalledComponentName, QString::number(*complete)))
        return std::nullopt;
    return *complete;
}

} // namespace tarnlow
