#pragma once

#include <QByteArray>

// The vendor's content server as the program addresses it: a root address and the user agent
// sent with every request. A small value created once at start-up and passed by reference.
class ContentServer
{
public:
    // The project's demo content server, used when the environment names none.
    static constexpr char kDefaultRoot[] = "http://127.0.0.1:8080/";
    static constexpr char kRootVariable[] = "WAVELARK_CONTENT_SERVER";

    // `root` gets a trailing "/" when it lacks one; an empty root means kDefaultRoot.
    // `programVersionText` is the program's "major.minor" text, e.g. "3.0".
    ContentServer(const QByteArray& root, const QByteArray& programVersionText);

    // The root from WAVELARK_CONTENT_SERVER, else kDefaultRoot.
    static ContentServer FromEnvironment(const QByteArray& programVersionText);

    const QByteArray& Root() const { return m_root; }
    // "Wavelark/" + the program version, e.g. "Wavelark/3.0".
    const QByteArray& UserAgent() const { return m_userAgent; }

    // The version file and the vendor's web pages live under the lower-case folder ...
    QByteArray RadioPagesBase() const { return m_root + "wavelark/"; }
    // ... the channel package under the capitalised one. Both are used exactly as written.
    QByteArray RadioCatalogueBase() const { return m_root + "Wavelark/"; }

private:
    QByteArray m_root;
    QByteArray m_userAgent;
};
