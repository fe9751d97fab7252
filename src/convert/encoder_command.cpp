#include "convert/encoder_command.h"

namespace convert {

std::string QuotedArgument(std::string_view text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; elsewhere they are literal.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  // Before the closing quote, backslashes are doubled.
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string BuildEncoderCommand(const std::string& outputPath, const TagFields& tags) {
  std::string command = std::string(kEncoderProgram) + " -w";
  command += " --mpeg-vers " + std::to_string(4);
  if (tags.write) {
    const std::pair<const char*, const std::string*> options[] = {
        {" --title ", &tags.title}, {" --artist ", &tags.artist}, {" --album ", &tags.album},
        {" --genre ", &tags.genre}, {" --year ", &tags.year}};
    for (const auto& [option, value] : options)
      if (!value->empty()) command += option + QuotedArgument(*value);
  }
  command += " -o ";
  command += QuotedArgument(outputPath);
  command += " -";
  return command;
}

}  // namespace convert
