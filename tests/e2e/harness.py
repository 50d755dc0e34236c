"""A private world for driving the real Wavelark program as a user would.

Everything a test starts runs in its own process group and carries a marker in its environment,
so the test can stop it, and prove afterwards that nothing it started is still alive, even when
a step failed half-way.  Every wait here is bounded.
"""

import array
import math
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import uuid
from dataclasses import dataclass
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("WAVELARK_SOURCE_DIR") or Path(__file__).resolve().parents[2])
BUILD_DIR = Path(os.environ.get("WAVELARK_BUILD_DIR") or SOURCE_DIR / "build")
PROGRAM = BUILD_DIR / "wavelark"
ARCHIVE = BUILD_DIR / "Interface" / "radio.int"

MARKER_VARIABLE = "WAVELARK_E2E_MARK"
WAV_HEADER_BYTES = 44

# The tray menu, top to bottom: its items, and its rows with None for each separator.
MENU_ROWS = ["Open", "Random Channel", "Stop/Resume", None, "Record", None, "Sleep timer",
             "Recent titles", None, "Title notifications", "Even loudness", None, "About us",
             "Exit"]
MENU_ITEMS = [row for row in MENU_ROWS if row is not None]
# A separator's height against an item's, as Qt's Fusion style draws the menu (2 and 22 pixels).
MENU_SEPARATOR_SHARE = 2 / 22


def menu_row_centre(item, height):
    """The y offset of `item`'s middle in a tray menu `height` pixels high."""
    weights = [MENU_SEPARATOR_SHARE if row is None else 1.0 for row in MENU_ROWS]
    index = MENU_ROWS.index(item)
    return int(height * (sum(weights[:index]) + weights[index] / 2) / sum(weights))


class StepFailed(AssertionError):
    pass


