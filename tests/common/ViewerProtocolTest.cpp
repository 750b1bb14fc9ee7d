#include "common/ViewerProtocol.h"

#include <gtest/gtest.h>

using namespace ViewerProtocol;

namespace {

const QByteArray NotAvailable = QByteArray("<nicht verf\xfc"
                                           "gbar>");

MeasurementInputs sampleStation()
{
    MeasurementInputs in;
    in.MeasureTime = "03.05.2024 14:07:09";
    in.RawTemp = 6000;
    in.RawHumidity = 1500;
    in.CpuTemp = 47;
    in.CpuTjMax = 85;
    in.TempMin = "-5,5";
    in.TempMax = "30";
    in.TPMin = " "; // no limit
    in.TPMax = "20";
    in.TTPMin = "2";
    in.TTPMax = "";
    in.RHMin = "10";
    in.RHMax = "90";
    in.RIStat = true;
    in.CheckRI = true;
    in.CheckDC = false;
    in.DCStat = false;
    in.StationId = "D2IDIDA";
    in.DeviceStationId = "FT4XK2B";
    in.ServerHost = "heron.example";
    in.ServerPort = "2010";
    in.ComPort = "COM3:";
    in.LastErrorCaption = "Last Err: 03.05.2024 13:00:00 Sensor";
    in.AlarmInterval = "4";
    in.CpuMaxTempDistance = "10";
    return in;
}

} // namespace

TEST(ViewerProtocol, MeasurementMessageCarriesTheTwentyFourTextsInOrder)
{
    const QByteArrayList expected = {"<ANFANG>", "03.05.2024 14:07:09",
                                     "6000",     "1500",
                                     "47",       "85",
                                     "-5,5 ",    "30 ",
                                     "  ",       "20 ",
                                     "2 ",       " ",
                                     "10 ",      "90 ",
                                     "-1",       "-1",
                                     "0",        "0",
                                     "D2IDIDA ", "heron.example:2010 ",
                                     "COM3: ",   "Last Err: 03.05.2024 13:00:00 Sensor ",
                                     "4 ",       "10 "};
    const MeasurementInputs in = sampleStation();
    EXPECT_EQ(measurementTexts(in), expected);
    EXPECT_TRUE(measurementText(24, in).isEmpty());
    EXPECT_TRUE(measurementText(-1, in).isEmpty());
}

TEST(ViewerProtocol, CpuTextIsTheNumberFromOneOnElseNotAvailable)
{
    struct Case
    {
        qint32 cpu;
        QByteArray text;
    } cases[] = {{0, NotAvailable}, {-12, NotAvailable}, {1, "1"}, {47, "47"}, {104, "104"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cpu);
        MeasurementInputs in = sampleStation();
        in.CpuTemp = c.cpu;
        EXPECT_EQ(measurementText(4, in), c.text);
    }
}

TEST(ViewerProtocol, StationIdentifierTextOfTheMeasurementMessage)
{
    struct Case
    {
        const char *name;
        QByteArray stationId;
        bool manual;
        QByteArray device;
        QByteArray text;
        QByteArray stored; // StationId after sending
    } cases[] = {
        {"three characters filled up", "AB1", false, "FT4XK2B", "AB1---- ", "AB1----"},
        {"seven underscores", "_______", false, "", "------- ", "-------"},
        {"short underscores only filled", "___", false, "", "___---- ", "___----"},
        {"empty identifier", "", false, "", "------- ", "-------"},
        {"seven characters unchanged", "D2IDIDA", false, "FT4XK2B", "D2IDIDA ", "D2IDIDA"},
        {"longer identifier kept", "D2IDIDA9", false, "", "D2IDIDA9 ", "D2IDIDA9"},
        {"hand-entered sends the device id", "MYSTAT1", true, "FT4XK2B", "FT4XK2B$$$", "MYSTAT1"},
        {"hand-entered without device id", "MY1", true, "", "MY1---- ", "MY1----"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(stationIdText(c.stationId, c.manual, c.device), c.text);
        EXPECT_EQ(padStationId(c.stationId), c.stored);
        EXPECT_EQ(padStationId(padStationId(c.stationId)), c.stored);
    }
}

TEST(ViewerProtocol, StationReadsTheIdentifierOfAConfiguration)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        QByteArray id;
        bool manual;
    } cases[] = {
        {"seven characters, blank, suffix", "ABCDEFG $$$", "ABCDEFG", true},
        {"seven characters and blank", "ABCDEFG ", "ABCDEFG", false},
        {"suffix on a short text is filled up first", "AB$$$", "AB$$$--", false},
        {"suffix alone", " $$$", "$$$----", false},
        {"seven characters with the suffix inside", "ABCD$$$ ", "ABCD", true},
        {"lower case kept, inner blanks trimmed", "abc  $$$", "abc", true},
        {"seven underscores", "_______ ", "-------", false},
        {"empty text becomes the fill", " ", "-------", false},
        {"suffix only after padding is long enough", "ABCDEFG$$$", "ABCDEFG", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ReceivedStationId r = readConfigStationId(c.text);
        EXPECT_EQ(r.Id, c.id);
        EXPECT_EQ(r.ManualStationId, c.manual);
        EXPECT_TRUE(r.takesId());
    }
}

