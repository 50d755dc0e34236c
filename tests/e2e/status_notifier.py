"""A desktop whose notification area is a StatusNotifierItem host on a private session bus, and
what a host does with an item over D-Bus: read its properties, read and click its menu
(com.canonical.dbusmenu), activate it.

GNOME (with the AppIndicator extension), KDE Plasma and the Wayland bars show tray icons this
way.  The host here is gtk-sni-tray-standalone with its own StatusNotifierWatcher, a bar along
the top of the screen.  D-Bus is spoken through the `gdbus` command; its replies are GVariant
text, read back by `parse_gvariant`.
"""

import re

from desktop import SCREEN, Desktop
from harness import StepFailed, tail, wait_for

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
ITEM_PATH = "/StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"

BAR_HEIGHT = 32
BAR_COLOUR = (0x20, 0x40, 0x60)
HOST = ["gtk-sni-tray-standalone", "--top", "--end", "--size", str(BAR_HEIGHT), "--watcher",
        "--color", "#{:02x}{:02x}{:02x}".format(*BAR_COLOUR), "--log-level", "DEBUG"]

# Only what the test starts is on the bus: no service dirs, so nothing is started on demand.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={folder}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

CALL_TIMEOUT = 10


# --- GVariant text -------------------------------------------------------------------------------

_ESCAPES = {"a": "\a", "b": "\b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v"}
_TOKEN = re.compile(r"""\s*(?:(?P<open>[(\[{<])|(?P<close>[)\]}>])|(?P<sep>[,:])
                    |(?P<string>'(?:[^'\\]|\\.)*'|"(?:[^"\\]|\\.)*")
                    |(?P<typed>@\S+)
                    |(?P<word>[A-Za-z_][A-Za-z0-9_]*)
                    |(?P<number>[-+]?(?:0x[0-9a-fA-F]+|[0-9.]+(?:[eE][-+]?[0-9]+)?)))""", re.X)
# Type names gdbus writes before a value where the type is not the default one.
_TYPE_WORDS = {"byte", "int16", "uint16", "int32", "uint32", "int64", "uint64", "handle",
               "double", "objectpath", "signature", "boolean", "string"}


def _unquote(literal):
    body, out, i = literal[1:-1], [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        code = body[i + 1]
        if code in "uU":
            width = 4 if code == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + width], 16)))
            i += 2 + width
        else:
            out.append(_ESCAPES.get(code, code))
            i += 2
    return "".join(out)


def parse_gvariant(text):
    """The value that `gdbus call` prints, as Python values: tuples, lists, dicts, str, int,
    float, bool; variants are unwrapped.  Enough of the format for the replies read here."""
    tokens = []
    position = 0
    text = text.strip()
    while position < len(text):
        match = _TOKEN.match(text, position)
        if not match or match.end() == position:
            raise StepFailed(f"cannot read the D-Bus reply at {text[position:position + 40]!r}")
        position = match.end()
        kind = match.lastgroup
        tokens.append((kind, match.group(kind)))
    tokens.reverse()

    def take():
        if not tokens:
            raise StepFailed(f"the D-Bus reply ends early: {text!r}")
        return tokens.pop()

    def peek():
        return tokens[-1] if tokens else (None, None)

    def sequence(closer):
        """Values up to `closer`; with ':' between pairs they form a dict."""
        items, pairs = [], {}
        while peek() != ("close", closer):
            value = value_()
            if peek() == ("sep", ":"):
                take()
                pairs[value] = value_()
            else:
                items.append(value)
            if peek() == ("sep", ","):
                take()
        take()
        return pairs if pairs else items

    def value_():
        kind, token = take()
        if kind == "typed" or (kind == "word" and token in _TYPE_WORDS):
            return value_()
        if kind == "open":
            if token == "(":
                return tuple(sequence(")"))
            if token == "[":
                return sequence("]")
            if token == "{":
                found = sequence("}")
                return found if isinstance(found, dict) else {}
            found = value_()  # a variant: <value>
            if take() != ("close", ">"):
                raise StepFailed(f"unclosed variant in {text!r}")
            return found
        if kind == "string":
            return _unquote(token)
        if kind == "number":
            return int(token, 0) if re.fullmatch(r"[-+]?(0x[0-9a-fA-F]+|[0-9]+)", token) else float(token)
        if kind == "word" and token in ("true", "false"):
            return token == "true"
        if kind == "word" and token == "nothing":
            return None
        if kind == "word" and token == "just":
            return value_()
        raise StepFailed(f"unexpected {token!r} in the D-Bus reply {text!r}")

    result = value_()
    if tokens:
        raise StepFailed(f"trailing text in the D-Bus reply {text!r}")
    return result


