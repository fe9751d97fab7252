#include "convert/ringtone_kind.h"

#include "source/openers.h"

namespace convert {

const char* ExtensionOf(RingtoneKind kind) {
  switch (kind) {
    case RingtoneKind::Android: return ".ogg";
    case RingtoneKind::Mp3: return ".mp3";
    case RingtoneKind::IPhone: break;
  }
  return ".m4r";
}

std::optional<RingtoneKind> KindOfExtension(std::string_view lowerExtension) {
  for (const RingtoneKind kind : {RingtoneKind::IPhone, RingtoneKind::Android, RingtoneKind::Mp3})
    if (lowerExtension == ExtensionOf(kind)) return kind;
  return std::nullopt;
}

RingtoneKind KindOfName(std::string_view path) {
  return KindOfExtension(source::LowerExtension(path)).value_or(RingtoneKind::IPhone);
}

std::string RingtoneFileName(const std::string& name, RingtoneKind kind) {
  const char* ext = ExtensionOf(kind);
  return source::LowerExtension(name) == ext ? name : name + ext;
}

const char* ChoiceText(RingtoneKind kind) {
  switch (kind) {
    case RingtoneKind::Android: return "Android (.ogg)";
    case RingtoneKind::Mp3: return "MP3 (.mp3)";
    case RingtoneKind::IPhone: break;
  }
  return "iPhone (.m4r)";
}

}  // namespace convert
