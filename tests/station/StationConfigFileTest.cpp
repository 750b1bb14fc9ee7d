#include "station/StationConfigFile.h"
#include "common/Text8.h"

#include "support/RecordingNotices.h"
#include "support/SavedStationConfig.h"
#include "support/ScopedTmpfs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

// A valid file as the save writes it; single lines are replaced per case.
QByteArrayList baseLines()
{
    return {"Temp-Min",      "12,5",       "Temp-Max",       "30",
            "RH-Min",        "20",         "RH-Max",         "80",
            "TP-Min",        "-5",         "TP-Max",         "25",
            "T-TP-Min",      "2",          "T-TP-Max",       " ",
            "RX-Checked",    "FALSE",      "RI-Checked",     "TRUE",
            "DC-Checked",    "FALSE",      "CTS-Checked",    "TRUE",
            "HERON-Kennung", "K\xdcHL001", "HERON-Server",   "heron.example:2001",
            "COM-Port",      "COM4:",      "Alarmintervall", "4",
            "CPU-MAX-TEMP",  "5"};
}

QByteArray crlf(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

// Line numbers as in the file (1-based).
QByteArray fileWith(std::initializer_list<std::pair<int, QByteArray>> changes)
{
    QByteArrayList lines = baseLines();
    for (const auto &[line, text] : changes)
        lines[line - 1] = text;
    return crlf(lines);
}

// The settings as start-up has them before the read.
StationConfig presets()
{
    StationConfig c;
    c.ServerPort = "2000";
    return c;
}

// What the base file gives.
StationConfig baseRead()
{
    StationConfig c = presets();
    c.TempMin = "12,5";
    c.TempMax = "30";
    c.RHMin = "20";
    c.RHMax = "80";
    c.TPMin = "-5";
    c.TPMax = "25";
    c.TTPMin = "2";
    c.TTPMax = " ";
    c.CheckRI = true;
    c.CheckCTS = true;
    c.StationId = "K\xdcHL001";
    c.ServerHost = "heron.example";
    c.ServerPort = "2001";
    c.ComPort = "COM4:";
    c.AlarmInterval = "4";
    c.CpuMaxTempDistance = "5";
    return c;
}

template <typename F> StationConfig baseWith(F change)
{
    StationConfig c = baseRead();
    change(c);
    return c;
}

struct ReadCase
{
    const char *name;
    std::optional<QByteArray> cfg; // r2arodire.cfg; nullopt: no such file
    qint32 tjMax;
    StationConfig expected;
    qint32 expectedLimit;
    // flags before the read (RX, RI, DC, CTS)
    std::array<bool, 4> flagsBefore = {false, false, false, false};
    std::optional<QByteArray> save = std::nullopt; // r2arodire.save
    bool configReadError = false;
};

} // namespace

