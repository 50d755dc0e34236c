// wavelark-pack: writes and inspects interface archives through the program's own reader.
//
//   wavelark-pack create ARCHIVE FILE...   entries named by the files' base names, in order
//   wavelark-pack list ARCHIVE             index, name, size, offset per entry
//   wavelark-pack cat ARCHIVE NAME         the entry's text as the program reads it
//   wavelark-pack channels ARCHIVE         the radio channel list built from "channels.rd", as
//   UTF-8 wavelark-pack import --archive ARCHIVE --content DIR FILE...
//                                          a UTF-8 catalogue and a static content tree from
//                                          station lists (a directory's JSON, M3U, PLS, XSPF)
//   wavelark-pack import --directory [BASE...] --archive ARCHIVE --content DIR [FILE...]
//                                          the same from the community station directory's
//                                          whole list, fetched from its servers (or BASEs)
//
// Exit codes: 0 done, 1 failed, 2 usage error.
#include "app/AtomicFile.h"
#include "app/ControlEscape.h"
#include "app/InterfaceArchive.h"
#include "directory/ChannelListText.h"
#include "tools/import/DirectoryFetch.h"
#include "tools/import/StationImport.h"
#include "tools/pack/ArchivePacker.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void WriteOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void WriteError(const QByteArray& message)
{
    const QByteArray line = "wavelark-pack: " + message + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

int Usage()
{
    WriteError(
        "usage: wavelark-pack create ARCHIVE FILE...\n"
        "       wavelark-pack list ARCHIVE\n"
        "       wavelark-pack cat ARCHIVE NAME\n"
        "       wavelark-pack channels ARCHIVE\n"
        "       wavelark-pack import --archive ARCHIVE --content DIR FILE...\n"
        "       wavelark-pack import --directory [BASE...] [--page-size N] --archive ARCHIVE "
        "--content DIR [FILE...]");
    return kExitUsage;
}

// The archive's index, or nothing (with a message) when the file cannot be read at all; a
// damaged archive still loads as far as it is intact, exactly as the program loads it.
std::optional<InterfaceArchive> LoadArchive(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        WriteError("cannot read " + QFile::encodeName(path) + ": " +
                   file.errorString().toLocal8Bit());
        return std::nullopt;
    }
    return LoadInterfaceArchive(path);
}

// The whole file, or nothing (with a message) when it cannot be read.
std::optional<QByteArray> ReadInput(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        WriteError("cannot read " + QFile::encodeName(path) + ": " +
                   file.errorString().toLocal8Bit());
        return std::nullopt;
    }
    return file.readAll();
}

int Create(const QString& archivePath, const std::vector<QString>& inputs)
{
    std::vector<PackedFile> files;
    for (const QString& input : inputs) {
        const std::optional<QByteArray> bytes = ReadInput(input);
        if (!bytes)
            return kExitFailed;
        files.push_back({QFile::encodeName(QFileInfo(input).fileName()), *bytes});
    }
    const std::optional<QByteArray> bytes = PackInterfaceArchive(files);
    if (!bytes) {
        WriteError("the files do not fit an archive (at most 65535 entries and 4 GiB of data)");
        return kExitFailed;
    }
    if (!WriteFileAtomically(archivePath, *bytes)) {
        WriteError("cannot write " + QFile::encodeName(archivePath));
        return kExitFailed;
    }
    return 0;
}

int List(const InterfaceArchive& archive)
{
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const InterfaceEntry& entry = archive.entries[i];
        WriteOut(QByteArray::number(qulonglong(i)) + '\t' + entry.name + '\t' +
                 QByteArray::number(entry.dataSize) + '\t' + QByteArray::number(entry.dataOffset) +
                 '\n');
    }
    return 0;
}

