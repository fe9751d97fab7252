// The per-thread last error of the engine's calls.
#pragma once

namespace audio::detail {

void SetError(int code);
int GetError();

// Sets `code` as the calling thread's error and returns `result`: `return Fail(ERROR_HANDLE, false);`
template <typename T>
T Fail(int code, T result) {
  SetError(code);
  return result;
}

}  // namespace audio::detail
