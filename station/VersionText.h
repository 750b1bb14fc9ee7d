#pragma once

#include <QByteArray>

// The program version of the station, kept here only: the about box shows it
// in its VersionsLabel and the reporting thread sends the same text to the
// server.
namespace VersionText {

inline constexpr char Number[] = "1.0.0";    // major.minor.release
inline constexpr char Date[] = "10.12.2026"; // DD.MM.YYYY

// "Vers." + version number + "//" + date, as the about box shows it.
inline QByteArray versionsLabel()
{
    return QByteArray("Vers.") + Number + "//" + Date;
}

} // namespace VersionText
