#include "source/input_choice.h"

#include <algorithm>
#include <array>

#include "source/openers.h"

namespace source {

namespace {
// Audio files, then the containers whose sound is taken: videos (MP4, QuickTime, 3GP, Matroska,
// WebM, AVI), Apple's CAF, WavPack and TTA.
constexpr std::array<std::string_view, 65> kAccepted = {
    ".mp3",  ".mp2", ".mp1",  ".ogg", ".wav",  ".aif",  ".mo3", ".it",  ".wma", ".mpc",
    ".flac", ".ape", ".alac", ".aac", ".mp4",  ".m4a",  ".ac3", ".xm",  ".s3m", ".mtm",
    ".mod",  ".umx", ".fla",  ".mp+", ".mpp",  ".m4b",  ".aiff", ".m4r", ".oga", ".opus",
    ".mpga", ".adts", ".f4a", ".f4b", ".aifc", ".m15",  ".uni", ".med", ".669", ".ult", ".aiffc",
    ".m4v",  ".mov", ".3gp",  ".3g2", ".mkv",  ".mka",  ".webm", ".avi", ".caf", ".wv",  ".tta",
    ".weba", ".f4v", ".lrv",  ".qt",  ".moov", ".qtvr", ".3gpp", ".3ga", ".3gpp2", ".3gp2", ".avf", ".divx",
    ".wvp"};
}  // namespace

std::span<const std::string_view> AcceptedExtensions() { return kAccepted; }

bool IsAcceptedName(std::string_view path) {
  const std::string ext = LowerExtension(path);
  return std::find(kAccepted.begin(), kAccepted.end(), ext) != kAccepted.end();
}

std::string OpenDialogFilter() {
  std::string filter = std::string(kOpenFilterName) + " (";
  for (const std::string_view ext : kAccepted) {
    if (ext != kAccepted.front()) filter += ' ';
    filter += '*';
    filter += ext;
  }
  return filter + ")";
}

DropAction ChosenDropAction(const DropOffer& offer) {
  if (offer.copy) return DropAction::Copy;
  if (offer.link) return DropAction::Link;
  return DropAction::None;
}

std::optional<std::string> ChosenDropPath(const std::vector<DroppedItem>& items) {
  if (items.empty() || !items.front().localFile) return std::nullopt;
  if (!IsAcceptedName(items.front().path)) return std::nullopt;
  return items.front().path;
}

}  // namespace source
