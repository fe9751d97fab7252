#!/usr/bin/python3
"""How well Suggest does on songs whose beats, bars and repeats are known exactly.

The songs are the MIDI music of freedoom's two WAD files, rendered with FluidSynth and the General
MIDI sound font (a few as MP3 as well). What is true of each song comes from its MIDI file: the
tempo map gives the beats, the time signatures the bar lines, and a bar recurs where another bar
four or more bars away holds the same notes (channel, note and onset in sixteenths of a beat, drums
included). The analysis is run by build/normal/bench/suggest_eval_tool, which prints the beats,
bar lines and suggested part it finds.

    flock /tmp/tw-build.lock bench/suggest_eval.py [--build build/normal] [--work DIR] [--jobs 2]

Per song and in total: the beat F-measure at +-70 ms; whether the part's start and end both lie
within 50 ms of a beat; whether its start lies within 50 ms of a bar line; the share of its bars
that recur outside it against the best stretch of the same length in the song; its level against
the song's median.
"""
import argparse
import concurrent.futures
import os
import struct
import subprocess
import sys
import wave

import mido

WADS = ["/usr/share/games/doom/freedoom1.wad", "/usr/share/games/doom/freedoom2.wad"]
SOUND_FONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RATE = 44100
GAIN = "0.5"
MP3_EVERY = 8  # every eighth song is rendered as MP3 too

BEAT_WINDOW = 0.070
EDGE_WINDOW = 0.050
MIN_RECUR_DISTANCE = 4  # bars
# Songs converted from a tick clock (ticks per beat unrelated to the music) have notes anywhere
# between the file's sixteenths: their beats and bars tell nothing, and they are counted apart.
MIN_GRIDDED = 0.5


# --- the corpus --------------------------------------------------------------------------------

def midi_lumps(wad_path):
    """(name, bytes) of the music lumps (D_*) of a WAD; MUS lumps are counted apart."""
    data = open(wad_path, "rb").read()
    kind, count, offset = struct.unpack("<4sii", data[:12])
    if kind not in (b"IWAD", b"PWAD"):
        raise SystemExit(f"{wad_path}: not a WAD")
    lumps, mus = [], 0
    for i in range(count):
        at, size, name = struct.unpack("<ii8s", data[offset + 16 * i: offset + 16 * i + 16])
        name = name.rstrip(b"\0").decode("ascii", "replace")
        if not name.startswith("D_"):
            continue
        body = data[at: at + size]
        if body[:4] == b"MThd":
            lumps.append((name, body))
        elif body[:4] == b"MUS\x1a":
            mus += 1
    return lumps, mus


def run_quiet(argv):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def render(mid, wav):
    if not os.path.exists(wav):
        run_quiet(["fluidsynth", "-ni", "-F", wav + ".tmp.wav", "-r", str(RATE), "-g", GAIN, SOUND_FONT, mid])
        os.replace(wav + ".tmp.wav", wav)


def to_mp3(wav, mp3):
    if not os.path.exists(mp3):
        run_quiet(["lame", "--quiet", "-b", "192", wav, mp3 + ".tmp.mp3"])
        os.replace(mp3 + ".tmp.mp3", mp3)


