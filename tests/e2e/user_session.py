#!/usr/bin/env python3
"""A user's session with the real tonewright program, driven through real X input events.

The program runs under an X server of its own (Xvfb, no window manager), with HOME set to a fresh
folder and a stand-in `xdg-open` first on its PATH that records what it is asked to open. xdotool
moves the pointer, clicks and types; the screen is read back with ImageMagick's `import`, and the
pixels of the waveform view are checked against the colours the view paints with. Every step's
screenshot is kept as a PNG in the artefact folder, which the script prints first.

Steps:
  1. start-up: the window appears, the view shows only its background, the output folder exists;
  2. open a generated 40 s MP3 with the Select button and Qt's own file dialog (path typed, Enter);
     the waveform fills the view, and the play marker advances at playing pace;
  3. a left and a right click on the view set the selection: exactly its columns turn navy, the
     start and end markers stand on its bounds;
  4. loop on, Stop (the marker goes to column 0), Play: the marker enters the selection, stays in
     it and jumps back from its end to its start;
  5. "Automatically open output folder" on, "Get Ringtong": the .m4r appears in the output folder
     under HOME; ffprobe finds AAC in MP4 lasting the selection's whole seconds; xdg-open was
     asked to open that folder;
  6. another client (tw_drag_source) drags a 10 s FLAC onto the input box (a real XDND drop): the
     program now holds that file instead of the MP3, the input box shows other text, and the
     view's first 500 columns carry the FLAC's steady levels while the columns beyond keep the
     MP3's bars (a scan overwrites the peaks only as far as the file reaches);
  7. the window is closed with WM_DELETE_WINDOW and the program exits with status 0.

Exit status 0 when every check holds; 1 with a message naming the failed check otherwise.
"""
import argparse
import ctypes
import ctypes.util
import json
import math
import os
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import zlib

TITLE = "Ombrix Tonewright"
CLIENT = (537, 469)
VIEW = (8, 70, 520, 148)      # the waveform view in the window: left, top, width, height
MID = VIEW[3] // 2            # the view's centre row, which the bars never paint
COLUMNS = 537                 # the peak buffers' length: the window's client width
SCREEN = (1024, 768)

# Controls, as client points (the centres of their rectangles).
SELECT_BUTTON = (492, 20)
INPUT_BOX = (258, 20)
INPUT_BOX_RECT = (68, 10, 380, 20)
PLAY_BUTTON = (27, 244)
STOP_BUTTON = (111, 244)
LOOP_CHECK = (16, 279)
AUTO_CHECK = (342, 456)
CONVERT_BUTTON = (390, 401)
CONVERT_RECT = (334, 379, 112, 44)

# The view's colours.
GREEN, RED, SKY, NAVY = (0, 255, 0), (255, 0, 0), (166, 202, 240), (0, 0, 128)
WHITE, CYAN, YELLOW = (255, 255, 255), (0, 255, 255), (255, 255, 0)
LEFT_BAR = {GREEN, SKY, NAVY}
RIGHT_BAR = {RED, SKY, NAVY}
MARKERS = {WHITE: "play", CYAN: "start", YELLOW: "end"}

BYTES_PER_SECOND = 44100 * 4  # the fixtures' format: 44100 Hz stereo, 16-bit samples


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(f"[{time.monotonic() - START:6.2f}s] {message}", flush=True)


START = time.monotonic()


