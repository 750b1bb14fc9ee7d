#pragma once

#include "common/LoginTestTexts.h"

// Fixed texts of the station's proxy dialog (UTF-8 here; Text8::cp gives
// the code-page bytes).
namespace ProxyDialogTexts {

inline constexpr char Caption[] = "Konfiguration des PROXY-Server-Zugangs über SOCKS";
inline constexpr char LabelHost[] = "PROXY-Server-Adresse";
inline constexpr char LabelPort[] = "Port des Proxy-Servers";
inline constexpr char LabelUser[] = "Benutzername";
inline constexpr char LabelPassword[] = "Passwort";

inline constexpr char HintHost[] = "geben Sie hier die Adresse oder den DNS-Namen des PROXY-Servers ein";
inline constexpr char DefaultPort[] = "1080";
inline constexpr char HintPort[] = "geben Sie hier die PROXY-Portnummer ein (z.B. 8080 bei PROXY-HTTP-Anmeldung)";
inline constexpr char UseProxy[] = "PROXY benutzen";
inline constexpr char HintUseProxy[] =
    "legen Sie hier fest, ob das Programm beim Verbinden zum Server über den PROXY gehen soll";
inline constexpr char HintUser[] = "geben Sie hier den Benutzernamen für die PROXY-Anmeldung ein";
inline constexpr char HintPassword[] = "geben Sie hier das Passwort für die PROXY-Anmeldung ein";
inline constexpr char Http[] = "verwende \"Through-Http\"";
inline constexpr char HintHttp[] = "Wählen Sie hier die Verbindung über \"Connection Through HTTP\" aus";
inline constexpr char Socks[] = "use socks";
inline constexpr char HintSocks[] = "Wählen sie hie die PROXY-Verbindung über SOCKS-Autentifizierung aus";
inline constexpr char Cancel[] = "Abbruch";
inline constexpr char HintCancel[] = "Abbruch und Beibehaltung der bisherigen Einstellungen";
inline constexpr char Test[] = "Verbindungstest";
inline constexpr char HintTest[] = "Testen, ob die PROXY-Verbindung funktioniert";
inline constexpr char Save[] = "Speichern";
inline constexpr char HintSave[] = "neue Konfiguration speichern und aktivieren";

// Messages
inline constexpr char NoHost[] = "Bitte eine PROXY-IP-Adresse eingeben!";
inline constexpr char BadPort[] = "Bitte gültige Portnummer eingeben";
using LoginTestTexts::ProxyValueNotOneLine;
inline constexpr char ConnectFailed[] = "Verbindung zum Sensorserver via Proxy-server gescheitert!";
inline constexpr char SendFailed[] = "Senden der Anmeldung am Sensorserver gescheitert!";
inline constexpr char NoAnswer[] = "***Verbindung O.K. , aber keine Antwort erhalten***";
inline constexpr char AllOk[] = "ALLES OK";
inline constexpr char LoginOk[] = "Verbindung zum SENSORSERVER und Anmeldung O.K.";
inline constexpr char Answer[] = "Antwort: ";
inline constexpr char NoByte[] = "Verbindung O.K. , aber keine Antwort erhalten!";
inline constexpr char Refused[] = "Verbindung O.K. , aber Anmeldung wurde verweigert!";
inline constexpr char Received[] = "folgende Antwort wurde empfangen:";
// Between a message and the failure's text or the answer.
inline constexpr char Break[] = "\n\r";

// What the file's selection pair and ProxyKind say.
inline constexpr char KindHttp[] = "HTTP";
inline constexpr char KindSocks[] = "SOCKS";

} // namespace ProxyDialogTexts