# --- the bus and the host ------------------------------------------------------------------------

class SessionBus:
    """A private dbus-daemon for one desktop."""

    def __init__(self, world):
        self.world = world
        self.address = None
        self.process = None

    def start(self, timeout=15.0):
        folder = self.world.root / "bus"
        folder.mkdir(mode=0o700, exist_ok=True)
        config = self.world.root / "bus.conf"
        config.write_text(BUS_CONFIG.format(folder=folder))
        self.process, line = self.world.spawn_for_line(
            ["dbus-daemon", "--nofork", "--nopidfile", f"--config-file={config}", "--print-address=1"],
            "dbus-daemon.log", timeout)
        if not line or not line.startswith("unix:"):
            raise StepFailed("the session bus did not start:\n" + tail(self.process.log_path))
        self.address = line.strip()
        return self.address

    def running(self):
        return self.process is not None and self.process.poll() is None


class StatusNotifierDesktop(Desktop):
    """Xvfb, a private session bus, and gtk-sni-tray-standalone as the notification area."""

    def __init__(self, world):
        super().__init__(world)
        self.bus = SessionBus(world)
        self.host = None

    def env(self):
        env = super().env()
        if self.bus.address:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus.address
        return env

    def _start_tray(self):
        if not self.bus.running():
            self.bus.start()
        # Without the accessibility bridge and GLib's settings store the host asks the bus
        # for nothing that is not there.
        self.host = self.world.spawn(HOST, "sni-host.log", env={
            **self.env(), "NO_AT_BRIDGE": "1", "GSETTINGS_BACKEND": "memory"})
        try:
            wait_for(lambda: self.host.poll() is None and self.bar() and self.host_registered(),
                     15, what="the status-notifier host and its watcher")
        except StepFailed as failure:
            raise StepFailed(f"{failure}\n{tail(self.host.log_path)}") from None

    def _stop_tray(self):
        self.world.stop(self.host)

    # --- D-Bus, as a host speaks it ----------------------------------------------------------------

    def call(self, destination, path, method, *args, check=True):
        """One method call; its reply as Python values (a tuple of the out arguments)."""
        argv = ["gdbus", "call", "--session", "--timeout", str(CALL_TIMEOUT),
                "--dest", destination, "--object-path", path, "--method", method, "--", *args]
        reply = self.run(argv, timeout=CALL_TIMEOUT + 5, check=check)
        return parse_gvariant(reply) if reply.strip() else None

    def get(self, destination, path, interface, name):
        return self.call(destination, path, "org.freedesktop.DBus.Properties.Get", interface, name)[0]

    def host_registered(self):
        try:
            return self.get(WATCHER, WATCHER_PATH, WATCHER, "IsStatusNotifierHostRegistered")
        except StepFailed:
            return False  # no watcher yet

    def registered_items(self):
        """(bus name, object path) of each item the watcher lists."""
        items = []
        for entry in self.get(WATCHER, WATCHER_PATH, WATCHER, "RegisteredStatusNotifierItems"):
            name, _, path = entry.partition("/")
            items.append((name, "/" + path if path else ITEM_PATH))
        return items

    def items_of(self, pid):
        """The registered items whose bus connection belongs to process `pid`."""
        found = []
        for name, path in self.registered_items():
            owner = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.GetConnectionUnixProcessID", name, check=False)
            if owner and owner[0] == pid:
                found.append(StatusNotifierItem(self, name, path))
        return found

    # --- what the host shows -----------------------------------------------------------------------

    def bar(self):
        """The host's bar window along the top of the screen, or None."""
        return next((w for w in self.windows()
                     if '"gtk-sni-tray-standalone"' in w.classes and w.depth == 0
                     and (w.width, w.height) == (SCREEN[0], BAR_HEIGHT)), None)

    def bar_icon_pixels(self):
        """How many pixels of the bar are not its background: the icons it draws."""
        bar = self.bar()
        if bar is None:
            raise StepFailed("the host's bar is gone")
        return sum(1 for row in self.pixels(bar) for pixel in row
                   if max(abs(a - b) for a, b in zip(pixel, BAR_COLOUR)) > 24)

    def bar_icon(self):
        """The centre (x, y) of what the bar draws besides its background, or None."""
        bar = self.bar()
        if bar is None:
            return None
        drawn = [(x, y) for y, row in enumerate(self.pixels(bar)) for x, pixel in enumerate(row)
                 if max(abs(a - b) for a, b in zip(pixel, BAR_COLOUR)) > 24]
        if not drawn:
            return None
        xs, ys = [x for x, _ in drawn], [y for _, y in drawn]
        return bar.x + (min(xs) + max(xs)) // 2, bar.y + (min(ys) + max(ys)) // 2

    def host_popups(self):
        """The host's visible windows other than its bar: its menus and tool tips."""
        bar = self.bar()
        visible = self.visible_ids("--classname", "^gtk-sni-tray-standalone$")
        return [w for w in self.windows() if w.wid in visible and w.depth == 0
                and (bar is None or w.wid != bar.wid)]

    def host_log(self):
        return self.host.log_path.read_text(errors="replace") if self.host else ""

    def host_holds(self, item):
        """Whether the host has taken the item in (and not let it go since), by its log."""
        log = self.host_log()
        added = log.count(f"ItemAdded ItemInfo {{itemServiceName = BusName \"{item.name}\"")
        removed = log.count(f"ItemRemoved ItemInfo {{itemServiceName = BusName \"{item.name}\"")
        return added > removed and f"Adding widget for {item.name} - {item.path}" in log

    def host_let_go(self, item):
        log = self.host_log()
        return f"ItemRemoved ItemInfo {{itemServiceName = BusName \"{item.name}\"" in log


