#include "audio/decoder.h"

#include <mutex>
#include <new>

#include "audio/decoder_impl.h"
#include "audio/decoder_prescan.h"
#include "audio/engine.h"

namespace audio::detail {

int FileDecoder::Impl::OpenStreams() {
  codec.reset();
  decoder_done = true;  // until everything is open again
  if (const int rc = OpenDemuxer(request, &input); rc != ERROR_OK) return rc;
  int error = ERROR_OK;
  codec = OpenAudioDecoder(input.Stream(), &error);
  if (!codec) return error;
  if (!frame) frame.reset(av_frame_alloc());
  if (!packet) packet.reset(av_packet_alloc());
  if (!frame || !packet) return ERROR_MEM;
  ResetDecodeState();
  demux_reached_end = false;
  next_start = 0;
  place_by_pts = false;
  return ERROR_OK;
}

void FileDecoder::Impl::ResetDecodeState() {
  buffer_start = next_start;
  buffer_frames = 0;
  buffer_used = 0;
  placement_failed = false;
  checks_left = 0;
  demux_done = false;
  flushed = false;
  decoder_done = false;
}

std::unique_ptr<FileDecoder> FileDecoder::Open(const std::string& path, const DecoderOptions& options,
                                               int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = ERROR_OK;
  static std::once_flag setup;
  std::call_once(setup, [] {
    av_log_set_level(AV_LOG_QUIET);  // damage is handled, not logged
    av_max_alloc(kLargestAllocation);
  });
  try {
    InputRequest request;
    request.path = path;
    request.offset = options.offset;
    request.length = options.length;
    request.memory = options.memory;
    request.memory_size = options.memory_size;
    auto impl = std::make_unique<Impl>(request, options);
    if (const int rc = impl->OpenStreams(); rc != ERROR_OK) {
      *error = rc;
      return nullptr;
    }
    // Seeks that start afresh reopen the same demuxer on the same stream, without probing.
    impl->request.format = impl->input.format->iformat;
    impl->request.stream_index = impl->input.stream_index;
    CodecParametersPtr known(avcodec_parameters_alloc());
    if (!known || avcodec_parameters_copy(known.get(), impl->input.Stream()->codecpar) < 0) {
      *error = ERROR_MEM;
      return nullptr;
    }
    impl->request.known = std::move(known);
    const AVStream* st = impl->input.Stream();
    if (!FamilyAccepts(options.family, impl->input.format.get(), st->codecpar)) {
      *error = ERROR_FILEFORM;
      return nullptr;
    }
    int channels = impl->codec->ch_layout.nb_channels;
    if (channels <= 0) channels = st->codecpar->ch_layout.nb_channels;
    if (channels <= 0 || channels > 32) {
      *error = impl->input.FailureOfARecognised();
      return nullptr;
    }
    impl->channels = static_cast<uint32_t>(channels);
    impl->converter = SampleConverter(options.kind, channels);
    impl->bytes_per_frame = impl->converter.BytesPerFrame();
    impl->traits = TraitsFor(impl->input.format.get(), st->codecpar, options.longest_rendered_seconds);

    // A file opens only if it decodes: the first frame also tells rate and first timestamp.
    if (!impl->DecodeFrame()) {
      *error = impl->input.FailureOfARecognised();
      return nullptr;
    }
    const AVFrame* first = impl->frame.get();
    const int rate = first->sample_rate > 0 ? first->sample_rate : impl->codec->sample_rate;
    if (rate <= 0 || rate > kHighestRate) {
      *error = impl->input.FailureOfARecognised();
      return nullptr;
    }
    impl->rate = static_cast<uint32_t>(rate);
    int64_t first_pts = AV_NOPTS_VALUE;  // in frames
    if (first->best_effort_timestamp == AV_NOPTS_VALUE) {
      impl->traits.seek = SeekRule::kDecode;
    } else {
      impl->first_pts = av_rescale_q(first->best_effort_timestamp, st->time_base, AVRational{1, rate});
      impl->first_ticks = first->best_effort_timestamp;
      first_pts = impl->first_pts;
      const AVCodecID id = st->codecpar->codec_id;
      const bool whole_samples = st->time_base.num == 1 && st->time_base.den % rate == 0;
      if (!whole_samples && (id == AV_CODEC_ID_AC3 || id == AV_CODEC_ID_EAC3) && first->pkt_duration > 0) {
        impl->ticks_per_frame = first->pkt_duration;
        impl->frames_per_packet = first->nb_samples;
      }
    }
    if (impl->first_packet_ts != AV_NOPTS_VALUE) {
      impl->min_seek_ts = impl->first_packet_ts;
    } else if (st->start_time != AV_NOPTS_VALUE) {
      impl->min_seek_ts = st->start_time;
    }

    if (options.prescan) {
      impl->length = PrescanLength(impl->request, impl->input, impl->traits, rate, channels, first_pts);
      impl->exact = impl->length >= 0;
      if (impl->traits.rewinds && !impl->Rewind()) {
        *error = ERROR_FILEFORM;
        return nullptr;
      }
    }
    if (!impl->exact) impl->length = EstimateLength(impl->input, impl->traits, rate, first_pts);
    return std::unique_ptr<FileDecoder>(new FileDecoder(std::move(impl)));
  } catch (const std::bad_alloc&) {
    *error = ERROR_MEM;
  } catch (...) {
    *error = ERROR_UNKNOWN;
  }
  return nullptr;
}

FileDecoder::FileDecoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileDecoder::~FileDecoder() = default;

uint32_t FileDecoder::Rate() const { return impl_->rate; }
uint32_t FileDecoder::Channels() const { return impl_->channels; }
int64_t FileDecoder::LengthFrames() const { return impl_->length; }
bool FileDecoder::LengthIsEstimate() const { return !impl_->exact; }

}  // namespace audio::detail
