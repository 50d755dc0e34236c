#!/usr/bin/env python3
"""End to end: the radio window of the real Wavelark program worked as a screen reader and a
keyboard-only user work it, under Xvfb with trayer, against the demo stack.

ScreenReader reads the window over AT-SPI (python3-pyatspi; the program's accessibility bridge
on a private session bus, which starts the accessibility bus itself), acts through the actions
and values it offers there, and checks the program followed: the sound, the desktop bus, the
files.  KeyboardOnly opens the window from the desktop bus and does everything else with keys
sent by xdotool: no mouse event at all.

Run one class:  python3 tests/e2e/test_access.py -v ScreenReader
"""

import os
import re
import time
import unittest
import warnings
from pathlib import Path

from desktop import Desktop
from harness import StepFailed, dominant_tone, tail, wait_for
from program import PLAYING, Program, working_folder
from test_window import (BORDER, COUNTRY_LIST, DEFAULT_SETTINGS, HIDE, WindowTestCase,
                         centred_window)
from tray_case import AUDIO_TIMEOUT, MENU_TIMEOUT, START_TIMEOUT

MPRIS_NAME = "org.mpris.MediaPlayer2.wavelark"
MPRIS_PATH = "/org/mpris/MediaPlayer2"
PUSH_BUTTONS = ["Shopping...", "Random Channel", "Contact us", "Website", "Help", "About us",
                "Upgrade...", "Watch TV", "Hide", "Exit"]
OPTIONS = ["Random Selection every start", "Keep selected Channel"]
GROUPS = ["Selection", "Channel Selection", "Controls"]
LABELS = ["Wavelark Plus", "Select country", "Select Channel", "Volume"]


class BusDesktop(Desktop):
    """Xvfb and trayer, with a session bus of the standard session configuration: a program
    that asks for the accessibility bus gets it started from there."""

    def __init__(self, world):
        super().__init__(world)
        self.bus_address = None

    def env(self):
        env = super().env()
        if self.bus_address:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        return env

    def start(self):
        bus, line = self.world.spawn_for_line(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
            "dbus-daemon.log", 15)
        if not line or not line.startswith("unix:"):
            raise StepFailed("the session bus did not start:\n" + tail(bus.log_path))
        self.bus_address = line.strip()
        return super().start()

    def mpris(self, method, *args):
        return self.run(["gdbus", "call", "--session", "--timeout", "10", "--dest", MPRIS_NAME,
                         "--object-path", MPRIS_PATH, "--method", method, *args], timeout=15)

    def mpris_volume(self):
        reply = self.mpris("org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player",
                           "Volume")
        match = re.search(r"<([0-9.]+)>", reply)
        return float(match.group(1)) if match else None


class AccessTestCase(WindowTestCase):
    desktop_class = BusDesktop

    def start_program(self, label, channel=None, saved=None, content_server=None):
        """Starts the program as TrayTestCase does, with its accessibility bridge always on."""
        folder = working_folder(self.world.root / f"{label}-work", channel)
        if saved is not None:
            (folder / "channel.dat").write_bytes(saved)
        # The tone is told at volumes down to 23: the levelling would lower it further still.
        (folder / "wavelark.ini").write_bytes(b"[Playback]\nEvenLoudness=false\n")
        return Program(self.world, self.desktop, folder, content_server or self.content_server,
                       label, env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}).start()

    def open_by_bus(self, program):
        """Opens the window through the desktop bus's Raise, as a media key or applet would;
        gives it the input focus a window manager would give it."""
        wait_for(lambda: MPRIS_NAME in self.desktop.run(
            ["gdbus", "call", "--session", "--timeout", "5", "--dest", "org.freedesktop.DBus",
             "--object-path", "/org/freedesktop/DBus", "--method",
             "org.freedesktop.DBus.ListNames"], timeout=10), START_TIMEOUT,
            what="the program on the session bus")
        self.desktop.mpris("org.mpris.MediaPlayer2.Raise")
        return self.opened(program)

    def wait_silence(self, program):
        def silent():
            program.wait_audio(program.audio_bytes() / (44100 * 4) + 0.6, AUDIO_TIMEOUT)
            return dominant_tone(program.wav, self.tones).freq_hz == 0

        wait_for(silent, AUDIO_TIMEOUT, interval=0.1, what="silence")

    def wait_tone(self, program, channel):
        def sounds():
            program.wait_audio(program.audio_bytes() / (44100 * 4) + 0.6, AUDIO_TIMEOUT)
            return dominant_tone(program.wav, self.tones).freq_hz == channel.freq_hz

        wait_for(sounds, AUDIO_TIMEOUT, interval=0.1, what=f"the tone of {channel.name}")