def poll_quietly(timeout, probe, interval=0.1):
    """Calls probe() until it returns something true, which is returned; None after timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() <= deadline:
        value = probe()
        if value:
            return value
        time.sleep(interval)
    return None


def poll(what, timeout, probe, interval=0.1):
    """Calls probe() until it returns something true; that value is returned. Fails after timeout."""
    value = poll_quietly(timeout, probe, interval)
    if not value:
        raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
    return value


# --- Screenshots ------------------------------------------------------------------------------

class Shot:
    """One picture of the whole screen, RGB."""

    def __init__(self, width, height, data, taken):
        self.width, self.height, self.data, self.taken = width, height, data, taken

    def px(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def region(self, x, y, w, h):
        rows = []
        for yy in range(y, y + h):
            i = (yy * self.width + x) * 3
            rows.append(self.data[i:i + w * 3])
        return b"".join(rows)

    def save_png(self, path):
        raw = b"".join(b"\0" + self.data[y * self.width * 3:(y + 1) * self.width * 3]
                       for y in range(self.height))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))


def parse_ppm(blob):
    # P6 header: magic, width, height, maxval, each separated by white space (no comments here).
    fields, pos = [], 0
    while len(fields) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not blob[pos:pos + 1].isspace():
            pos += 1
        fields.append(blob[start:pos])
    pos += 1
    check(fields[0] == b"P6" and fields[3] == b"255", f"unexpected screenshot format {fields}")
    width, height = int(fields[1]), int(fields[2])
    data = blob[pos:pos + width * height * 3]
    check(len(data) == width * height * 3, "short screenshot")
    return width, height, data


# --- The view's pixels ------------------------------------------------------------------------

class ViewColumns:
    """What each of the view's 520 columns shows in one screenshot."""

    def __init__(self, shot, window):
        left, top = window[0] + VIEW[0], window[1] + VIEW[1]
        self.marker = []   # "play", "start", "end" or None: a full-height line in that colour
        self.left = []     # first channel's bar height (rows of bar colour up from the centre)
        self.right = []    # second channel's bar height (down from the centre)
        self.colours = []  # the set of bar colours in the column
        for c in range(VIEW[2]):
            column = [shot.px(left + c, top + y) for y in range(VIEW[3])]
            line = None
            for colour, name in MARKERS.items():
                if sum(1 for p in column if p == colour) >= VIEW[3] - 12:
                    line = name
            self.marker.append(line)
            h = 0
            while h < MID and column[MID - 1 - h] in LEFT_BAR:
                h += 1
            self.left.append(h)
            h = 0
            while MID + 1 + h < VIEW[3] and column[MID + 1 + h] in RIGHT_BAR:
                h += 1
            self.right.append(h)
            self.colours.append({p for p in column if p in LEFT_BAR | RIGHT_BAR})

    def marker_columns(self, name):
        return [c for c, m in enumerate(self.marker) if m == name]

    def play_column(self):
        cols = self.marker_columns("play")
        return cols[0] if len(cols) == 1 else None

    def filled(self, columns=None):
        """Columns (among `columns`, default all) without a marker line whose bars both show."""
        cols = range(VIEW[2]) if columns is None else columns
        return [c for c in cols if self.marker[c] is None and self.left[c] > 0 and self.right[c] > 0]

    def navy_columns(self):
        return [c for c in range(VIEW[2]) if self.marker[c] is None and NAVY in self.colours[c]]


# --- X helpers --------------------------------------------------------------------------------

