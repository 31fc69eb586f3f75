#pragma once

#include <QMimeData>
#include <QStringList>

namespace velomire::app {

// The local files among dropped URLs that are program files (".vmp").
QStringList DroppedProgramFiles(const QMimeData* data);
// The local files among dropped URLs that are instrument files Import instrument takes (".sfz",
// ".sf2", ".dls", ".gig", ".kmp", ".dspreset").
QStringList DroppedInstrumentFiles(const QMimeData* data);
// The local files among dropped URLs that are sound files a program takes (see IsSoundFileName).
QStringList DroppedSoundFiles(const QMimeData* data);

} // namespace velomire::app
