#include "hosted/web/policy/PagePolicy.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char kDisableSandboxVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";
constexpr char kChromiumFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";
// The kernel writes lines of about 150 characters; a longer one is cut and then fails to parse.
constexpr qint64 kMaxSocketLineLength = 512;
// Far more sockets than a desktop has; a table longer than this is not trusted to be read whole.
constexpr int kMaxSocketLines = 1 << 18;
constexpr char kListenState[] = "0A";
constexpr char kHexDigits[] = "0123456789ABCDEF";

using Address = std::array<quint8, 16>;

// Chromium's switches that leave the renderer without its sandbox. --single-process runs the
// renderer inside the engine's own process, which has no sandbox of its own.
bool IsUnsandboxingSwitch(QStringView argument)
{
    if (argument.startsWith(QLatin1String("--")))
        argument = argument.mid(2);
    else if (argument.startsWith(QLatin1Char('-')))
        argument = argument.mid(1);
    else
        return false;
    const QStringView name = argument.left(argument.indexOf(QLatin1Char('=')));
    return name == QLatin1String("no-sandbox") || name == QLatin1String("single-process");
}

std::optional<quint32> ParseHex(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    quint32 value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<quint32>(digit);
    }
    return value;
}

// The kernel prints each 32-bit word of an address as the number its bytes make in this
// machine's order; copying the number back gives the bytes in network order.
std::optional<Address> ParseSocketAddress(QByteArrayView hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return std::nullopt;
    Address address{};
    quint8* out = address.data();
    if (hex.size() == 8) {
        address[10] = address[11] = 0xff; // ::ffff:a.b.c.d
        out += 12;
    }
    for (qsizetype at = 0; at < hex.size(); at += 8) {
        const std::optional<quint32> word = ParseHex(hex.sliced(at, 8));
        if (!word)
            return std::nullopt;
        std::memcpy(out, &*word, 4);
        out += 4;
    }
    return address;
}

Address V4(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, a, b, c, d};
}

Address V6Loopback()
{
    Address address{};
    address[15] = 1;
    return address;
}

// The loopback addresses a connection to `host` may go to; none for any other host.
std::vector<Address> LoopbackAddressesOf(const QString& host)
{
    const QString name = host.toLower();
    if (name == QLatin1String("localhost"))
        return {V4(127, 0, 0, 1), V6Loopback()};
    if (name == QLatin1String("::1"))
        return {V6Loopback()};
    static const QRegularExpression dotted(
        QStringLiteral("^127\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = dotted.match(name);
    if (!match.hasMatch())
        return {};
    quint8 parts[3];
    for (int i = 0; i < 3; ++i) {
        const int part = match.captured(i + 1).toInt();
        if (part > 255)
            return {};
        parts[i] = static_cast<quint8>(part);
    }
    return {V4(127, parts[0], parts[1], parts[2])};
}

// Whether a socket listening on `listening` takes connections to `target`: the same address,
// or a wildcard of its family (an IPv6 wildcard takes IPv4 connections too, unless the socket
// says otherwise, which its table line does not show).
bool Takes(const Address& listening, const Address& target)
{
    static const Address v4Any = V4(0, 0, 0, 0);
    static const Address v6Any{};
    const bool targetIsV4 = std::equal(target.begin(), target.begin() + 12, v4Any.begin());
    return listening == target || listening == v6Any || (targetIsV4 && listening == v4Any);
}

// Reads one socket table line by line; false when it cannot be read or is too long to trust.
bool ReadSocketTable(const QString& path, std::vector<ListeningSocket>& sockets)
{
    QFile table(path);
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    for (int lines = 0; lines < kMaxSocketLines; ++lines) {
        const QByteArray line = table.readLine(kMaxSocketLineLength);
        if (line.isEmpty())
            return table.atEnd();
        if (const std::optional<ListeningSocket> socket = ParseListeningSocket(line))
            sockets.push_back(*socket);
    }
    return false;
}

} // namespace

bool PagesRenderWithoutSandbox(uint effectiveUid, const QProcessEnvironment& environment,
                               const QStringList& arguments)
{
    if (effectiveUid == 0 || environment.contains(QLatin1String(kDisableSandboxVariable)))
        return true;
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList flags =
        environment.value(QLatin1String(kChromiumFlagsVariable)).split(space, Qt::SkipEmptyParts);
    return std::any_of(flags.begin(), flags.end(), IsUnsandboxingSwitch) ||
           std::any_of(arguments.begin(), arguments.end(), IsUnsandboxingSwitch);
}

std::optional<ListeningSocket> ParseListeningSocket(QByteArrayView line)
{
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:when retrnsmt   uid ..."
    QByteArrayView fields[8];
    int count = 0;
    for (qsizetype at = 0; at < line.size() && count < 8;) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\n'))
            ++at;
        const qsizetype start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\n')
            ++at;
        if (at > start)
            fields[count++] = line.sliced(start, at - start);
    }
    if (count < 8 || !fields[0].endsWith(':') || fields[3] != kListenState)
        return std::nullopt;
    const qsizetype colon = fields[1].indexOf(':');
    if (colon < 0)
        return std::nullopt;
    const std::optional<Address> address = ParseSocketAddress(fields[1].first(colon));
    const QByteArrayView portText = fields[1].sliced(colon + 1);
    const std::optional<quint32> port =
        portText.size() == 4 ? ParseHex(portText) : std::optional<quint32>();
    bool ownerOk = false;
    const uint owner = fields[7].toUInt(&ownerOk);
    if (!address || !port || !ownerOk)
        return std::nullopt;
    return ListeningSocket{*address, static_cast<quint16>(*port), owner};
}