TEST(StationConfigFile, StartupReaderEdgeCases)
{
    QByteArrayList reordered = baseLines();
    for (int i = 0; i < 34; i += 2)
        reordered[i] = "Schl\xfcssel " + QByteArray::number(33 - i);
    QByteArrayList twenty = baseLines().mid(0, 20);
    QByteArrayList withUpdate = baseLines();
    withUpdate.append("UPDATE");

    const ReadCase cases[] = {
        {"base file", crlf(baseLines()), 100, baseRead(), 95},
        {"identifier entered by hand", fileWith({{26, "$AB12-CD"}}), 100, baseWith([](StationConfig &c) {
             c.StationId = "AB12-CD";
             c.ManualStationId = true;
         }),
         95},
        {"hand-entered identifier with blanks around it", fileWith({{26, "  $AB12-CD "}}), 100,
         baseWith([](StationConfig &c) {
             c.StationId = "AB12-CD";
             c.ManualStationId = true;
         }),
         95},
        {"4-character dollar identifier is taken whole", fileWith({{26, "$AB1"}}), 100,
         baseWith([](StationConfig &c) { c.StationId = "$AB1"; }), 95},
        {"server without colon", fileWith({{28, "heron.example"}}), 100,
         baseWith([](StationConfig &c) { c.ServerPort = "2000"; }), 95},
        {"server with empty port", fileWith({{28, "heron.example:"}}), 100,
         baseWith([](StationConfig &c) { c.ServerPort = "2000"; }), 95},
        {"server line beginning with the colon", fileWith({{28, ":2345"}}), 100,
         baseWith([](StationConfig &c) {
             c.ServerHost = "";
             c.ServerPort = "2345";
         }),
         95},
        {"server with two colons", fileWith({{28, "heron:2001:7"}}), 100, baseWith([](StationConfig &c) {
             c.ServerHost = "heron";
             c.ServerPort = "2000";
         }),
         95},
        {"server host is not trimmed", fileWith({{28, " heron :2002"}}), 100, baseWith([](StationConfig &c) {
             c.ServerHost = " heron ";
             c.ServerPort = "2002";
         }),
         95},
        {"key lines in another order and spelling", crlf(reordered), 100, baseRead(), 95},
        {"20-line file",
         crlf(twenty),
         100,
         baseWith([](StationConfig &c) {
             c.CheckDC = true; // kept from before the read
             c.CheckCTS = false;
             c.StationId = "";
             c.ServerHost = "";
             c.ServerPort = "2000";
             c.ComPort = "";
             c.AlarmInterval = "";
             c.CpuMaxTempDistance = "";
         }),
         95,
         {false, false, true, false}},
        {"35th line is not read", crlf(withUpdate), 100, baseRead(), 95},
        {"LF line ends", crlf(baseLines()).replace("\r\n", "\n"), 100, baseRead(), 95},
        {"CPU distance 5 of 85", fileWith({{34, "5"}}), 85, baseRead(), 80},
        {"CPU distance 75 of 85 is kept", fileWith({{34, "75"}}), 85,
         baseWith([](StationConfig &c) { c.CpuMaxTempDistance = "75"; }), 10},
        {"CPU distance 76 of 85 becomes 3", fileWith({{34, "76"}}), 85,
         baseWith([](StationConfig &c) { c.CpuMaxTempDistance = "3"; }), 82},
        {"CPU distance -1 of 85 becomes 3", fileWith({{34, "-1"}}), 85,
         baseWith([](StationConfig &c) { c.CpuMaxTempDistance = "3"; }), 82},
        {"CPU distance that is a word", fileWith({{34, "warm"}}), 85,
         baseWith([](StationConfig &c) { c.CpuMaxTempDistance = "warm"; }), 80},
        {"Boolean true, 1, -1 set; 0 clears",
         fileWith({{18, "true"}, {20, "1"}, {22, "-1"}, {24, "0"}}),
         100,
         baseWith([](StationConfig &c) {
             c.CheckRX = c.CheckRI = c.CheckDC = true;
             c.CheckCTS = false;
         }),
         95,
         {false, false, false, true}},
        {"Boolean words in any case",
         fileWith({{18, "True"}, {20, "fAlSe"}, {22, "TRUE"}, {24, "false"}}),
         100,
         baseWith([](StationConfig &c) {
             c.CheckRX = c.CheckDC = true;
             c.CheckRI = c.CheckCTS = false;
         }),
         95,
         {false, true, false, true}},
        {"other Boolean words leave the flags",
         fileWith({{18, "ja"}, {20, "nein"}, {22, ""}, {24, " TRUE"}}),
         100,
         baseWith([](StationConfig &c) {
             c.CheckRX = true;
             c.CheckRI = false;
             c.CheckDC = true;
             c.CheckCTS = false;
         }),
         95,
         {true, false, true, false}},
        {"r2arodire.cfg missing, r2arodire.save present",
         std::nullopt,
         100,
         baseWith([](StationConfig &c) { c.StationId = "SAVED01"; }),
         95,
         {},
         fileWith({{26, "SAVED01"}})},
        {"r2arodire.cfg present, r2arodire.save left alone",
         crlf(baseLines()),
         100,
         baseRead(),
         95,
         {},
         fileWith({{26, "SAVED01"}})},
        {"r2arodire.cfg and r2arodire.save missing",
         std::nullopt,
         100,
         presets(),
         95,
         {},
         std::nullopt,
         true},
    };

    for (const ReadCase &c : cases) {
        ScopedWorkDir dir;
        if (c.cfg)
            dir.write("r2arodire.cfg", *c.cfg);
        if (c.save)
            dir.write("r2arodire.save", *c.save);
        StationConfig config = presets();
        config.CheckRX = c.flagsBefore[0];
        config.CheckRI = c.flagsBefore[1];
        config.CheckDC = c.flagsBefore[2];
        config.CheckCTS = c.flagsBefore[3];
        StationState state;
        state.CpuTjMax = c.tjMax;
        state.CpuTempLimit = c.tjMax - 5;

        EXPECT_EQ(ReadStationConfigFile(config, state), c.configReadError) << c.name;
        EXPECT_EQ(config, c.expected) << c.name;
        EXPECT_EQ(config.StationId, c.expected.StationId) << c.name;
        EXPECT_EQ(config.ServerHost, c.expected.ServerHost) << c.name;
        EXPECT_EQ(config.ServerPort, c.expected.ServerPort) << c.name;
        EXPECT_EQ(config.CpuMaxTempDistance, c.expected.CpuMaxTempDistance) << c.name;
        EXPECT_EQ(state.CpuTempLimit, c.expectedLimit) << c.name;
        if (c.save) {
            EXPECT_EQ(dir.read("r2arodire.cfg"), c.cfg.value_or(*c.save)) << c.name;
            EXPECT_EQ(QFileInfo::exists(dir.file("r2arodire.save")), c.cfg.has_value()) << c.name;
        }
    }
}