def close_window(display, window):
    """Asks a window to close as a window manager would: a WM_DELETE_WINDOW client message."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]  # XEvent is 24 longs

    dpy = x11.XOpenDisplay(display.encode())
    check(dpy, f"cannot open display {display} to close the window")
    try:
        ev = ClientMessage()
        ev.type = 33  # ClientMessage
        ev.window = window
        ev.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        ev.format = 32
        ev.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        ev.data[1] = 0  # CurrentTime
        check(x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(ev)) != 0, "XSendEvent failed")
        x11.XFlush(dpy)
    finally:
        x11.XCloseDisplay(dpy)


class Session:
    def __init__(self, args):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix="tw_user_session_")
        self.home = os.path.join(self.tmp, "home")
        self.bin = os.path.join(self.tmp, "bin")
        self.xdg_log = os.path.join(self.tmp, "xdg-open.log")
        self.artifacts = args.artifacts
        self.procs = {}
        self.display = None
        self.window = None
        self.origin = None
        self.shot_count = 0

    # Processes. Each child gets a session of its own so that stopping it ends what it started.
    def spawn(self, name, argv, env=None, stdout=None, stderr=None, pass_fds=()):
        proc = subprocess.Popen(argv, env=env, stdout=stdout, stderr=stderr, pass_fds=pass_fds,
                                start_new_session=True)
        self.procs[name] = proc
        return proc

    def stop(self, name, grace=3.0):
        proc = self.procs.pop(name, None)
        if proc is None or proc.poll() is not None:
            return
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=grace)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()

    def cleanup(self):
        for name in ("drag", "program", "xvfb"):
            self.stop(name)
        if not self.args.keep:
            shutil.rmtree(self.tmp, ignore_errors=True)

    def start_x(self):
        # Under load a server has been seen to report its display and not take the program's
        # connection: the server must answer a client before the program starts, else it is
        # started once more. Its log goes to the artefacts.
        for attempt in (1, 2):
            self.launch_x(attempt)
            if poll_quietly(15, lambda: self.procs["xvfb"].poll() is not None or self.x_answers()):
                if self.procs["xvfb"].poll() is None:
                    log(f"Xvfb on display {self.display}")
                    return
            log(f"Xvfb on display {self.display} does not answer (attempt {attempt})")
            self.stop("xvfb")
        raise Failure("the X server does not answer (see xvfb-2.log)")

    def launch_x(self, attempt):
        read_end, write_end = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                            f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                   stdout=subprocess.DEVNULL,
                   stderr=open(os.path.join(self.artifacts, f"xvfb-{attempt}.log"), "wb"),
                   pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n"):
            check(time.monotonic() < deadline, "Xvfb did not report its display")
            part = os.read(read_end, 16)
            check(part, "Xvfb ended before reporting its display")
            number += part
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def x_answers(self):
        out = subprocess.run(["xdotool", "getdisplaygeometry"], env={**os.environ, "DISPLAY": self.display},
                             capture_output=True, timeout=20)
        return out.returncode == 0

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "QT_", "DBUS_", "WAYLAND_", "DESKTOP_", "KDE_", "GNOME_"))}
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update({
            "DISPLAY": self.display,
            "HOME": self.home,
            "PATH": self.bin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "XDG_RUNTIME_DIR": runtime,
            "QT_QPA_PLATFORM": "xcb",
            "SDL_AUDIODRIVER": "dummy",
            "LANG": "C.UTF-8",
        })
        if self.args.sanitizer == "address":
            supp = os.path.join(self.tmp, "lsan.supp")
            with open(supp, "w") as f:
                # Allocations that fontconfig and libdbus (which Qt starts without a session bus
                # here) keep for the process's lifetime. Leaks in our code and in Qt still count.
                f.write("leak:libfontconfig.so\nleak:libdbus-1.so\n")
            env["LSAN_OPTIONS"] = f"suppressions={supp}"
            env.setdefault("ASAN_OPTIONS", "detect_leaks=1")
        return env

    def xdo(self, *args):
        out = subprocess.run(["xdotool", *map(str, args)], env={**os.environ, "DISPLAY": self.display},
                             capture_output=True, text=True, timeout=20)
        return out.stdout

    def windows(self, pattern):
        return [int(w) for w in self.xdo("search", "--onlyvisible", "--name", pattern).split()]

    def geometry(self, window):
        out = self.xdo("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, point, button=1):
        x, y = self.origin[0] + point[0], self.origin[1] + point[1]
        self.xdo("mousemove", x, y, "click", button)

    def shot(self, name=None):
        taken = time.monotonic()
        out = subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8", "ppm:-"],
                             capture_output=True, timeout=20)
        check(out.returncode == 0, f"import failed: {out.stderr.decode(errors='replace')}")
        shot = Shot(*parse_ppm(out.stdout), taken)
        if name:
            self.keep(shot, name)
        return shot

    def keep(self, shot, name):
        """Saves a screenshot taken earlier as the next step's artefact."""
        self.shot_count += 1
        path = os.path.join(self.artifacts, f"{self.shot_count:02d}_{name}.png")
        shot.save_png(path)
        log(f"screenshot {path}")

    def view(self, shot):
        return ViewColumns(shot, self.origin)

    def look(self):
        """A screenshot and what the view shows in it."""
        shot = self.shot()
        return shot, self.view(shot)

    def open_files(self):
        """The regular files the program holds open."""
        proc = self.procs["program"]
        check(proc.poll() is None, f"the program has ended (status {proc.returncode})")
        fd_dir = f"/proc/{proc.pid}/fd"
        names = set()
        for fd in os.listdir(fd_dir):
            try:
                target = os.readlink(os.path.join(fd_dir, fd))
            except OSError:
                continue
            if target.startswith("/"):
                names.add(target)
        return names


# --- Fixtures and checks ----------------------------------------------------------------------

def ffprobe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format", "-show_streams", path],
                         capture_output=True, text=True, timeout=30)
    check(out.returncode == 0, f"ffprobe failed on {path}: {out.stderr}")
    return json.loads(out.stdout)


