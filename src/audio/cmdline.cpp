#include "audio/cmdline.h"

namespace audio::detail {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      const char c = line[i];
      if (c == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg.push_back('"');
          } else {
            quoted = !quoted;
          }
          ++i;
        } else {
          arg.append(slashes, '\\');
        }
      } else if (c == '"') {
        quoted = !quoted;
        ++i;
      } else {
        arg.push_back(c);
        ++i;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string QuoteArgument(std::string_view arg, Quoting quoting) {
  if (quoting == Quoting::WhenNeeded && !arg.empty() && arg.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(arg);
  std::string out = "\"";
  size_t slashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      // Backslashes before a quote are doubled, and the quote itself is escaped.
      out.append(slashes * 2 + 1, '\\');
    } else {
      out.append(slashes, '\\');
    }
    slashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quote are doubled so that they stay literal.
  out.append(slashes * 2, '\\');
  out.push_back('"');
  return out;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out.push_back(' ');
    out += QuoteArgument(args[i]);
  }
  return out;
}

}  // namespace audio::detail