TEST(StationConfigFile, UnopenableConfigIsNotReplacedByTheSaveFile)
{
    // r2arodire.cfg is there but cannot be opened: the save file is not
    // renamed over it, and the read fails.
    ScopedWorkDir dir;
    QDir(dir.path()).mkdir("r2arodire.cfg");
    dir.write("r2arodire.save", crlf(baseLines()));
    StationConfig config = presets();
    StationState state;
    EXPECT_TRUE(ReadStationConfigFile(config, state));
    EXPECT_EQ(config, presets());
    EXPECT_TRUE(QFileInfo::exists(dir.file("r2arodire.save")));
}

TEST(StationConfigFile, SaveWritesBothFilesByteForByteAndReadsBack)
{
    ScopedWorkDir dir;
    RecordingNotices boxes;
    StationConfig config = savedConfig();
    SaveStationConfigFiles(
        config, [] { return QByteArray(" COM4: "); }, boxes);

    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(config.ComPort, " COM4: "); // taken from the port box as it stands
    EXPECT_EQ(dir.read("r2arodire.cfg"), kSavedFile);
    EXPECT_EQ(dir.read("AB12-CD.cfg"), kSavedFile);
    EXPECT_EQ(StationConfigFileBytes(config), kSavedFile);

    StationConfig read = presets();
    StationState state;
    EXPECT_FALSE(ReadStationConfigFile(read, state));
    EXPECT_EQ(read.StationId, "AB12-CD");
    EXPECT_TRUE(read.ManualStationId);
    EXPECT_EQ(read.TempMin, "12,5");
    EXPECT_EQ(read.TTPMax, "");
    EXPECT_EQ(read.ServerHost, "heron.example");
    EXPECT_EQ(read.ServerPort, "2001");
    EXPECT_EQ(read.ComPort, "COM4:");
    EXPECT_EQ(state.CpuTempLimit, 95);
}

// A full disk: the save fails with its notice, and the files keep their old
// content instead of being replaced by a cut or empty one.
TEST(StationConfigFile, SaveOnAFullDiskKeepsTheOldFiles)
{
    ScopedWorkDir dir;
    const QString disk = dir.file("disk");
    ScopedTmpfs tmpfs(disk, 64 * 1024);
    if (!tmpfs.mounted())
        GTEST_SKIP() << tmpfs.whyNot().toStdString();
    ASSERT_TRUE(QDir::setCurrent(disk));
    const QByteArray old = "old r2arodire.cfg\r\n";
    for (const char *name : {"r2arodire.cfg", "AB12-CD.cfg"}) {
        QFile f(QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(old), old.size());
    }
    ASSERT_TRUE(tmpfs.fill());

    RecordingNotices boxes;
    StationConfig config = savedConfig();
    SaveStationConfigFiles(
        config, [] { return QByteArray("COM4:"); }, boxes);

    EXPECT_FALSE(boxes.shown.isEmpty());
    EXPECT_EQ(dir.read("disk/r2arodire.cfg"), old);
    EXPECT_EQ(dir.read("disk/AB12-CD.cfg"), old);
    QDir::setCurrent(dir.path());
}

