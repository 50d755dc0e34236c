#!/usr/bin/env python3
"""End to end: the visible radio window of the real Wavelark program, worked with the mouse as a
user would, under Xvfb with trayer, against the demo content server and its Icecast tone streams.

The window has no names that xdotool can find, so its controls are reached at the places its
dialog template gives them; what the window shows is read back from the screen (the pictures of
the channel tree, the volume slider's thumb, the drawn width of a caption), what plays from the
captured audio, and what it stores from the files in its working folder.

Run one class:  python3 tests/e2e/test_window.py -v RadioWindow
"""

import re
import subprocess
import time
import unittest
from pathlib import Path

from desktop import SCREEN, Window
from harness import (ARCHIVE, BUILD_DIR, SOURCE_DIR, StepFailed, dominant_tone, menu_row_centre,
                     wait_for)
from program import PLAYING, Program, working_folder
from tray_case import (AUDIO_TIMEOUT, EXIT_TIMEOUT, MENU_TIMEOUT, START_TIMEOUT,
                       StackTestCase)

# --- the window's geometry at 96 DPI ---------------------------------------------------------------

WINDOW_SIZE = (478, 706)
BORDER = 1  # the client area starts this far inside the window
PAGE_TIMEOUT = 40  # the first page starts the web engine: slow on a loaded machine


def dialog_rect(x, y, width, height):
    """A template rectangle in dialog units as (left, top, width, height) pixels of the client
    area: 6 x 13 base units, a quarter and an eighth of them per unit."""
    left, top = x * 6 // 4, y * 13 // 8
    return left, top, (x + width) * 6 // 4 - left, (y + height) * 13 // 8 - top


COUNTRY_LIST = dialog_rect(95, 23, 113, 91)  # the closed box is only as high as its text
TREE = (30, 85, 285, 102)  # given in pixels
VOLUME = dialog_rect(18, 173, 94, 25)
THUMB_LENGTH = 11
WEBSITE = dialog_rect(48, 257, 135, 15)
DOWNLOAD = dialog_rect(48, 377, 135, 15)
HIDE = dialog_rect(48, 393, 135, 15)  # "Close Browser" while a page is shown
EXIT = dialog_rect(48, 409, 135, 15)
# Where the page goes: right of the normal area up to 10 pixels before the screen's edge.
PAGE = (WINDOW_SIZE[0], 28, SCREEN[0] - 10 - WINDOW_SIZE[0], 672)

DEFAULT_SETTINGS = b"1\n1\n0\n0\n50"


