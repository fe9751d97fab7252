#include "audio/error.h"

namespace audio::detail {

namespace {
thread_local int lastError = 0;
}

void SetError(int code) { lastError = code; }
int GetError() { return lastError; }

}  // namespace audio::detail
