#pragma once

#include <QString>

// Keeps GStreamer's libav plugin out of the process while lighter decoders cover what radio
// stations send.
//
// Loading the libav plugin maps libavcodec, libavformat, libavfilter and the codec libraries
// behind them: about 30 MiB more for the player while it plays. It registers typefinders, so
// playbin loads it while finding any stream's type, and its MP3 decoder outranks mpg123's by
// name alone. So the plugin is taken out of the registry right after GStreamer starts (before
// anything loads it) when other installed decoders take MP3, AAC, Vorbis and Opus. A stream
// nothing else can decode fails with a missing-decoder error; the player then admits the
// plugin again and retries that stream once.
//
// All functions are for the UI thread; GStreamer must be initialised first.
class DecoderRegistry
{
public:
    static constexpr char kHeavyPlugin[] = "libav";

    // Takes the libav plugin out of the registry when other decoders cover the common radio
    // formats and nothing has loaded it yet. Idempotent.
    static void HoldBackHeavyDecoders();

    // Puts the plugin back when it was held back; true when it was (a failed stream is then
    // worth a retry).
    static bool AdmitHeldBackDecoders();

    static bool HoldingBack();

    // The common radio format no other installed decoder takes, or empty when all are covered.
    static QString FormatWithoutLightDecoder();
};
