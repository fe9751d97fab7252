#include "support/ffmpeg_loudness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/command.h"

namespace twtest {

FfmpegLoudness FfmpegEbur128(const std::string& path, double start, double length) {
  std::ostringstream cmd;
  cmd << "ffmpeg -nostdin -hide_banner -nostats";
  if (start > 0) cmd << " -ss " << start;
  if (length > 0) cmd << " -t " << length;
  cmd << " -i '" << path << "' -af aresample=44100,aformat=channel_layouts=stereo,ebur128=peak=true -f null - 2>&1";
  const std::string out = CommandOutput(cmd.str());
  FfmpegLoudness result;
  const size_t summary = out.rfind("Summary:");
  if (summary == std::string::npos) return result;
  std::istringstream lines(out.substr(summary));
  std::string line;
  bool haveI = false, havePeak = false;
  while (std::getline(lines, line)) {
    const size_t i = line.find("I:"), peak = line.find("Peak:");
    if (i != std::string::npos && !haveI) {
      result.integrated = std::strtod(line.c_str() + i + 2, nullptr);
      haveI = true;
    } else if (peak != std::string::npos && !havePeak) {
      const std::string value = line.substr(peak + 5);
      result.truePeak = value.find("-inf") != std::string::npos ? -INFINITY : std::strtod(value.c_str(), nullptr);
      havePeak = true;
    }
  }
  result.ok = haveI && havePeak;
  return result;
}

}  // namespace twtest
