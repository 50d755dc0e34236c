// wavelark-content-server: serves the demo content folders over HTTP on 127.0.0.1.
//
//   wavelark-content-server --root DIR [--root DIR ...] [--port N] [--stream-base URL]
//
// Several roots overlay each other: the first root that holds a requested file answers, so a
// test can replace single files of the demo content with a small folder of its own. Paths are
// taken exactly as requested (letter case matters, as on the real host). In catalogue files
// (.rd) and playlist files (.pls, .m3u, .asx, .xspf) the placeholder ${STREAM_BASE} becomes the
// address of the live stream server, whose port is only known when the demo stack starts, and
// ${SERVER_BASE} this server's own address.

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <iterator>
#include <optional>
#include <pthread.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStreamBasePlaceholder = "${STREAM_BASE}";
constexpr std::string_view kServerBasePlaceholder = "${SERVER_BASE}";
constexpr int kDefaultPort = 8080;
// Matches the demo stack's default live stream server.
constexpr std::string_view kDefaultStreamBase = "http://127.0.0.1:8000";
// Content files are a few kilobytes; anything far larger is not demo content.
constexpr std::uintmax_t kMaxFileSize = 16u * 1024u * 1024u;
// The server only answers GET and takes no request bodies; without a cap the library keeps any
// body a client sends in memory (a 200 MB body took 270 MB). Larger bodies get 413 unread.
constexpr std::uint64_t kMaxRequestBody = 4096;

struct Options
{
    std::vector<fs::path> roots;
    int port = kDefaultPort;
    std::string streamBase{kDefaultStreamBase};
    // Known once the server is bound.
    std::string serverBase;
};

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: wavelark-content-server --root DIR [--root DIR ...] [--port N] "
               "[--stream-base URL]\n"
               "  --root DIR         folder to serve; repeat to overlay, the first root holding "
               "a file wins\n"
               "  --port N           port on 127.0.0.1 (default 8080; 0 picks a free port)\n"
               "  --stream-base URL  replaces ${STREAM_BASE} in .rd files "
               "(default http://127.0.0.1:8000)\n",
               out);
}

std::optional<int> ParsePort(const std::string& text)
{
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int port = std::atoi(text.c_str());
    if (port > 65535)
        return std::nullopt;
    return port;
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "wavelark-content-server: %s needs a value\n", argv[i]);
            return std::nullopt;
        }
        const std::string value = argv[++i];
        if (arg == "--root") {
            std::error_code error;
            const fs::path root = fs::canonical(fs::path(value), error);
            if (error || !fs::is_directory(root, error)) {
                std::fprintf(stderr, "wavelark-content-server: no such folder: %s\n",
                             value.c_str());
                return std::nullopt;
            }
            options.roots.push_back(root);
        } else if (arg == "--port") {
            const std::optional<int> port = ParsePort(value);
            if (!port) {
                std::fprintf(stderr, "wavelark-content-server: bad port: %s\n", value.c_str());
                return std::nullopt;
            }
            options.port = *port;
        } else if (arg == "--stream-base") {
            options.streamBase = value;
            while (!options.streamBase.empty() && options.streamBase.back() == '/')
                options.streamBase.pop_back();
        } else {
            std::fprintf(stderr, "wavelark-content-server: unknown option: %s\n", argv[i - 1]);
            return std::nullopt;
        }
    }
    if (options.roots.empty()) {
        std::fputs("wavelark-content-server: at least one --root is needed\n", stderr);
        return std::nullopt;
    }
    return options;
}

// The request path (already percent-decoded) as a path relative to a root. Anything that could
// name a file outside the roots is refused: ".." or "." segments, empty segments (so "//etc"
// cannot become absolute), backslashes and NUL bytes.
std::optional<fs::path> RelativeRequestPath(const std::string& requestPath)
{
    if (requestPath.size() < 2 || requestPath.front() != '/')
        return std::nullopt;
    const std::string_view rest = std::string_view(requestPath).substr(1);
    if (rest.find('\0') != std::string_view::npos || rest.find('\\') != std::string_view::npos)
        return std::nullopt;
    fs::path relative;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        const std::string_view segment = rest.substr(start, end - start);
        const bool last = end == rest.size();
        // A trailing "/" names a folder; folders are never served, so it simply fails to match.
        if (segment.empty() && !last)
            return std::nullopt;
        if (segment == "." || segment == "..")
            return std::nullopt;
        if (!segment.empty())
            relative /= fs::path(std::string(segment));
        else
            relative /= fs::path();
        start = end + 1;
    }
    return relative;
}

bool IsInside(const fs::path& root, const fs::path& candidate)
{
    const auto [rootEnd, candidateIt] =
        std::mismatch(root.begin(), root.end(), candidate.begin(), candidate.end());
    return rootEnd == root.end();
}

// The file of the first root that holds the path, resolved through symbolic links, and only if
// it stays inside that root.
std::optional<fs::path> FindFile(const std::vector<fs::path>& roots, const fs::path& relative)
{
    for (const fs::path& root : roots) {
        std::error_code error;
        const fs::path candidate = root / relative;
        if (!fs::is_regular_file(candidate, error))
            continue;
        const fs::path resolved = fs::canonical(candidate, error);
        if (error || !IsInside(root, resolved))
            continue;
        return resolved;
    }
    return std::nullopt;
}

