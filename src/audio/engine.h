// The audio engine: decoding streams, playback, the mixer and the encoder hand-over.
//
// A C-style handle API over FFmpeg (decoding) and SDL2 (output). It links no Qt.
//
// Ownership and handles
// ---------------------
// * Every object is reached through a 32-bit handle; 0 is "none" and is what a failed call returns.
//   Handles carry a generation: a freed or never-issued handle is rejected with an error code and
//   has no effect, however often it is used. A handle value is not reused while the engine lives.
// * Streams are owned by the engine until StreamFree, or until Free() releases everything.
//   A source added to a mixer with STREAM_AUTOFREE is freed by the engine when it ends or with
//   the mixer. Syncs, DSPs and encoders belong to their channel and go when it is freed.
// * Path and command-line strings are copied; the caller's buffers may go at once.
// * The `user` pointer of a callback is passed back untouched; it must outlive the sync or DSP.
// * No exception leaves this API: every call catches, stores an error code and returns its
//   failure value.
//
// Threads and callbacks
// ---------------------
// * Every call is thread-safe and may be made from any thread.
// * DSPs and syncs run on the thread that produces the channel's data: the reader's thread for a
//   decoding channel (inside ChannelGetData / ChannelGetLevel / a mixer's read), the engine's
//   playback thread for a playing stream (SYNC_MIXTIME syncs and DSPs). A SYNC_POS sync without
//   SYNC_MIXTIME on a playing stream runs on the engine's notification thread, once its position
//   has been heard.
// * Inside a callback, the engine may be called on the callback's own channel (seek, set or remove
//   syncs and DSPs, including removing the running DSP itself) without deadlock. A callback must
//   not block for long, and must not free its own channel.
// * ErrorGetCode reports the last error of the calling thread.
#pragma once

#include <cstdint>
#include <string>

