#include "support/LocalHttpServer.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUrlQuery>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace {

constexpr int kStations = 23;
constexpr int kPageSize = 5;
constexpr int kProcessTimeoutMs = 120000;

QString BuildDir()
{
    const QString named = qEnvironmentVariable("WAVELARK_BUILD_DIR");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() : named;
}

struct RunResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray err;
};

RunResult RunPack(const QStringList& arguments)
{
    QProcess process;
    process.start(BuildDir() + QStringLiteral("/wavelark-pack"), arguments);
    RunResult result;
    if (!process.waitForStarted(kProcessTimeoutMs))
        return result;
    result.finished = process.waitForFinished(kProcessTimeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(kProcessTimeoutMs);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.err = process.readAllStandardError();
    return result;
}

// The directory's records, in the shapes its answers have.
QJsonArray Stations()
{
    QJsonArray stations;
    for (int i = 0; i < kStations; ++i) {
        stations.append(QJsonObject{
            {QStringLiteral("name"), QStringLiteral("Station %1 Ä").arg(i)},
            {QStringLiteral("url"), QStringLiteral("http://127.0.0.1:9/s%1.mp3").arg(i)},
            {QStringLiteral("url_resolved"), QStringLiteral("http://127.0.0.1:9/s%1.mp3").arg(i)},
            {QStringLiteral("country"), i % 2 ? QStringLiteral("Chile") : QStringLiteral("Peru")},
            {QStringLiteral("tags"), QStringLiteral("rock,pop")},
            {QStringLiteral("codec"), QStringLiteral("MP3")},
            {QStringLiteral("bitrate"), 128},
            {QStringLiteral("lastcheckok"), i % 7 == 6 ? 0 : 1},
        });
    }
    return stations;
}

// How one server answers the page at an offset.
enum class Fault { None, CutShort, Unavailable, Endless, NotJson };

// A server that answers /json/stations as the directory does, with a fault at one offset.
class DirectoryServer
{
public:
    DirectoryServer(Fault fault = Fault::None, int faultOffset = -1)
        : m_fault(fault), m_faultOffset(faultOffset)
    {
        m_http.server().Get("/json/stations",
                            [this](const httplib::Request& request, httplib::Response& response) {
                                Answer(request, response);
                            });
    }
    bool Start() { return m_http.Start(); }
    QString Base() const { return QString::fromStdString(m_http.Root()).chopped(1); }
    int Pages() const { return m_pages; }
    std::string UserAgent()
    {
        std::lock_guard lock(m_mutex);
        return m_userAgent;
    }

private:
    void Answer(const httplib::Request& request, httplib::Response& response)
    {
        {
            std::lock_guard lock(m_mutex);
            m_userAgent = request.get_header_value("User-Agent");
        }
        ++m_pages;
        if (request.get_param_value("hidebroken") != "true") {
            response.status = 400;
            return;
        }
        const int limit = std::stoi(request.get_param_value("limit"));
        const int offset = std::stoi(request.get_param_value("offset"));
        QJsonArray page;
        const QJsonArray all = Stations();
        for (int i = offset; i < std::min<int>(int(all.size()), offset + limit); ++i)
            page.append(all[i]);
        std::string body = QJsonDocument(page).toJson().toStdString();
        if (offset != m_faultOffset || m_fault == Fault::None) {
            response.set_content(body, "application/json");
            return;
        }
        switch (m_fault) {
        case Fault::CutShort:
            // Complete as HTTP, cut as JSON: the connection closed early behind a proxy.
            response.set_content(body.substr(0, body.size() / 2), "application/json");
            break;
        case Fault::Unavailable:
            response.status = 503;
            response.set_content("busy", "text/plain");
            break;
        case Fault::NotJson:
            response.set_content("<html>maintenance</html>", "text/html");
            break;
        case Fault::Endless:
            response.set_chunked_content_provider("application/json",
                                                  [](size_t, httplib::DataSink& sink) {
                                                      static const std::string chunk(1 << 20, ' ');
                                                      return sink.write(chunk.data(), chunk.size());
                                                  });
            break;
        case Fault::None:
            break;
        }
    }

    LocalHttpServer m_http;
    Fault m_fault;
    int m_faultOffset;
    std::atomic<int> m_pages{0};
    std::mutex m_mutex;
    std::string m_userAgent;
};

// A server address where nothing listens.
QString DeadBase()
{
    LocalHttpServer gone;
    if (!gone.Start())
        return QStringLiteral("http://127.0.0.1:9");
    const QString base = QString::fromStdString(gone.Root()).chopped(1);
    gone.Stop();
    return base;
}

// Every file below `root`, relative path to bytes.
std::map<QString, QByteArray> Tree(const QString& root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files[QDir(root).relativeFilePath(path)] = file.readAll();
    }
    return files;
}

