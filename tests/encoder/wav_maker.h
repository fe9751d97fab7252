// A small WAV writer for the encoder tests: any rate, channel count and sample format, each data
// size convention, optional extra chunks and chunk orders.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace enctest {

enum class Sample { U8, S16, S24, S32, F32, F64 };
enum class DataSize { True, Zero, Unknown /* 0xFFFFFFFF */ };

struct WavSpec {
  uint32_t rate = 44100;
  uint16_t channels = 2;
  Sample sample = Sample::S16;
  uint64_t frames = 44100;
  DataSize data_size = DataSize::True;
  bool extensible = false;
  uint32_t channel_mask = 0;       // with extensible
  bool list_before_fmt = false;    // a LIST/INFO chunk before fmt
  bool list_after_fmt = false;     // a LIST chunk between fmt and data
  bool fact_chunk = false;         // a fact chunk (odd-sized junk chunk too) before data
  bool data_before_fmt = false;    // needs DataSize::True
};

// Channel c carries a sine of 220 * (c + 1) Hz at amplitude 0.5 / (c + 1), so levels and
// frequencies tell the channels apart.
inline double SignalAt(uint64_t frame, uint16_t channel, uint32_t rate) {
  const double kPi = 3.14159265358979323846;
  return 0.5 / (channel + 1) * std::sin(2 * kPi * 220.0 * (channel + 1) * double(frame) / rate);
}

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutTag(std::vector<uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

inline int BytesOf(Sample s) {
  switch (s) {
    case Sample::U8: return 1;
    case Sample::S16: return 2;
    case Sample::S24: return 3;
    case Sample::S32: return 4;
    case Sample::F32: return 4;
    case Sample::F64: return 8;
  }
  return 0;
}
inline bool IsFloat(Sample s) { return s == Sample::F32 || s == Sample::F64; }

inline std::vector<uint8_t> PcmData(const WavSpec& w) {
  std::vector<uint8_t> d;
  d.reserve(w.frames * w.channels * BytesOf(w.sample));
  for (uint64_t i = 0; i < w.frames; ++i) {
    for (uint16_t c = 0; c < w.channels; ++c) {
      const double v = SignalAt(i, c, w.rate);
      switch (w.sample) {
        case Sample::U8: d.push_back(uint8_t(std::lround(v * 127) + 128)); break;
        case Sample::S16: Put16(d, uint16_t(int16_t(std::lround(v * 32767)))); break;
        case Sample::S24: {
          const auto x = uint32_t(int32_t(std::lround(v * 8388607)));
          d.push_back(uint8_t(x));
          d.push_back(uint8_t(x >> 8));
          d.push_back(uint8_t(x >> 16));
          break;
        }
        case Sample::S32: Put32(d, uint32_t(int32_t(std::lround(v * 2147483647.0)))); break;
        case Sample::F32: {
          const float f = float(v);
          uint32_t u;
          std::memcpy(&u, &f, 4);
          Put32(d, u);
          break;
        }
        case Sample::F64: {
          uint64_t u;
          std::memcpy(&u, &v, 8);
          Put32(d, uint32_t(u));
          Put32(d, uint32_t(u >> 32));
          break;
        }
      }
    }
  }
  return d;
}

inline std::vector<uint8_t> FmtChunk(const WavSpec& w) {
  std::vector<uint8_t> f;
  const int bytes = BytesOf(w.sample);
  const uint16_t tag = w.extensible ? 0xFFFE : IsFloat(w.sample) ? 3 : 1;
  Put16(f, tag);
  Put16(f, w.channels);
  Put32(f, w.rate);
  Put32(f, w.rate * w.channels * bytes);
  Put16(f, uint16_t(w.channels * bytes));
  Put16(f, uint16_t(bytes * 8));
  if (w.extensible) {
    Put16(f, 22);
    Put16(f, uint16_t(bytes * 8));
    Put32(f, w.channel_mask);
    const uint8_t guid_tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put32(f, IsFloat(w.sample) ? 3 : 1);
    f.insert(f.end(), guid_tail, guid_tail + 12);
  }
  return f;
}

inline void PutChunk(std::vector<uint8_t>& b, const char* tag, const std::vector<uint8_t>& body,
                     uint32_t size) {
  PutTag(b, tag);
  Put32(b, size);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
}

inline std::vector<uint8_t> ListChunkBody() {
  std::vector<uint8_t> l;
  PutTag(l, "INFO");
  PutTag(l, "INAM");
  Put32(l, 5);
  for (char c : std::string("data\0", 5)) l.push_back(uint8_t(c));  // "data" inside, padded
  l.push_back(0);
  return l;
}

// The whole WAV stream: RIFF header, chunks and samples.
inline std::vector<uint8_t> MakeWav(const WavSpec& w) {
  const std::vector<uint8_t> pcm = PcmData(w);
  std::vector<uint8_t> body;  // after "WAVE"
  PutTag(body, "WAVE");
  const uint32_t data_size = w.data_size == DataSize::True ? uint32_t(pcm.size())
                             : w.data_size == DataSize::Zero ? 0u
                                                              : 0xFFFFFFFFu;
  if (w.list_before_fmt) PutChunk(body, "LIST", ListChunkBody(), uint32_t(ListChunkBody().size()));
  if (w.data_before_fmt) PutChunk(body, "data", pcm, data_size);
  const auto fmt = FmtChunk(w);
  PutChunk(body, "fmt ", fmt, uint32_t(fmt.size()));
  if (w.list_after_fmt) PutChunk(body, "LIST", ListChunkBody(), uint32_t(ListChunkBody().size()));
  if (w.fact_chunk) {
    std::vector<uint8_t> fact;
    Put32(fact, uint32_t(w.frames));
    PutChunk(body, "fact", fact, 4);
    PutChunk(body, "junk", std::vector<uint8_t>(3, 0x55), 3);  // odd size: one pad byte follows
  }
  if (!w.data_before_fmt) {
    PutTag(body, "data");
    Put32(body, data_size);
    body.insert(body.end(), pcm.begin(), pcm.end());
  }
  std::vector<uint8_t> out;
  PutTag(out, "RIFF");
  const uint32_t riff_size = w.data_size == DataSize::True ? uint32_t(body.size())
                             : w.data_size == DataSize::Zero ? 0u
                                                              : 0xFFFFFFFFu;
  Put32(out, riff_size);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace enctest