# --- AT-SPI ----------------------------------------------------------------------------------------

class ScreenReaderView:
    """The program as a screen reader sees it over AT-SPI, and the events it hears."""

    def __init__(self, bus_address):
        # libatspi finds the accessibility bus through the session bus named here; it keeps its
        # connection for the life of this process, so one process reads one desktop.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus_address
        os.environ.pop("DISPLAY", None)
        # Debian's pyatspi calls libatspi functions that newer releases mark deprecated.
        warnings.filterwarnings("ignore", category=DeprecationWarning)
        warnings.filterwarnings("ignore", category=ImportWarning)
        import pyatspi  # noqa: E402: needs the bus address first
        from gi.repository import GLib
        self.pyatspi = pyatspi
        self.context = GLib.MainContext.default()
        self.events = []
        pyatspi.Registry.registerEventListener(
            self._heard, "object:state-changed:checked", "object:property-change:accessible-value",
            "object:value-changed")

    def _heard(self, event):
        try:
            self.events.append((event.type, event.source.name, event.detail1))
        except Exception:  # a source already gone: nothing to read
            pass

    def pump(self, seconds=0.0):
        deadline = time.monotonic() + seconds
        while True:
            while self.context.iteration(False):
                pass
            if time.monotonic() >= deadline:
                return
            time.sleep(0.02)

    def wait(self, predicate, timeout, what):
        def pumped():
            self.pump()
            return predicate()

        return wait_for(pumped, timeout, what=what)

    def application(self, pid):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                continue
        return None

    def window(self, pid):
        """The program's radio window: the one with a check box named Mute."""
        return self.window_with(pid, "check box", "Mute")

    def window_with(self, pid, role, name):
        """The program's shown window that holds a control of `role` named `name`."""
        app = self.application(pid)
        if app is None:
            return None
        for window in app:
            if window is None or "showing" not in self.states(window):
                continue
            if self.find(window, role, name, depth=4):
                return window
        return None

    def walk(self, node, depth=6):
        """Every object below `node` down to `depth` levels, tree and list items included."""
        found = []
        for child in node:
            if child is None:
                continue
            found.append(child)
            if depth > 1:
                found.extend(self.walk(child, depth - 1))
        return found

    def find(self, node, role, name=None, depth=6):
        for child in self.walk(node, depth):
            if child.getRoleName() == role and (name is None or child.name == name):
                return child
        return None

    def states(self, node):
        state = node.getState()
        names = {"checked": self.pyatspi.STATE_CHECKED, "enabled": self.pyatspi.STATE_ENABLED,
                 "focusable": self.pyatspi.STATE_FOCUSABLE, "focused": self.pyatspi.STATE_FOCUSED,
                 "showing": self.pyatspi.STATE_SHOWING}
        return {name for name, value in names.items() if state.contains(value)}

    def do(self, node, action_name):
        action = node.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if action_name not in names:
            raise StepFailed(f"{node.getRoleName()} {node.name!r} offers {names}, not {action_name}")
        action.doAction(names.index(action_name))


