#pragma once

#include "app/AnsiText.h"

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// One radio channel of the catalogue. Texts are bytes as they stand in the catalogue (in its
// encoding, see ChannelList); widgets decode them for display, files never re-encode them.
struct ChannelRecord
{
    QByteArray category;  // the country the channel belongs to
    QByteArray infoText;  // tool tip in the channel tree
    qint32 number = 0;    // the integer on the record's third line, kept as read
    QByteArray name;      // display name and lookup key; compared byte for byte
    qint32 position = 0;  // 0-based place in the catalogue text; position + 1 names the stream file
    qint32 available = 0; // 1 when the current package offers the channel
};

// The records in catalogue order. `count` is the count the catalogue text announced; it stays
// that number even when the text ended early, so records past the end may be empty. It always
// equals records.size(): a count no text could fill is cut down when the list is built
// (ParseChannelListText).
struct ChannelList
{
    // What the texts are: Windows-1252 unless the catalogue text began with a UTF-8 byte-order
    // mark.
    TextEncoding encoding = TextEncoding::Windows1252;
    qint32 count = 0;
    std::vector<ChannelRecord> records;
};

// The package and its channel list. The program's one copy is owned by ChannelDirectory.
struct Catalogue
{
    ChannelList RadioChannelList;
    QByteArray PackageName;
    QByteArray PackageFolderAddress;
};

// Index of the first record whose name equals `name` exactly, or -1.
int FindChannelByName(const ChannelList& list, const QByteArray& name);

// Index of the first offered record whose name equals `name`, else FindChannelByName's: a name
// whose first record the package does not offer starts the record it does offer.
int FindOfferedChannelByName(const ChannelList& list, const QByteArray& name);

// The infoText of the record FindChannelByName finds, or the empty text.
QByteArray InfoTextForName(const ChannelList& list, const QByteArray& name);

// Record i becomes available exactly when flags[i] is '1'; records past the end of flags are not.
void ApplyAvailability(ChannelList& list, const QByteArray& flags);
