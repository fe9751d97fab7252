// Whether two paths name one file, so that a ringtone never replaces the file it is made from.
#pragma once

#include <string>

namespace convert {

// True when `a` and `b` are the same file: the same device and inode when both exist (hard
// links, symbolic links and other spellings of the path alike), else the same path once made
// absolute with its links and dot parts resolved.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace convert
