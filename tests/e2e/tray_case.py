"""The base of the tray tests: a private desktop per test, a user's hands on it, and a report
with a screenshot and the logs whenever a step fails."""

import contextlib
import re
import sys
import time
import unittest

from desktop import SCREEN, Desktop
from harness import (MENU_ITEMS, DemoStack, menu_row_centre, World, dominant_tone, read_channels, tail,
                     tone_frequencies, wait_for)
from program import FIRST_AUDIO, PLAYING, Program, working_folder

# Bounds of the waits below: generous, since two test programs may share two cores.
START_TIMEOUT = 30
AUDIO_TIMEOUT = 20
MENU_TIMEOUT = 10
EXIT_TIMEOUT = 15


class TrayTestCase(unittest.TestCase):
    """Each test gets its own Xvfb, tray host, runtime folder and working folders."""

    content_server = None  # set by subclasses that run the demo stack
    desktop_class = Desktop  # the notification area the program runs in

    @classmethod
    def setUpClass(cls):
        cls.channels = read_channels()
        cls.tones = tone_frequencies()

    def setUp(self):
        self.world = World(self.id().rsplit(".", 1)[-1][:32])
        self.addCleanup(self._close_world)
        self.desktop = self.desktop_class(self.world)
        with self.step("starting Xvfb and the tray host"):
            self.desktop.start()

    def _close_world(self):
        stragglers = self.world.close()
        self.assertEqual(stragglers, [], "processes started by the test outlived it")

    @contextlib.contextmanager
    def step(self, what):
        """Runs one user-visible step; on failure saves a screenshot and prints every log."""
        try:
            yield
        except Exception:
            self.world.keep_files = True
            slug = re.sub(r"[^a-z0-9]+", "-", what.lower()).strip("-")[:60]
            shot = (self.desktop.screenshot(self.world.root / f"failed-{slug}.png")
                    if self.desktop.display else "(no display yet)")
            report = [f"\nSTEP FAILED: {what}", f"screenshot: {shot}",
                      f"files kept in {self.world.root}"]
            for log in sorted(self.world.root.glob("*.log")):
                report.append(f"--- {log.name} (last lines) ---\n{tail(log)}")
            print("\n".join(report), file=sys.stderr, flush=True)
            raise

    # --- the program -------------------------------------------------------------------------------

    def start_program(self, label, channel=None, saved=None, content_server=None,
                      even_loudness=True):
        """Starts the program in a fresh working folder holding `channel` (or the raw bytes
        `saved`) as channel.dat, or no channel.dat at all; `even_loudness` False turns the
        levelling off, for a test that measures what the volume alone does."""
        folder = working_folder(self.world.root / f"{label}-work", channel)
        if saved is not None:
            (folder / "channel.dat").write_bytes(saved)
        if not even_loudness:
            (folder / "wavelark.ini").write_bytes(b"[Playback]\nEvenLoudness=false\n")
        return Program(self.world, self.desktop, folder, content_server or self.content_server,
                       label).start()

    def wait_icon(self, program):
        """Waits until exactly one icon has docked in the tray; returns it."""
        icons = wait_for(lambda: self.desktop.docked_icons() or not program.running(),
                         START_TIMEOUT, what="the tray icon to dock")
        self.assertTrue(program.running(), f"the program ended (exit code {program.process.returncode})")
        self.assertEqual(len(icons), 1, f"expected one docked icon, found {icons}")
        return icons[0]

    def open_menu(self, program, icon, button=1):
        """Clicks the tray icon; returns the menu window that opens at the cursor."""
        x, y = icon.centre()
        self.desktop.click(x, y, button)
        menus = wait_for(lambda: self.desktop.top_level_windows(pid=program.process.pid),
                         MENU_TIMEOUT, what="the tray menu to open")
        self.assertEqual(len(menus), 1, f"expected one menu window, found {menus}")
        menu = menus[0]
        # The menu opens at the cursor (shifted only to stay on the screen), so it covers it.
        self.assertTrue(menu.x - 4 <= x <= menu.x + menu.width + 4
                        and menu.y - 4 <= y <= menu.y + menu.height + 4,
                        f"menu {menu} is not at the cursor {x},{y}")
        return menu

    def choose(self, program, icon, item, by="keyboard", button=1):
        """Opens the tray menu and chooses `item`, with the keyboard or by clicking it."""
        menu = self.open_menu(program, icon, button)
        index = MENU_ITEMS.index(item)
        if by == "keyboard":
            self.desktop.keys(*(["Down"] * (index + 1)), "Return")
        else:
            # The items share the menu's height, the separators a sliver of it.
            row = menu.y + menu_row_centre(item, menu.height)
            self.desktop.click(menu.x + menu.width // 2, row, 1)
        wait_for(lambda: not self.desktop.top_level_windows(pid=program.process.pid),
                 MENU_TIMEOUT, what="the menu to close")

    # --- what is heard and logged ------------------------------------------------------------------

    def channel_named(self, name):
        matches = [c for c in self.channels.values() if c.name == name]
        self.assertTrue(matches, f"the log names a channel that is not in the catalogue: {name!r}")
        return matches[0]

    def wait_playing(self, program, count=1):
        """Waits for the program's `count`-th "playing" line; returns (channel, address)."""
        line = program.wait_log(PLAYING, AUDIO_TIMEOUT, count, what=f"'playing' log line #{count}")
        channel = self.channel_named(line.group("name"))
        self.assertTrue(line.group("url").endswith(channel.mount),
                        f"{channel.name} should play {channel.mount}, the log says {line.group('url')}")
        return channel

    def assert_hears(self, program, channel, starts=1, fresh=False):
        """The capture's last half second carries `channel`'s tone, after the `starts`-th start.
        With `fresh`, a second of audio newer than that start is awaited: the capture of a
        stream started again already holds the old stream's audio."""
        program.wait_log(FIRST_AUDIO, AUDIO_TIMEOUT, starts, what=f"first audio buffer #{starts}")
        if fresh:
            grown = program.audio_bytes() + 44100 * 4
            wait_for(lambda: program.audio_bytes() >= grown, AUDIO_TIMEOUT,
                     what="a second of audio")
        else:
            program.wait_audio(1.0, AUDIO_TIMEOUT)
        tone = dominant_tone(program.wav, self.tones)
        self.assertEqual(tone.freq_hz, channel.freq_hz,
                         f"expected the {channel.freq_hz} Hz tone of {channel.name} (channel "
                         f"{channel.number}), heard {tone}")
        self.assertGreater(tone.purity, 0.9, f"the tone is not clean: {tone}")

    def wait_audio_settles(self, program, quiet=0.5, timeout=10):
        """Waits until the capture stops growing for `quiet` seconds (a stopping player may
        still drain what its sink holds)."""
        last = [program.audio_bytes(), time.monotonic()]

        def settled():
            size = program.audio_bytes()
            if size != last[0]:
                last[:] = [size, time.monotonic()]
            return time.monotonic() - last[1] >= quiet

        wait_for(settled, timeout, what="the audio to stop")

    def assert_silent_for(self, program, seconds):
        """Nothing reaches the capture for `seconds` (the size may stay where it stopped)."""
        before = program.audio_bytes()
        time.sleep(seconds)
        self.assertEqual(program.audio_bytes(), before, "audio kept arriving")

    def end_program(self, program):
        """SIGTERM ends the program the way Exit does; it must finish cleanly."""
        code = self.world.stop(program.process, timeout=EXIT_TIMEOUT)
        self.assertEqual(code, 0, f"{program.label} ended with {code}\n{tail(program.log_path)}")

    def wait_message_dialog(self, program, text):
        """Waits for the program's message dialog: a skinned, centred box, 357 x 70 dialog units
        (about 535 x 114 pixels at 96 DPI), showing `text` above an OK button.  Without reading
        the glyphs, the text is told by its drawn width: between 4.5 and 9 pixels a character
        in the dialog font, so the program's two messages cannot be mistaken for each other."""
        dialogs = wait_for(lambda: self.desktop.top_level_windows(pid=program.process.pid),
                           START_TIMEOUT, what="the message dialog")
        self.assertEqual(len(dialogs), 1, f"expected one dialog, found {dialogs}")
        dialog = dialogs[0]
        self.assertAlmostEqual(dialog.width, 535, delta=12, msg=f"not the message dialog: {dialog}")
        self.assertAlmostEqual(dialog.height, 114, delta=12, msg=f"not the message dialog: {dialog}")
        screen_w, screen_h = SCREEN
        self.assertAlmostEqual(dialog.x + dialog.width / 2, screen_w / 2, delta=2, msg="not centred")
        self.assertAlmostEqual(dialog.y + dialog.height / 2, screen_h / 2, delta=2, msg="not centred")
        # The toolkit paints the window in pieces: read the screen until it looks finished.
        deadline = time.monotonic() + 5
        while True:
            problem = self._message_dialog_problem(dialog, text)
            if problem is None or time.monotonic() >= deadline:
                break
            time.sleep(0.2)
        self.assertIsNone(problem)
        self.desktop.screenshot(self.world.root / f"{program.label}-message.png")
        return dialog

    def _message_dialog_problem(self, dialog, text):
        """What is wrong with the dialog's pixels, or None."""
        pixels = self.desktop.pixels(dialog)
        left = pixels[dialog.height // 4][3]
        if not all(abs(c - 240) <= 12 for c in left):
            return f"the skin gradient should start at light grey on the left, found {left}"
        # The text sits between 20 and 49 dialog units from the top, above the OK button.
        text_rows = pixels[dialog.height * 28 // 100: dialog.height * 70 // 100]
        dark_columns = [x for x in range(2, dialog.width - 2)
                        if any(sum(row[x]) < 200 for row in text_rows)]
        if not dark_columns:
            return "the dialog shows no text"
        drawn = dark_columns[-1] - dark_columns[0] + 1
        if not 4.5 * len(text) <= drawn <= 9 * len(text):
            return f"the text drawn is {drawn} px wide, not {text!r} ({len(text)} characters)"
        if abs((dark_columns[0] + dark_columns[-1]) / 2 - dialog.width / 2) > 12:
            return "the text is not centred"
        return None


class StackTestCase(TrayTestCase):
    """A TrayTestCase whose tests share one demo stack, started for the class."""

    wait_all_mounts = False  # True in a class that plays the HLS stream

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.stack_world = World("stack")
        cls.stack = DemoStack(cls.stack_world, wait_all=cls.wait_all_mounts)
        try:
            cls.content_server = cls.stack.start()
        except Exception:
            print(tail(cls.stack_world.root / "demo-stack.log"))
            cls.stack_world.close()
            raise

    @classmethod
    def tearDownClass(cls):
        stragglers = cls.stack_world.close()
        if stragglers:
            raise AssertionError(f"demo stack processes outlived the tests: {stragglers}")

    def setUp(self):
        self.assertTrue(self.stack.running(), "the demo stack has stopped:\n"
                        + tail(self.stack_world.root / "demo-stack.log"))
        super().setUp()
