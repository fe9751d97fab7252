#include "app/OutputName.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "source/openers.h"

namespace app {

QString SaveDialogFilter(convert::RingtoneKind kind) {
  switch (kind) {
    case convert::RingtoneKind::Android: return QStringLiteral("Android Ringtong file(*.ogg)");
    case convert::RingtoneKind::Mp3: return QStringLiteral("MP3 Ringtong file(*.mp3)");
    case convert::RingtoneKind::IPhone: break;
  }
  return kSaveDialogFilter;
}

QString RingtoneFileName(const QString& chosen, convert::RingtoneKind kind) {
  return QString::fromStdString(convert::RingtoneFileName(chosen.toStdString(), kind));
}

QString WithKindExtension(const QString& name, convert::RingtoneKind kind) {
  const std::string lower = source::LowerExtension(name.toStdString());
  const QString stem = convert::KindOfExtension(lower) ? name.left(name.size() - static_cast<qsizetype>(lower.size())) : name;
  return stem + QString::fromLatin1(convert::ExtensionOf(kind));
}

namespace {
// The settings file, found anew each time (a test points XDG_CONFIG_HOME elsewhere).
QString SettingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Ombrix/Tonewright.conf");
}
constexpr const char* kPhoneKey = "ringtone/phone";
constexpr const char* kSnapKey = "view/snap";
}  // namespace

convert::RingtoneKind LoadPhoneChoice() {
  const QSettings settings(SettingsFile(), QSettings::IniFormat);
  const auto kind = convert::KindOfExtension(settings.value(QLatin1String(kPhoneKey)).toString().toStdString());
  return kind.value_or(convert::RingtoneKind::IPhone);
}

void SavePhoneChoice(convert::RingtoneKind kind) {
  QSettings settings(SettingsFile(), QSettings::IniFormat);
  settings.setValue(QLatin1String(kPhoneKey), QString::fromLatin1(convert::ExtensionOf(kind)));
}

bool LoadSnapChoice() {
  return QSettings(SettingsFile(), QSettings::IniFormat).value(QLatin1String(kSnapKey), false).toBool();
}

void SaveSnapChoice(bool snap) {
  QSettings settings(SettingsFile(), QSettings::IniFormat);
  settings.setValue(QLatin1String(kSnapKey), snap);
}

}  // namespace app

