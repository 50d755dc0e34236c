#include "radio/StationLayout.h"

#include "directory/ContentServer.h"
#include "radio/StationIds.h"

#include <algorithm>

std::vector<QByteArray> CountriesToList(const ChannelList& list)
{
    std::vector<QByteArray> countries;
    for (const ChannelRecord& record : list.records) {
        if (std::find(countries.begin(), countries.end(), record.category) != countries.end())
            continue;
        const bool offered =
            std::any_of(list.records.begin(), list.records.end(), [&](const ChannelRecord& r) {
                return r.category == record.category && r.available;
            });
        if (offered)
            countries.push_back(record.category);
    }
    return countries;
}

bool CountryListsBefore(const QByteArray& a, const QByteArray& b, TextEncoding encoding)
{
    const int folded = encoding == TextEncoding::Utf8
                           ? QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive)
                           : qstricmp(a.constData(), b.constData());
    if (folded != 0)
        return folded < 0;
    return a < b;
}

void SortCountries(std::vector<QByteArray>& countries, TextEncoding encoding)
{
    std::stable_sort(countries.begin(), countries.end(),
                     [encoding](const QByteArray& a, const QByteArray& b) {
                         return CountryListsBefore(a, b, encoding);
                     });
}

std::vector<int> ChannelsOfCountry(const ChannelList& list, const QByteArray& category)
{
    std::vector<int> indexes;
    for (size_t i = 0; i < list.records.size(); ++i) {
        if (list.records[i].category == category && list.records[i].available)
            indexes.push_back(static_cast<int>(i));
    }
    return indexes;
}

QStringList StartHourItems()
{
    QStringList items;
    for (int h = 0; h < 24; ++h)
        items << QString::asprintf("%02d:00", h);
    return items;
}

QStringList HourCountItems()
{
    QStringList items;
    for (int h = 0; h < 24; ++h)
        items << (h == 0 ? QString::asprintf("%02d hour", 1)
                         : QString::asprintf("%02d hours", h + 1));
    return items;
}

QByteArray WebPageAddress(const ContentServer& server, int buttonId)
{
    for (const StationPage& page : kStationPages) {
        if (page.buttonId == buttonId)
            return server.RadioPagesBase() + page.name;
    }
    return QByteArray();
}

QRect SavedClientRectFrom(const QRect& clientRect)
{
    // QRect's right() is inclusive; the window's rectangle counts right and bottom as edges.
    int right = clientRect.x() + clientRect.width();
    int bottom = clientRect.y() + clientRect.height();
    if (right % 2 != 0)
        ++right;
    if (bottom % 2 != 0)
        ++bottom;
    return QRect(QPoint(clientRect.x(), clientRect.y()), QPoint(right - 1, bottom - 1));
}

QRect WidenedWindowRect(const QRect& savedClientRect, const QSize& screen)
{
    const int h = savedClientRect.height();
    return QRect(0, (screen.height() - h) / 2, screen.width(), h);
}

QRect WebPageRect(const QRect& savedClientRect, const QRect& sizingStrip, const QSize& screen)
{
    const int left = savedClientRect.x() + savedClientRect.width();
    const int right = screen.width() - 10;
    const int top = sizingStrip.y() + 4;
    const int bottom = sizingStrip.y() + sizingStrip.height() + 2;
    return QRect(left, top, right - left, bottom - top);
}
