#!/usr/bin/env python3
"""End to end: the real Wavelark program under Xvfb with a StatusNotifierItem host as the
notification area (gtk-sni-tray-standalone and its watcher, on a private session bus), against
the demo content server and its Icecast tone streams.

Qt shows the tray icon this way whenever a status-notifier host is on the session bus, as on
GNOME, KDE Plasma and the Wayland bars.  The test does what such a host does: it finds the item
through the watcher, reads its tool tip, reads its menu over com.canonical.dbusmenu and reports
clicks on it, and activates the item.  What the program does in answer is read from the screen,
the captured audio and the log.

Run one class:  python3 tests/e2e/test_status_notifier.py -v StatusNotifierTray
"""

import unittest

from harness import MENU_ITEMS, wait_for
from program import PLAYING, STOPPING, STREAM_TITLE
from status_notifier import BAR_HEIGHT, StatusNotifierDesktop
from test_window import HIDE, WindowTestCase
from tray_case import AUDIO_TIMEOUT, EXIT_TIMEOUT, MENU_TIMEOUT, START_TIMEOUT

# The about dialog: 230 x 171 dialog units, about 345 x 278 pixels at 96 DPI.
ABOUT_SIZE = (345, 278)


class StatusNotifierTray(WindowTestCase):
    """The tray icon as a StatusNotifierItem, driven over D-Bus as a host drives it."""

    desktop_class = StatusNotifierDesktop

    def wait_item(self, program):
        """Waits until the program's one item is registered with the watcher and the host has
        drawn it in its bar; returns the item."""
        items = wait_for(lambda: self.desktop.items_of(program.process.pid) or not program.running(),
                         START_TIMEOUT, what="the item to register with the watcher")
        self.assertTrue(program.running(), f"the program ended (exit code {program.process.returncode})")
        self.assertEqual(len(items), 1, f"expected one item of the program, found {items}")
        item = items[0]
        wait_for(lambda: self.desktop.host_holds(item), START_TIMEOUT, what="the host to take the item")
        wait_for(lambda: self.desktop.bar_icon_pixels() >= 100, START_TIMEOUT,
                 what="the host to draw the icon")
        return item

    def wait_tool_tip(self, item, lines, timeout=AUDIO_TIMEOUT):
        try:
            wait_for(lambda: item.tool_tip_lines() == lines, timeout, what=f"the tool tip {lines}")
        except AssertionError as error:
            raise AssertionError(f"{error}; it is {item.tool_tip_lines()}") from None

    def assert_item_gone(self, item):
        """The item left the watcher and the host's bar."""
        wait_for(lambda: (item.name, item.path) not in self.desktop.registered_items(), MENU_TIMEOUT,
                 what="the item to leave the watcher")
        wait_for(lambda: self.desktop.host_let_go(item), MENU_TIMEOUT, what="the host to drop the item")
        wait_for(lambda: self.desktop.bar_icon_pixels() == 0, MENU_TIMEOUT,
                 what="the icon to leave the bar")

    def only_window(self, program):
        windows = self.desktop.top_level_windows(pid=program.process.pid)
        self.assertEqual(len(windows), 1, f"expected one window of the program, found {windows}")
        return windows[0]

    def stacking(self):
        """Ids of the top-level windows, top-most first (as xwininfo lists them)."""
        return [w.wid for w in self.desktop.windows() if w.depth == 0]

    def test_the_host_shows_the_item_its_tool_tip_and_its_menu(self):
        channel = self.channels[2]
        with self.step("start playing an MP3 channel"):
            self.assertEqual(self.desktop.bar_icon_pixels(), 0, "the bar shows an icon already")
            program = self.start_program("shown", channel)
            item = self.wait_item(program)
            self.assertEqual(self.wait_playing(program), channel)
            self.assert_hears(program, channel)
        with self.step("the item offers its menu and takes activations"):
            self.assertEqual(item.property("Status"), "Active")
            self.assertEqual(item.menu_path(), "/MenuBar", "the item exports no menu")
            self.assertFalse(item.property("ItemIsMenu"), "hosts would not activate the item")
        with self.step("the tool tip names the channel, then the stream's title"):
            program.wait_log(STREAM_TITLE, 20, what="the stream title")
            self.wait_tool_tip(item, ["Wavelark", channel.name, f"Tone {channel.freq_hz} Hz"])
        with self.step("the host's own menu, opened with a right click, runs Stop/Resume"):
            x, y = self.desktop.bar_icon()
            self.desktop.click(x, y, 3)
            menu = wait_for(lambda: [w for w in self.desktop.host_popups()
                                     if w.height >= 5 * 18 and w.y >= BAR_HEIGHT - 2],
                            MENU_TIMEOUT, what="the host's menu")
            self.assertEqual(len(menu), 1, f"expected one menu of the host, found {menu}")
            index = MENU_ITEMS.index("Stop/Resume")
            self.desktop.keys(*(["Down"] * (index + 1)), "Return")
            program.wait_log(STOPPING, 10, what="the player to stop")
            self.wait_tool_tip(item, ["Wavelark", channel.name, "stopped"], MENU_TIMEOUT)
            self.wait_audio_settles(program)
        with self.step("a left click on the icon in the host's bar opens the radio window"):
            self.desktop.click(x, y, 1)
            self.opened(program)
        with self.step("the item goes with the program"):
            self.end_program(program)
            self.assert_item_gone(item)

    def test_menu_commands_reported_by_the_host(self):
        channel = self.channels[3]
        with self.step("start playing a saved channel"):
            program = self.start_program("menu", channel)
            item = self.wait_item(program)
            self.assertEqual(self.wait_playing(program), channel)
            self.assert_hears(program, channel)
        with self.step("the menu has the tray's items, in order"):
            self.assertEqual([label for _, label in item.menu()], MENU_ITEMS)
        with self.step("Stop/Resume stops, and the tool tip says so"):
            item.click("Stop/Resume")
            program.wait_log(STOPPING, 10, what="the player to stop")
            self.wait_audio_settles(program)
            self.assert_silent_for(program, 1.0)
            self.wait_tool_tip(item, ["Wavelark", channel.name, "stopped"], MENU_TIMEOUT)
        with self.step("Stop/Resume again resumes the same channel"):
            item.click("Stop/Resume")
            self.assertEqual(self.wait_playing(program, count=2), channel)
            self.assert_hears(program, channel, starts=2, fresh=True)
            wait_for(lambda: item.tool_tip_lines()[:2] == ["Wavelark", channel.name]
                     and "stopped" not in item.tool_tip_lines(), MENU_TIMEOUT,
                     what="the tool tip to leave 'stopped'")
        with self.step("Random Channel plays an offered channel"):
            item.click("Random Channel")
            picked = self.wait_playing(program, count=3)
            self.assertTrue(picked.offered, f"{picked} is not offered by the package")
            self.assert_hears(program, picked, starts=3, fresh=True)
            wait_for(lambda: item.tool_tip_lines()[:2] == ["Wavelark", picked.name], MENU_TIMEOUT,
                     what=f"the tool tip to name {picked.name}")
        with self.step("Open shows the radio window; Hide closes it"):
            item.click("Open")
            window = self.opened(program)
            self.click_control(window, HIDE)
            self.wait_closed(program)
        with self.step("About us shows the about dialog; Return closes it"):
            item.click("About us")
            wait_for(lambda: self.desktop.top_level_windows(pid=program.process.pid),
                     MENU_TIMEOUT, what="the about dialog")
            about = self.only_window(program)
            self.assertAlmostEqual(about.width, ABOUT_SIZE[0], delta=12, msg=f"not the about dialog: {about}")
            self.assertAlmostEqual(about.height, ABOUT_SIZE[1], delta=12, msg=f"not the about dialog: {about}")
            self.desktop.focus(about)
            self.desktop.keys("Return")
            self.wait_closed(program)
            self.assertEqual(len(program.matches(PLAYING)), 3, "the dialogs changed the channel")
        with self.step("Exit ends the program and the item"):
            item.click("Exit")
            self.assertEqual(program.process.wait(EXIT_TIMEOUT), 0)
            self.assert_item_gone(item)

    def test_activation_opens_the_window_or_raises_it(self):
        with self.step("start without a saved channel"):
            program = self.start_program("activate")
            item = self.wait_item(program)
            self.wait_tool_tip(item, ["Wavelark"], MENU_TIMEOUT)
        with self.step("activating the item opens the radio window"):
            item.activate()
            window = self.opened(program)
        with self.step("activating it again raises the open window, and opens no other"):
            bar = self.desktop.bar()
            self.desktop.run(["xdotool", "windowraise", str(bar.wid)])
            wait_for(lambda: self.stacking().index(bar.wid) < self.stacking().index(window.wid),
                     MENU_TIMEOUT, what="the bar to cover the window")
            item.activate()
            wait_for(lambda: self.stacking().index(window.wid) < self.stacking().index(bar.wid),
                     MENU_TIMEOUT, what="the window to come to the top")
            self.assertEqual(self.only_window(program).wid, window.wid)
        with self.step("Hide, then activating opens the window again"):
            self.click_control(window, HIDE)
            self.wait_closed(program)
            item.activate()
            self.opened(program)
            self.assertEqual(program.matches(PLAYING), [], "opening the window played a channel")
        with self.step("the program ends cleanly with the window open"):
            self.end_program(program)
            self.assert_item_gone(item)


if __name__ == "__main__":
    unittest.main()
