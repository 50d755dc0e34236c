#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

class ContentServer;

// What the radio window shows, worked out without widgets.

// The countries to list: each category once, in catalogue order of first appearance, and only
// when at least one record of it is available. The country list sorts them itself.
std::vector<QByteArray> CountriesToList(const ChannelList& list);

// The order the country list keeps: case-insensitive as the user reads the names, then by
// bytes so the order is total. A UTF-8 catalogue's names fold case by Unicode, so "австрия"
// lists before "Болгария" whatever the bytes say.
bool CountryListsBefore(const QByteArray& a, const QByteArray& b,
                        TextEncoding encoding = TextEncoding::Windows1252);

// The countries in the order the country list shows them.
void SortCountries(std::vector<QByteArray>& countries, TextEncoding encoding);

// The records of `category` (exact comparison) that are available, in catalogue order.
std::vector<int> ChannelsOfCountry(const ChannelList& list, const QByteArray& category);

// The items of the hidden start-time list ("00:00" .. "23:00") and hours list ("01 hour",
// "02 hours" .. "24 hours").
QStringList StartHourItems();
QStringList HourCountItems();

// The vendor's page a page button opens: RadioPagesBase + page name; empty for other ids.
QByteArray WebPageAddress(const ContentServer& server, int buttonId);

// The normal size: the client rectangle with right and bottom rounded up to even numbers.
QRect SavedClientRectFrom(const QRect& clientRect);

// The widened window while a page is shown: x 0, y (screen height - h) / 2, the screen's
// width, the normal height h.
QRect WidenedWindowRect(const QRect& savedClientRect, const QSize& screen);

// Where the page goes, in client coordinates: from the right of the normal area to 10 pixels
// before the screen's right edge, vertically along the sizing strip (control 1089) less 4 at
// the top and plus 2 at the bottom.
QRect WebPageRect(const QRect& savedClientRect, const QRect& sizingStrip, const QSize& screen);
