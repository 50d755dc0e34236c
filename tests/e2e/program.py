"""The real Wavelark program in a private working folder, and what it says in its log."""

import os
import re
import shutil
from pathlib import Path

from harness import ARCHIVE, PROGRAM, capture_sink, wait_for, wav_audio_bytes

# "wavelark.playback: playing Route 9 Roadhouse from http://127.0.0.1:PORT/tone1310.mp3"
PLAYING = re.compile(r"^wavelark\.playback: playing (?P<name>.*) from (?P<url>\S*)\s*$")
FIRST_AUDIO = re.compile(r"^wavelark\.player: first audio buffer: (?P<ms>\d+) ms after put_URL")
# The title is quoted (and escaped) in the log: "Tone 440 Hz".
STREAM_TITLE = re.compile(r'^wavelark\.player: stream title: "(?P<title>.*)"\s*$')
STOPPING = re.compile(r"^wavelark\.player: stopping playback")


def working_folder(root, channel=None):
    """A working folder with the interface archive and, for a channel, a saved channel.dat."""
    folder = Path(root)
    (folder / "Interface").mkdir(parents=True, exist_ok=True)
    shutil.copyfile(ARCHIVE, folder / "Interface" / "radio.int")
    if channel is not None:
        (folder / "channel.dat").write_bytes(b"package0\n" + channel.name_bytes)
    return folder


class Program:
    """One run of build/wavelark on the given desktop."""

    def __init__(self, world, desktop, folder, content_server, label="wavelark", sink=None,
                 env=None):
        self.world = world
        self.extra_env = dict(env or {})
        self.desktop = desktop
        self.folder = Path(folder)
        self.content_server = content_server
        self.label = label
        self.wav = self.world.root / f"{label}.wav"
        self.sink = sink or capture_sink(self.wav)  # must write into self.wav
        self.runtime_dir = self.world.root / "runtime"
        self.process = None

    def start(self):
        # The single-instance lock lives in XDG_RUNTIME_DIR: a private one keeps it private.
        self.runtime_dir.mkdir(mode=0o700, exist_ok=True)
        os.chmod(self.runtime_dir, 0o700)
        env = dict(self.desktop.env())
        env.update({
            "XDG_RUNTIME_DIR": str(self.runtime_dir),
            "WAVELARK_CONTENT_SERVER": self.content_server,
            "WAVELARK_AUDIO_SINK": self.sink,
            "QT_LOGGING_RULES": "wavelark.*=true",
            "QT_QPA_PLATFORM": "xcb",
        })
        env.update(self.extra_env)
        self.process = self.world.spawn([str(PROGRAM)], f"{self.label}.log", cwd=self.folder, env=env)
        return self

    @property
    def log_path(self):
        return self.world.root / f"{self.label}.log"

    def log_lines(self):
        try:
            return self.log_path.read_text(encoding="utf-8", errors="replace").splitlines()
        except OSError:
            return []

    def matches(self, pattern):
        return [m for m in (pattern.match(line) for line in self.log_lines()) if m]

    def wait_log(self, pattern, timeout, count=1, what=None):
        """Waits until the log holds `count` lines matching `pattern`; returns the last match."""
        found = wait_for(lambda: len(self.matches(pattern)) >= count and self.matches(pattern),
                         timeout, what=what or f"log line {pattern.pattern!r} x{count}")
        return found[count - 1]

    def running(self):
        return self.process is not None and self.process.poll() is None

    def audio_bytes(self):
        return wav_audio_bytes(self.wav)

    def wait_audio(self, at_least_seconds, timeout):
        """Waits until the capture holds at least `at_least_seconds` of audio (44.1 kHz stereo)."""
        wanted = int(at_least_seconds * 44100) * 4
        wait_for(lambda: self.audio_bytes() >= wanted, timeout,
                 what=f"{at_least_seconds} s of audio in {self.wav.name}")