class DirectoryImportTest : public ::testing::Test
{
protected:
    QStringList ImportArguments(const QString& name) const
    {
        return {QStringLiteral("import"), QStringLiteral("--archive"),
                m_folder.FilePath(name + QStringLiteral("/radio.int")), QStringLiteral("--content"),
                m_folder.FilePath(name + QStringLiteral("/content"))};
    }

    TempFolder m_folder;
};

TEST_F(DirectoryImportTest, PagesFromSeveralServersGiveTheCatalogueOfTheSameList)
{
    // A dead first server, one that cuts its third page, and one that finishes from there.
    DirectoryServer cutting(Fault::CutShort, 2 * kPageSize);
    DirectoryServer finishing;
    ASSERT_TRUE(cutting.Start());
    ASSERT_TRUE(finishing.Start());
    const RunResult fetched = RunPack(
        ImportArguments(QStringLiteral("fetched")) +
        QStringList{QStringLiteral("--directory"), DeadBase(), cutting.Base(), finishing.Base(),
                    QStringLiteral("--page-size"), QString::number(kPageSize)});
    ASSERT_TRUE(fetched.finished);
    ASSERT_EQ(fetched.exitCode, 0) << fetched.err.toStdString();
    EXPECT_EQ(cutting.Pages(), 3);
    EXPECT_EQ(finishing.Pages(), 3); // offsets 10, 15, 20 (3 records: the last page)
    EXPECT_EQ(finishing.UserAgent().rfind("Wavelark/", 0), 0U) << finishing.UserAgent();
    // Progress, one line per page (stderr is no terminal here), and the servers left.
    EXPECT_EQ(fetched.err.count("stations so far"), 5) << fetched.err.toStdString();
    EXPECT_TRUE(fetched.err.contains("23 stations so far")) << fetched.err.toStdString();
    EXPECT_EQ(fetched.err.count("left at offset"), 2) << fetched.err.toStdString();

    // The same list as a file.
    const QString file = m_folder.FilePath(QStringLiteral("stations.json"));
    m_folder.Write(QStringLiteral("stations.json"), QJsonDocument(Stations()).toJson());
    const RunResult imported = RunPack(ImportArguments(QStringLiteral("file")) << file);
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_EQ(m_folder.Read(QStringLiteral("fetched/radio.int")),
              m_folder.Read(QStringLiteral("file/radio.int")));
    const auto fetchedTree = Tree(m_folder.FilePath(QStringLiteral("fetched/content")));
    EXPECT_EQ(fetchedTree, Tree(m_folder.FilePath(QStringLiteral("file/content"))));
    EXPECT_EQ(fetchedTree.count(QStringLiteral("Wavelark/freechannels/package0/20.rd")), 1U);
}

TEST_F(DirectoryImportTest, WhenNoServerDeliversTheOldCatalogueStays)
{
    m_folder.Write(QStringLiteral("old.json"), QJsonDocument(Stations()).toJson());
    ASSERT_EQ(RunPack(ImportArguments(QStringLiteral("live"))
                      << m_folder.FilePath(QStringLiteral("old.json")))
                  .exitCode,
              0);
    const QByteArray archiveBefore = m_folder.Read(QStringLiteral("live/radio.int"));
    const auto treeBefore = Tree(m_folder.FilePath(QStringLiteral("live/content")));

    DirectoryServer busy(Fault::Unavailable, kPageSize);
    DirectoryServer endless(Fault::Endless, kPageSize);
    DirectoryServer maintenance(Fault::NotJson, kPageSize);
    ASSERT_TRUE(busy.Start());
    ASSERT_TRUE(endless.Start());
    ASSERT_TRUE(maintenance.Start());
    const RunResult result = RunPack(
        ImportArguments(QStringLiteral("live")) +
        QStringList{QStringLiteral("--directory"), busy.Base(), DeadBase(), endless.Base(),
                    maintenance.Base(), QStringLiteral("--page-size"), QString::number(kPageSize)});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.count("left at offset 5"), 4) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("HTTP status 503")) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("larger than")) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("no server of the station directory delivered the whole "
                                    "list (5 stations fetched)"))
        << result.err.toStdString();
    EXPECT_EQ(m_folder.Read(QStringLiteral("live/radio.int")), archiveBefore);
    EXPECT_EQ(Tree(m_folder.FilePath(QStringLiteral("live/content"))), treeBefore);
}

} // namespace