def wav_envelope(path):
    """Per-millisecond peak of the mono mix of a 16-bit WAV."""
    import array
    with wave.open(path, "rb") as w:
        ch, rate = w.getnchannels(), w.getframerate()
        raw = array.array("h", w.readframes(w.getnframes()))
    step = rate // 1000
    env = []
    for i in range(0, len(raw) // ch - step, step):
        env.append(max(abs(raw[(i + k) * ch]) for k in range(step)))
    return env


def fluidsynth_offset(work):
    """How late FluidSynth's rendering sounds a note against its MIDI time: a woodblock every second
    from 1 s on, each found as the first millisecond past a tenth of the loudest."""
    mid_path, wav_path = os.path.join(work, "click.mid"), os.path.join(work, "click.wav")
    f = mido.MidiFile(ticks_per_beat=480)
    t = mido.MidiTrack()
    f.tracks.append(t)
    t.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    for k in range(4):
        t.append(mido.Message("note_on", channel=9, note=76, velocity=120, time=960 if k == 0 else 900))
        t.append(mido.Message("note_off", channel=9, note=76, velocity=0, time=60))
    f.save(mid_path)
    if os.path.exists(wav_path):
        os.remove(wav_path)
    render(mid_path, wav_path)
    env = wav_envelope(wav_path)
    top = max(env)
    lates = []
    for k in range(4):
        expect = 1000 * (k + 1)
        for i in range(expect - 200, min(len(env), expect + 500)):
            if env[i] > top / 10:
                lates.append((i - expect) / 1000.0)
                break
    return sorted(lates)[len(lates) // 2] if lates else 0.0


# --- what the MIDI file says -------------------------------------------------------------------

class Truth:
    def __init__(self, beats, bars, recurs, bar_times, gridded):
        self.gridded = gridded      # the share of the note onsets on the file's sixteenths
        self.beats = beats          # seconds
        self.bars = bars            # bar line times, seconds
        self.recurs = recurs        # per bar: the indices of the bars holding the same notes
        self.bar_times = bar_times  # per bar: (start, end) seconds


def midi_truth(path, offset):
    mf = mido.MidiFile(path)
    tpb = mf.ticks_per_beat
    events = []  # (tick, order, msg)
    order = 0
    for track in mf.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            events.append((tick, order, msg))
            order += 1
    events.sort(key=lambda e: (e[0], e[1]))
    tempos = [(0, 500000)]
    sigs = [(0, 4, 4)]
    notes = []
    last_tick = 0
    for tick, _, msg in events:
        if msg.type == "set_tempo":
            if tempos[-1][0] == tick:
                tempos[-1] = (tick, msg.tempo)
            else:
                tempos.append((tick, msg.tempo))
        elif msg.type == "time_signature":
            if sigs[-1][0] == tick:
                sigs[-1] = (tick, msg.numerator, msg.denominator)
            else:
                sigs.append((tick, msg.numerator, msg.denominator))
        elif msg.type == "note_on" and msg.velocity > 0:
            notes.append((tick, msg.channel, msg.note))
        if msg.type in ("note_on", "note_off"):
            last_tick = max(last_tick, tick)

    def seconds(tick):
        t, prev_tick, prev_tempo = 0.0, 0, tempos[0][1]
        for at, tempo in tempos:
            if at > tick:
                break
            t += (at - prev_tick) * prev_tempo / 1e6 / tpb
            prev_tick, prev_tempo = at, tempo
        return offset + t + (tick - prev_tick) * prev_tempo / 1e6 / tpb

    beats = [seconds(k * tpb) for k in range(last_tick // tpb + 1)]
    # Bars: from each time signature on, its bar length in ticks.
    bar_ticks = []
    for i, (at, num, den) in enumerate(sigs):
        end = sigs[i + 1][0] if i + 1 < len(sigs) else last_tick + 1
        length = max(1, num * tpb * 4 // den)
        k = at
        while k < end:
            bar_ticks.append((k, length))
            k += length
    contents = []
    j = 0
    notes.sort()
    sixteenth = tpb / 4.0
    for start, length in bar_ticks:
        s = set()
        while j < len(notes) and notes[j][0] < start + length:
            tick, ch, note = notes[j]
            if tick >= start:
                s.add((ch, note, round((tick - start) / sixteenth)))
            j += 1
        contents.append(frozenset(s))
    by_content = {}
    for i, c in enumerate(contents):
        if c:
            by_content.setdefault(c, []).append(i)
    recurs = []
    for i, c in enumerate(contents):
        recurs.append([k for k in by_content.get(c, []) if abs(k - i) >= MIN_RECUR_DISTANCE] if c else [])
    bar_times = [(seconds(s), seconds(s + n)) for s, n in bar_ticks]
    on_grid = sum(1 for tick, _, _ in notes if abs(tick / sixteenth - round(tick / sixteenth)) < 0.1)
    return Truth(beats, [b[0] for b in bar_times], recurs, bar_times, on_grid / max(1, len(notes)))


# --- the measures ------------------------------------------------------------------------------

def f_measure(ref, est, window=BEAT_WINDOW):
    if not ref or not est:
        return 0.0
    used = [False] * len(est)
    hits = 0
    j = 0
    for r in ref:
        while j < len(est) and est[j] < r - window:
            j += 1
        k = j
        while k < len(est) and est[k] <= r + window:
            if not used[k]:
                used[k] = True
                hits += 1
                break
            k += 1
    if hits == 0:
        return 0.0
    p, r = hits / len(est), hits / len(ref)
    return 2 * p * r / (p + r)


def near(times, t, window):
    return any(abs(x - t) <= window for x in times)


def recurring_share(truth, start, end):
    """The share of the bars wholly inside [start, end) that recur outside it; None without bars."""
    inside = [i for i, (a, b) in enumerate(truth.bar_times) if a >= start - 0.02 and b <= end + 0.02]
    if not inside:
        return None
    first, last = inside[0], inside[-1]
    held = sum(1 for i in inside if any(k < first or k > last for k in truth.recurs[i]))
    return held / len(inside)


def best_share(truth, length, song_end):
    best = 0.0
    for a, _ in truth.bar_times:
        if a + length > song_end:
            break
        share = recurring_share(truth, a, a + length)
        if share is not None:
            best = max(best, share)
    return best


def parse_tool(text):
    out, cur = {}, None
    for line in text.splitlines():
        key, _, rest = line.partition(" ")
        if key == "FILE":
            cur = {}
            out[rest] = cur
        elif key in ("BEATS", "BARS"):
            cur[key] = [float(x) for x in rest.split()]
        elif key == "PART":
            a, b, kind = rest.split()
            cur["PART"] = (float(a), float(b), kind)
        elif key == "LEVEL":
            cur["LEVEL"] = tuple(float(x) for x in rest.split())
        elif key == "GROUP":
            cur["GROUP"] = int(rest)
        elif key == "SECONDS":
            cur["SECONDS"] = float(rest)
        elif key == "ERROR":
            cur["ERROR"] = True
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(here, "..", "build", "normal"))
    ap.add_argument("--work", default=None, help="where the songs are rendered (kept between runs)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default=None, help="only the songs whose name holds this")
    args = ap.parse_args()
    work = args.work or os.path.join(args.build, "suggest_eval")
    os.makedirs(work, exist_ok=True)
    tool = os.path.join(args.build, "bench", "suggest_eval_tool")

    songs, skipped = [], 0
    for wad in WADS:
        lumps, mus = midi_lumps(wad)
        skipped += mus
        prefix = os.path.basename(wad).split(".")[0].replace("freedoom", "fd")
        for name, body in lumps:
            base = os.path.join(work, f"{prefix}_{name}")
            if not os.path.exists(base + ".mid"):
                with open(base + ".mid", "wb") as f:
                    f.write(body)
            songs.append(base)
    if args.only:
        songs = [s for s in songs if args.only in os.path.basename(s)]
    offset = fluidsynth_offset(work)
    print(f"# {len(songs)} MIDI songs, {skipped} MUS lumps skipped; FluidSynth sounds notes {offset * 1000:.1f} ms late")

    files = []
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        jobs = [pool.submit(render, s + ".mid", s + ".wav") for s in songs]
        for j in jobs:
            j.result()
        files = [s + ".wav" for s in songs]
        mp3s = [s + ".mp3" for i, s in enumerate(songs) if i % MP3_EVERY == 0]
        for j in [pool.submit(to_mp3, m[:-4] + ".wav", m) for m in mp3s]:
            j.result()
    files += mp3s

    chunks = [files[i::args.jobs] for i in range(args.jobs)]
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        outs = list(pool.map(lambda c: subprocess.run([tool] + c, check=True, capture_output=True, text=True,
                                                      env=dict(os.environ, SDL_AUDIODRIVER="dummy")).stdout,
                             [c for c in chunks if c]))
    found = {}
    for o in outs:
        found.update(parse_tool(o))

    print(f"{'song':<18} {'F(70ms)':>7} {'beats':>5} {'bar':>4} {'recur':>6} {'best':>5} {'dB':>6}  part")
    rows = []
    for path in files:
        name = os.path.basename(path)
        base = path.rsplit(".", 1)[0]
        got = found.get(path)
        if got is None or got.get("ERROR"):
            print(f"{name:<18} ERROR")
            continue
        truth = midi_truth(base + ".mid", offset)
        start, end, kind = got["PART"]
        f = f_measure(truth.beats, got["BEATS"])
        on_beats = near(truth.beats, start, EDGE_WINDOW) and near(truth.beats, end, EDGE_WINDOW)
        on_bar = near(truth.bars, start, EDGE_WINDOW)
        share = recurring_share(truth, start, end)
        best = best_share(truth, end - start, got["SECONDS"])
        share_ok = share is not None and (share >= 0.75 or share >= best - 0.10)
        level = got["LEVEL"][0] - got["LEVEL"][1]
        outro = got["SECONDS"] >= 60 and end > 0.9 * got["SECONDS"] + 0.06
        rows.append((name, f, on_beats, on_bar, share, best, share_ok, level, truth.gridded >= MIN_GRIDDED, outro))
        if got.get("GROUP", -1) >= 0:
            kind += f" (group {got['GROUP']})"
        s = "  -  " if share is None else f"{share * 100:5.0f}"
        print(f"{name:<18} {f:7.3f} {'yes' if on_beats else 'no':>5} {'yes' if on_bar else 'no':>4} {s:>6}"
              f" {best * 100:5.0f} {level:+6.1f}  {start:7.2f} {end:7.2f} {kind}{'' if share_ok else '  (repeat: no)'}{'  (outro)' if outro else ''}"
              f"{'' if truth.gridded >= MIN_GRIDDED else '  (no beat grid in the file)'}")

    def total(label, sel):
        n = len(sel)
        if n == 0:
            return
        mean_f = sum(r[1] for r in sel) / n
        print(f"# {label}: {n} songs; beat F-measure {mean_f:.3f} mean; start and end on a beat {sum(r[2] for r in sel)}/{n}"
              f" ({100 * sum(r[2] for r in sel) / n:.0f} %); start on a bar line {sum(r[3] for r in sel)}/{n}"
              f" ({100 * sum(r[3] for r in sel) / n:.0f} %); bars recurring (>= 75 % or within 10 points of the best)"
              f" {sum(r[6] for r in sel)}/{n} ({100 * sum(r[6] for r in sel) / n:.0f} %); ending in the song's last tenth {sum(r[9] for r in sel)}/{n};"
              f" level against the median {sum(r[7] for r in sel) / n:+.1f} dB mean, {min(r[7] for r in sel):+.1f} lowest")

    total("WAV", [r for r in rows if r[0].endswith(".wav")])
    total("WAV, songs whose notes lie on the file's beat grid", [r for r in rows if r[0].endswith(".wav") and r[8]])
    total("MP3", [r for r in rows if r[0].endswith(".mp3")])
    return 0


if __name__ == "__main__":
    sys.exit(main())
