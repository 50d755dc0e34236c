#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Small readers of a playlist's bytes, shared by its kind detection and its entry readers.
namespace PlaylistText {

// The content without a UTF-8 byte order mark and leading white space.
inline QByteArrayView Body(const QByteArray& content)
{
    QByteArrayView view(content);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    qsizetype start = 0;
    while (start < view.size() && (view[start] == ' ' || view[start] == '\t' ||
                                   view[start] == '\r' || view[start] == '\n'))
        ++start;
    return view.sliced(start);
}

inline bool StartsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() &&
           text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

} // namespace PlaylistText