class ScreenReader(AccessTestCase):
    """Every control of the radio window read, ticked and moved over AT-SPI."""

    def test_read_tick_mute_and_set_the_volume(self):
        start = self.channels[16]
        home = self.categories[start.number]
        with self.step("start playing a saved channel"):
            program = self.start_program("reader", start)
            self.wait_icon(program)
            self.assertEqual(self.wait_playing(program), start)
            self.assert_hears(program, start)
            self.wait_file(program.folder / "setting.dat", DEFAULT_SETTINGS)
            reader = ScreenReaderView(self.desktop.bus_address)

        with self.step("open the window and find it over AT-SPI"):
            self.open_by_bus(program)
            window = reader.wait(lambda: reader.window(program.process.pid), START_TIMEOUT,
                                 "the radio window over AT-SPI")
            # Controls kept only for the settings file are there, hidden: a screen reader
            # passes over what is not showing.
            controls = [n for n in reader.walk(window, depth=4)
                        if "showing" in reader.states(n)]
            by_role = {}
            for node in controls:
                by_role.setdefault(node.getRoleName(), []).append(node)
            names = {role: [n.name for n in nodes] for role, nodes in by_role.items()}

        with self.step("every control with its role, name and state"):
            for name in PUSH_BUTTONS:
                self.assertIn(name, names.get("push button", []), names)
            self.assertEqual(sorted(names.get("check box", [])), ["Mute", "Non-stop"], names)
            self.assertEqual(sorted(names.get("radio button", [])), sorted(OPTIONS), names)
            self.assertEqual(names.get("slider"), ["Volume"], names)
            self.assertEqual(names.get("tree"), ["Channels"], names)
            # The country list, and the play time's two lists.
            self.assertEqual(len(names.get("combo box", [])), 3, names)
            self.assertIn("Wavelark", names.get("image", []), names)
            for label in LABELS:
                self.assertIn(label, names.get("label", []), names)
            groups = [n for role, found in names.items() if role in ("panel", "grouping")
                      for n in found]
            for group in GROUPS:
                self.assertIn(group, groups, names)
            for node in by_role["push button"] + by_role["check box"] + by_role["radio button"] \
                    + by_role["slider"] + by_role["combo box"] + by_role["tree"]:
                if node.name == "Download latest version":
                    continue
                # The play time's lists are greyed while "Non-stop" is ticked.
                if node.getRoleName() == "combo box" and "enabled" not in reader.states(node):
                    self.assertTrue({"focusable", "showing"} <= reader.states(node))
                    continue
                self.assertTrue({"enabled", "focusable", "showing"} <= reader.states(node),
                                f"{node.getRoleName()} {node.name!r}: {reader.states(node)}")
            mute = next(n for n in by_role["check box"] if n.name == "Mute")
            self.assertNotIn("checked", reader.states(mute))
            checked = [n.name for n in by_role["radio button"] if "checked" in reader.states(n)]
            self.assertEqual(checked, ["Keep selected Channel"])
            # The tree's current item says it is focused too, inside its tree. The window
            # takes the input focus a moment after the display gave it.
            focused = reader.wait(lambda: [n for n in controls if "focused" in reader.states(n)
                                           and n.getRoleName() != "table cell"],
                                  MENU_TIMEOUT, "a focused control")
            self.assertEqual([n.getRoleName() for n in focused], ["combo box"])
            self.assertEqual(focused[0].name, home, "the list names the country it shows")
            slider = by_role["slider"][0]
            value = slider.queryValue()
            self.assertEqual((value.currentValue, value.minimumValue, value.maximumValue),
                             (50, 0, 100))

        with self.step("the tree's channels and the country list's entries are readable"):
            items = [n.name for n in reader.walk(by_role["tree"][0], depth=3)
                     if n.getRoleName() in ("tree item", "table cell", "list item")]
            for channel in self.channels_of(home):
                self.assertIn(channel.name, items)
            entries = [n.name for n in reader.walk(by_role["combo box"][0], depth=3)
                       if n.getRoleName() == "list item"]
            self.assertEqual(entries, self.countries())

        with self.step("tick Mute through its action: the box says so and the sound stops"):
            reader.events.clear()
            reader.do(mute, "Toggle")
            reader.wait(lambda: "checked" in reader.states(mute), MENU_TIMEOUT, "Mute ticked")
            self.wait_silence(program)
            reader.wait(lambda: ("object:state-changed:checked", "Mute", 1) in reader.events,
                        MENU_TIMEOUT, "the tick announced")

        with self.step("set the volume through its value: the player follows, Mute goes"):
            value.currentValue = 23
            wait_for(lambda: self.desktop.mpris_volume() == 0.23, MENU_TIMEOUT,
                     what="the desktop bus's volume at 0.23")
            reader.wait(lambda: "checked" not in reader.states(mute), MENU_TIMEOUT,
                        "Mute unticked by the move")
            self.wait_tone(program, start)
            reader.wait(lambda: any(kind.startswith(("object:property-change:accessible-value",
                                                     "object:value-changed"))
                                    and name == "Volume" for kind, name, _ in reader.events),
                        MENU_TIMEOUT, "the move announced")

        with self.step("About us opens the About window, read and closed over AT-SPI"):
            reader.do(next(n for n in by_role["push button"] if n.name == "About us"), "Press")
            about = reader.wait(lambda: reader.window_with(program.process.pid, "push button",
                                                           "Close"), MENU_TIMEOUT,
                                "the About window over AT-SPI")
            shown = [(n.getRoleName(), n.name) for n in reader.walk(about, depth=4)
                     if "showing" in reader.states(n)]
            for expected in [("label", "Wavelark Plus"), ("image", "Wavelark"),
                             ("label", "Internet radio from the notification area"),
                             ("label", "Version 3.0"), ("push button", "Close")]:
                self.assertIn(expected, shown)
            reader.do(reader.find(about, "push button", "Close"), "Press")
            reader.wait(lambda: not reader.window_with(program.process.pid, "push button",
                                                       "Close"), MENU_TIMEOUT,
                        "the About window to close")

        with self.step("press Hide through its action: the window goes, the volume is stored"):
            reader.do(next(n for n in by_role["push button"] if n.name == "Hide"), "Press")
            self.wait_closed(program)
            self.wait_file(program.folder / "setting.dat", b"1\n1\n0\n0\n23")
            self.assertTrue(program.running())
        self.end_program(program)


