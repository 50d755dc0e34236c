#pragma once

#include <future>

// GStreamer's process-wide start: the libsoup it uses, what it reads from the environment, its
// plugin registry and the decoders' ranks (see DecoderRegistry).

// Starts GStreamer once and returns whether it runs. Safe on any thread and from several at
// once: the first call starts it, the others wait for it. The player calls it before it builds
// a pipeline.
bool StartGStreamer();

// Starts GStreamer on a thread of its own, so that it runs beside the program's own start, and
// then sets up what the HTTP source needs for its first connection. Call on the main thread
// while it is still the only one that changes the environment; keep the future until the
// program ends.
std::future<bool> StartGStreamerInBackground();
