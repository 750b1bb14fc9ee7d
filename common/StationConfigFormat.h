#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

class QIODevice;

// Building blocks of the programs' plain-text settings files (r2arodire.cfg
// and its copies, proxyconfig.cfg): key line and value line pairs, CR LF line
// ends, code-page bytes, read back by position.
namespace ConfigFormat {

inline constexpr char LineEnd[] = "\r\n";

// Key lines of the station configuration file, in file order.
inline constexpr const char *StationKeys[17] = {
    "Temp-Min",      "Temp-Max",     "RH-Min",     "RH-Max",         "TP-Min",      "TP-Max",
    "T-TP-Min",      "T-TP-Max",     "RX-Checked", "RI-Checked",     "DC-Checked",  "CTS-Checked",
    "HERON-Kennung", "HERON-Server", "COM-Port",   "Alarmintervall", "CPU-MAX-TEMP"};
inline constexpr int StationLineCount = 34;

// The lines joined, each followed by CR LF.
QByteArray joinLines(const QByteArrayList &lines);

// False for a text holding a CR, an LF or a NUL: the files are read by
// position, so such a value would shift every line after it.
bool fitsOneLine(const QByteArray &text);

// Reads a text file line by line. A line ends at LF; a CR before it is
// dropped. Past the end of the file every line reads as an empty text.
class LineReader
{
public:
    explicit LineReader(QIODevice &device)
        : m_device(device)
    {}
    // The next line; nullopt when the device reports a read error.
    std::optional<QByteArray> next();

private:
    QIODevice &m_device;
};

// Integer conversion of the settings texts: optional leading blanks, an
// optional sign and decimal digits, nothing after them; 32-bit range.
std::optional<qint32> toInteger(const QByteArray &text);

// Boolean conversion: "TRUE" or "FALSE" in any letter case, or an integer
// (0 is false, any other value true); nullopt for anything else.
std::optional<bool> toBoolean(const QByteArray &text);

// A threshold as typed: blanks around it do not count; a number in the
// locale's notation (LocaleFormat) without group separators. "inf" and "nan"
// are no numbers: a NaN limit would make every comparison false. nullopt for
// an empty text and for anything that is not such a number.
std::optional<double> toThreshold(const QByteArray &text);

// "TRUE" or "FALSE", as the files carry the flags.
QByteArray booleanText(bool value);

} // namespace ConfigFormat
