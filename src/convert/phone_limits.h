// The lengths an iPhone takes as a ringtone, and what the window says about a selection that
// passes them.
//
// Setting a tone on the phone itself (iOS 26's "Use as Ringtone" on an audio file in the Files
// app, the route a Linux user has) takes 30 seconds at most; a ringtone longer than 40 seconds is
// refused when it is synced from a computer (Finder or iTunes).
#pragma once

#include <cstdint>
#include <string>

namespace convert {

inline constexpr int64_t kPhoneSetLimitSeconds = 30;
inline constexpr int64_t kSyncLimitSeconds = 40;

enum class PhoneFit {
  Fits,        // up to 30 s: every route takes it
  OverPhone,   // 31 to 40 s: only a sync from a computer takes it
  OverSync,    // over 40 s: no route takes it as a ringtone
};

PhoneFit FitOnPhone(double seconds);

// Lengths are the ringtone's exact ones, shown as the length box shows them (wave::SecondsText).
// The length box's hint for a ringtone of `seconds`; empty when it fits every route.
std::string LengthHint(double seconds);

// The question asked before converting a ringtone of `seconds` that no route takes.
std::string LengthQuestion(double seconds);

}  // namespace convert