def channel_peaks(path):
    """The peak magnitude (0..1) of the first and second channel, from FFmpeg's astats."""
    out = subprocess.run(["ffmpeg", "-v", "info", "-nostats", "-i", path, "-af", "astats=measure_overall=none",
                          "-f", "null", "-"], capture_output=True, text=True, timeout=60)
    check(out.returncode == 0, f"ffmpeg astats failed on {path}")
    peaks, channel = {}, None
    for line in out.stderr.splitlines():
        if "Channel:" in line:
            channel = int(line.split("Channel:")[1])
        elif "Peak level dB:" in line and channel is not None:
            peaks[channel] = 10 ** (float(line.split("Peak level dB:")[1]) / 20)
    check(1 in peaks and 2 in peaks, f"no channel peaks from astats for {path}")
    return peaks[1], peaks[2]


def make_session_mp3(fixtures, folder):
    """A 40 s music-like MP3: the first 40 s of the generated song, its MP3 frames copied."""
    song = os.path.join(fixtures, "song.mp3")
    check(os.path.isfile(song), f"missing fixture {song} (run the fixtures test first)")
    out = os.path.join(folder, "session song.mp3")  # a space, as users' file names have
    run = subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", song, "-t", "40", "-c", "copy", out],
                         capture_output=True, text=True, timeout=60)
    check(run.returncode == 0, f"ffmpeg could not cut the song: {run.stderr}")
    info = ffprobe(out)
    stream = info["streams"][0]
    duration = float(info["format"]["duration"])
    check(stream["codec_name"] == "mp3" and int(stream["sample_rate"]) == 44100 and stream["channels"] == 2,
          f"unexpected session MP3: {stream}")
    check(abs(duration - 40) < 0.2, f"session MP3 lasts {duration} s")
    return out, duration


def column_for(seconds, bpp):
    """A view column whose byte position lies within about 0.04 s of `seconds`."""
    return int(round(seconds * BYTES_PER_SECOND / bpp))


# --- The session ------------------------------------------------------------------------------

