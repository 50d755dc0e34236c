#pragma once

#include "directory/ChannelDirectory.h"
#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"

#include <QByteArray>

// Puts the catalogue `text` into `directory` as package 0 of `server`, with the availability
// flags `offered` answered.
inline void LoadTestCatalogue(ChannelDirectory& directory, const ContentServer& server,
                              const QByteArray& text, const QByteArray& offered)
{
    Catalogue catalogue;
    catalogue.RadioChannelList = ParseChannelListText(text);
    catalogue.PackageFolderAddress = server.Root() + "Wavelark/freechannels/package0";
    directory.SetCatalogue(std::move(catalogue));
    directory.ApplyAvailability(offered);
}