TEST(StationConfigFile, SaveEdgeCases)
{
    const QByteArray error1 = "Fehler beim Schreiben der neuen Konfiguration(1)";
    const QByteArray error2 = "Fehler beim Schreiben der neuen Konfiguration(2)";
    const QByteArray withoutId = QByteArray(kSavedFile).replace("$AB12-CD", "");
    const QByteArray oldPort = QByteArray(kSavedFile).replace("COM4:", "COM2:");
    auto mkdir = [](const char *name) { return [name](ScopedWorkDir &d) { QDir(d.path()).mkdir(name); }; };
    using Files = std::map<QString, std::optional<QByteArray>>; // nullopt: must not exist

    const struct
    {
        const char *name;
        std::function<void(ScopedWorkDir &)> setUp;
        std::function<void(StationConfig &)> change;
        QByteArrayList boxes;
        QByteArray comPortAfter;
        Files files;
    } cases[] = {
        {"an older, longer file is replaced whole",
         [](ScopedWorkDir &d) { d.write("r2arodire.cfg", QByteArray(2000, 'x')); },
         {},
         {},
         " COM4: ",
         {{"r2arodire.cfg", kSavedFile}, {"AB12-CD.cfg", kSavedFile}}},
        {"an empty identifier writes the copy as .cfg",
         {},
         [](StationConfig &c) {
             c.StationId = " ";
             c.ManualStationId = false;
         },
         {},
         " COM4: ",
         {{"r2arodire.cfg", withoutId}, {".cfg", withoutId}}},
        {"r2arodire.cfg cannot be created: the copy keeps the previous port",
         mkdir("r2arodire.cfg"),
         {},
         {error1},
         "COM2:",
         {{"AB12-CD.cfg", oldPort}}},
        {"the copy cannot be created",
         mkdir("AB12-CD.cfg"),
         {},
         {error2},
         " COM4: ",
         {{"r2arodire.cfg", kSavedFile}}},
        {"neither file can be created",
         [](ScopedWorkDir &d) {
             QDir(d.path()).mkdir("r2arodire.cfg");
             QDir(d.path()).mkdir("AB12-CD.cfg");
         },
         {},
         {error1, error2},
         "COM2:",
         {}},
        {"a setting holding a line break or a NUL is never written: the old files stay",
         [](ScopedWorkDir &d) {
             d.write("r2arodire.cfg", "old\r\n");
             d.write("AB12-CD.cfg", "old copy\r\n");
         },
         [](StationConfig &c) {
             c.ServerHost = "127.0.0.1\r\nTemp-Min\r\n99";
             c.TempMax = QByteArray("3\0"
                                    "0",
                                    3);
         },
         {error1, error2},
         "COM2:",
         {{"r2arodire.cfg", QByteArray("old\r\n")}, {"AB12-CD.cfg", QByteArray("old copy\r\n")}}},
        {"an identifier with a path separator never leaves the working directory",
         [](ScopedWorkDir &d) {
             QDir(d.path()).mkdir("inner");
             QDir::setCurrent(d.file("inner"));
         },
         [](StationConfig &c) {
             c.StationId = "../EVIL";
             c.ManualStationId = false;
         },
         {error2},
         " COM4: ",
         {{"inner/r2arodire.cfg", QByteArray(kSavedFile).replace("$AB12-CD", "../EVIL")},
          {"EVIL.cfg", std::nullopt}}},
    };

    for (const auto &c : cases) {
        ScopedWorkDir dir;
        RecordingNotices boxes;
        if (c.setUp)
            c.setUp(dir);
        StationConfig config = savedConfig();
        if (c.change)
            c.change(config);
        SaveStationConfigFiles(
            config, [] { return QByteArray(" COM4: "); }, boxes);
        EXPECT_EQ(boxes.shown, c.boxes) << c.name;
        EXPECT_EQ(config.ComPort, c.comPortAfter) << c.name;
        for (const auto &[name, bytes] : c.files) {
            EXPECT_EQ(QFileInfo(dir.file(name)).isFile(), bytes.has_value())
                << c.name << " " << name.toStdString();
            if (bytes) {
                EXPECT_EQ(dir.read(name), *bytes) << c.name << " " << name.toStdString();
            }
        }
    }
    EXPECT_EQ(StationIdCopyFileName("a\\b"), QString());
    EXPECT_EQ(StationIdCopyFileName(" KUEHL01 "), "KUEHL01.cfg");
}
