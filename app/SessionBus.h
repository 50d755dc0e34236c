#pragma once

// Whether the desktop's session bus can be reached without starting one: its address is in
// DBUS_SESSION_BUS_ADDRESS, or the user's bus socket ($XDG_RUNTIME_DIR/bus) exists. Where
// neither is there (a container, a bare X server), asking libdbus or GLib for the session bus
// makes them try to start one through dbus-launch, which takes time and fails.
bool SessionBusReachable();

// Where no session bus can be reached, keeps the libraries from trying to start one: the bus's
// address names a socket that does not exist, so asking for the bus fails at once (and
// SessionBusReachable stays false), and GLib's settings (read by GStreamer's HTTP source for
// proxy settings) are kept in memory instead of a store that watches the bus. Call first thing in
// main, before any thread starts: it may set an environment variable. A GSETTINGS_BACKEND set by
// the user wins.
void KeepLibrariesOffAMissingSessionBus();
