#include "encoder/wav_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "encoder/errors.h"

namespace encoder {
namespace {

constexpr uint32_t kTagPcm = 1;
constexpr uint32_t kTagFloat = 3;
constexpr uint32_t kTagExtensible = 0xFFFE;
constexpr uint32_t kMaxRate = 1'000'000;
constexpr uint32_t kMaxFmtBytes = 64 * 1024;
constexpr uint64_t kMaxHeldBytes = uint64_t{1} << 30;  // a data chunk before fmt, kept in memory

// The fixed tail of the sub-format GUID of KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT.
constexpr uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p)} | (uint64_t{Le32(p + 4)} << 32); }

std::string FourCC(const uint8_t* p) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(p[i]);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return "'" + s + "'";
}

std::string Hex4(uint32_t v) {
  static const char* digits = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
  return s;
}

}  // namespace

void WavReader::ReadExact(void* buf, size_t n, const char* what) {
  if (in_.Read(buf, n) != n) {
    throw EncodeError(in_.Name() + ": truncated WAV header: the input ends inside " + what);
  }
}

void WavReader::Skip(uint64_t n, const char* what) {
  uint8_t scratch[16384];
  while (n > 0) {
    const size_t k = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
    ReadExact(scratch, k, what);
    n -= k;
  }
}

void WavReader::ReadHeader() {
  const std::string& name = in_.Name();
  uint8_t riff[12];
  const size_t got = in_.Read(riff, sizeof riff);
  if (got == 0) throw EncodeError(name + ": empty input: no WAV header");
  const bool rf64 = got >= 4 && (std::memcmp(riff, "RF64", 4) == 0 || std::memcmp(riff, "BW64", 4) == 0);
  if (got >= 4 && std::memcmp(riff, "RIFX", 4) == 0) {
    throw EncodeError(name + ": big-endian WAV (RIFX) is not supported");
  }
  if (got < 4 || (std::memcmp(riff, "RIFF", 4) != 0 && !rf64)) {
    throw EncodeError(name + ": not a WAV stream (no RIFF header)");
  }
  if (got < sizeof riff) {
    throw EncodeError(name + ": truncated WAV header: the input ends inside the RIFF header");
  }
  if (std::memcmp(riff + 8, "WAVE", 4) != 0) {
    throw EncodeError(name + ": not a WAV stream (the RIFF form is " + FourCC(riff + 8) +
                      ", not 'WAVE')");
  }

  bool have_fmt = false;
  bool have_held = false;
  std::optional<uint64_t> ds64_data;
  for (;;) {
    uint8_t ch[8];
    const size_t n = in_.Read(ch, sizeof ch);
    if (n < sizeof ch) {
      if (n == 0 && !have_fmt) throw EncodeError(name + ": truncated WAV header: no fmt chunk");
      if (n == 0) throw EncodeError(name + ": no audio data: the WAV stream has no data chunk");
      throw EncodeError(name + ": truncated WAV header: the input ends inside a chunk header");
    }
    const uint32_t size = Le32(ch + 4);
    const uint64_t padded = uint64_t{size} + (size & 1);

    if (std::memcmp(ch, "fmt ", 4) == 0) {
      if (size < 16) throw EncodeError(name + ": damaged WAV header: the fmt chunk is too short");
      if (size > kMaxFmtBytes) {
        throw EncodeError(name + ": damaged WAV header: the fmt chunk is too large");
      }
      std::vector<uint8_t> fmt(static_cast<size_t>(padded));
      ReadExact(fmt.data(), size, "the fmt chunk");
      if (size & 1) in_.Read(fmt.data() + size, 1);  // the pad byte; the end of input is fine here
      fmt.resize(size);
      ParseFmt(fmt);
      have_fmt = true;
      if (have_held) {
        remaining_ = 0;  // all audio is in the held chunk
        return;
      }
    } else if (std::memcmp(ch, "ds64", 4) == 0 && rf64) {
      if (size < 24 || size > kMaxFmtBytes) {
        throw EncodeError(name + ": damaged RF64 header: bad ds64 chunk size");
      }
      std::vector<uint8_t> ds(static_cast<size_t>(padded));
      ReadExact(ds.data(), static_cast<size_t>(padded), "the ds64 chunk");
      ds64_data = Le64(ds.data() + 8);
    } else if (std::memcmp(ch, "data", 4) == 0) {
      std::optional<uint64_t> bytes;
      if (size == 0xFFFFFFFFu && rf64 && ds64_data && *ds64_data != 0) {
        bytes = *ds64_data;
      } else if (size != 0 && size != 0xFFFFFFFFu) {
        bytes = size;
      }
      if (have_fmt) {
        format_.data_bytes = bytes;
        remaining_ = bytes;
        return;
      }
      // The data came before its format: hold it until the fmt chunk arrives.
      if (have_held) throw EncodeError(name + ": damaged WAV header: two data chunks before fmt");
      if (!bytes) {
        throw EncodeError(name + ": damaged WAV header: a data chunk without a size comes before "
                          "the fmt chunk");
      }
      if (*bytes > kMaxHeldBytes) {
        throw EncodeError(name + ": a data chunk of " + std::to_string(*bytes) +
                          " bytes before the fmt chunk is too large to hold");
      }
      // Grown as the bytes arrive, so that a size the input does not back costs no memory.
      const size_t want = static_cast<size_t>(*bytes);
      while (held_.size() < want) {
        const size_t at = held_.size();
        held_.resize(at + std::min<size_t>(want - at, size_t{1} << 20));
        const size_t r = in_.Read(held_.data() + at, held_.size() - at);
        if (r < held_.size() - at) {
          // The input ended inside the data: there can be no fmt chunk after it.
          throw EncodeError(name + ": truncated WAV header: no fmt chunk");
        }
      }
      if (*bytes & 1) {
        uint8_t pad;
        in_.Read(&pad, 1);
      }
      have_held = true;
      format_.data_bytes = bytes;
    } else {
      const std::string what = "the " + FourCC(ch) + " chunk";
      Skip(padded, what.c_str());
    }
  }
}

