#!/usr/bin/env python3
"""End to end: the real Wavelark program under Xvfb with trayer as the notification area, the
demo content server and live Icecast tone streams.  Which channel plays is told from the audio
captured to a WAV file (each mount carries its own tone), and cross-checked with the log.

Run one class:  python3 tests/e2e/test_tray.py -v PlayingFromTheTray
"""

import unittest

from harness import closed_port, dominant_tone, read_wav_header, tail
from program import PLAYING, STOPPING, STREAM_TITLE
from tray_case import EXIT_TIMEOUT, StackTestCase, TrayTestCase


class PlayingFromTheTray(StackTestCase):
    """Start-up, the tray menu and a second start, against a running demo stack."""

    def test_saved_channel_plays_at_start_with_the_icon_docked(self):
        by_number = self.channels
        first = by_number[1]
        cases = [
            # label, what channel.dat holds, the channel that must play (None: any offered one)
            ("mp3", b"package0\n" + by_number[16].name_bytes, by_number[16]),
            # Windows-1252 bytes in the name must match the catalogue byte for byte.
            ("ogg-cp1252", b"package0\n" + by_number[5].name_bytes, by_number[5]),
            # A name no longer in the catalogue plays the first channel of the list.
            ("unknown-name", b"package0\nRadio Nowhere 99.9", first),
            # A channel saved under a package that sorts after ours is not restored: random pick.
            ("later-package", b"package3\n" + by_number[16].name_bytes, None),
        ]
        self.assertIn(b"\xdf", by_number[5].name_bytes, "the Windows-1252 case needs a non-ASCII name")
        for label, saved, expected in cases:
            with self.subTest(label), self.step(f"start with channel.dat {saved!r}"):
                program = self.start_program(label, saved=saved)
                self.wait_icon(program)
                playing = self.wait_playing(program)
                if expected is None:
                    self.assertTrue(playing.offered, f"random start picked unoffered {playing}")
                    expected = playing
                self.assertEqual(playing, expected)
                self.assert_hears(program, expected)
                # The program starts silently: only the tray icon, no window.
                self.assertEqual(self.desktop.top_level_windows(pid=program.process.pid), [])
                self.assertEqual(len(program.matches(PLAYING)), 1, "more than one channel started")
                self.end_program(program)
                self.assertEqual(self.desktop.docked_icons(), [], "the icon outlived the program")

    def test_stream_title_reaches_the_log(self):
        channel = self.channels[2]
        with self.step("play an MP3 channel until its title arrives"):
            program = self.start_program("title", channel)
            self.wait_icon(program)
            self.assertEqual(self.wait_playing(program), channel)
            title = program.wait_log(STREAM_TITLE, 20, what="the stream title")
            self.assertEqual(title.group("title"), f"Tone {channel.freq_hz} Hz")
            self.assert_hears(program, channel)

    def test_without_saved_channel_nothing_plays_but_the_icon_shows(self):
        with self.step("start without channel.dat"):
            program = self.start_program("fresh")
            self.wait_icon(program)
        with self.step("stay silent"):
            self.assert_silent_for(program, 3.0)
            self.assertEqual(program.audio_bytes(), 0)
            self.assertEqual(program.matches(PLAYING), [])
            self.assertEqual(self.desktop.top_level_windows(pid=program.process.pid), [])
            self.assertTrue(program.running())
            self.assertFalse((program.folder / "channel.dat").exists())

    def test_random_channel_from_the_menu_plays_an_offered_channel(self):
        with self.step("start without channel.dat"):
            program = self.start_program("random")
            icon = self.wait_icon(program)
        with self.step("choose Random Channel from the tray menu (left click, keyboard)"):
            self.choose(program, icon, "Random Channel", by="keyboard", button=1)
            channel = self.wait_playing(program)
            self.assertTrue(channel.offered, f"{channel} is not offered by the package")
            self.assert_hears(program, channel)
        with self.step("the tray's random pick is not saved as the last channel"):
            self.assertFalse((program.folder / "channel.dat").exists())

    def test_stop_resume_stops_and_replays_the_same_channel(self):
        channel = self.channels[3]
        with self.step("start with a saved channel"):
            program = self.start_program("stop-resume", channel)
            icon = self.wait_icon(program)
            self.assertEqual(self.wait_playing(program), channel)
            self.assert_hears(program, channel)
        with self.step("Stop/Resume stops (right click, keyboard)"):
            self.choose(program, icon, "Stop/Resume", by="keyboard", button=3)
            program.wait_log(STOPPING, 10, what="the player to stop")
            self.wait_audio_settles(program)
            self.assert_silent_for(program, 1.5)
            header = read_wav_header(program.wav)
            self.assertGreater(header.data_bytes, 0, "the stopped capture was left unfinished")
        with self.step("Stop/Resume again resumes the same channel (by clicking the item)"):
            self.choose(program, icon, "Stop/Resume", by="mouse")
            self.assertEqual(self.wait_playing(program, count=2), channel)
            self.assert_hears(program, channel, starts=2)
            grown = program.audio_bytes()
            program.wait_audio(grown / (44100 * 4) + 0.5, 10)

    def test_exit_ends_the_program_and_removes_the_icon(self):
        channel = self.channels[6]
        with self.step("start playing"):
            program = self.start_program("exit", channel)
            icon = self.wait_icon(program)
            self.assert_hears(program, self.wait_playing(program))
        with self.step("choose Exit by clicking the item"):
            self.choose(program, icon, "Exit", by="mouse")
            code = program.process.wait(EXIT_TIMEOUT)
            self.assertEqual(code, 0)
            self.assertEqual(self.desktop.docked_icons(), [])
        with self.step("the capture was finished on the way out"):
            header = read_wav_header(program.wav)
            self.assertGreater(header.data_bytes, 44100 * 4 // 2, "the capture's length was not written")
            self.assertLessEqual(header.data_bytes, program.audio_bytes())

    def test_second_start_is_refused_and_the_first_keeps_playing(self):
        channel = self.channels[4]
        with self.step("first instance plays"):
            first = self.start_program("first", channel)
            self.wait_icon(first)
            self.assertEqual(self.wait_playing(first), channel)
            self.assert_hears(first, channel)
        with self.step("a second start shows its message"):
            # Same runtime folder, so the same instance lock.
            second = self.start_program("second", channel)
            dialog = self.wait_message_dialog(second, "Wavelark is already running")
            self.assertEqual(len(self.desktop.docked_icons()), 1, "the second start added an icon")
        with self.step("Return presses OK and the second process ends"):
            self.desktop.focus(dialog)
            self.desktop.keys("Return")
            self.assertEqual(second.process.wait(EXIT_TIMEOUT), 0)
            self.assertEqual(second.matches(PLAYING), [], "the second instance played")
            self.assertEqual(second.audio_bytes(), 0)
        with self.step("the first instance keeps playing the same channel"):
            self.assertTrue(first.running())
            before = first.audio_bytes()
            first.wait_audio(before / (44100 * 4) + 1.0, 10)
            self.assertEqual(dominant_tone(first.wav, self.tones).freq_hz, channel.freq_hz)
            self.assertEqual(len(first.matches(PLAYING)), 1)
            self.assertEqual(len(self.desktop.docked_icons()), 1)


class ContentServerDown(TrayTestCase):
    """A saved channel while nothing answers at the content server's address."""

    def test_message_then_the_program_keeps_running_and_exits(self):
        probe, port = closed_port()
        self.addCleanup(probe.close)
        with self.step("start with a saved channel and no content server"):
            program = self.start_program("down", self.channels[16],
                                         content_server=f"http://127.0.0.1:{port}/")
            dialog = self.wait_message_dialog(
                program, "We are unable to access Channel Information at this time")
            icon = self.wait_icon(program)
        with self.step("Return closes the message and the program stays"):
            self.desktop.focus(dialog)
            self.desktop.keys("Return")
            # The saved channel is still chosen; it just has no address to play.
            line = program.wait_log(PLAYING, 10, what="the attempt to play")
            self.assertEqual(line.group("name"), self.channels[16].name)
            self.assertEqual(line.group("url"), "")
            self.assert_silent_for(program, 1.5)
            self.assertTrue(program.running(), tail(program.log_path))
            self.assertEqual(self.desktop.top_level_windows(pid=program.process.pid), [])
            self.assertEqual(program.audio_bytes(), 0)
        with self.step("Exit from the tray menu still works"):
            self.choose(program, icon, "Exit", by="keyboard")
            self.assertEqual(program.process.wait(EXIT_TIMEOUT), 0)
            self.assertEqual(self.desktop.docked_icons(), [])


if __name__ == "__main__":
    unittest.main()