class KeyboardOnly(AccessTestCase):
    """From opening the window to a channel playing and the window hidden, by keys alone.
    With WAVELARK_E2E_SHOTS set to a folder, the window with its focus mark is saved there."""

    def focus_mark_on(self, window, rect):
        """Whether a row near the top of the control at `rect` (a push button, the closed
        country list) is the focus mark's edge: dark and light pixel by pixel along it."""
        left, top, width, _ = rect
        pixels = self.desktop.pixels(window)
        for y in range(BORDER + top + 1, BORDER + top + 7):
            row = [sum(pixels[y][BORDER + x]) < 150 for x in range(left + 4, left + width - 4)]
            alternating = sum(1 for a, b in zip(row, row[1:]) if a != b)
            if sum(row) >= len(row) // 2 - 2 and alternating >= len(row) - 6:
                return True
        return False

    def test_choose_a_channel_and_hide_with_keys(self):
        start = self.channels[16]
        home = self.categories[start.number]
        with self.step("start playing a saved channel"):
            program = self.start_program("keys", start)
            self.wait_icon(program)
            self.assertEqual(self.wait_playing(program), start)

        with self.step("open the window from the desktop bus; Escape and Alt leave it open"):
            window = self.open_by_bus(program)
            # The first key the window gets shows the focus mark on the country list: Escape
            # again until it does (the window may take the input focus a moment after X gave it).
            for _ in range(20):
                self.desktop.keys("Escape")
                if self.focus_mark_on(window, COUNTRY_LIST):
                    break
            else:
                raise StepFailed("Escape never reached the window (no focus mark on the list)")
            self.desktop.keys("alt", "Escape")
            self.station_window(program, centred_window())

        with self.step("Tab to the tree, Down starts the next channel, Enter starts it again"):
            # Past the search field, which stays empty.
            self.desktop.keys("Tab", "Tab", "Down")
            moved = self.wait_playing(program, count=2)
            self.assertNotEqual(moved, start)
            self.assertEqual(self.categories[moved.number], home)
            self.assert_hears(program, moved, starts=2, fresh=True)
            self.desktop.keys("Return")
            self.assertEqual(self.wait_playing(program, count=3), moved)

        with self.step("Shift+Tab back round to Hide; the focus mark is on it"):
            # The search field, the country list, then round the ring: Non-stop (its lists are
            # greyed while it is ticked), Exit, Hide.
            self.desktop.keys(*["shift+Tab"] * 5)
            wait_for(lambda: self.focus_mark_on(window, HIDE), MENU_TIMEOUT,
                     what="the dotted focus mark inside Hide")
            shots = os.environ.get("WAVELARK_E2E_SHOTS")
            if shots:
                Path(shots).mkdir(parents=True, exist_ok=True)
                self.desktop.run(["import", "-window", "root", "-crop",
                                  f"{window.width}x{window.height}+{window.x}+{window.y}",
                                  "+repage", str(Path(shots) / "focus-on-hide.png")], timeout=20)

        with self.step("Space presses Hide: the window goes, the channel plays on"):
            self.desktop.keys("space")
            self.wait_closed(program)
            self.wait_file(program.folder / "channel.dat", b"package0\n" + moved.name_bytes)
            self.assertTrue(program.running())
            self.assertEqual(len(program.matches(PLAYING)), 3)
        self.end_program(program)


if __name__ == "__main__":
    unittest.main()
