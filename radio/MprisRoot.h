#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class Mpris;

// org.mpris.MediaPlayer2: who the player is and what the desktop may ask of it as a program.
class MprisRoot : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit MprisRoot(Mpris* owner);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Wavelark"); }
    QString DesktopEntry() const { return QStringLiteral("wavelark"); }
    // It plays its own channels only; nothing can be handed to it to open.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
    // Opens the radio window, as "Open" in the tray menu does.
    void Raise();
    // Ends the program, as "Exit" in the tray menu does.
    void Quit();

private:
    Mpris& m_owner;
};