def centred_window():
    return ((SCREEN[0] - WINDOW_SIZE[0]) // 2, (SCREEN[1] - WINDOW_SIZE[1]) // 2) + WINDOW_SIZE


def widened_window():
    return (0, (SCREEN[1] - WINDOW_SIZE[1]) // 2, SCREEN[0], WINDOW_SIZE[1])


def thumb_left(volume):
    """The thumb's left edge in client pixels at `volume` (0-100) on the 0-100 slider."""
    return VOLUME[0] + round(volume * (VOLUME[2] - THUMB_LENGTH) / 100)


# --- the demo catalogue as the window lists it -----------------------------------------------------

def read_categories():
    """{channel number: country} from the program's archive."""
    out = subprocess.run([str(BUILD_DIR / "wavelark-pack"), "channels", str(ARCHIVE)],
                         capture_output=True, timeout=30, check=True).stdout
    categories = {}
    for line in out.splitlines():
        fields = line.split(b"\t")
        if len(fields) >= 4 and fields[0].isdigit():
            categories[int(fields[0]) + 1] = fields[2].decode("utf-8")
    return categories


def read_picture(name):
    """The part of a channel-tree picture the tree shows, as rows of (r, g, b): 11 x 12 pixels
    less the blank top and bottom rows, which the tree's dotted focus frame may cover."""
    data = subprocess.run(["convert", str(SOURCE_DIR / "directory" / "pictures" / name),
                           "-depth", "8", "ppm:-"], capture_output=True, timeout=20,
                          check=True).stdout
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    width, body = int(match.group(1)), data[match.end():]
    return [[tuple(body[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(11)]
            for y in range(1, 11)]


def find_picture(pixels, picture, tolerance=10):
    """Top-left corners (x, y) in `pixels` where `picture` is drawn exactly (within tolerance)."""
    height, width = len(picture), len(picture[0])
    # Anchor on the first dark pixel: the white around it matches everywhere.
    ay, ax = next((y, x) for y in range(height) for x in range(width) if sum(picture[y][x]) < 600)
    anchor = picture[ay][ax]
    close = lambda a, b: all(abs(p - q) <= tolerance for p, q in zip(a, b))
    found = []
    for y in range(len(pixels) - height + 1):
        for x in range(len(pixels[0]) - width + 1):
            if not close(pixels[y + ay][x + ax], anchor):
                continue
            if all(close(pixels[y + dy][x + dx], picture[dy][dx])
                   for dy in range(height) for dx in range(width)):
                found.append((x, y))
    return found


class WindowTestCase(StackTestCase):
    """A demo stack per class; the radio window opened from the tray and read from the screen."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.categories = read_categories()
        cls.speaker = read_picture("speaker.png")
        cls.speaker_waves = read_picture("speaker_waves.png")

    # --- the catalogue -----------------------------------------------------------------------------

    def countries(self):
        """The country list's items: each country with an offered channel, sorted as read."""
        offered = {self.categories[n] for n, c in self.channels.items() if c.offered}
        return sorted(offered, key=lambda name: (name.casefold(), name))

    def channels_of(self, country):
        """The tree's channel items for `country`, top to bottom."""
        return [c for n, c in sorted(self.channels.items())
                if c.offered and self.categories[n] == country]

    # --- opening and closing -----------------------------------------------------------------------

    def station_window(self, program, geometry, timeout=START_TIMEOUT):
        """Waits until the program shows exactly one window, with `geometry` (x, y, w, h)."""
        def shown():
            windows = self.desktop.top_level_windows(pid=program.process.pid)
            if len(windows) == 1 and (windows[0].x, windows[0].y, windows[0].width,
                                      windows[0].height) == tuple(geometry):
                return windows[0]
            return None

        try:
            return wait_for(shown, timeout, what=f"the radio window at {geometry}")
        except StepFailed as error:
            raise StepFailed(f"{error}; the program shows "
                             f"{self.desktop.top_level_windows(pid=program.process.pid)}") from None

    def open_by_menu(self, program, icon):
        menu = self.open_menu(program, icon, button=1)
        self.desktop.click(menu.x + menu.width // 2, menu.y + menu_row_centre("Open", menu.height))
        return self.opened(program)

    def open_by_double_click(self, program, icon):
        x, y = icon.centre()
        self.desktop.run(["xdotool", "mousemove", str(x), str(y)])
        time.sleep(0.15)
        self.desktop.run(["xdotool", "click", "--repeat", "2", "--delay", "80", "1"])
        return self.opened(program)

    def opened(self, program):
        window = self.station_window(program, centred_window())
        # A window manager would give the new window the focus; none runs here.
        self.desktop.focus(window)
        return window

    def wait_closed(self, program):
        wait_for(lambda: not self.desktop.top_level_windows(pid=program.process.pid),
                 MENU_TIMEOUT, what="the radio window to close")

    # --- the user's hands --------------------------------------------------------------------------

    def click_client(self, window, x, y, button=1):
        self.desktop.click(window.x + BORDER + x, window.y + BORDER + y, button)

    def click_control(self, window, rect, button=1):
        left, top, width, height = rect
        self.click_client(window, left + width // 2, top + height // 2, button)

    def park_pointer(self):
        """Moves the pointer off the window, so nothing is drawn hot under it."""
        self.desktop.run(["xdotool", "mousemove", "5", str(SCREEN[1] - 5)])
        time.sleep(0.2)

    def popup_item(self, program, window, index, count, what):
        """Clicks item `index` of `count` equal rows in the one pop-up window the program
        shows beside `window` (an opened list or a menu)."""
        def popup():
            others = [w for w in self.desktop.top_level_windows(pid=program.process.pid)
                      if w.wid != window.wid]
            return others[0] if len(others) == 1 else None

        shown = wait_for(popup, MENU_TIMEOUT, what=what)
        self.desktop.click(shown.x + shown.width // 2,
                           shown.y + shown.height * (2 * index + 1) // (2 * count))
        wait_for(lambda: popup() is None, MENU_TIMEOUT, what=f"{what} to close")

    # --- reading the screen ------------------------------------------------------------------------

    def client_pixels(self, window, rect):
        left, top, width, height = rect
        region = Window(0, "", "", width, height, window.x + BORDER + left,
                        window.y + BORDER + top, 0, None)
        return self.desktop.pixels(region)

    def tree_rows(self, window):
        """The tree's channel rows, top to bottom, as (y centre in client pixels, waves?)."""
        pixels = self.client_pixels(window, TREE)
        plain = find_picture(pixels, self.speaker)
        waves = find_picture(pixels, self.speaker_waves)
        rows = [(y, False) for _, y in plain] + [(y, True) for _, y in waves]
        # The pictures are found without their top row: a row's centre is 5 below.
        return [(TREE[1] + y + 5, marked) for y, marked in sorted(rows)]

    def wait_tree(self, window, channels, playing=None):
        """Waits until the tree shows one row per channel of `channels`, the row of `playing`
        (or none) with the sound-waves picture; returns the rows' centres."""
        expected = [c == playing for c in channels]
        seen = []

        def shows():
            seen[:] = self.tree_rows(window)
            return [marked for _, marked in seen] == expected

        try:
            wait_for(shows, 10, interval=0.2, what="the channel tree")
        except StepFailed:
            raise StepFailed(f"the tree should show {[c.name for c in channels]} with "
                             f"{playing.name if playing else 'nothing'} marked; rows seen "
                             f"(y, waves): {seen}") from None
        return [y for y, _ in seen]

    def thumb_position(self, window):
        """The slider thumb's left edge in client pixels, found by its two dark upright sides."""
        pixels = self.client_pixels(window, VOLUME)
        dark = [x for x in range(VOLUME[2])
                if sum(1 for row in pixels if sum(row[x]) < 200) >= 12]
        if len(dark) < 2 or dark[-1] - dark[0] != THUMB_LENGTH - 1:
            return None
        return VOLUME[0] + dark[0]

    def wait_thumb(self, window, volume):
        expected = thumb_left(volume)
        seen = []

        def there():
            seen[:] = [self.thumb_position(window)]
            return seen[0] == expected

        try:
            wait_for(there, 10, interval=0.2, what="the volume thumb")
        except StepFailed:
            raise StepFailed(f"the thumb should be at x {expected} (volume {volume}), "
                             f"found {seen[0]}") from None

    def caption_width(self, window, rect):
        """The drawn width of a push button's caption: from its first to its last dark column."""
        left, top, width, height = rect
        pixels = self.client_pixels(window, (left + 4, top + 4, width - 8, height - 8))
        dark = [x for x in range(width - 8) if any(sum(row[x]) < 250 for row in pixels)]
        return dark[-1] - dark[0] + 1 if dark else 0

    # --- what is heard and stored ------------------------------------------------------------------

    def loudness_after_a_while(self, program, channel):
        """The tone's RMS over the last half second, once 1.5 s of new audio has arrived."""
        program.wait_audio(program.audio_bytes() / (44100 * 4) + 1.5, AUDIO_TIMEOUT)
        tone = dominant_tone(program.wav, self.tones)
        if channel is not None:
            self.assertEqual(tone.freq_hz, channel.freq_hz, f"{channel.name} should sound: {tone}")
        return tone.rms

    def wait_file(self, path, content, timeout=10):
        def holds():
            try:
                return Path(path).read_bytes() == content
            except OSError:
                return False

        try:
            wait_for(holds, timeout, what=f"{Path(path).name} to hold {content!r}")
        except StepFailed:
            found = Path(path).read_bytes() if Path(path).exists() else "(no file)"
            raise StepFailed(f"{Path(path).name} should hold {content!r}, holds {found!r}") from None


class RadioWindow(WindowTestCase):
    """Choosing, the volume, favourites, Hide and Exit in the radio window."""

    def test_choose_by_mouse_hide_and_open_again(self):
        start = self.channels[16]
        home = self.categories[start.number]
        country = "Brazil"
        brazil = self.channels_of(country)
        chosen, favourite = brazil[2], brazil[0]
        self.assertNotEqual(chosen.freq_hz, start.freq_hz)
        self.assertIn(b"\xe9", favourite.name_bytes, "the favourite should have a Windows-1252 name")

        with self.step("start playing a saved channel"):
            # The levelling would move the loudness the slider's steps are measured by.
            program = self.start_program("window", start, even_loudness=False)
            icon = self.wait_icon(program)
            self.assertEqual(self.wait_playing(program), start)
            self.assert_hears(program, start)
            settings = program.folder / "setting.dat"
            self.wait_file(settings, DEFAULT_SETTINGS)

        with self.step("Open from the tray menu shows the window with the playing channel"):
            window = self.open_by_menu(program, icon)
            self.park_pointer()
            self.wait_tree(window, self.channels_of(home), playing=start)
            self.wait_thumb(window, 50)

        with self.step(f"choose {country} in the country list by mouse"):
            self.click_client(window, COUNTRY_LIST[0] + COUNTRY_LIST[2] // 2, COUNTRY_LIST[1] + 10)
            countries = self.countries()
            self.popup_item(program, window, countries.index(country), len(countries),
                            "the country list to open")
            self.park_pointer()
            rows = self.wait_tree(window, brazil)

        with self.step(f"click {chosen.name} in the tree: it plays and shows the waves"):
            self.click_client(window, TREE[0] + 100, rows[brazil.index(chosen)])
            self.assertEqual(self.wait_playing(program, count=2), chosen)
            self.assert_hears(program, chosen, starts=2)
            # The click changes the selection and is a click: each starts the channel.
            starts = program.matches(PLAYING)
            self.assertEqual({m.group("name") for m in starts[1:]}, {chosen.name})
            starts = len(starts)
            self.park_pointer()
            self.wait_tree(window, brazil, playing=chosen)
            self.assertEqual((program.folder / "channel.dat").read_bytes(),
                             b"package0\n" + chosen.name_bytes)
            loud_50 = self.loudness_after_a_while(program, chosen)

        with self.step("two clicks on the groove right of the thumb: volume 70, louder"):
            for _ in range(2):
                self.click_client(window, VOLUME[0] + VOLUME[2] - 6, VOLUME[1] + VOLUME[3] // 2)
            self.park_pointer()
            self.wait_thumb(window, 70)
            # The player's volume is cubic: 70 against 50 is (7/5)^3 times the amplitude.
            ratio = self.loudness_after_a_while(program, chosen) / loud_50
            self.assertAlmostEqual(ratio, (70 / 50) ** 3, delta=0.3, msg="loudness at 70 vs 50")

        with self.step("drag the thumb past the left end: volume 0, silent"):
            x = window.x + BORDER + thumb_left(70) + THUMB_LENGTH // 2
            y = window.y + BORDER + VOLUME[1] + VOLUME[3] // 2
            self.desktop.run(["xdotool", "mousemove", str(x), str(y)])
            time.sleep(0.15)
            self.desktop.run(["xdotool", "mousedown", "1"])
            for step_x in range(x - 20, window.x - 20, -20):
                self.desktop.run(["xdotool", "mousemove", str(step_x), str(y)])
                time.sleep(0.03)
            self.desktop.run(["xdotool", "mouseup", "1"])
            self.park_pointer()
            self.wait_thumb(window, 0)
            self.assertLess(self.loudness_after_a_while(program, None), 100, "volume 0 is heard")

        with self.step("four clicks right of the thumb: volume 40"):
            for _ in range(4):
                self.click_client(window, VOLUME[0] + VOLUME[2] - 6, VOLUME[1] + VOLUME[3] // 2)
            self.park_pointer()
            self.wait_thumb(window, 40)
            ratio = self.loudness_after_a_while(program, chosen) / loud_50
            self.assertAlmostEqual(ratio, (40 / 50) ** 3, delta=0.08, msg="loudness at 40 vs 50")

        with self.step(f"right click {favourite.name}, choose Add to My Channels (twice)"):
            favourites = program.folder / "favoutites.dat"
            for attempt in range(2):
                self.click_client(window, TREE[0] + 100, rows[brazil.index(favourite)], button=3)
                # Add to My Channels, above Remove from My Channels.
                self.popup_item(program, window, 0, 2, "the tree's menu to open")
                # The same name is kept once.
                self.wait_file(favourites, favourite.name_bytes + b"#")
            self.park_pointer()
            self.assertEqual(len(program.matches(PLAYING)), starts, "the right click started a channel")
            self.wait_tree(window, brazil, playing=chosen)

        with self.step("Hide closes the window, saves the settings, keeps playing and the icon"):
            before = settings.stat().st_mtime_ns
            self.click_control(window, HIDE)
            self.wait_closed(program)
            self.wait_file(settings, b"1\n1\n0\n0\n40")
            self.assertNotEqual(settings.stat().st_mtime_ns, before)
            self.assertEqual(len(self.desktop.docked_icons()), 1)
            self.assertTrue(program.running())
            ratio = self.loudness_after_a_while(program, chosen) / loud_50
            self.assertAlmostEqual(ratio, (40 / 50) ** 3, delta=0.08, msg="loudness after Hide")
            self.assertEqual(len(program.matches(PLAYING)), starts, "Hide started a channel")

        with self.step("a double click on the icon opens it again as it was left"):
            window = self.open_by_double_click(program, icon)
            self.park_pointer()
            self.wait_tree(window, brazil, playing=chosen)
            self.wait_thumb(window, 40)
            self.assertEqual(len(program.matches(PLAYING)), starts, "opening started a channel")

        with self.step("Hide again stores the same settings"):
            self.click_control(window, HIDE)
            self.wait_closed(program)
            self.wait_file(settings, b"1\n1\n0\n0\n40")
            self.assertEqual(favourites.read_bytes(), favourite.name_bytes + b"#")
            self.assertTrue(program.running())

    def test_exit_button_ends_the_program_without_saving(self):
        channel = self.channels[2]
        # Not as the program writes it (a final line end): a rewrite would show.
        stored = b"1\n1\n0\n0\n60\n"
        with self.step("start with stored settings and open the window by double click"):
            folder = working_folder(self.world.root / "exit-work", channel)
            settings = folder / "setting.dat"
            settings.write_bytes(stored)
            written = settings.stat().st_mtime_ns
            program = Program(self.world, self.desktop, folder, self.content_server, "exit").start()
            icon = self.wait_icon(program)
            self.assert_hears(program, self.wait_playing(program))
            window = self.open_by_double_click(program, icon)
            self.park_pointer()
            self.wait_thumb(window, 60)

        with self.step("move the volume, then Exit"):
            self.click_client(window, VOLUME[0] + 4, VOLUME[1] + VOLUME[3] // 2)
            self.park_pointer()
            self.wait_thumb(window, 50)
            self.click_control(window, EXIT)
            self.assertEqual(program.process.wait(EXIT_TIMEOUT), 0)
            wait_for(lambda: not self.desktop.docked_icons(), 5, what="the icon to go")

        with self.step("Exit did not store the window's settings"):
            self.assertEqual(settings.read_bytes(), stored)
            self.assertEqual(settings.stat().st_mtime_ns, written)


class WebPages(WindowTestCase):
    """The vendor's pages inside the widened window."""

    def content_log(self):
        return (self.stack_world.root / "demo-stack.log").read_text(errors="replace")

    def wait_request(self, path, since):
        line = f"GET {path} 200"
        wait_for(lambda: line in self.content_log()[since:], PAGE_TIMEOUT,
                 what=f"the content server to serve {path}")

    def page_problem(self, window):
        """Why the page area does not look like a page, or None."""
        # Below the page's banner, where its text is.
        pixels = self.client_pixels(window, (PAGE[0] + 20, PAGE[1] + 150, min(600, PAGE[2] - 40),
                                             200))
        colours = {p for row in pixels[::4] for p in row[::4]}
        dark = sum(1 for row in pixels for p in row if sum(p) < 200)
        if len(colours) < 3 or dark < 50:
            return f"the page area shows {len(colours)} colours and {dark} dark pixels"
        return None

    def wait_page(self, window):
        problem = [None]

        def drawn():
            problem[0] = self.page_problem(window)
            return problem[0] is None

        try:
            wait_for(drawn, PAGE_TIMEOUT, interval=0.5, what="the page to be drawn")
        except StepFailed:
            # Where the page went instead: a view outside the window shows up here.
            shown = [f"{w.name or hex(w.wid)} {w.width}x{w.height}+{w.x}+{w.y}"
                     for w in self.desktop.windows()
                     if w.depth == 0 and w.wid in self.desktop.visible_ids("--name", ".")]
            raise StepFailed(f"{problem[0]}; windows on the screen: {shown}") from None

    def test_website_and_download_pages(self):
        channel = self.channels[16]
        caption = "Download version 3.10 now..."
        with self.step("open the window"):
            program = self.start_program("pages", channel)
            icon = self.wait_icon(program)
            self.wait_playing(program)
            window = self.open_by_double_click(program, icon)
            self.park_pointer()

        with self.step("the download button offers the demo's newer version"):
            # The texts are not read, but the caption's drawn width tells the offer (28
            # characters) from the template's "Download latest version" (23). The window opens
            # at once; the button follows when the version file has answered.
            widths = []

            def offered():
                widths.append(self.caption_width(window, DOWNLOAD))
                return 5.0 * len(caption) <= widths[-1] <= 6.3 * len(caption)

            try:
                wait_for(offered, 10, what="the download button's offer")
            except StepFailed:
                self.fail(f"the download caption is {widths[-1]} px wide, not {caption!r}")

        with self.step("Website widens the window and shows index.php"):
            since = len(self.content_log())
            self.click_control(window, WEBSITE)
            wide = self.station_window(program, widened_window(), PAGE_TIMEOUT)
            self.wait_request("/wavelark/index.php", since)
            self.park_pointer()
            self.wait_page(wide)
            self.desktop.screenshot(self.world.root / "website.png")

        with self.step("Close Browser restores the window, centred"):
            self.click_control(wide, HIDE)
            window = self.station_window(program, centred_window())
            self.assertTrue(program.running())

        with self.step("the download button opens download.php"):
            since = len(self.content_log())
            self.click_control(window, DOWNLOAD)
            wide = self.station_window(program, widened_window(), PAGE_TIMEOUT)
            self.wait_request("/wavelark/download.php", since)
            self.park_pointer()
            self.wait_page(wide)

        with self.step("Close Browser, Hide: the program keeps playing"):
            self.click_control(wide, HIDE)
            window = self.station_window(program, centred_window())
            self.click_control(window, HIDE)
            self.wait_closed(program)
            self.assertEqual(len(self.desktop.docked_icons()), 1)
            self.assert_hears(program, channel)

        with self.step("the program ends cleanly with the web engine loaded"):
            self.end_program(program)


if __name__ == "__main__":
    unittest.main()
