#!/usr/bin/env python3
"""Starts an installed Wavelark as its desktop entry does, on a private Xvfb with a tray host, and
waits until its icon is docked in the tray; then ends it as a logout would.

    tray_start.py COMMAND HOME

COMMAND is the desktop entry's command, HOME the user's home folder. Checks that the program
runs in HOME/.local/share/wavelark with the installed archive linked into it, and that it ends
cleanly on SIGTERM leaving no process behind.
"""

import signal
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from desktop import Desktop  # noqa: E402
from harness import StepFailed, World, closed_port, tail, wait_for  # noqa: E402


def main():
    command, home = sys.argv[1], Path(sys.argv[2])
    world = World("package")
    # A port that refuses at once: the program meets no content server.
    probe, port = closed_port()
    failure = None
    try:
        desktop = Desktop(world)
        desktop.start()
        runtime = world.root / "runtime"
        runtime.mkdir(mode=0o700)
        env = dict(desktop.env())
        env.update({
            "HOME": str(home),
            "XDG_RUNTIME_DIR": str(runtime),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LOGGING_RULES": "wavelark.*=true",
            "WAVELARK_CONTENT_SERVER": f"http://127.0.0.1:{port}/",
            "WAVELARK_AUDIO_SINK": "fakesink sync=true",
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={world.root}/no-bus",
        })
        program = world.spawn([command], "wavelark.log", cwd=home, env=env)
        try:
            wait_for(lambda: program.poll() is not None or desktop.docked_icons(), 30,
                     what="the tray icon")
        except StepFailed as error:
            raise StepFailed(f"{error}\n{tail(program.log_path)}") from None
        if program.poll() is not None:
            raise StepFailed(f"the program ended ({program.returncode}):\n{tail(program.log_path)}")
        icon = desktop.docked_icons()[0]
        folder = home / ".local/share/wavelark"
        wait_for(lambda: (folder / "setting.dat").exists(), 15, what="setting.dat in " + str(folder))
        archive = folder / "Interface" / "radio.int"
        if not archive.is_symlink():
            raise StepFailed(f"{archive} is not a link to the installed archive")
        print(f"tray icon docked at {icon.x},{icon.y}; working folder {folder}; "
              f"archive -> {archive.resolve()}")
        status = World.stop(program, signal.SIGTERM)
        if status != 0:
            raise StepFailed(f"exit status {status} on SIGTERM:\n{tail(program.log_path)}")
    except StepFailed as error:
        failure = str(error)
    finally:
        left = world.close()
        probe.close()
    if left:
        failure = (failure or "") + f"\nprocesses left behind: {left}"
    if failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
