#pragma once

// Status texts of the viewer service (UTF-8 here; Text8::cp gives the
// code-page bytes).
namespace ViewerServiceTexts {

// "*** Verbindung nach " + IPv4 address + " erstellt!"
inline constexpr char ConnectedPrefix[] = "*** Verbindung nach ";
inline constexpr char ConnectedSuffix[] = " erstellt!";
// time + " CFG von Client" + number + " empf. (" + answer + ")"
inline constexpr char ConfigFromClient[] = " CFG von Client";
inline constexpr char ConfigAnswerOpen[] = " empf. (";
inline constexpr char ConfigAnswerClose[] = ")";
// time + " Messung zum Client" + number + " gesendet"
inline constexpr char MeasurementToClient[] = " Messung zum Client";
inline constexpr char MeasurementSent[] = " gesendet";
// Caption of LabelLastConnection after an accept, followed by date and time.
inline constexpr char LastConnectionPrefix[] = "Last Conn: ";

} // namespace ViewerServiceTexts