class StatusNotifierItem:
    """One item on the bus, reached as a host reaches it."""

    def __init__(self, desktop, name, path):
        self.desktop = desktop
        self.name = name
        self.path = path

    def __repr__(self):
        return f"StatusNotifierItem({self.name}{self.path})"

    def property(self, name):
        return self.desktop.get(self.name, self.path, ITEM_INTERFACE, name)

    def tool_tip_lines(self):
        """The tool tip's title and text as the lines a host shows."""
        _icon, _pixmaps, title, text = self.property("ToolTip")
        return title.split("\n") + (text.split("\n") if text else [])

    def activate(self):
        self.desktop.call(self.name, self.path, f"{ITEM_INTERFACE}.Activate", "0", "0")

    def menu_path(self):
        return self.property("Menu")

    def menu(self):
        """(id, label) of the menu's top-level entries, top to bottom, as GetLayout gives them."""
        _revision, root = self.desktop.call(self.name, self.menu_path(),
                                            f"{MENU_INTERFACE}.GetLayout", "0", "-1", "[]")
        _root_id, _properties, children = root
        return [(child[0], child[1].get("label", "")) for child in children
                if child[1].get("visible", True) and child[1].get("type") != "separator"]

    def click(self, label):
        """Clicks the entry labelled `label`, as a host reports a click: an Event "clicked"."""
        ids = [entry_id for entry_id, text in self.menu() if text == label]
        if len(ids) != 1:
            raise StepFailed(f"expected one menu entry {label!r}, the menu has {self.menu()}")
        self.desktop.call(self.name, self.menu_path(), f"{MENU_INTERFACE}.Event",
                          str(ids[0]), "clicked", "<int32 0>", "0")
