#include "source/input_choice.h"

#include <algorithm>
#include <array>

#include "source/openers.h"

namespace source {

namespace {
constexpr std::array<std::string_view, 24> kDrop = {
    ".aac", ".mp4", ".m4a", ".flac", ".fla", ".mpc", ".mp+", ".mpp", ".wav", ".ape", ".mp3", ".mp2",
    ".mp1", ".ogg", ".wma", ".ac3", ".m4b", ".aiff", ".xm", ".it", ".s3m", ".mod", ".mtm", ".umx"};

// The other names of the audio types the desktop entry lists, which neither list has; the
// general opener takes them by their content.
constexpr std::array<std::string_view, 12> kDesktopOnly = {".oga",  ".opus", ".mpga", ".adts", ".f4a", ".f4b",
                                                          ".aifc", ".m15",  ".uni",  ".med",  ".669", ".ult"};
}  // namespace

std::string OpenDialogFilter() {
  std::string patterns = kOpenFilterPatterns;
  std::replace(patterns.begin(), patterns.end(), ';', ' ');
  return std::string(kOpenFilterName) + " (" + patterns + ")";
}

std::span<const std::string_view> DropExtensions() { return kDrop; }

bool IsDropAccepted(std::string_view path) {
  const std::string ext = LowerExtension(path);
  return std::find(kDrop.begin(), kDrop.end(), ext) != kDrop.end();
}

bool IsCommandLineAccepted(std::string_view path) {
  if (IsDropAccepted(path)) return true;
  const std::string ext = LowerExtension(path);
  if (ext.empty()) return false;
  if (std::find(kDesktopOnly.begin(), kDesktopOnly.end(), ext) != kDesktopOnly.end()) return true;
  const std::string_view patterns = kOpenFilterPatterns;
  for (size_t at = 0; at < patterns.size();) {
    const size_t end = std::min(patterns.find(';', at), patterns.size());
    if (patterns.substr(at + 1, end - at - 1) == ext) return true;  // "*.ext"
    at = end + 1;
  }
  return false;
}

DropAction ChosenDropAction(const DropOffer& offer) {
  if (offer.copy) return DropAction::Copy;
  if (offer.link) return DropAction::Link;
  return DropAction::None;
}

std::optional<std::string> ChosenDropPath(const std::vector<DroppedItem>& items) {
  if (items.empty() || !items.front().localFile) return std::nullopt;
  if (!IsDropAccepted(items.front().path)) return std::nullopt;
  return items.front().path;
}

}  // namespace source
