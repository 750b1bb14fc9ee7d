#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QtGlobal>

#include <array>
#include <optional>

// Texts of the link between the station (Klimawarte) and the viewer
// (Fernblick): the 24 texts of a measurement message, the 17 texts of a
// remote configuration and the rules by which each side reads them. Every
// text is code-page bytes and goes out in one write; settings carry one
// trailing blank, receivers trim both ends before they use a setting.
// Nothing here touches a socket or a lock: the station reads its values
// under SharedDataSemaphore and hands them in.
namespace ViewerProtocol {

inline constexpr int MeasurementTextCount = 24;
inline constexpr int LastMeasurementIndex = MeasurementTextCount - 1;
// While the station's configuration or proxy dialog is open a message ends
// after the answer to this index.
inline constexpr int LastIndexWhileDialogOpen = 5;
inline constexpr int RemoteConfigTextCount = 17;

// The fixed texts as code-page bytes.
QByteArray startText();
QByteArray okText();
QByteArray configText();
QByteArray repeatText();
QByteArray stationBreakText();
QByteArray viewerBreakText();
QByteArray cpuNotAvailableText();

// "-1" for true, "0" for false.
QByteArray booleanText(bool value);
// A received flag: trimmed, then "TRUE"/"FALSE" in any letter case or an
// integer (0 false, any other true). nullopt when it does not read; the
// receiver then leaves its flag as it was.
std::optional<bool> readBoolean(const QByteArray &text);

// The stored identifier as the station keeps it once it has sent it: filled
// up with "-" to at least 7 characters, and "_______" replaced by "-------".
// The station writes the result back into its StationId.
QByteArray padStationId(const QByteArray &stationId);

// Text 18 of a measurement message. `stationId` is padded as above; a
// hand-entered identifier with a device identifier goes out as the device
// identifier + "$$$" without a blank, anything else as the padded
// identifier + " ".
QByteArray stationIdText(const QByteArray &stationId, bool manualStationId,
                         const QByteArray &deviceStationId);

// Everything a measurement message carries, read by the caller.
struct MeasurementInputs
{
    QByteArray MeasureTime;
    qint32 RawTemp = 0;
    qint32 RawHumidity = 0;
    qint32 CpuTemp = 0; // below 1: no reading
    qint32 CpuTjMax = 100;
    QByteArray TempMin, TempMax;
    QByteArray TPMin, TPMax;
    QByteArray TTPMin, TTPMax;
    QByteArray RHMin, RHMax;
    bool RIStat = false; // input 1 active
    bool CheckRI = false;
    bool CheckDC = false;
    bool DCStat = false; // input 2 active
    QByteArray StationId;
    bool ManualStationId = false;
    QByteArray DeviceStationId;
    QByteArray ServerHost;
    QByteArray ServerPort;
    QByteArray ComPort;
    QByteArray LastErrorCaption; // current caption of LastErrorLabel
    QByteArray AlarmInterval;
    QByteArray CpuMaxTempDistance;
};

// Text `index` (0 to 23) of a measurement message; empty for any other index.
QByteArray measurementText(int index, const MeasurementInputs &in);
// All 24 texts in order.
QByteArrayList measurementTexts(const MeasurementInputs &in);

// What the viewer sends after "<CONFIG>" has been answered "OK".
struct RemoteConfigInputs
{
    QByteArray TempMin, TempMax;
    QByteArray TPMin, TPMax;
    QByteArray TTPMin, TTPMax;
    QByteArray RHMin, RHMax;
    bool CheckRX = false;
    bool CheckRI = false;
    bool CheckDC = false;
    bool CheckCTS = false;
    QByteArray StationId;
    bool ManualStationId = false; // adds "$$$" after the blank
    QByteArray Server;            // host ":" port
    QByteArray ComPort;
    QByteArray AlarmInterval;
    QByteArray CpuMaxTempDistance;
};

// The 17 texts in order.
QByteArrayList remoteConfigTexts(const RemoteConfigInputs &in);

// The station's reading of configuration text 13 (trimmed first): filled up
// with "-" to at least 7 characters, "_______" becomes "-------", a final
// "$$$" is cut and marks the identifier as hand-entered, the rest trimmed.
struct ReceivedStationId
{
    QByteArray Id; // for the dialog's identifier field, also when empty
    bool ManualStationId = false;
    // StationId and DeviceStationId take Id only when it is not empty.
    bool takesId() const { return !Id.isEmpty(); }
};
ReceivedStationId readConfigStationId(const QByteArray &text);

// Configuration text 14 (trimmed first), split at the first ":"; without a
// ":" the whole text is the host and the port text is "2000". Port is set
// only when the port text reads as an integer; it is the port text itself.
struct ReceivedServer
{
    QByteArray Host;
    std::optional<QByteArray> Port;
};
ReceivedServer readServerText(const QByteArray &text);

// The whole configuration as the station applies it. Texts are trimmed;
// flags and the port are unset when their text did not read, and then
// leave the station's value as it was.
struct ReceivedConfig
{
    QByteArray TempMin, TempMax;
    QByteArray TPMin, TPMax;
    QByteArray TTPMin, TTPMax;
    QByteArray RHMin, RHMax;
    std::optional<bool> CheckRX, CheckRI, CheckDC, CheckCTS;
    ReceivedStationId StationId;
    ReceivedServer Server;
    QByteArray ComPort; // received but not applied: the station keeps its own port
    QByteArray AlarmInterval;
    QByteArray CpuMaxTempDistance;
};

// Reads exactly 17 received texts; nullopt for any other count, so a
// configuration that stopped half-way is never applied.
std::optional<ReceivedConfig> readRemoteConfig(const QByteArrayList &texts);

// The viewer's reading of text 18: upper case and trimmed; a final "$$$" is
// cut and marks the identifier as hand-entered, the rest trimmed again.
ReceivedStationId readMeasurementStationId(const QByteArray &text);

// What the viewer has read from the measurement messages so far; each
// field holds the latest text of its index.
struct ReceivedMeasurement
{
    QByteArray MeasureTime;
    qint32 RawTemp = 0;     // 0 when the text is not an integer
    qint32 RawHumidity = 0; // 0 when the text is not an integer
    QByteArray CpuText;     // trimmed, shown as it is
    std::optional<qint32> CpuTemp;
    qint32 CpuTjMax = 0; // 0 until received, 85 when the text is not an integer
    // Thresholds as received (the trailing blank kept); trim them before
    // taking them as settings.
    std::array<QByteArray, 8> Limits; // TempMin, TempMax, TPMin, TPMax, TTPMin, TTPMax, RHMin, RHMax
    std::optional<bool> RIStat, CheckRI, CheckDC, DCStat;
    ReceivedStationId StationId;
    QByteArray Server; // trimmed
    QByteArray ComPort;
    QByteArray LastError;
    QByteArray AlarmInterval;
    QByteArray CpuMaxTempDistance;
};

// The viewer's side of the message: counts the index of every received
// text and keeps what it read.
class MeasurementReader
{
public:
    struct Step
    {
        bool stationBreak = false; // "<BREAK>": stop answering, leave
        int index = -1;            // 0 to 23, or -1 for a text that is ignored
    };

