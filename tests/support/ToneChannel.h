#pragma once

#include "support/RawStreamServer.h"

#include <QString>

// A live channel: some seconds of a sine at a chosen RMS level as MP3, sent again and again at
// the pace of its bit rate from 127.0.0.1, as a station's server sends it.
class ToneChannel
{
public:
    // Encodes the tone into `folder` and starts serving it; false when either fails.
    bool Start(const QString& folder, double rmsDb, int frequency);
    QString Url() const { return QString::fromStdString(m_server.Root() + "live"); }

private:
    RawStreamServer m_server;
};