def run(s):
    args = s.args
    os.makedirs(s.home)
    os.makedirs(s.bin)
    with open(os.path.join(s.bin, "xdg-open"), "w") as f:
        f.write(f"#!/bin/sh\n# Records what the program asks the desktop to open.\n"
                f"printf '%s\\n' \"$*\" >> '{s.xdg_log}'\n")
    os.chmod(os.path.join(s.bin, "xdg-open"), 0o755)
    mp3, mp3_seconds = make_session_mp3(args.fixtures, s.tmp)
    flac = os.path.join(args.fixtures, "ref.flac")
    check(os.path.isfile(flac), f"missing fixture {flac}")
    flac_info = ffprobe(flac)["streams"][0]
    check(int(flac_info["sample_rate"]) == 44100 and flac_info["channels"] == 2, "unexpected ref.flac")
    flac_seconds = float(flac_info["duration"])
    # The view's scale as the program derives it on opening: the length in bytes over the width.
    bpp = int(round(mp3_seconds * 44100)) * 4 // COLUMNS

    s.start_x()
    env = s.env()
    program_log = open(os.path.join(s.artifacts, "program.log"), "wb")
    s.spawn("program", [args.program], env=env, stdout=program_log, stderr=subprocess.STDOUT)

    # 1. Start-up.
    def main_window():
        if s.procs["program"].poll() is not None:
            with open(os.path.join(s.artifacts, "program.log"), errors="replace") as f:
                raise Failure(f"the program ended before its window showed:\n{f.read()}")
        return s.windows(f"^{TITLE}$")
    s.window = poll("the main window", 90, main_window)[0]
    geometry = s.geometry(s.window)
    check(geometry[2:] == CLIENT, f"window size {geometry[2:]}, expected {CLIENT}")
    s.origin = geometry[:2]
    log(f"window {s.window:#x} at {s.origin}")
    output_dir = os.path.join(s.home, "Documents", "OmbrixDVD", "Tonewright", "output")
    check(os.path.isdir(output_dir), f"start-up did not create {output_dir}")
    def painted():
        # The window's row through the input box is no longer the bare black screen.
        sh = s.shot()
        return any(sh.px(s.origin[0] + x, s.origin[1] + 20) != (0, 0, 0) for x in range(0, CLIENT[0], 7))

    poll("the window to be painted", 10, painted)
    shot = s.shot("started")
    v = s.view(shot)
    check(not v.filled() and not v.marker_columns("play"), "the view shows bars or a marker before any file")
    convert_before = shot.region(s.origin[0] + CONVERT_RECT[0], s.origin[1] + CONVERT_RECT[1], *CONVERT_RECT[2:])

    # 2. Open the MP3 through the Select button and Qt's file dialog.
    s.click(SELECT_BUTTON)
    dialog = poll("the open dialog", 10, lambda: s.windows("^Select a file to play"))[0]
    # Without a window manager Qt gives the new dialog the input focus itself.
    poll("the open dialog to take the keyboard focus", 5, lambda: s.xdo("getwindowfocus").strip() == str(dialog))
    s.xdo("type", "--delay", "8", mp3)
    s.shot("dialog_with_path")
    s.xdo("key", "Return")
    try:
        poll("the dialog to close", 3, lambda: not s.windows("^Select a file to play"))
    except Failure:
        # The completer's popup may have taken the first Return.
        s.xdo("key", "Return")
        poll("the dialog to close", 5, lambda: not s.windows("^Select a file to play"))
    poll("the program to open the MP3", 10, lambda: mp3 in s.open_files())

    def refreshed():
        sh, v = s.look()
        return (sh, v) if v.play_column() is not None else None

    first, v1 = poll("the view's first refresh", 10, refreshed)
    s.keep(first, "opened")
    log(f"first look: {len(v1.filled())} columns with bars, play marker at {v1.play_column()}")

    def filled_view():
        sh = s.shot()
        v = s.view(sh)
        return (sh, v) if len(v.filled()) >= 0.95 * (VIEW[2] - 3) and v.play_column() is not None else None

    time.sleep(1.0)  # the two looks at the view lie at least a second apart
    second, v2 = poll("the waveform to fill the view", 20, filled_view)
    s.keep(second, "waveform_filled")
    log(f"second look: {len(v2.filled())} columns with bars, play marker at {v2.play_column()}")
    # The file plays from its start at once: the marker advances at about real time.
    heard = (v2.play_column() - v1.play_column()) * bpp / BYTES_PER_SECOND
    elapsed = second.taken - first.taken
    check(0.5 * elapsed - 0.3 < heard < 1.5 * elapsed + 0.3,
          f"the play marker moved {heard:.2f} s of sound in {elapsed:.2f} s")
    # Columns up to the marker of the refresh before are sky blue; the last few may be in between.
    played = [c for c in v2.filled() if c < v2.play_column() - 3]
    ahead = [c for c in v2.filled() if c > v2.play_column()]
    check(played and all(SKY in v2.colours[c] for c in played), "columns before the play marker are not sky blue")
    check(ahead and all(v2.colours[c] <= {GREEN, RED} for c in ahead),
          "columns after the play marker are not green and red")
    heights = [v2.left[c] for c in v2.filled()]
    check(len(set(heights)) > 10 and max(heights) <= 60, f"the bars do not look like music: {sorted(set(heights))}")

    # 3. The selection: a left click sets the start, a right click the end.
    start_col = column_for(2.5, bpp)
    end_col = column_for(6.5, bpp)
    start_s = start_col * bpp // BYTES_PER_SECOND
    end_s = end_col * bpp // BYTES_PER_SECOND
    log(f"selection: columns {start_col}..{end_col}, whole seconds {start_s}..{end_s}")
    s.click((VIEW[0] + start_col, VIEW[1] + 30), 1)
    s.click((VIEW[0] + end_col, VIEW[1] + 30), 3)

    def selection_shown():
        sh = s.shot()
        v = s.view(sh)
        navy = v.navy_columns()
        return (sh, v) if navy and min(navy) <= start_col + 1 and max(navy) >= end_col - 1 else None

    shot, v = poll("the selection's shading", 10, selection_shown)
    s.keep(shot, "selection")
    navy = v.navy_columns()
    expected = [c for c in range(start_col, end_col + 1) if v.marker[c] is None]
    check(navy == expected, f"navy columns {navy[:3]}..{navy[-3:]}, expected {start_col}..{end_col}")
    for name, col in (("start", start_col), ("end", end_col)):
        check(col in v.marker_columns(name) or v.marker[col] == "play",
              f"no {name} marker at column {col}: {v.marker_columns(name)}")
    convert_after = shot.region(s.origin[0] + CONVERT_RECT[0], s.origin[1] + CONVERT_RECT[1], *CONVERT_RECT[2:])
    check(convert_after != convert_before, "the convert button looks the same after the selection")

    # 4. Loop the selection: Stop rewinds to the start of the file, Play runs into the selection.
    s.click(LOOP_CHECK)
    s.click(STOP_BUTTON)
    poll("the play marker at column 0 after Stop", 5, lambda: s.view(s.shot()).play_column() == 0)
    s.click(PLAY_BUTTON)
    inside, last, trace, after_wrap = False, None, [], 0
    # Time enough to play up to the selection's end, once more through the selection, and spare.
    to_end = end_col * bpp / BYTES_PER_SECOND
    one_pass = (end_col - start_col) * bpp / BYTES_PER_SECOND
    deadline = time.monotonic() + to_end + one_pass + 8
    loop_shot = None
    while after_wrap < 4:
        check(time.monotonic() < deadline, f"no loop seen; play marker columns {trace}")
        sh = s.shot()
        col = s.view(sh).play_column()
        if col is None:
            continue
        trace.append(col)
        if inside:
            check(start_col <= col <= end_col + 1,
                  f"the play marker left the looped selection {start_col}..{end_col}: {trace}")
            if loop_shot is None and col < last:
                loop_shot = sh
            elif loop_shot is not None:
                after_wrap += 1
        elif start_col <= col <= end_col:
            inside = True
        last = col
        time.sleep(0.15)
    log(f"play marker columns while looping: {trace}")
    s.keep(loop_shot, "looped_back")
    s.shot("looping")

    # 5. Convert, with the output folder opened afterwards.
    s.click(AUTO_CHECK)
    ringtone = os.path.join(output_dir, "Ombrix.m4r")
    check(not os.path.exists(ringtone) and not os.path.exists(s.xdg_log), "output before converting")
    s.click(CONVERT_BUTTON)
    def converted():
        # A failed conversion shows a message box titled "Error" instead of opening the folder.
        if s.windows("^Error$"):
            s.shot("conversion_error")
            raise Failure("the conversion showed an error message box")
        return os.path.exists(s.xdg_log)

    poll("xdg-open to be started after the conversion", 30, converted, 0.2)
    poll("the .m4r file", 5, lambda: os.path.isfile(ringtone) and os.path.getsize(ringtone) > 0)
    time.sleep(0.3)  # the progress gauge's last paint
    s.shot("converted")
    with open(s.xdg_log) as f:
        opened = [line.strip() for line in f if line.strip()]
    check(len(opened) == 1, f"xdg-open was started {len(opened)} times: {opened}")
    target = opened[0]
    if target.startswith("file://"):
        target = urllib.parse.unquote(urllib.parse.urlparse(target).path)
    check(os.path.realpath(target) == os.path.realpath(output_dir),
          f"xdg-open got {opened[0]!r}, expected the output folder {output_dir}")
    info = ffprobe(ringtone)
    audio = [st for st in info["streams"] if st["codec_type"] == "audio"]
    check(len(audio) == 1 and audio[0]["codec_name"] == "aac", f"the ringtone's streams: {info['streams']}")
    check("mp4" in info["format"]["format_name"] or "m4a" in info["format"]["format_name"],
          f"the ringtone's container: {info['format']['format_name']}")
    check(int(audio[0]["sample_rate"]) == 44100 and audio[0]["channels"] == 2, f"ringtone format {audio[0]}")
    duration = float(info["format"]["duration"])
    log(f"ringtone {ringtone}: aac, {duration:.3f} s (selection {start_s}..{end_s} s)")
    check(abs(duration - (end_s - start_s)) < 0.1,
          f"the ringtone lasts {duration:.3f} s, the selection's whole seconds are {end_s - start_s}")

    # 6. Drop the FLAC onto the input box from another client.
    before = s.shot()
    box_before = before.region(s.origin[0] + INPUT_BOX_RECT[0], s.origin[1] + INPUT_BOX_RECT[1], *INPUT_BOX_RECT[2:])
    v_before = s.view(before)
    drag_out = open(os.path.join(s.tmp, "drag.out"), "w+")
    s.spawn("drag", [args.drag_source, flac, "20", "20"], env=env, stdout=drag_out,
            stderr=open(os.path.join(s.artifacts, "drag_source.log"), "wb"))
    source = poll("the drag source's window", 10, lambda: s.windows("^tw drag source$"))[0]
    sx, sy, sw, sh_ = s.geometry(source)
    s.shot("drag_source_shown")
    target = (s.origin[0] + INPUT_BOX[0], s.origin[1] + INPUT_BOX[1])
    s.xdo("mousemove", sx + sw // 2, sy + sh_ // 2)
    time.sleep(0.2)
    s.xdo("mousedown", 1)
    steps = 8
    for i in range(1, steps + 1):
        time.sleep(0.1)  # each move lets the XDND position/status exchange run
        s.xdo("mousemove", sx + sw // 2 + (target[0] - sx - sw // 2) * i // steps,
              sy + sh_ // 2 + (target[1] - sy - sh_ // 2) * i // steps)
    time.sleep(0.3)
    s.xdo("mousemove", target[0] + 1, target[1])
    time.sleep(0.3)
    s.shot("dragging_over_input_box")
    s.xdo("mouseup", 1)

    def drag_result():
        drag_out.seek(0)
        return drag_out.read().strip()

    result = poll("the drag source's result", 10, drag_result)
    check(result in ("drag: copy", "drag: link"), f"the drop was not taken: {result!r}")
    files = poll("the program to open the dropped FLAC", 10, lambda: (lambda f: f if flac in f else None)(s.open_files()))
    check(mp3 not in files, "the MP3 is still open after the drop")
    reach = int(flac_seconds / 0.02)  # a 10 s file: one column per 0.02 s
    peak_l, peak_r = channel_peaks(flac)

    def flac_shown():
        sh = s.shot()
        v = s.view(sh)
        cols = [c for c in v.filled(range(5, reach - 5))]
        if len(cols) < 0.95 * (reach - 10):
            return None
        left = statistics.median(v.left[c] for c in cols)
        right = statistics.median(v.right[c] for c in cols)
        ok = 0.8 * 60 * peak_l <= left <= 60 * peak_l + 1 and 0.8 * 60 * peak_r <= right <= 60 * peak_r + 1
        return (sh, v, left, right) if ok else None

    shot, v, left, right = poll("the FLAC's waveform", 15, flac_shown)
    s.keep(shot, "dropped")
    log(f"dropped FLAC: median bar heights {left}/{right} (peaks {peak_l:.3f}/{peak_r:.3f}), reach {reach} columns")
    box_after = shot.region(s.origin[0] + INPUT_BOX_RECT[0], s.origin[1] + INPUT_BOX_RECT[1], *INPUT_BOX_RECT[2:])
    check(box_after != box_before, "the input box shows the same text after the drop")
    check(not v.navy_columns(), "the selection is still shaded after opening another file")
    # Beyond the FLAC's reach nothing of the MP3 is left: the columns there are empty.
    beyond = [c for c in range(reach + 3, VIEW[2]) if v.marker[c] is None and v_before.marker[c] is None]
    check(beyond and any(v_before.left[c] > 0 for c in beyond), "the MP3 did not reach beyond the FLAC")
    check(all(v.left[c] == 0 and v.right[c] == 0 for c in beyond),
          "the earlier file's bars stay beyond the dropped file's reach")
    check(statistics.pstdev(v.left[c] for c in range(10, reach - 10) if v.marker[c] is None) < 3,
          "the dropped file's bars are not the steady levels of the test tone")
    s.stop("drag")

    # 7. Close the window as a window manager would; the program ends cleanly.
    close_window(s.display, s.window)
    proc = s.procs["program"]
    try:
        code = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not exit after its window was closed")
    s.procs.pop("program")
    program_log.close()
    with open(os.path.join(s.artifacts, "program.log"), errors="replace") as f:
        text = f.read()
    check("Sanitizer" not in text, "the sanitizers reported a problem: see program.log")
    check(code == 0, f"the program exited with status {code}")
    log("the program exited with status 0")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--drag-source", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--sanitizer", default="")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    for name in ("program", "drag_source", "fixtures", "artifacts"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    for tool in ("Xvfb", "xdotool", "import", "ffprobe", "ffmpeg"):
        if not shutil.which(tool):
            print(f"missing tool {tool} (scripts/setup.sh installs it)", file=sys.stderr)
            return 1
    shutil.rmtree(args.artifacts, ignore_errors=True)
    os.makedirs(args.artifacts)
    print(f"artefacts: {args.artifacts}", flush=True)
    s = Session(args)
    try:
        run(s)
    except Failure as e:
        try:
            if s.display and "xvfb" in s.procs:
                s.shot("failure")
        except Failure:
            pass
        print(f"FAILED: {e}", file=sys.stderr, flush=True)
        return 1
    finally:
        s.cleanup()
    print(f"user session passed in {time.monotonic() - START:.1f} s", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
