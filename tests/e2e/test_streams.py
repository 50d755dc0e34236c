#!/usr/bin/env python3
"""End to end: streams that keep playing.  The real program under Xvfb with the demo stack; the
demo stack's restartable mount is stopped and started again mid-play, and the audio must come
back without anyone touching the program.  The other stream formats of the demo (Opus, AAC,
HLS, a playlist with a dead first entry) play from a saved channel with their own tones.

Run one class:  python3 tests/e2e/test_streams.py -v StreamsKeepPlaying
"""

import re
import signal
import time
import unittest

from harness import wait_for
from tray_case import StackTestCase

RECONNECTING = re.compile(r"^wavelark\.stream: the stream (?P<what>ended|failed|stalled) ")
PLAYING_AGAIN = re.compile(r"^wavelark\.stream: playing again: (?P<url>\S+)")


class StreamsKeepPlaying(StackTestCase):
    wait_all_mounts = True  # test_every_stream_format_plays_its_tone plays the HLS channel

    def stack_says(self, text, timeout=30, times=1):
        """Waits until the demo stack's log holds `text` at least `times` times (the stack lives
        for the whole class, so an earlier test may have said it already)."""
        log = self.stack_world.root / "demo-stack.log"
        wait_for(lambda: log.read_text(errors="replace").count(text) >= times, timeout,
                 what=f"the demo stack to say {text!r}")

    def stack_count(self, text):
        return (self.stack_world.root / "demo-stack.log").read_text(errors="replace").count(text)

    def toggle_restart_mount(self, to_state):
        """Stops or starts the restartable mount and waits until the stack says it did."""
        text = "/restart.mp3 stopped" if to_state == "stopped" else "/restart.mp3 is back"
        before = self.stack_count(text)
        self.stack.process.send_signal(signal.SIGUSR1)
        self.stack_says(text, times=before + 1)

    def channel_on(self, mount):
        return next(c for c in self.channels.values() if c.mount == mount)

    def test_a_mount_stopped_and_restarted_mid_play_comes_back_by_itself(self):
        channel = self.channel_on("/restart.mp3")
        with self.step("play the restartable mount's channel"):
            program = self.start_program("restart", channel)
            self.wait_icon(program)
            self.assert_hears(program, channel, fresh=True)
        with self.step("stop the mount: the program notices and keeps trying, silently"):
            self.toggle_restart_mount("stopped")
            program.wait_log(RECONNECTING, 20, what="the program to notice the lost stream")
            self.wait_audio_settles(program)
            self.assertEqual(self.desktop.top_level_windows(pid=program.process.pid), [],
                             "a window or message box appeared")
            time.sleep(3)
        with self.step("start the mount again: audio resumes without the user"):
            self.toggle_restart_mount("back")
            again = program.wait_log(PLAYING_AGAIN, 40, what="the program to play again")
            self.assertTrue(again.group("url").endswith(channel.mount))
            self.assert_hears(program, channel, starts=2, fresh=True)
            self.assertTrue(program.running())
            self.assertEqual(self.desktop.top_level_windows(pid=program.process.pid), [])
        with self.step("the program still ends cleanly"):
            self.end_program(program)

    def test_terminated_while_reconnecting_ends_cleanly(self):
        channel = self.channel_on("/restart.mp3")
        with self.step("play the restartable mount's channel"):
            program = self.start_program("terminate", channel)
            self.wait_icon(program)
            self.assert_hears(program, channel, fresh=True)
        self.toggle_restart_mount("stopped")
        try:
            with self.step("SIGTERM while the lost stream is being reconnected: status 0"):
                program.wait_log(RECONNECTING, 20, what="the program to notice the lost stream")
                # Under the sanitizers a report ends the program with another status.
                self.end_program(program)
        finally:
            self.toggle_restart_mount("back")

    def test_every_stream_format_plays_its_tone(self):
        for mount in ("/tone1730.opus", "/tone1870.aac", "/hls/tone2010.m3u8",
                      "/playlists/tone890.pls"):
            channel = self.channel_on(mount)
            with self.subTest(mount), self.step(f"play channel {channel.number} ({mount})"):
                program = self.start_program(f"format-{channel.number}", channel)
                self.wait_icon(program)
                self.assert_hears(program, channel, fresh=True)
                self.end_program(program)
                wait_for(lambda: not self.desktop.docked_icons(), 10, what="the icon to go")


if __name__ == "__main__":
    unittest.main()
