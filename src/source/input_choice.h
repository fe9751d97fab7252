// Which file the user chose: the open dialog's texts and the rules a drop on the input box
// follows. Plain data in, a path or nothing out; the window only translates its events.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace source {

// The open dialog's title, its one filter's name and its 22 patterns.
inline constexpr const char* kOpenDialogTitle = "Select a file to play";
inline constexpr const char* kOpenFilterName = "All Support Files";
inline constexpr const char* kOpenFilterPatterns =
    "*.mp3;*.mp2;*.mp1;*.ogg;*.wav;*.aif;*.mo3;*.it;*.wma;*.mpc;*.flac;*.ape;*.alac;*.aac;*.mp4;"
    "*.m4a;*.ac3;*.xm;*.s3m;*.mtm;*.mod;*.umx";

// The dialog's one filter in the "Name (*.a *.b)" form file dialogs take.
std::string OpenDialogFilter();

// The 24 extensions a drop on the input box accepts.
std::span<const std::string_view> DropExtensions();
bool IsDropAccepted(std::string_view path);

// A file named on the command line (as a file manager's "Open With" passes it) opens when the
// drop's extensions or the dialog's patterns take its name, or when it has another name of an
// audio type the desktop entry lists (".aif" is only in the dialog's list; ".oga", ".opus",
// ".aifc" and the like in neither).
bool IsCommandLineAccepted(std::string_view path);

// One item of a drop, in the order the drag source gave them.
struct DroppedItem {
  bool localFile = false;  // a file of this machine (not a web address or another scheme)
  std::string path;        // its path, UTF-8, when localFile
};

// What the drag offers to do with its items.
struct DropOffer {
  bool copy = false;
  bool move = false;
  bool link = false;
};

// The action a drop is taken with: copy or link, never move (a file manager deletes the source
// of a move), or none when the drag offers neither.
enum class DropAction { None, Copy, Link };
DropAction ChosenDropAction(const DropOffer& offer);

// The file a drop opens: its first item, when that is a local file with an accepted extension;
// later items are ignored, and so is a drop whose first item is anything else.
std::optional<std::string> ChosenDropPath(const std::vector<DroppedItem>& items);

}  // namespace source
