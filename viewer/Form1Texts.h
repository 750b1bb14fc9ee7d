#pragma once

// Fixed texts of the connection-test form "Proxy konfigurieren und testen"
// (UTF-8 here). The login test's answers are common/LoginTestTexts.h.
namespace Form1Texts {

inline constexpr char Caption[] = "Proxy konfigurieren und testen";

inline constexpr char ProxyIPLabel[] = "IP-Adresse Proxy";
inline constexpr char ProxyIPHint[] = "geben Sie hier die IP-Adresse oder den dNS-Namen des PROXY-Servers ein";
inline constexpr char ProxyPortLabel[] = "Portnummer Proxy";
inline constexpr char ProxyPortHint[] = "geben Sie hier den vom Proxyserver benutzten Port ein";
inline constexpr char NameLabel[] = "Proxy-Anmeldename";
inline constexpr char NameHint[] = "geben Sie hier den Anmeldenamen ein";
inline constexpr char PasswordLabel[] = "Passwort";
inline constexpr char PasswordHint[] = "Geben Sie hier Ihr anmeldepasswort ein";
inline constexpr char DMCIPLabel[] = "IP-Adresse Sensorserver";
inline constexpr char DMCIPHint[] = "die hier spezifizierte Serveradresse gilt nur hier im Test!";
inline constexpr char UseProxy[] = "Proxy bebutzen";
inline constexpr char RBhttp[] = "use Through-Http";
inline constexpr char RBhttpHint[] = "Wählen Sie hier die Verbindung über \"Connection Through HTTP\"";
inline constexpr char RBSocks[] = "use socks";
inline constexpr char RBSocksHint[] = "Wählen sie hie die PROXY-Verbindung über SOCKS-Autentifizierung aus";
inline constexpr char HTTPTest[] = "Verbindungstest-HTTP";
inline constexpr char TestHint[] = "klicken Sie HIER, um den Test durchzuführen";
inline constexpr char PortLabel[] = "Port";
inline constexpr char HttpPortDefault[] = "80";
inline constexpr char HttpPortHint[] = "Geben Sie hier die Portnummer für den HTTP-Verbindungstest ein!";
inline constexpr char GetLabel[] = "GET /";
inline constexpr char GetDefault[] = "index.php";
inline constexpr char GetHint[] = "hier können Sie den HTTP-GET-Request konkretisieren";
inline constexpr char HERONTest[] = "Verbindungstest-HERON";
inline constexpr char Panel1[] = "Info zum Verbindungstestest";
inline constexpr char HeronPortDefault[] = "2000";
inline constexpr char HeronPortHint[] = "Geben Sie hier die Portnummer für den HERON-Verbindungstest ein";
inline constexpr char Cancel[] = "Abbruch";
inline constexpr char Save[] = "Speichern";

// Ports that the radio buttons put into the proxy port box.
inline constexpr char HttpProxyPort[] = "8080";
inline constexpr char SocksProxyPort[] = "1080";

// The built-in central server of the tests: the stand-in HERON server on
// this machine (tools/heronstandin listens on 127.0.0.1, port 2000).
inline constexpr char DefaultServer[] = "127.0.0.1";

// The information box of Panel1: head, the built-in server, tail.
inline constexpr char InfoHead[] = "es wird eine Testverbindung zu Sensorserver \\\\";
inline constexpr char InfoTail[] = ":2000/  ausgeführt";

// HTTP test.
inline constexpr char HttpRequestHead[] = "GET /";
inline constexpr char HttpNoAnswer[] = "Verbindung O.K. , aber keine Antwort erhalten!";
inline constexpr char HttpNoConnection[] = "keine Verbindung und folglich auch keine Antwort erhalten!";
inline constexpr char HttpAnswer[] = "Verbindung O.K. , Antwort erhalten!";
inline constexpr char HttpPlainText[] = "KLARTEXT:";

} // namespace Form1Texts
