#include "encoder/errors.h"

#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

namespace encoder {

std::string AvErrorText(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return buf;
}

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace encoder