TEST(ViewerProtocol, ServerTextSplitsAtTheFirstColon)
{
    struct Case
    {
        QByteArray text;
        QByteArray host;
        std::optional<QByteArray> port;
    } cases[] = {
        {"heron.example:2010 ", "heron.example", QByteArray("2010")},
        {"heron.example ", "heron.example", QByteArray("2000")},
        {"heron.example:abc ", "heron.example", std::nullopt},
        {"heron.example: ", "heron.example", std::nullopt},
        {"heron.example:20:10 ", "heron.example", std::nullopt},
        {":2010 ", "", QByteArray("2010")},
        {" ", "", QByteArray("2000")},
        {"10.0.0.1:99999999999 ", "10.0.0.1", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.constData());
        const ReceivedServer r = readServerText(c.text);
        EXPECT_EQ(r.Host, c.host);
        EXPECT_EQ(r.Port, c.port);
    }
}

TEST(ViewerProtocol, BooleansGoOutAsMinusOneAndZeroAndReadLeniently)
{
    EXPECT_EQ(booleanText(true), "-1");
    EXPECT_EQ(booleanText(false), "0");
    struct Case
    {
        QByteArray text;
        std::optional<bool> value;
    } cases[] = {{"-1", true},        {"0", false},          {" -1 ", true},        {"1", true},
                 {"TRUE", true},      {"false", false},      {"ja", std::nullopt},  {"", std::nullopt},
                 {"-", std::nullopt}, {"1,0", std::nullopt}, {"-1 x", std::nullopt}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.constData());
        EXPECT_EQ(readBoolean(c.text), c.value);
    }
}

TEST(ViewerProtocol, ConfigurationTextsRoundTripThroughTheStationReader)
{
    RemoteConfigInputs in;
    in.TempMin = "-5,5";
    in.TempMax = "30";
    in.TPMin = "";
    in.TPMax = "20";
    in.TTPMin = "2";
    in.TTPMax = "8";
    in.RHMin = "10";
    in.RHMax = "90";
    in.CheckRX = true;
    in.CheckRI = false;
    in.CheckDC = true;
    in.CheckCTS = false;
    in.StationId = "MYSTAT1";
    in.ManualStationId = true;
    in.Server = "heron.example:2010";
    in.ComPort = "COM3:";
    in.AlarmInterval = "4";
    in.CpuMaxTempDistance = "10";
    const QByteArrayList texts = remoteConfigTexts(in);
    const QByteArrayList expected = {"-5,5 ",  "30 ", " ",  "20 ", "2 ", "8 ",          "10 ",
                                     "90 ",    "-1",  "0",  "-1",  "0",  "MYSTAT1 $$$", "heron.example:2010 ",
                                     "COM3: ", "4 ",  "10 "};
    ASSERT_EQ(texts, expected);

    const auto c = readRemoteConfig(texts);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->TempMin, "-5,5");
    EXPECT_EQ(c->TempMax, "30");
    EXPECT_EQ(c->TPMin, "");
    EXPECT_EQ(c->TPMax, "20");
    EXPECT_EQ(c->TTPMin, "2");
    EXPECT_EQ(c->TTPMax, "8");
    EXPECT_EQ(c->RHMin, "10");
    EXPECT_EQ(c->RHMax, "90");
    EXPECT_EQ(c->CheckRX, true);
    EXPECT_EQ(c->CheckRI, false);
    EXPECT_EQ(c->CheckDC, true);
    EXPECT_EQ(c->CheckCTS, false);
    EXPECT_EQ(c->StationId.Id, "MYSTAT1");
    EXPECT_TRUE(c->StationId.ManualStationId);
    EXPECT_EQ(c->Server.Host, "heron.example");
    EXPECT_EQ(c->Server.Port, QByteArray("2010"));
    EXPECT_EQ(c->ComPort, "COM3:");
    EXPECT_EQ(c->AlarmInterval, "4");
    EXPECT_EQ(c->CpuMaxTempDistance, "10");

    in.ManualStationId = false;
    EXPECT_EQ(remoteConfigTexts(in).at(12), "MYSTAT1 ");
}