namespace audio {

using Handle = uint32_t;
using SyncHandle = uint32_t;
using DspHandle = uint32_t;
using EncoderHandle = uint32_t;

struct ChannelInfo {
  uint32_t freq;   // sample rate in Hz
  uint32_t chans;  // interleaved channels
  uint32_t flags;  // the flags the channel was created with
  uint32_t bits;   // 16, or 32 for float samples
};

// Stream and sample flags.
inline constexpr uint32_t SAMPLE_FLOAT = 0x100;
inline constexpr uint32_t STREAM_PRESCAN = 0x20000;
inline constexpr uint32_t STREAM_AUTOFREE = 0x40000;
inline constexpr uint32_t STREAM_DECODE = 0x200000;
inline constexpr uint32_t MIXER_END = 0x10000;
inline constexpr uint32_t MIXER_DOWNMIX = 0x400000;

// Position modes.
inline constexpr uint32_t POS_BYTE = 0;

// Sync types.
inline constexpr uint32_t SYNC_POS = 0;
inline constexpr uint32_t SYNC_END = 2;
inline constexpr uint32_t SYNC_MIXTIME = 0x40000000;

// ChannelIsActive results.
inline constexpr uint32_t ACTIVE_STOPPED = 0;
inline constexpr uint32_t ACTIVE_PLAYING = 1;
inline constexpr uint32_t ACTIVE_STALLED = 2;
inline constexpr uint32_t ACTIVE_PAUSED = 3;

// Encoder flags.
inline constexpr uint32_t ENCODE_FP_16BIT = 4;

// The error value of the 32-bit data calls.
inline constexpr uint32_t DATA_ERROR = 0xFFFFFFFFu;

// Error codes (ErrorGetCode).
enum Error : int {
  ERROR_OK = 0,
  ERROR_MEM = 1,       // out of memory
  ERROR_FILEOPEN = 2,  // the file could not be opened
  ERROR_DRIVER = 3,    // no output device could be used
  ERROR_HANDLE = 5,    // invalid, stale or wrong kind of handle
  ERROR_FORMAT = 6,    // unsupported sample format
  ERROR_POSITION = 7,  // position outside the data
  ERROR_INIT = 8,      // Init has not been called (or Free has)
  ERROR_ALREADY = 14,  // already initialised / already added
  ERROR_NOTAUDIO = 17, // the file holds no audio this opener takes
  ERROR_ILLPARAM = 20, // an illegal parameter
  ERROR_NOTAVAIL = 37, // the requested data is not available (end reached)
  ERROR_DECODE = 38,   // the channel is not a decoding channel / is a decoding one
  ERROR_FILEFORM = 41, // not a format the engine reads
  ERROR_DAMAGED = 46,  // a format the engine reads, but the file's data does not decode
  ERROR_CREATE = 33,   // could not create (a process, a file)
  ERROR_ENDED = 45,    // the channel has ended
  ERROR_UNKNOWN = -1,
};

using SyncProc = void(SyncHandle, Handle channel, uint32_t data, void* user);
using DspProc = void(DspHandle, Handle channel, void* buffer, uint32_t length, void* user);
using EncodeProc = void(EncoderHandle, Handle channel, const void* buffer, uint32_t length, void* user);

// --- The engine -----------------------------------------------------------------------------

// Version of the engine: 0x0204 in the high word (2.4). Any thread.
uint32_t GetVersion();
// Opens the output: device -1 is the default device. Falls back to a silent real-time output
// when no device can be opened (Init still succeeds). Device 0 opens no output: only decoding
// channels work, and playing fails with ERROR_INIT. `window` is not used. Any thread, not from
// a callback.
bool Init(int device, uint32_t freq, uint32_t flags, void* window);
// Stops the output and releases every stream, mixer, sync, DSP and encoder. Not from a callback.
bool Free();
// The last error of the calling thread; 0 when the last call succeeded.
int ErrorGetCode();

// --- Streams --------------------------------------------------------------------------------

// Opens a file. offset and length select a part of the file (0, 0: the whole file).
// Flags: STREAM_DECODE (read with ChannelGetData instead of playing), SAMPLE_FLOAT,
// STREAM_PRESCAN (exact length and seeking), STREAM_AUTOFREE. Returns 0 on failure.
// The general opener takes every format the engine decodes; the named ones take their own
// family only and fail with ERROR_NOTAUDIO / ERROR_FILEFORM on anything else. A file that cannot
// be read fails with ERROR_FILEOPEN (errno tells why), one without an audio stream with
// ERROR_NOTAUDIO, one whose format is recognised but whose first packets do not decode with
// ERROR_DAMAGED.
Handle StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle WMA_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle APE_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle AC3_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle ALAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle AAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle MP4_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle MPC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
Handle FLAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags);
// Frees a stream or a mixer with its syncs, DSPs and encoders. Not on the channel from inside
// one of its own callbacks.
bool StreamFree(Handle);

// --- Channels (streams and mixers) ----------------------------------------------------------

bool ChannelGetInfo(Handle, ChannelInfo*);
// Length in bytes of the channel's own format; -1 on error.
int64_t ChannelGetLength(Handle, uint32_t mode);
// bytes / (rate * bytes per frame); negative on error.
double ChannelBytes2Seconds(Handle, int64_t pos);
// Whole frames, rounded down, in bytes; -1 on error.
int64_t ChannelSeconds2Bytes(Handle, double seconds);

// Playing streams (not STREAM_DECODE). Play starts or resumes at the current position; restart
// starts from 0. Stop drops what is buffered; the position stays at what was heard. Paused, the
// heard position holds still.
bool ChannelPlay(Handle, bool restart);
bool ChannelPause(Handle);
bool ChannelStop(Handle);
// ACTIVE_PLAYING / ACTIVE_PAUSED / ACTIVE_STOPPED (ACTIVE_STALLED while waiting for data).
// A decoding channel is ACTIVE_PLAYING while data is left and ACTIVE_STOPPED once all was read.
uint32_t ChannelIsActive(Handle);
// Seeks to a byte position (whole frames); fails outside 0..length and leaves the position.
// On a playing stream the buffer is dropped and the new position is heard at once. Inside a sync
// callback the seek takes effect at the sync point.
bool ChannelSetPosition(Handle, int64_t pos, uint32_t mode);
// Decoding channel: bytes produced so far. Playing stream: the position being heard now.
int64_t ChannelGetPosition(Handle, uint32_t mode);

