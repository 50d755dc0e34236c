// The import tool run on hostile station lists as a user would run it, in a process of its own
// under a 512 MiB address-space limit: each list must be refused or imported quickly, with a
// bounded report, and nothing a list says may reach the terminal as a control sequence.

#include "support/AddressSanitizer.h"
#include "support/TempFolder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr rlim_t kAddressSpaceBytes = 512ull * 1024 * 1024;
// kRunBound is a safety bound for a stuck or runaway import, not a measure of speed: these lists
// take well under a second of processor time each.
// AddressSanitizer reserves terabytes of address space for itself, so an instrumented tool runs
// without the limit, on smaller lists (the point there is what the sanitizer finds), and several
// times slower: its bound is wider.
#ifdef WAVELARK_ASAN
constexpr auto kRunBound = std::chrono::seconds(60);
constexpr bool kLimitAddressSpace = false;
constexpr qsizetype kScale = 4;
#else
constexpr auto kRunBound = std::chrono::seconds(10);
constexpr bool kLimitAddressSpace = true;
constexpr qsizetype kScale = 1;
#endif
constexpr qsizetype kMiB = 1024 * 1024 / kScale;

struct PackRun
{
    bool finished = false; // within the bound, by exiting (not by a signal)
    int exitCode = -1;
    QByteArray err;
    QByteArray out;
};

// wavelark-pack with `arguments`, in a child process whose address space is limited first.
PackRun RunPack(const TempFolder& folder, const std::vector<std::string>& arguments, bool limit)
{
    const std::string tool =
        (qEnvironmentVariable("WAVELARK_BUILD_DIR") + QStringLiteral("/wavelark-pack"))
            .toStdString();
    const std::string errPath = folder.FilePath(QStringLiteral("stderr.txt")).toStdString();
    const std::string outPath = folder.FilePath(QStringLiteral("stdout.txt")).toStdString();
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || out < 0 || dup2(err, 2) < 0 || dup2(out, 1) < 0)
            _exit(126);
        if (limit) {
            const rlimit bound{kAddressSpaceBytes, kAddressSpaceBytes};
            if (setrlimit(RLIMIT_AS, &bound) != 0)
                _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    PackRun run;
    if (child < 0)
        return run;
    const auto deadline = std::chrono::steady_clock::now() + kRunBound;
    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waited == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "the import ran past " << kRunBound.count() << " s";
    } else if (WIFEXITED(status)) {
        run.finished = true;
        run.exitCode = WEXITSTATUS(status);
    } else {
        ADD_FAILURE() << "the import died of signal " << WTERMSIG(status);
    }
    run.err = folder.Read(QStringLiteral("stderr.txt"));
    run.out = folder.Read(QStringLiteral("stdout.txt"));
    return run;
}

PackRun Import(const TempFolder& folder, const QString& list, bool limit = kLimitAddressSpace)
{
    return RunPack(folder,
                   {"import", "--archive", folder.FilePath(QStringLiteral("out/radio.int")).toStdString(),
                    "--content", folder.FilePath(QStringLiteral("out/content")).toStdString(),
                    folder.FilePath(list).toStdString()},
                   limit);
}

QByteArray Repeat(const QByteArray& piece, qsizetype bytes)
{
    return piece.repeated(std::max<qsizetype>(1, bytes / piece.size()));
}

// "[playlist]" and FileN lines of distinct numbers, none an address the player takes.
QByteArray NumberedPls(qsizetype bytes)
{
    QByteArray pls = "[playlist]\n";
    for (int n = 1; pls.size() < bytes; ++n)
        pls += "File" + QByteArray::number(n) + "=x://\n";
    return pls;
}

int ProblemLines(const QByteArray& err)
{
    int lines = 0;
    for (const QByteArray& line : err.split('\n'))
        lines += line.startsWith("wavelark-pack: left out: ") ? 1 : 0;
    return lines;
}