TEST(ViewerProtocol, UnreadableFlagsAndPortLeaveTheirSettingsAlone)
{
    QByteArrayList texts(RemoteConfigTextCount, "1 ");
    texts[8] = "ja";
    texts[9] = "-1";
    texts[10] = "";
    texts[11] = "0";
    texts[13] = "heron.example:x ";
    const auto c = readRemoteConfig(texts);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->CheckRX, std::nullopt);
    EXPECT_EQ(c->CheckRI, true);
    EXPECT_EQ(c->CheckDC, std::nullopt);
    EXPECT_EQ(c->CheckCTS, false);
    EXPECT_EQ(c->Server.Host, "heron.example");
    EXPECT_EQ(c->Server.Port, std::nullopt);
}

TEST(ViewerProtocol, ConfigurationThatStoppedHalfWayIsNotRead)
{
    for (int count : {0, 1, 16, 18}) {
        SCOPED_TRACE(count);
        EXPECT_FALSE(readRemoteConfig(QByteArrayList(count, "1 ")));
    }
}

TEST(ViewerProtocol, ViewerCountsTheIndexOfEveryText)
{
    struct Case
    {
        const char *name;
        QByteArrayList texts;
        QList<int> indexes;
    } cases[] = {
        {"a message", {"<ANFANG>", "t", "1", "2"}, {0, 1, 2, 3}},
        {"text before the first start counts as 0", {"late OK", "<ANFANG>", "t"}, {0, 0, 1}},
        {"a new start in the middle resets", {"<ANFANG>", "t", "<ANFANG>", "t"}, {0, 1, 0, 1}},
        {"start compared byte for byte", {"<ANFANG>", "<anfang>", "<ANFANG> "}, {0, 1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MeasurementReader reader;
        QList<int> got;
        for (const QByteArray &t : c.texts)
            got.append(reader.take(t).index);
        EXPECT_EQ(got, c.indexes);
    }

    // A 25th text is ignored and the one after it counts as 0.
    MeasurementReader reader;
    const QByteArrayList message = measurementTexts(sampleStation());
    for (int i = 0; i < MeasurementTextCount; ++i)
        EXPECT_EQ(reader.take(message.at(i)).index, i);
    EXPECT_EQ(reader.take("extra").index, -1);
    EXPECT_EQ(reader.index(), -1);
    EXPECT_EQ(reader.take("next").index, 0);
}

TEST(ViewerProtocol, ViewerAnswersOkBreakOrNothing)
{
    struct Case
    {
        const char *name;
        int textsBefore; // of a message, after "<ANFANG>"
        QByteArray text;
        bool disconnect;
        std::optional<QByteArray> answer;
    } cases[] = {
        {"any text", 3, "x", false, QByteArray("OK")},
        {"last text", 22, "x", false, QByteArray("OK")},
        {"disconnect waits for the last text", 21, "x", true, QByteArray("OK")},
        {"disconnect at the last text", 22, "x", true, QByteArray("BREAK")},
        {"station shuts down", 5, "<BREAK>", false, std::nullopt},
        {"station shuts down at the last index", 22, "<BREAK>", true, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MeasurementReader reader;
        reader.take("<ANFANG>");
        for (int i = 0; i < c.textsBefore; ++i)
            reader.take("x");
        const auto step = reader.take(c.text);
        EXPECT_EQ(MeasurementReader::answer(step, c.disconnect), c.answer);
    }
    MeasurementReader reader;
    EXPECT_TRUE(reader.take("<BREAK>").stationBreak);
    EXPECT_EQ(reader.index(), -1);
}

TEST(ViewerProtocol, ViewerReadsTheStationsValues)
{
    MeasurementReader reader;
    for (const QByteArray &t : measurementTexts(sampleStation()))
        reader.take(t);
    const ReceivedMeasurement &v = reader.values();
    EXPECT_EQ(v.MeasureTime, "03.05.2024 14:07:09");
    EXPECT_EQ(v.RawTemp, 6000);
    EXPECT_EQ(v.RawHumidity, 1500);
    EXPECT_EQ(v.CpuText, "47");
    EXPECT_EQ(v.CpuTemp, 47);
    EXPECT_EQ(v.CpuTjMax, 85);
    const std::array<QByteArray, 8> limits = {"-5,5 ", "30 ", "  ", "20 ", "2 ", " ", "10 ", "90 "};
    EXPECT_EQ(v.Limits, limits);
    EXPECT_EQ(v.RIStat, true);
    EXPECT_EQ(v.CheckRI, true);
    EXPECT_EQ(v.CheckDC, false);
    EXPECT_EQ(v.DCStat, false);
    EXPECT_EQ(v.StationId.Id, "D2IDIDA");
    EXPECT_FALSE(v.StationId.ManualStationId);
    EXPECT_EQ(v.Server, "heron.example:2010");
    EXPECT_EQ(v.ComPort, "COM3:");
    EXPECT_EQ(v.LastError, "Last Err: 03.05.2024 13:00:00 Sensor");
    EXPECT_EQ(v.AlarmInterval, "4");
    EXPECT_EQ(v.CpuMaxTempDistance, "10");
}

TEST(ViewerProtocol, ViewerReadsTextsThatDoNotConvert)
{
    struct Case
    {
        const char *name;
        int index;
        QByteArray text;
        void (*check)(const ReceivedMeasurement &);
    } cases[] = {
        {"CPU not available", 4, NotAvailable,
         [](const ReceivedMeasurement &v) {
             EXPECT_EQ(v.CpuText, NotAvailable);
             EXPECT_EQ(v.CpuTemp, std::nullopt);
         }},
        {"junction temperature not a number", 5, "x",
         [](const ReceivedMeasurement &v) { EXPECT_EQ(v.CpuTjMax, 85); }},
        {"raw temperature not a number", 2, "12a",
         [](const ReceivedMeasurement &v) { EXPECT_EQ(v.RawTemp, 0); }},
        {"raw humidity not a number", 3, "",
         [](const ReceivedMeasurement &v) { EXPECT_EQ(v.RawHumidity, 0); }},
        {"input flag not a boolean", 14, "yes",
         [](const ReceivedMeasurement &v) { EXPECT_EQ(v.RIStat, std::nullopt); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MeasurementReader reader;
        reader.take("<ANFANG>");
        for (int i = 1; i < c.index; ++i)
            reader.take("5");
        ASSERT_EQ(reader.take(c.text).index, c.index);
        c.check(reader.values());
    }
}

TEST(ViewerProtocol, ViewerReadsTheIdentifierInUpperCase)
{
    struct Case
    {
        QByteArray text;
        QByteArray id;
        bool manual;
    } cases[] = {
        {"FT4XK2B$$$", "FT4XK2B", true},
        {"abcdefg ", "ABCDEFG", false},
        {"abcdefg$$$", "ABCDEFG", true},
        {"abc ---$$$", "ABC ---", true},
        {"$$$", "", true},
        {" ", "", false},
        {"m\xfcller1 ", "M\xdcLLER1", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.constData());
        const ReceivedStationId r = readMeasurementStationId(c.text);
        EXPECT_EQ(r.Id, c.id);
        EXPECT_EQ(r.ManualStationId, c.manual);
    }
}

// What the viewer makes of the station's texts while it waits for the answer
// to "<CONFIG>": texts the station sent before it had the "<CONFIG>" are no
// answer; of texts that arrived together the last one is.
TEST(ViewerProtocol, ViewerReadsTheAnswerToItsConfig)
{
    using Kind = ViewerProtocol::ConfigReply::Kind;
    const struct
    {
        QByteArray received;
        Kind kind;
        QByteArray answer;
    } cases[] = {
        {"OK", Kind::Ok, "OK"},
        {"<REPEAT>", Kind::Again, "<REPEAT>"},
        {"<BREAK>", Kind::StationBreak, "<BREAK>"},
        {"<ANFANG>", Kind::None, ""},
        {"<ANFANG><ANFANG>", Kind::None, ""},
        {"01.03.2011 08:30:00", Kind::None, ""}, // text 1 after a late "OK" to "<ANFANG>"
        {"<nicht verf\xfcgbar>", Kind::None, ""},
        {"ABC1234$$$", Kind::None, ""},
        {"", Kind::None, ""},
        {"<ANFANG><REPEAT>", Kind::Again, "<REPEAT>"},
        {"6000<REPEAT>", Kind::Again, "<REPEAT>"},
        {"<ANFANG>OK", Kind::Ok, "OK"},
        {"<REPEAT><BREAK>", Kind::StationBreak, "<BREAK>"},
        {"<ANFANG><BREAK>", Kind::StationBreak, "<BREAK>"},
        {"OKAY", Kind::None, ""},
        {"ok", Kind::None, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.received.toStdString());
        const ViewerProtocol::ConfigReply reply = ViewerProtocol::readConfigReply(c.received);
        EXPECT_EQ(reply.kind, c.kind);
        EXPECT_EQ(reply.answer, c.answer);
    }
}
