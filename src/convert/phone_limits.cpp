#include "convert/phone_limits.h"

#include "wave/seconds_text.h"

namespace convert {

namespace {

std::string Limits() {
  return "An iPhone takes " + std::to_string(kPhoneSetLimitSeconds) +
         " seconds at most when the tone is set on the phone (\"Use as Ringtone\" in the Files app) and " +
         std::to_string(kSyncLimitSeconds) + " seconds at most when it is synced from a computer.";
}

}  // namespace

PhoneFit FitOnPhone(double seconds) {
  // Judged as the length box shows it.
  if (seconds > static_cast<double>(kSyncLimitSeconds) + wave::kWholeTolerance) return PhoneFit::OverSync;
  if (seconds > static_cast<double>(kPhoneSetLimitSeconds) + wave::kWholeTolerance) return PhoneFit::OverPhone;
  return PhoneFit::Fits;
}

std::string LengthHint(double seconds) {
  switch (FitOnPhone(seconds)) {
    case PhoneFit::Fits: return {};
    case PhoneFit::OverPhone:
      return wave::SecondsText(seconds) + " seconds: too long to set on the phone, short enough to sync. " + Limits();
    case PhoneFit::OverSync:
      return wave::SecondsText(seconds) + " seconds: too long for an iPhone ringtone. " + Limits();
  }
  return {};
}

std::string LengthQuestion(double seconds) {
  return "The ringtone will be " + wave::SecondsText(seconds) + " seconds long, more than the " +
         std::to_string(kSyncLimitSeconds) + " seconds an iPhone takes as a ringtone. " + Limits() +
         "\n\nMake the ringtone anyway?";
}

}  // namespace convert