// Syncs. SYNC_POS fires each time decoding reaches `param` (bytes), before that data is produced;
// SYNC_END fires when the end of the data is reached. Add SYNC_MIXTIME to run at decode time on
// a playing stream. A seek inside the callback takes effect at the sync point; a seek inside a
// SYNC_END callback continues the stream. Returns 0 on failure.
SyncHandle ChannelSetSync(Handle, uint32_t type, int64_t param, SyncProc* proc, void* user);
// Once ChannelRemoveSync (or StreamFree) has returned, the sync's procedure does not start, and a
// call already running on the notification thread has returned, unless the removal was made from
// inside that call or from a mix-time callback of the stream (which is not waited for).
bool ChannelRemoveSync(Handle, SyncHandle);

// DSPs edit every produced block in place, in the channel's format, higher priority first and
// equal priorities in installation order, before the data reaches its reader, the output or an
// encoder. A DSP set during a read acts from the sync point when it is set from a sync on the
// same channel, and otherwise (from a DSP, or from a callback of another channel such as a
// mixer's source) from the next piece the channel produces: the rest of the block after a later
// sync point of the same read, else the next block.
DspHandle ChannelSetDSP(Handle, DspProc* proc, void* user, int priority);
bool ChannelRemoveDSP(Handle, DspHandle);

// Decoding channel: reads the next 0.02 s and returns its peaks (low word first channel, high
// word second; mono gives the same value in both), 0..32768. Consumes the data like a read.
// DATA_ERROR when no data is left or on error.
uint32_t ChannelGetLevel(Handle);
// Decoding channel: produces up to `length` bytes (whole frames) and returns the count;
// DATA_ERROR once the end was already reached, or on error.
uint32_t ChannelGetData(Handle, void* buffer, uint32_t length);

// --- The mixer ------------------------------------------------------------------------------

// A channel mixing its sources at `freq` and `chans`, 16-bit (float with SAMPLE_FLOAT).
// STREAM_DECODE: read with ChannelGetData. MIXER_END: ends once all sources have ended and their
// data has been delivered.
Handle Mixer_StreamCreate(uint32_t freq, uint32_t chans, uint32_t flags);
// Adds a decoding stream to a mixer. MIXER_DOWNMIX maps its channels to the mixer's;
// STREAM_AUTOFREE frees it when it ends, or with the mixer. The source's syncs and DSPs run
// inside the mixer's reads.
bool Mixer_StreamAddChannel(Handle mixer, Handle source, uint32_t flags);

// --- The encoder hand-over ------------------------------------------------------------------

// Starts the program of `cmdline` (split by the rules of cmdline.h, never through a shell; a
// program named without a slash is looked for beside the running program, then on PATH) and
// feeds it a WAV header and every block the channel produces after its DSPs. `proc` receives the
// program's standard output when given. Returns 0 when the program cannot be started.
// `frames` > 0 states the stream's length in the WAV header: the program gets exactly that many
// frames (the rest of a channel that ends early is silence), so that an input cut short by this
// process's death is one it can tell from a complete one. 0: an open-ended header.
EncoderHandle Encode_Start(Handle channel, const char* cmdline, uint32_t flags, EncodeProc* proc,
                           void* user, uint64_t frames = 0);
// 1 while the encoder runs and takes data; 0 once it has ended or died, or for a bad handle.
uint32_t Encode_IsActive(EncoderHandle);
// Takes the encoder off its channel and closes its input without waiting: the program writes the
// end of its output while Encode_IsActive says 1; Encode_Stop or Encode_Abort then ends it.
bool Encode_EndInput(EncoderHandle);
// Closes the encoder's input and waits for it (bounded). True only when it exited with status 0
// having taken all data.
bool Encode_Stop(EncoderHandle);
// Ends the encoder without letting it finish (it is terminated, then waited for): for a
// conversion that is cancelled. True when the handle was a running encoder.
bool Encode_Abort(EncoderHandle);
// The last line that the program of the encoder this thread last stopped or aborted wrote on its
// standard error, as it wrote it: its own words of what went wrong ("faac: x.m4r: cannot write
// the output file: No space left on device"). Empty when it wrote nothing.
std::string Encode_GetMessage();

}  // namespace audio
