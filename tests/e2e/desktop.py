"""A private X display with a tray host, and the few things a user does on it."""

import os
import random
import re
import subprocess
import time
from dataclasses import dataclass

from harness import StepFailed, read_line, tail, wait_for

SCREEN = (1024, 768)
TRAY_HEIGHT = 32

TRAYER = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
          "--height", str(TRAY_HEIGHT), "--SetDockType", "true", "--expand", "true",
          "--transparent", "true", "--alpha", "0", "--tint", "0x202020"]


@dataclass
class Window:
    wid: int
    name: str
    classes: str
    width: int
    height: int
    x: int  # absolute
    y: int
    depth: int
    parent: "Window | None"

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def inside(self, ancestor):
        node = self.parent
        while node is not None:
            if node.wid == ancestor.wid:
                return True
            node = node.parent
        return False


_TREE_LINE = re.compile(
    r"^(?P<indent>\s*)(?P<wid>0x[0-9a-f]+) (?:\"(?P<name>.*)\"|\(has no name\)): \((?P<classes>[^)]*)\)"
    r"\s+(?P<w>\d+)x(?P<h>\d+)\+-?\d+\+-?\d+\s+\+(?P<x>-?\d+)\+(?P<y>-?\d+)")


class Desktop:
    """Xvfb on a free display number and trayer as the notification area (an XEmbed tray)."""

    def __init__(self, world):
        self.world = world
        self.display = None
        self.xvfb = None
        self.trayer = None

    def env(self):
        """What a program started on this desktop needs to find it."""
        return {"DISPLAY": self.display}

    def start(self):
        # A display whose server dies or loses its socket right after start-up (seen in a CI
        # run beside other X servers) gets no tray panel; the desktop is then started again on
        # another display, a bounded number of times.
        problem = ""
        for _ in range(3):
            self._start_display()
            try:
                self._start_tray()
                return self
            except StepFailed as failure:
                problem = str(failure)
                self._stop_tray()
                self.world.stop(self.xvfb)
        raise StepFailed(problem)

    def _start_tray(self):
        """Starts the notification area on the display; StepFailed when it does not come up."""
        self.trayer = self.world.spawn(TRAYER, "trayer.log", env=self.env())
        try:
            wait_for(self.tray_panel, 15, what="the tray host's panel")
        except StepFailed as failure:
            raise StepFailed(f"{failure}\n{tail(self.trayer.log_path)}") from None

    def _stop_tray(self):
        self.world.stop(self.trayer)

    def _start_display(self):
        # A random display number, not the lowest free one: a display that another test has
        # just shut down may still have its socket removed under a new server of the same number.
        for _ in range(8):
            number = random.randrange(100, 1000)
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            if self._start_xvfb(number):
                return
        raise StepFailed("Xvfb did not start:\n" + (tail(self.xvfb.log_path) if self.xvfb else ""))

    def _start_xvfb(self, number):
        """Xvfb on display `number`; True once it accepts connections."""
        read_end, write_end = os.pipe()
        try:
            self.xvfb = self.world.spawn(
                ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0",
                 f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                "xvfb.log", pass_fds=(write_end,))
        finally:
            os.close(write_end)
        try:
            ready = read_line(read_end, 20, lambda: self.xvfb.poll() is None)
        finally:
            os.close(read_end)
        if ready is None or ready.strip() != str(number):
            self.xvfb.kill()
            self.xvfb.wait(timeout=10)
            return False
        self.display = f":{number}"
        return True

    # --- looking -----------------------------------------------------------------------------------

    def run(self, argv, timeout=10, check=True):
        result = subprocess.run(argv, env=self.world.environment(self.env()), capture_output=True,
                                text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise StepFailed(f"{' '.join(argv)} failed: {result.stderr.strip()}")
        return result.stdout

    def windows(self):
        """Every window of the display, with its absolute position and its parent."""
        text = self.run(["xwininfo", "-root", "-tree"])
        found, stack = [], []  # stack of (indent, window)
        for line in text.splitlines():
            match = _TREE_LINE.match(line)
            if not match:
                continue
            indent = len(match.group("indent"))
            while stack and stack[-1][0] >= indent:
                stack.pop()
            window = Window(int(match.group("wid"), 16), match.group("name") or "",
                            match.group("classes"), int(match.group("w")), int(match.group("h")),
                            int(match.group("x")), int(match.group("y")), len(stack),
                            stack[-1][1] if stack else None)
            found.append(window)
            stack.append((indent, window))
        return found

    def visible_ids(self, *search):
        """Ids of viewable windows that `xdotool search --onlyvisible *search` finds."""
        result = self.run(["xdotool", "search", "--onlyvisible", *search], check=False)
        return {int(token) for token in result.split() if token.isdigit()}

    def tray_panel(self):
        return next((w for w in self.windows() if '"panel" "trayer"' in w.classes), None)

    def docked_icons(self, program_class="wavelark"):
        """Visible windows of the program docked inside the tray host's panel."""
        panel = self.tray_panel()
        if panel is None:
            return []
        visible = self.visible_ids("--classname", f"^{program_class}$")
        return [w for w in self.windows()
                if w.wid in visible and w.inside(panel) and f'"{program_class}"' in w.classes
                and w.width >= 16 and w.height >= 16 and w.x > 0]

    def top_level_windows(self, pid=None, program_class="wavelark"):
        """Visible top-level windows of the program (menus, dialogs), optionally of one process."""
        search = ["--pid", str(pid)] if pid is not None else ["--classname", f"^{program_class}$"]
        visible = self.visible_ids(*search)
        return [w for w in self.windows() if w.wid in visible and w.depth == 0 and w.width > 40]

    # --- acting ------------------------------------------------------------------------------------

    def click(self, x, y, button=1):
        # Not --sync: it waits for the pointer to move, forever when it is already there.
        self.run(["xdotool", "mousemove", str(x), str(y)])
        # A short rest lets the toolkit see the pointer arrive before the press.
        time.sleep(0.15)
        self.run(["xdotool", "click", str(button)])

    def keys(self, *names):
        for name in names:
            self.run(["xdotool", "key", name])
            time.sleep(0.08)

    def focus(self, window):
        # No window manager runs here, so input focus is given directly.
        self.run(["xdotool", "windowfocus", str(window.wid)], check=False)
        time.sleep(0.2)

    def screenshot(self, path):
        """Saves the whole screen; returns the path, or a note why there is none."""
        try:
            self.run(["import", "-window", "root", str(path)], timeout=20)
            return str(path)
        except (StepFailed, OSError, subprocess.TimeoutExpired) as error:
            return f"(no screenshot: {error})"

    def pixels(self, window):
        """The window's pixels as rows of (r, g, b), read from the screen."""
        data = subprocess.run(["import", "-window", "root", "-crop",
                               f"{window.width}x{window.height}+{window.x}+{window.y}", "+repage",
                               "-depth", "8", "ppm:-"], env=self.world.environment(self.env()),
                              capture_output=True, timeout=20, check=True).stdout
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        if not match:
            raise StepFailed("could not read the screen")
        width, height = int(match.group(1)), int(match.group(2))
        body = data[match.end():]
        return [[tuple(body[(row * width + col) * 3:(row * width + col) * 3 + 3]) for col in range(width)]
                for row in range(height)]
