// The output file name: the ringtone extension rule and the save dialog's texts.
#pragma once

#include <QString>

namespace app {

inline const QString kSaveDialogTitle = QStringLiteral("Set ringtong filename");
inline const QString kSaveDialogFilter = QStringLiteral("iPhone Ringtong file(*.m4r)");
inline const QString kDefaultOutputName = QStringLiteral("Ombrix.m4r");

// The ringtone file for a name chosen in the save dialog: the name itself when its extension is
// ".m4r" in any case, else the name with ".m4r" appended.
QString RingtoneFileName(const QString& chosen);

}  // namespace app
