#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Proxy access to the central server: the station's live proxy settings.
struct ProxySettings
{
    bool UseProxy = false;
    QByteArray ProxyHost;
    qint32 ProxyPort = 1080;
    QByteArray ProxyUser;
    QByteArray ProxyPassword;
    QByteArray ProxyKind; // "SOCKS" selects SOCKS 5, any other text the HTTP proxy

    bool operator==(const ProxySettings &) const = default;
};

// proxyconfig.cfg: seven key line and value line pairs with CR LF line ends,
// written by the station's proxy dialog and by the viewer's test form.
namespace ProxyConfigFile {

inline constexpr char FileName[] = "proxyconfig.cfg";

inline constexpr char KeyHost[] = "PROXY-SERVER-ADRESSE";
inline constexpr char KeyPort[] = "PROXY-SERVER-PORT";
inline constexpr char KeyUser[] = "PROXY-SERVER-USERNAME";
inline constexpr char KeyPassword[] = "PROXY-SERVER-PASSWORT";
inline constexpr char KeyDestination[] = "DESTINATION-SERVER";
inline constexpr char KeyUseProxy[] = "PROXY-BENUTZUNG";
inline constexpr char KeySelection[] = "PROXY-SELECTION";

// The values as the writers put them into the file: texts as the controls
// hold them, the two switches as flags.
struct Values
{
    QByteArray ProxyHost;
    QByteArray ProxyPort;
    QByteArray ProxyUser;
    QByteArray ProxyPassword; // in plain text
    QByteArray DestinationServer;
    bool UseProxy = false; // "1" / "0"
    bool Http = false;     // "HTTP" / "SOCKS"
};

// The 14 lines of the file.
QByteArray format(const Values &values);

// Whether every text value fits its one value line (no CR, LF or NUL): the
// file is read by position, so a password ending in a line feed would make
// the following lines the wrong settings.
bool fitsLines(const Values &values);

// Replaces the file whole (the old file stays intact when writing fails);
// the new file is readable and writable by its owner only (mode 0600).
// Returns false when the file could not be written, and without writing
// anything when a value does not fit its line (fitsLines). reason, when
// given, then receives the system's reason as Qt words it ("No space left
// on device", "Permission denied", ...; empty for a refused value).
bool write(const Values &values, const QString &path = QString::fromLatin1(FileName),
           QString *reason = nullptr);

// The message both proxy dialogs show when write() failed: the text
// LoginTestTexts::ProxyFileNotWritten, LF CR, the file's absolute path,
// ": " and the reason.
QString writeFailureMessage(const QString &path, const QString &reason);

// The station's reader: takes the lines by position into `settings` (the
// pair DESTINATION-SERVER is skipped when present, and may be missing).
// A missing or unreadable file returns false; the settings then keep what
// they had, apart from what was read before a read failure.
// passwordRead, when given, tells whether the password line was reached.
bool readInto(ProxySettings &settings, const QString &path = QString::fromLatin1(FileName),
              bool *passwordRead = nullptr);

} // namespace ProxyConfigFile