def wait_for(predicate, timeout, interval=0.05, what="condition"):
    """Polls `predicate` until it returns something truthy; returns that, or raises after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise StepFailed(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


# --- the demo channels ---------------------------------------------------------------------------

@dataclass(frozen=True)
class Channel:
    number: int  # 1-based, as on the content server
    name: str  # as the program shows it (the archive's bytes decoded as Windows-1252)
    name_bytes: bytes  # as stored in channel.dat
    mount: str
    freq_hz: int
    offered: bool


def read_streams_table():
    """demo/streams.tsv as {channel number: row}; only the numbered channels."""
    rows = {}
    lines = (SOURCE_DIR / "demo" / "streams.tsv").read_text(encoding="utf-8").splitlines()
    for line in lines[1:]:
        fields = line.split("\t")
        if len(fields) >= 6 and fields[0].isdigit():
            rows[int(fields[0])] = {"mount": fields[2], "freq": int(fields[4]), "offered": fields[5] == "1"}
    return rows


def read_channels():
    """The catalogue's channels joined with the demo streams, by channel number.

    The names come from the program's own archive through the archive tool, so the tests use
    exactly the bytes the program reads."""
    out = subprocess.run([str(BUILD_DIR / "wavelark-pack"), "channels", str(ARCHIVE)],
                         capture_output=True, timeout=30, check=True).stdout
    streams = read_streams_table()
    channels = {}
    for line in out.splitlines():
        fields = line.split(b"\t")
        if len(fields) < 4 or not fields[0].isdigit():
            continue
        number = int(fields[0]) + 1
        if number in streams:
            row = streams[number]
            # The tool prints UTF-8; the demo catalogue and the program's files are Windows-1252.
            name = fields[3].decode("utf-8")
            channels[number] = Channel(number, name, name.encode("cp1252"), row["mount"],
                                       row["freq"], row["offered"])
    return channels


def tone_frequencies():
    return sorted({row["freq"] for row in read_streams_table().values()})


# --- audio -----------------------------------------------------------------------------------------

def capture_sink(wav_path, lead_buffers=None):
    """A WAVELARK_AUDIO_SINK description that writes what would be heard into `wav_path`, paced
    in real time by a synchronised fake sink (a bare file sink would drain a stream at full speed).

    The file runs up to a second ahead of the paced sink; with `lead_buffers` it runs at most that
    many buffers ahead, so the moment audio reaches the file tells when it is heard, and a pause
    in playing shows as a pause in writing."""
    paced, writing = "queue", ""
    if lead_buffers is not None:
        paced = f"queue max-size-buffers={int(lead_buffers)} max-size-bytes=0 max-size-time=0"
        writing = "buffer-mode=unbuffered "  # else the file grows in 64 KiB steps
    return (f"tee name=t ! {paced} ! fakesink sync=true "
            "t. ! queue ! audioconvert ! audio/x-raw,format=S16LE ! wavenc ! "
            f"filesink sync=false {writing}location={wav_path}")


def wav_audio_bytes(path):
    """Bytes of audio after the header; 0 while the file does not exist yet."""
    try:
        return max(0, os.path.getsize(path) - WAV_HEADER_BYTES)
    except OSError:
        return 0


def _wav_format(header):
    channels, rate, bits = 2, 44100, 16
    if len(header) >= WAV_HEADER_BYTES and header[:4] == b"RIFF" and header[8:12] == b"WAVE":
        channels = int.from_bytes(header[22:24], "little") or channels
        rate = int.from_bytes(header[24:28], "little") or rate
        bits = int.from_bytes(header[34:36], "little") or bits
    return channels, rate, bits


@dataclass
class WavHeader:
    riff_bytes: int  # the RIFF chunk's size field: file size - 8 once finished
    data_bytes: int  # the data chunk's size field: 0 (or a placeholder) until finished


def read_wav_header(path):
    with open(path, "rb") as wav:
        header = wav.read(WAV_HEADER_BYTES)
    if len(header) < WAV_HEADER_BYTES or header[:4] != b"RIFF" or header[36:40] != b"data":
        raise StepFailed(f"{path} has no WAV header")
    return WavHeader(int.from_bytes(header[4:8], "little"), int.from_bytes(header[40:44], "little"))


def read_tail_samples(path, seconds=0.5):
    """The first channel's samples of the last `seconds` of a WAV file that may still be written
    (its size fields unfinished), and the sample rate.  Empty when there is not enough audio."""
    with open(path, "rb") as wav:
        header = wav.read(WAV_HEADER_BYTES)
        channels, rate, bits = _wav_format(header)
        if bits != 16:
            raise StepFailed(f"{path}: expected 16-bit samples, found {bits}")
        frame = 2 * channels
        audio = wav_audio_bytes(path) // frame * frame
        wanted = int(rate * seconds) * frame
        if audio < wanted:
            return array.array("h"), rate
        wav.seek(WAV_HEADER_BYTES + audio - wanted)
        data = wav.read(wanted)
    samples = array.array("h")
    samples.frombytes(data[: len(data) // frame * frame])
    if sys.byteorder != "little":
        samples.byteswap()
    return samples[::channels], rate


def goertzel_power(samples, rate, freq):
    coefficient = 2.0 * math.cos(2.0 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coefficient * s1 - s2, s1
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2


@dataclass
class Tone:
    freq_hz: int  # the strongest of the candidate tones, 0 for silence
    purity: float  # share of the signal's power in that tone (1.0 for a clean sine)
    rms: float


def dominant_tone(path, candidates, seconds=0.5):
    """Which candidate tone dominates the last `seconds` of the WAV file."""
    samples, rate = read_tail_samples(path, seconds)
    if not samples:
        return Tone(0, 0.0, 0.0)
    energy = sum(float(x) * x for x in samples)
    rms = math.sqrt(energy / len(samples))
    if rms < 100:  # about -50 dBFS: nothing is playing
        return Tone(0, 0.0, rms)
    best = max(candidates, key=lambda f: goertzel_power(samples, rate, f))
    # A sine of amplitude A gives |X|^2 = (A N / 2)^2 and energy A^2 N / 2.
    purity = 2.0 * goertzel_power(samples, rate, best) / (len(samples) * energy)
    return Tone(best, purity, rms)


# --- processes -------------------------------------------------------------------------------------

# What a started program inherits from the shell that runs the tests; everything else (a
# desktop's session bus, proxy settings, Qt message patterns, GStreamer paths, the display)
# could change what it does, so it is left out and set explicitly where a test needs it.
INHERITED_VARIABLES = {"PATH", "HOME", "USER", "LOGNAME", "LANG", "LANGUAGE", "TZ", "TMPDIR",
                       "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                       "WAVELARK_BUILD_DIR", "WAVELARK_SOURCE_DIR"}


def clean_environment():
    """The parts of this process's environment that a started program may see."""
    return {name: value for name, value in os.environ.items()
            if name in INHERITED_VARIABLES or name.startswith("LC_")}