    // "<BREAK>" leaves the index alone. "<ANFANG>" sets the index to 0, any
    // other text adds 1 (so a text before the first "<ANFANG>" counts as 0);
    // above 23 the index goes back to -1 and the text is ignored.
    Step take(const QByteArray &text);

    // The answer to the text just taken: "OK", or "BREAK" at index 23 when
    // the viewer wants to disconnect; nothing after "<BREAK>".
    static std::optional<QByteArray> answer(const Step &step, bool disconnectRequested);

    int index() const { return m_index; }
    const ReceivedMeasurement &values() const { return m_values; }

private:
    int m_index = -1;
    ReceivedMeasurement m_values;
};

// The viewer's reading of what arrives while it waits for the answer to its
// "<CONFIG>". The station answers each "<CONFIG>" exactly once: "OK" when it
// takes it as the start of a configuration, "<REPEAT>" when it took it as
// the answer to a text of a measurement message. Any other text is no answer
// but a text that the station sent before the "<CONFIG>" reached it: the
// start of a message that crossed it, or the next text of a message that a
// late answer of the viewer let go on. Texts that arrive together are read
// by the end: the answer comes last.
struct ConfigReply
{
    enum class Kind {
        None,         // no answer yet: it is still to come
        Ok,           // the station takes the configuration
        Again,        // "<REPEAT>": send "<CONFIG>" again
        StationBreak, // "<BREAK>": the station shuts down, the connection ends
    };
    Kind kind = Kind::None;
    QByteArray answer; // the text taken as the answer (empty for None)
};
ConfigReply readConfigReply(const QByteArray &received);

} // namespace ViewerProtocol
