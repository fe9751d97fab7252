#include "convert/encoder_command.h"

#include "audio/cmdline.h"

namespace convert {

std::string QuotedArgument(std::string_view text) {
  return audio::detail::QuoteArgument(text, audio::detail::Quoting::Always);
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
