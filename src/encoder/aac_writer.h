// Encodes planar float audio with libavcodec's native AAC encoder (AAC-LC, its default coder) and
// muxes it with libavformat: the "ipod" muxer for MP4 (ftyp "M4A ", an edit list that trims the
// encoder's priming samples, iTunes tags; the iTunSMPB item added after it) or "adts"
// for raw AAC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/ffmpeg_ptr.h"
#include "encoder/options.h"
#include "encoder/output_file.h"
#include "encoder/tags.h"
#include "encoder/wav_reader.h"

namespace encoder {

struct EncodeSettings {
  bool mp4 = true;
  RateMode mode = RateMode::Bitrate;
  int bitrate_kbps = kDefaultBitrateKbps;
  int quality = 100;
};

// The rate the encoder is run at: the input's when the encoder takes it, else the nearest
// supported rate above it (the highest one for faster inputs).
int ChooseEncoderRate(int input_rate);

class AacWriter {
 public:
  // Opens the encoder and the muxer and writes the file header into `out`. Throws EncodeError
  // (naming out.target()) when the format cannot be encoded or the output not written.
  AacWriter(const WavFormat& input, const EncodeSettings& settings, const Tags& tags,
            OutputFile& out);
  AacWriter(const AacWriter&) = delete;
  AacWriter& operator=(const AacWriter&) = delete;

  // Encodes `frames` frames given as one plane per input channel.
  void Write(const float* const* planes, size_t frames);
  // Encodes what is left, writes the trailer and the extra tags and flushes the file. The caller
  // then commits the OutputFile.
  void Finish();

  int encoder_rate() const { return ctx_->sample_rate; }
  bool resampling() const { return swr_ != nullptr; }
  int64_t samples_encoded() const { return next_pts_; }

 private:
  void OpenEncoder(const WavFormat& input, const EncodeSettings& settings);
  void OpenMuxer(const Tags& tags);
  // Resamples n frames (nullptr: drains the resampler) into the FIFO.
  void Resample(const uint8_t* const* in, int n);
  void EncodeFromFifo(bool final);
  void SendFrame(AVFrame* frame);  // nullptr drains
  void WritePackets();
  [[noreturn]] void Fail(const std::string& what, int averr) const;

  OutputFile& out_;
  bool mp4_;
  CodecContextPtr ctx_;
  MuxContextPtr mux_;
  AVStream* stream_ = nullptr;
  SwrPtr swr_;
  AudioFifoPtr fifo_;
  FramePtr frame_;
  PacketPtr packet_;
  int64_t next_pts_ = 0;       // samples given to the encoder
  int64_t samples_coded_ = 0;  // samples in the packets written, priming and padding included
  std::vector<float> resampled_;
  std::vector<float*> resampled_planes_;
};

}  // namespace encoder
