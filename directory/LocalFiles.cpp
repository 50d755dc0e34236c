#include "directory/LocalFiles.h"

#include "app/AtomicFile.h"

#include <QFile>
#include <QLoggingCategory>
#include <QString>
#include <algorithm>

Q_LOGGING_CATEGORY(lcLocalFiles, "wavelark.directory.localfiles")

namespace {

const QString kLastChannelFile = QStringLiteral("channel.dat");
const QString kFavouritesFile = QStringLiteral("favoutites.dat"); // the name as shipped
const QString kTreeChannelFile = QStringLiteral("tv.dat");

bool WriteQuietly(const QString& path, const QByteArray& bytes)
{
    if (WriteFileAtomically(path, bytes))
        return true;
    qCWarning(lcLocalFiles) << "cannot write" << path;
    return false;
}

bool WriteLastChannel(const Catalogue& catalogue, const QByteArray& name, bool lineEnd)
{
    QByteArray bytes = LastChannelPackage(catalogue.PackageFolderAddress);
    bytes += '\n';
    bytes += name;
    if (lineEnd)
        bytes += '\n';
    return WriteQuietly(kLastChannelFile, bytes);
}

// One line from `pos`: up to the next LF (exclusive) or the end of the bytes.
QByteArray TakeLine(const QByteArray& bytes, qsizetype& pos)
{
    if (pos >= bytes.size())
        return QByteArray("");
    const qsizetype lineFeed = bytes.indexOf('\n', pos);
    const qsizetype end = lineFeed < 0 ? bytes.size() : lineFeed;
    QByteArray line = bytes.mid(pos, end - pos);
    pos = lineFeed < 0 ? bytes.size() : lineFeed + 1;
    return line;
}

// The text as a C string sees it: up to its first zero byte.
QByteArray UpToZero(const QByteArray& text)
{
    const qsizetype zero = text.indexOf('\0');
    return zero < 0 ? text : text.left(zero);
}

// strcmp on the bytes: unsigned byte order, a text sorting before every longer text it starts.
int CompareBytes(const QByteArray& left, const QByteArray& right)
{
    const QByteArray a = UpToZero(left);
    const QByteArray b = UpToZero(right);
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace

QByteArray LastChannelPackage(const QByteArray& packageFolderAddress)
{
    const qsizetype at = packageFolderAddress.indexOf("package");
    if (at < 0)
        return QByteArrayLiteral("package0");
    return packageFolderAddress.mid(at, 8);
}

bool SaveLastChannel(const Catalogue& catalogue, const QByteArray& name)
{
    return WriteLastChannel(catalogue, name, false);
}

bool SaveLastChannelWithLineEnd(const Catalogue& catalogue, const QByteArray& name)
{
    return WriteLastChannel(catalogue, name, true);
}

namespace {

// "channel.dat"'s bytes, or a null array when it cannot be opened.
QByteArray ReadLastChannelFile()
{
    QFile file(kLastChannelFile);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // The file is ours and two short lines; a damaged huge one must not fill memory.
    constexpr qint64 kMaxBytes = 64 * 1024;
    QByteArray bytes = file.read(kMaxBytes);
    return bytes.isNull() ? QByteArray("") : bytes;
}

} // namespace

QByteArray ReadStartChannel(const QByteArray& packageName)
{
    const QByteArray bytes = ReadLastChannelFile();
    if (bytes.isNull())
        return QByteArray("");
    return StartChannelFromBytes(bytes, packageName);
}

QByteArray ReadSavedChannelName()
{
    const QByteArray bytes = ReadLastChannelFile();
    qsizetype pos = 0;
    TakeLine(bytes, pos);
    return UpToZero(TakeLine(bytes, pos));
}

QByteArray StartChannelFromBytes(const QByteArray& bytes, const QByteArray& packageName)
{
    qsizetype pos = 0;
    const QByteArray package = TakeLine(bytes, pos);
    const QByteArray name = TakeLine(bytes, pos);
    if (CompareBytes(packageName, package) < 0)
        return QByteArrayLiteral("random");
    return UpToZero(name);
}

bool SaveFavourites(const QByteArray& favouritesText)
{
    return WriteQuietly(kFavouritesFile, favouritesText);
}

bool SaveTreeChannel(const QByteArray& name)
{
    return WriteQuietly(kTreeChannelFile, name);
}