std::optional<std::vector<ListeningSocket>> ListeningSocketsHere()
{
    std::vector<ListeningSocket> sockets;
    if (!ReadSocketTable(QStringLiteral("/proc/net/tcp"), sockets))
        return std::nullopt;
    // Without IPv6 there is no second table, and nothing listens there.
    if (QFile::exists(QStringLiteral("/proc/net/tcp6")) &&
        !ReadSocketTable(QStringLiteral("/proc/net/tcp6"), sockets))
        return std::nullopt;
    return sockets;
}

bool PageMayBeShown(const QUrl& address, uint effectiveUid, const QProcessEnvironment& environment,
                    const QStringList& arguments, const std::vector<ListeningSocket>& listeners)
{
    if (!PagesRenderWithoutSandbox(effectiveUid, environment, arguments))
        return true;
    const QString scheme = address.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return !address.host().isEmpty();
    if (scheme != QLatin1String("http"))
        return false;
    const std::vector<Address> targets = LoopbackAddressesOf(address.host());
    const int port = address.port(80);
    bool taken = false;
    for (const ListeningSocket& socket : listeners) {
        if (socket.port != port ||
            std::none_of(targets.begin(), targets.end(),
                         [&](const Address& a) { return Takes(socket.address, a); }))
            continue;
        if (socket.owner != 0 && socket.owner != effectiveUid)
            return false;
        taken = true;
    }
    return taken;
}

bool PageMayBeShownHere(const QUrl& address)
{
    const uint effectiveUid = ::geteuid();
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QStringList arguments =
        QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
    if (!PagesRenderWithoutSandbox(effectiveUid, environment, arguments) ||
        address.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return PageMayBeShown(address, effectiveUid, environment, arguments, {});
    const std::optional<std::vector<ListeningSocket>> listeners = ListeningSocketsHere();
    return listeners && PageMayBeShown(address, effectiveUid, environment, arguments, *listeners);
}

QString EscapedForLog(QStringView text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            escaped += QLatin1String("\\x") + QLatin1Char(kHexDigits[u >> 4]) +
                       QLatin1Char(kHexDigits[u & 0xf]);
        else
            escaped += c;
    }
    return escaped;
}
