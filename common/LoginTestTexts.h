#pragma once

#include <QByteArray>

// Texts of the login test through a proxy that the station's proxy dialog
// and the viewer's connection-test form both run, and of the checks and the
// save both make on the proxy settings (UTF-8 here).
namespace LoginTestTexts {

inline constexpr char NoProxyAddress[] = "Bitte eine PROXY-IP-Adresse eingeben!";
inline constexpr char BadPort[] = "Bitte gültige Portnummer eingeben";
// A value that would not stay on its line of proxyconfig.cfg.
inline constexpr char ProxyValueNotOneLine[] =
    "PROXY-Angaben dürfen keinen Zeilenumbruch und kein NUL-Zeichen enthalten!";
// proxyconfig.cfg could not be replaced (full disk, read-only folder); the
// message goes on with LF, CR, the file's path, ": " and the system's reason
// (ProxyConfigFile::writeFailureMessage). Nothing was saved.
inline constexpr char ProxyFileNotWritten[] = "Speichern der PROXY-Einstellungen gescheitert!";
inline constexpr char NoAnswer[] = "***Verbindung O.K. , aber keine Antwort erhalten***";
inline constexpr char AcceptedHead[] = "ALLES OK";
inline constexpr char AcceptedLine[] = "Verbindung zum SENSORSERVER und Anmeldung O.K.";
inline constexpr char AcceptedAnswer[] = "Antwort: ";
inline constexpr char RefusedHead[] = "Verbindung O.K. , aber Anmeldung wurde verweigert!";
inline constexpr char RefusedLine[] = "folgende Antwort wurde empfangen:";
// Between the lines of a message: LF, CR.
inline constexpr char LineBreak[] = "\n\r";

// The server's answer as the test shows it: a byte of code 32 or above as
// its character, any other as "#", its decimal value and a blank.
inline QByteArray renderAnswer(const QByteArray &bytes)
{
    QByteArray out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32)
            out.append(c);
        else
            out.append('#').append(QByteArray::number(b)).append(' ');
    }
    return out;
}

} // namespace LoginTestTexts
