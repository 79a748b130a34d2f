#pragma once

#include "update/d_ver.h"

#include <QList>

#include <optional>

namespace tarnlow {

class SettingsStore;

// The highest component number c such that every listed row of a component up to c is among the
// rows written (rows[0 .. writtenCount)): the value Comp_ID may take after a download that stopped
// early, so that the next run fetches every component that is not complete and none that is. No
// value when no component is complete.
std::optional<qint32> highestCompleteComponent(const QList<VersionRow>& rows, qsizetype writtenCount);

// After a download that was cancelled: records the highest complete component in Comp_ID when it
// is above `installed`. The component now recorded (or `installed` when nothing changed), or no
// value when the settings could not be written.
std::optional<qint32> recordCompletedComponents(SettingsStore& settings, const QList<VersionRow>& rows,
                                                qsizetype writtenCount, qint32 installed);

} // namespace tarnlow