void WavReader::ParseFmt(const std::vector<uint8_t>& fmt) {
  const std::string& name = in_.Name();
  uint32_t tag = Le16(fmt.data());
  const uint16_t channels = Le16(fmt.data() + 2);
  const uint32_t rate = Le32(fmt.data() + 4);
  const uint16_t block_align = Le16(fmt.data() + 12);
  const uint16_t bits = Le16(fmt.data() + 14);
  uint16_t valid_bits = bits;
  uint32_t mask = 0;
  const bool extensible = tag == kTagExtensible;

  if (extensible) {
    if (fmt.size() < 40) {
      throw EncodeError(name + ": damaged WAV header: WAVE_FORMAT_EXTENSIBLE fmt chunk too short");
    }
    valid_bits = Le16(fmt.data() + 18);
    mask = Le32(fmt.data() + 20);
    const uint8_t* guid = fmt.data() + 24;
    if (std::memcmp(guid + 4, kGuidTail, sizeof kGuidTail) != 0) {
      throw EncodeError(name + ": unsupported WAV sub-format (only PCM and float are read)");
    }
    tag = Le32(guid);
  }
  if (tag != kTagPcm && tag != kTagFloat) {
    throw EncodeError(name + ": unsupported WAV format tag " + Hex4(tag) +
                      " (only PCM and float are read)");
  }
  if (channels == 0) throw EncodeError(name + ": damaged WAV header: 0 channels");
  if (rate == 0 || rate > kMaxRate) {
    throw EncodeError(name + ": unsupported sample rate " + std::to_string(rate) + " Hz");
  }

  WavFormat f;
  f.rate = rate;
  f.channels = channels;
  f.channel_mask = mask;
  const std::string bits_text = std::to_string(bits) + "-bit";
  if (tag == kTagFloat) {
    if (bits != 32 && bits != 64) {
      throw EncodeError(name + ": unsupported float sample size " + bits_text);
    }
    f.type = bits == 32 ? SampleType::F32 : SampleType::F64;
    f.container_bytes = static_cast<uint16_t>(bits / 8);
    f.valid_bits = bits;
  } else {
    if (bits == 0 || bits > 32 || (extensible && bits % 8 != 0)) {
      throw EncodeError(name + ": unsupported PCM sample size " + bits_text);
    }
    uint16_t container = static_cast<uint16_t>((bits + 7) / 8);
    // Samples narrower than their container (say 20 bits in 3 bytes, or 24 in 4) are
    // left-justified; the block alignment tells the container when it is wider.
    if (!extensible && block_align % channels == 0) {
      const auto per = static_cast<uint16_t>(block_align / channels);
      if (per > container && per <= 4) container = per;
    }
    f.container_bytes = container;
    f.type = container == 1 ? SampleType::U8
           : container == 2 ? SampleType::S16
           : container == 3 ? SampleType::S24
                            : SampleType::S32;
    f.valid_bits = (valid_bits > 0 && valid_bits <= container * 8) ? valid_bits
                                                                   : static_cast<uint16_t>(container * 8);
  }
  format_ = f;
}

size_t WavReader::ReadData(uint8_t* buf, size_t n) {
  size_t got = 0;
  if (held_pos_ < held_.size()) {
    const size_t k = std::min(n, held_.size() - held_pos_);
    std::memcpy(buf, held_.data() + held_pos_, k);
    held_pos_ += k;
    got += k;
  }
  if (got == n) return got;
  if (remaining_) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n - got, *remaining_));
    if (want == 0) return got;
    const size_t r = in_.Read(buf + got, want);
    *remaining_ -= r;
    if (r < want) truncated_ = true;
    return got + r;
  }
  return got + in_.Read(buf + got, n - got);
}

size_t WavReader::ReadFrames(uint8_t* buf, size_t max_frames) {
  if (at_end_ || max_frames == 0) return 0;
  const size_t fb = format_.FrameBytes();
  const size_t want = max_frames * fb;
  const size_t n = ReadData(buf, want);
  if (n < want) at_end_ = true;  // every source reads fully until its end
  const size_t frames = n / fb;
  frames_read_ += frames;
  return frames;
}

}  // namespace encoder
