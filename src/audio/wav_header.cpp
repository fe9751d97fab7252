#include "audio/wav_header.h"

namespace audio::detail {

namespace {
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}
void PutTag(uint8_t* p, const char* tag) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(tag[i]);
}
}  // namespace

std::array<uint8_t, kWavHeaderBytes> StreamingWavHeader(uint32_t rate, uint32_t chans,
                                                        uint32_t bits, bool isFloat,
                                                        uint64_t dataBytes) {
  std::array<uint8_t, kWavHeaderBytes> h{};
  const bool declared = dataBytes > 0 && dataBytes <= kMaxDeclaredDataBytes;
  const uint32_t blockAlign = chans * (bits / 8);
  PutTag(&h[0], "RIFF");
  Put32(&h[4], declared ? static_cast<uint32_t>(dataBytes + kWavHeaderBytes - 8) : 0xFFFFFFFFu);
  PutTag(&h[8], "WAVE");
  PutTag(&h[12], "fmt ");
  Put32(&h[16], 16);
  Put16(&h[20], isFloat ? 3 : 1);
  Put16(&h[22], chans);
  Put32(&h[24], rate);
  Put32(&h[28], rate * blockAlign);
  Put16(&h[32], blockAlign);
  Put16(&h[34], bits);
  PutTag(&h[36], "data");
  Put32(&h[40], declared ? static_cast<uint32_t>(dataBytes) : 0xFFFFFFFFu);
  return h;
}

}  // namespace audio::detail
