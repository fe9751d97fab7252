// The output file name: the ringtone extension rule and the save dialog's texts.
#pragma once

#include <QString>

#include "convert/ringtone_kind.h"

namespace app {

inline const QString kSaveDialogTitle = QStringLiteral("Set ringtong filename");
inline const QString kSaveDialogFilter = QStringLiteral("iPhone Ringtong file(*.m4r)");
inline const QString kDefaultOutputName = QStringLiteral("Ombrix.m4r");

// The save dialog's filter for a kind of ringtone: kSaveDialogFilter for the iPhone's.
QString SaveDialogFilter(convert::RingtoneKind kind);

// The ringtone file for a name chosen in the save dialog: the name itself when its extension is
// the kind's (".m4r" for the iPhone) in any case, else the name with it appended.
QString RingtoneFileName(const QString& chosen, convert::RingtoneKind kind = convert::RingtoneKind::IPhone);

// The output box's name when another kind is chosen: a ringtone extension replaced by the kind's,
// or the kind's appended to a name without one.
QString WithKindExtension(const QString& name, convert::RingtoneKind kind);

// The phone choice remembered across runs (the iPhone's when none was), in the user's settings.
convert::RingtoneKind LoadPhoneChoice();
void SavePhoneChoice(convert::RingtoneKind kind);
// Whether marks snap to the beat, remembered the same way (off when never ticked).
bool LoadSnapChoice();
void SaveSnapChoice(bool snap);

}  // namespace app
