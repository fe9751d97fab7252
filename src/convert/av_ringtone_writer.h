// Android's and MP3 ringtones, encoded in this process: the part's 44100 Hz stereo 16-bit samples
// through libvorbis (about 160 kbit/s) into Ogg, or libmp3lame (VBR, about 190 kbit/s) into MP3
// with ID3v2 tags and a LAME header that carries the encoder's delay and padding, so that a
// decoder gives back exactly the part. The file is written beside the target under a temporary
// name and takes the target's place only once it is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/encoder_command.h"
#include "convert/ringtone_kind.h"

namespace convert {

// Not thread-safe: one thread opens, writes and finishes it. Each call throws
// encoder::EncodeError naming the file and the cause when it fails; a writer destroyed before
// Finish removes its temporary file and leaves the target as it was.
class AvRingtoneWriter {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;

  // Android or Mp3. Opens the encoder, the muxer and the temporary file.
  AvRingtoneWriter(RingtoneKind kind, const std::string& target, const TagFields& tags);
  ~AvRingtoneWriter();
  AvRingtoneWriter(const AvRingtoneWriter&) = delete;
  AvRingtoneWriter& operator=(const AvRingtoneWriter&) = delete;

  // Interleaved stereo frames.
  void Write(const int16_t* interleaved, size_t frames);
  // Encodes what is left, writes the file's end and puts it in the target's place.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace convert