int Cat(const InterfaceArchive& archive, const QByteArray& name)
{
    const quint16 index = FindInterfaceEntry(name, archive);
    if (index == kNoInterfaceEntry) {
        WriteError("no entry named " + name);
        return kExitFailed;
    }
    WriteOut(ReadInterfaceEntry(archive, index));
    return 0;
}

int Channels(const InterfaceArchive& archive)
{
    Catalogue catalogue;
    ParseChannelList(catalogue, archive);
    const ChannelList& list = catalogue.RadioChannelList;
    // Printed as UTF-8 whatever the catalogue's own encoding.
    const auto utf8 = [&list](const QByteArray& text) {
        return list.encoding == TextEncoding::Utf8 ? text : DecodeAnsi(text).toUtf8();
    };
    for (qint32 i = 0; i < list.count && size_t(i) < list.records.size(); ++i) {
        const ChannelRecord& record = list.records[size_t(i)];
        WriteOut(QByteArray::number(record.position) + '\t' + QByteArray::number(record.number) +
                 '\t' + utf8(record.category) + '\t' + utf8(record.name) + '\t' +
                 utf8(record.infoText) + '\t' + QByteArray::number(record.available) + '\n');
    }
    return 0;
}

// The directory's list, with progress on stderr: one line per page, or one line rewritten in
// place on a terminal. Nothing, with one line saying why, when no server delivered it.
std::optional<QByteArray> FetchDirectory(QStringList servers, int pageSize)
{
    if (servers.isEmpty())
        servers = DirectoryFetch::DiscoverServers();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    DirectoryFetch::Settings settings;
    settings.servers = servers;
    settings.userAgent = QByteArrayLiteral("Wavelark/") + WAVELARK_VERSION_TEXT;
    settings.pageSize = pageSize;
    settings.progress = [terminal](const QString& line) {
        const QByteArray text = "wavelark-pack: " + line.toUtf8();
        const QByteArray out = terminal ? "\r\033[K" + text : text + '\n';
        std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
        std::fflush(stderr);
    };
    QString failure;
    std::optional<QByteArray> list = DirectoryFetch::FetchAll(settings, failure);
    if (terminal)
        std::fputc('\n', stderr);
    if (!list)
        WriteError(failure.toUtf8());
    return list;
}

