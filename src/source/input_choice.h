// Which file the user chose: the open dialog's texts and the rules a drop on the input box
// follows. Plain data in, a path or nothing out; the window only translates its events.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace source {

// The open dialog's title and its one filter's name.
inline constexpr const char* kOpenDialogTitle = "Select a file to play";
inline constexpr const char* kOpenFilterName = "All Support Files";

// Every name of a file the program opens, lower-case, dot included: the dialog's filter, the drop
// on the window and a file named on the command line (as a file manager's "Open With" passes
// it) all take these and no others. Besides the audio and tracker names there are the other
// names of the audio types the desktop entry lists (".oga", ".opus", ".mpga", ...) and ".m4r",
// a ringtone to trim again.
std::span<const std::string_view> AcceptedExtensions();
bool IsAcceptedName(std::string_view path);
// Why a name that IsAcceptedName refuses is not opened.
inline constexpr const char* kRefusedNameReason =
    "its name does not end in one of the kinds Tonewright opens (the Select dialog lists them)";

// The dialog's one filter in the "Name (*.a *.b)" form file dialogs take.
std::string OpenDialogFilter();

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
