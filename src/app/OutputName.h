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

// The ringtone file for the command line's --output: an existing folder (with or without a
// trailing slash) takes the input's name with ".m4r", as cp would put a copy there; any other
// name follows RingtoneFileName. Empty when the name ends in a slash but names no folder, so that
// a name whose last part is empty never becomes a hidden ".m4r".
QString CommandLineRingtoneFile(const QString& output, const QString& input);

}  // namespace app