int Import(const QString& archivePath, const QString& contentDir,
           const std::vector<QString>& inputs,
           const std::optional<QByteArray>& directory = std::nullopt)
{
    StationImport import;
    if (directory)
        import.Read(*directory, QStringLiteral("directory"));
    for (const QString& input : inputs) {
        // Read as it streams in: memory follows the stations kept, not the file's size.
        QFile file(input);
        if (!file.open(QIODevice::ReadOnly)) {
            WriteError("cannot read " + QFile::encodeName(input) + ": " +
                       file.errorString().toLocal8Bit());
            return kExitFailed;
        }
        if (!import.Read(file, input)) {
            WriteError(QFile::encodeName(input) + " is larger than " +
                       QByteArray::number(StationImport::kMaxInputBytes) + " bytes");
            return kExitFailed;
        }
    }
    // A list's text reaches the terminal with its control characters made visible: a line
    // may carry an escape sequence that would write the clipboard or the window title.
    for (const QString& problem : import.Problems())
        WriteError("left out: " + EscapeControls(QByteArrayView(problem.toUtf8())));
    const qint64 unshown = import.ProblemCount() - qint64(import.Problems().size());
    if (unshown > 0)
        WriteError("left out: " + QByteArray::number(unshown) + " more unusable entries");
    if (import.Stations().empty()) {
        WriteError("no usable station in the lists");
        return kExitFailed;
    }
    const std::optional<QByteArray> archive =
        PackInterfaceArchive({{QByteArrayLiteral("channels.rd"), import.CatalogueText()}});
    if (!archive) {
        WriteError("the catalogue does not fit an archive");
        return kExitFailed;
    }
    const QDir root(contentDir);
    QString madeFolder;
    for (const auto& [path, bytes] : import.ContentFiles(WAVELARK_VERSION_TEXT)) {
        const QString target = root.filePath(path);
        const QString folder = QFileInfo(target).path();
        if (folder != madeFolder && !QDir().mkpath(folder)) {
            WriteError("cannot make " + QFile::encodeName(folder));
            return kExitFailed;
        }
        madeFolder = folder;
        // Each file whole or not at all; the tree reaches the disk in one sync below.
        if (!WriteFileAtomically(target, bytes, false)) {
            WriteError("cannot write " + QFile::encodeName(target));
            return kExitFailed;
        }
    }
    const int tree = ::open(QFile::encodeName(root.absolutePath()).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = tree >= 0 && ::syncfs(tree) == 0;
    if (tree >= 0)
        ::close(tree);
    if (!synced) {
        WriteError("cannot sync " + QFile::encodeName(root.absolutePath()));
        return kExitFailed;
    }
    // The archive last: a program pointed at it finds every file it names.
    if (!QDir().mkpath(QFileInfo(archivePath).path()) ||
        !WriteFileAtomically(archivePath, *archive)) {
        WriteError("cannot write " + QFile::encodeName(archivePath));
        return kExitFailed;
    }
    WriteError("imported " + QByteArray::number(qulonglong(import.Stations().size())) +
               " stations; left out: " + QByteArray::number(import.ProblemCount()) +
               " unusable, " + QByteArray::number(import.Duplicates()) + " repeated addresses, " +
               QByteArray::number(import.FailedChecks()) + " found down by the directory");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<QByteArray> args(argv + 1, argv + argc);
    if (args.size() < 2)
        return Usage();
    const QByteArray& command = args[0];
    const QString archivePath = QFile::decodeName(args[1]);

    int status = kExitUsage;
    if (command == "import") {
        QString archive;
        QString content;
        std::vector<QString> inputs;
        bool directory = false;
        QStringList servers;
        int pageSize = DirectoryFetch::kMaxPageSize;
        for (size_t i = 1; i < args.size(); ++i) {
            if ((args[i] == "--archive" || args[i] == "--content") && i + 1 < args.size()) {
                (args[i] == "--archive" ? archive : content) = QFile::decodeName(args[i + 1]);
                ++i;
            } else if (args[i] == "--page-size" && i + 1 < args.size()) {
                bool ok = false;
                pageSize = args[++i].toInt(&ok);
                if (!ok || pageSize < 1 || pageSize > DirectoryFetch::kMaxPageSize)
                    return Usage();
            } else if (args[i] == "--directory") {
                directory = true;
                // The servers to use, in order, instead of the directory's own.
                while (i + 1 < args.size() &&
                       (args[i + 1].startsWith("http://") || args[i + 1].startsWith("https://")))
                    servers.append(QString::fromUtf8(args[++i]));
            } else {
                inputs.push_back(QFile::decodeName(args[i]));
            }
        }
        if (archive.isEmpty() || content.isEmpty() || (inputs.empty() && !directory))
            return Usage();
        std::optional<QByteArray> list;
        if (directory && !(list = FetchDirectory(servers, pageSize)))
            return kExitFailed;
        status = Import(archive, content, inputs, list);
    } else if (command == "create" && args.size() >= 3) {
        std::vector<QString> inputs;
        for (size_t i = 2; i < args.size(); ++i)
            inputs.push_back(QFile::decodeName(args[i]));
        status = Create(archivePath, inputs);
    } else if ((command == "list" && args.size() == 2) ||
               (command == "channels" && args.size() == 2) ||
               (command == "cat" && args.size() == 3)) {
        const std::optional<InterfaceArchive> archive = LoadArchive(archivePath);
        if (!archive)
            status = kExitFailed;
        else if (command == "list")
            status = List(*archive);
        else if (command == "channels")
            status = Channels(*archive);
        else
            status = Cat(*archive, args[2]);
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return status;
}