std::optional<std::string> ReadFile(const fs::path& file)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error || size > kMaxFileSize)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::string Lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const char* ContentType(const fs::path& file)
{
    const std::string extension = Lowercase(file.extension().string());
    if (extension == ".php" || extension == ".html" || extension == ".htm")
        return "text/html";
    if (extension == ".rd" || extension == ".txt")
        return "text/plain";
    if (extension == ".tsv")
        return "text/tab-separated-values";
    if (extension == ".css")
        return "text/css";
    if (extension == ".png")
        return "image/png";
    if (extension == ".pls")
        return "audio/x-scpls";
    if (extension == ".m3u")
        return "audio/x-mpegurl";
    if (extension == ".m3u8")
        return "application/vnd.apple.mpegurl";
    if (extension == ".ts")
        return "video/mp2t";
    if (extension == ".asx")
        return "video/x-ms-asf";
    if (extension == ".xspf")
        return "application/xspf+xml";
    return "application/octet-stream";
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

const char* ReasonText(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

// Real servers answer a missing file with an HTML page; the program recognises it by its
// doctype line, so the page must begin with it.
std::string ErrorPage(int status)
{
    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
         << status << ' ' << ReasonText(status) << "</title>\n</head>\n<body>\n<h1>"
         << ReasonText(status)
         << "</h1>\n<p>The requested address is not available on this server.</p>\n"
            "</body>\n</html>\n";
    return page.str();
}

// Request paths come from the client: keep control bytes out of the log.
std::string Printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Serve(const Options& options, const httplib::Request& request, httplib::Response& response)
{
    const std::optional<fs::path> relative = RelativeRequestPath(request.path);
    if (!relative) {
        response.status = request.path == "/" ? 404 : 400;
        return;
    }
    const std::optional<fs::path> file = FindFile(options.roots, *relative);
    if (!file) {
        response.status = 404;
        return;
    }
    std::optional<std::string> body = ReadFile(*file);
    if (!body) {
        response.status = 500;
        return;
    }
    const std::string extension = Lowercase(file->extension().string());
    if (extension == ".rd" || extension == ".pls" || extension == ".m3u" || extension == ".asx" ||
        extension == ".xspf") {
        ReplaceAll(*body, kStreamBasePlaceholder, options.streamBase);
        ReplaceAll(*body, kServerBasePlaceholder, options.serverBase);
    }
    response.status = 200;
    response.set_content(*body, ContentType(*file));
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        PrintUsage(stderr);
        return 2;
    }

    // Block the stop signals before any thread exists, so every thread inherits the mask and
    // only the waiter below ever sees them; stopping the server is not safe in a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.set_payload_max_length(kMaxRequestBody);
    // The library's own cap covers only bodies with a Content-Length: a chunked body of any size
    // is read into memory whole. So any body that is too large or of unknown length is refused
    // from its headers, before a byte of it is read, whatever the method.
    server.set_pre_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (!request.has_header("Transfer-Encoding") &&
                request.get_header_value<std::uint64_t>("Content-Length") <= kMaxRequestBody)
                return httplib::Server::HandlerResponse::Unhandled;
            response.status = 413;
            return httplib::Server::HandlerResponse::Handled;
        });
    // One request per connection: after a refusal the unread body would otherwise be parsed as
    // the next request, a line at a time, with no bound on a line's length.
    server.set_keep_alive_max_count(1);
    server.Get(".*", [&options](const httplib::Request& request, httplib::Response& response) {
        Serve(*options, request, response);
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(ErrorPage(response.status), "text/html");
    });
    // The library's default also sets SO_REUSEPORT, which lets a second server share a port
    // that is in use and steal half of its requests; a taken port must be an error instead.
    server.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
        std::fprintf(stderr, "%s %s %d\n", Printable(request.method).c_str(),
                     Printable(request.path).c_str(), response.status);
    });

    const std::string host = "127.0.0.1";
    int port = options->port;
    if (port == 0) {
        port = server.bind_to_any_port(host);
    } else if (!server.bind_to_port(host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "wavelark-content-server: cannot listen on %s:%d (port in use?)\n",
                     host.c_str(), options->port);
        return 1;
    }
    options->serverBase = "http://" + host + ":" + std::to_string(port);
    std::printf("listening on %s:%d\n", host.c_str(), port);
    std::fflush(stdout);

    std::atomic<bool> listenEnded = false;
    std::thread signalWaiter([&server, &listenEnded, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        // A signal can come before the accept loop runs, when stop() would be a no-op.
        while (!listenEnded && !server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        server.stop();
    });

    const bool clean = server.listen_after_bind();
    listenEnded = true;
    // When the server ended on its own, wake the waiter with a signal it is waiting for.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    std::fputs("wavelark-content-server: stopped\n", stderr);
    return clean ? 0 : 1;
}