def _process_exists(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as stat:
            return stat.read().rsplit(b")", 1)[1].split()[0] != b"Z"
    except (OSError, IndexError):
        return False


def marked_processes(mark):
    """(pid, command) of every live process whose environment carries `mark`."""
    needle = f"{MARKER_VARIABLE}={mark}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if needle not in environ.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                command = cmdline.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        if _process_exists(int(entry)):
            found.append((int(entry), command))
    return found


class World:
    """A temporary folder and the processes started in it; `close()` ends them all."""

    def __init__(self, label):
        self.root = Path(tempfile.mkdtemp(prefix=f"wavelark-e2e-{label}-"))
        self.mark = uuid.uuid4().hex
        self._processes = []
        self.keep_files = False

    def environment(self, extra=None):
        env = clean_environment()
        env[MARKER_VARIABLE] = self.mark
        env.update(extra or {})
        return env

    def spawn(self, argv, log_name, cwd=None, env=None, stdout=None, pass_fds=()):
        """Starts `argv` in a new process group; stderr (and stdout unless given) into a log."""
        log = open(self.root / log_name, "ab")
        try:
            process = subprocess.Popen(argv, cwd=cwd or self.root, env=self.environment(env),
                                       stdin=subprocess.DEVNULL,
                                       stdout=stdout if stdout is not None else log, stderr=log,
                                       start_new_session=True, pass_fds=pass_fds)
        finally:
            log.close()
        process.log_path = self.root / log_name
        self._processes.append(process)
        return process

    def spawn_for_line(self, argv, log_name, timeout, env=None):
        """Starts `argv` as `spawn` does, with its output on a pipe, and waits for the first line
        it prints (its address, or that it is ready).  Returns the process and the line, which is
        None when none came in `timeout` or the process ended first."""
        read_end, write_end = os.pipe()
        try:
            process = self.spawn(argv, log_name, env=env, stdout=write_end)
        finally:
            os.close(write_end)
        try:
            return process, read_line(read_end, timeout, lambda: process.poll() is None)
        finally:
            os.close(read_end)

    @staticmethod
    def stop(process, sig=signal.SIGTERM, timeout=10.0):
        """Signals the process group and waits; kills the group when it does not end in time."""
        if process.poll() is None:
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                pass
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                pass
        # Helpers left behind in the group go too, even when the leader ended by itself.
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            pass
        return process.returncode

    def close(self):
        """Stops everything, newest first, then anything else that carries this world's marker.
        Returns what was still alive at the end (should be nothing)."""
        for process in reversed(self._processes):
            self.stop(process)
        stragglers = []
        deadline = time.monotonic() + 10
        while True:
            stragglers = marked_processes(self.mark)
            if not stragglers or time.monotonic() >= deadline:
                break
            for pid, _ in stragglers:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.1)
        if not self.keep_files:
            shutil.rmtree(self.root, ignore_errors=True)
        return stragglers


# --- the demo back end -----------------------------------------------------------------------------

class DemoStack:
    """scripts/demo-stack on free ports: Icecast with the tone mounts and the content server."""

    def __init__(self, world, wait_all=False):
        self.world = world
        self.wait_all = wait_all
        self.process = None
        self.content_server = None

    def start(self, timeout=60.0):
        argv = [str(SOURCE_DIR / "scripts" / "demo-stack"), "--content-port", "0", "--icecast-port", "0"]
        if self.wait_all:
            # Ready only once the HLS stream is playable too, a few seconds after the rest.
            argv.append("--wait-all")
        self.process, line = self.world.spawn_for_line(argv, "demo-stack.log", timeout,
                                                       env={"WAVELARK_BUILD_DIR": str(BUILD_DIR)})
        match = re.match(r"WAVELARK_CONTENT_SERVER=(\S+)", line or "")
        if not match:
            raise StepFailed("the demo stack did not report ready:\n" + tail(self.process.log_path))
        self.content_server = match.group(1)
        return self.content_server

    def running(self):
        return self.process is not None and self.process.poll() is None


def read_line(fd, timeout, still_alive):
    """One line from `fd` within `timeout`, or None."""
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data:
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not still_alive():
            return None
        ready, _, _ = select.select([fd], [], [], min(remaining, 0.2))
        if ready:
            chunk = os.read(fd, 4096)
            if not chunk:
                return None
            data += chunk
    return data.split(b"\n", 1)[0].decode(errors="replace")


def tail(path, lines=40):
    try:
        text = Path(path).read_text(errors="replace").splitlines()
    except OSError:
        return f"({path} is missing)"
    return "\n".join(text[-lines:])


def closed_port():
    """A socket bound to a port on 127.0.0.1 that never listens, and its port: connections are
    refused at once, and no other process can take the port while the socket stays open."""
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    return probe, probe.getsockname()[1]