TEST(ImportLimits, HostileListsEndQuicklyWithABoundedReport)
{
    const QByteArray xspfHead = "<?xml version=\"1.0\"?>\n"
                                "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"
                                "<trackList>";
    const struct
    {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"unusable.m3u", "#EXTM3U\n" + Repeat("gopher://g.example/\x1B]0;x\x07\n", 16 * kMiB)},
        {"numbers.json", '[' + Repeat("1,", 16 * kMiB) + "1]"},
        {"empty-objects.json", '[' + Repeat("{},", 16 * kMiB) + "{}]"},
        {"nameless.json", '[' + Repeat("{\"url\":\"http://n.example/\"},", 16 * kMiB) + "{}]"},
        {"blank.m3u", Repeat("\n", 16 * kMiB)},
        {"blank-then-list.m3u",
         Repeat("\r\n", 16 * kMiB) + "#EXTM3U\nhttp://b.example/\n"},
        {"deep.xspf", xspfHead + Repeat("<a>", 6 * kMiB)},
        {"long-address.m3u",
         "#EXTM3U\n#EXTINF:-1,Long\nhttp://l.example/" + Repeat("a", 64 * kMiB) + '\n'},
        {"long-address.json",
         "[{\"name\": \"Long\", \"url\": \"http://l.example/" + Repeat("a", 64 * kMiB) + "\"}]"},
        {"long-location.xspf", xspfHead + "<track><location>http://l.example/" +
                                   Repeat("a", 64 * kMiB) + "</location></track>"},
        {"numbered.pls", NumberedPls(16 * kMiB)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.Write(QString::fromLatin1(c.name), c.bytes);
        const PackRun run = Import(folder, QString::fromLatin1(c.name));
        ASSERT_TRUE(run.finished) << run.err.left(2000).toStdString();
        // Refused (1) or imported (0), never out of memory (an abort) or a usage error.
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode;
        EXPECT_LE(ProblemLines(run.err), 101);
        EXPECT_FALSE(run.err.contains("bad_alloc"));
        EXPECT_FALSE(run.err.contains('\x1B'));
    }
}

TEST(ImportLimits, ANormalListImportsTheSameUnderTheLimit)
{
    QByteArray list = "#EXTM3U\n";
    for (int i = 1; i <= 20; ++i)
        list += "#EXTINF:-1 group-title=\"Test\",Station " + QByteArray::number(i) +
                "\nhttp://s.example/" + QByteArray::number(i) + '\n';
    TempFolder free;
    free.Write(QStringLiteral("list.m3u"), list);
    const PackRun unlimited = Import(free, QStringLiteral("list.m3u"), false);
    ASSERT_TRUE(unlimited.finished);
    ASSERT_EQ(unlimited.exitCode, 0) << unlimited.err.toStdString();

    TempFolder bounded;
    bounded.Write(QStringLiteral("list.m3u"), list);
    const PackRun limited = Import(bounded, QStringLiteral("list.m3u"));
    ASSERT_TRUE(limited.finished);
    ASSERT_EQ(limited.exitCode, 0) << limited.err.toStdString();
    EXPECT_TRUE(limited.err.contains("imported 20 stations"));
    EXPECT_EQ(bounded.Read(QStringLiteral("out/radio.int")),
              free.Read(QStringLiteral("out/radio.int")));
    EXPECT_EQ(bounded.Read(QStringLiteral("out/content/Wavelark/freechannels/package0/20.rd")),
              "http://s.example/20\r\n");
}

TEST(ImportLimits, ALongListReportsItsFirstHundredProblemsAndCountsTheRest)
{
    QByteArray list = "#EXTM3U\nhttp://ok.example/\n";
    for (int i = 0; i < 250; ++i)
        list += "not an address " + QByteArray::number(i) + '\n';
    TempFolder folder;
    folder.Write(QStringLiteral("list.m3u"), list);
    const PackRun run = Import(folder, QStringLiteral("list.m3u"));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ProblemLines(run.err), 101);
    EXPECT_TRUE(run.err.contains("left out: 150 more unusable entries\n")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("imported 1 stations; left out: 250 unusable"));
}

// Rejected lines are shown so that their owner can find them, with every control character
// (ESC ] 52 writes the clipboard in common terminals, ESC ] 0 the window title) made visible.
TEST(ImportLimits, RejectedLinesReachTheTerminalWithTheirControlsEscaped)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
        QByteArray shown;
    } cases[] = {
        // Past the first 512 bytes, which must look like text for a list to be read at all.
        {"clipboard.pls",
         "[playlist]\n" + Repeat("File2=http://ok.example/\n", 600) +
             "File1=\x1B]52;c;ZXZpbA==\x07\n",
         "\\x1B]52;c;ZXZpbA==\\x07"},
        // Past the first 512 bytes, which must look like text for a list to be read at all.
        {"title.m3u",
         "#EXTM3U\n" + Repeat("http://ok.example/\n", 600) + "\x1B]0;pwned\x1B\\ \xC2\x9B" "2J\n",
         "\\x1B]0;pwned\\x1B\\ \\x9B2J"},
        {"json.json",
         "[{\"name\": \"x\", \"url\": \"http://ok.example/\"},"
         " {\"name\": \"y\", \"url\": \"\\u001b]52;c;eA==\\u0007\"}]",
         "json.json:1: no stream address the player takes: ]52;c;eA=="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.Write(QString::fromLatin1(c.name), c.bytes);
        const PackRun run = Import(folder, QString::fromLatin1(c.name));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.shown)) << run.err.toStdString();
        for (const char control : {'\x1B', '\x07', '\x9B'})
            EXPECT_FALSE(run.err.contains(control)) << run.err.toStdString();
    }
}

} // namespace
