// Texts that would break the station's line-based files or place its files
// outside the working folder, sent to the real program through its doors,
// and a configuration file that such a text broke earlier.

#include "endtoend/StationProcess.h"
#include "endtoend/ViewerConfigPeer.h"

#include "HeronStandin.h"
#include "common/StationConfigFormat.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

constexpr int kStartMs = 20000;

QByteArray stationFile(const QByteArrayList &values)
{
    QByteArray out;
    for (int i = 0; i < 17; ++i)
        out += QByteArray(ConfigFormat::StationKeys[i]) + "\r\n" + values[i] + "\r\n";
    return out;
}

struct HostileInput : ::testing::Test
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("deep/er/work"));
    std::unique_ptr<StationProcess> station()
    {
        auto p = StationProcess::simulated(tmp.path(), work);
        EXPECT_TRUE(p);
        return p;
    }

    // Every file below the test's folder, but for the program, the sensor
    // simulation and the service store: where the station put its files.
    QStringList filesOutsideWork() const
    {
        QStringList out;
        QList<QString> dirs{tmp.path()};
        while (!dirs.isEmpty()) {
            const QDir d(dirs.takeFirst());
            for (const QFileInfo &e :
                 d.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
                const QString path = e.absoluteFilePath();
                if (e.isDir()) {
                    if (path != QDir(work).absolutePath() && !path.endsWith(QLatin1String("/bin")) &&
                        !path.endsWith(QLatin1String("/service")))
                        dirs.append(path);
                } else if (e.fileName() != QLatin1String("sensor-sim.txt")) {
                    out.append(path);
                }
            }
        }
        return out;
    }
};

} // namespace

// A file whose server line a line break had split into three lines: the
// values after it are read one place off, so the port reads "99:2000" and
// the start-up's port message comes while the main window is being
// created. Nobody answers it on an unattended station: the supervision tick
// closes it and the station starts; SHUTDOWN, also while the message is
// still open, ends the program within a tick and the worker wait.
TEST_F(HostileInput, BrokenConfigurationFileNeitherBlocksTheStartNorTheShutdown)
{
    QByteArrayList values = StationProcess::configValues();
    values[13] = "127.0.0.1\r\nTemp-Min\r\n99:2000";
    const QByteArray broken = stationFile(values);
    ASSERT_EQ(broken.count('\n'), 36);

    // SHUTDOWN waiting before the start: the first tick finds it while the
    // port message is open.
    {
        auto st = station();
        st->writeFile(QStringLiteral("r2arodire.cfg"), broken);
        st->writeControl(QByteArray("SHUTDOWN\0", 9));
        QElapsedTimer t;
        t.start();
        st->start();
        EXPECT_TRUE(st->waitForExit(10000)) << st->output().constData();
        EXPECT_LT(t.elapsed(), 10000);
        EXPECT_TRUE(st->file(QStringLiteral("zav_sensor_logfile.log"))
                        .endsWith("Proramm beendet wegen SHUTDOWN\r\n"));
        EXPECT_EQ(st->control(), "IDLE");
        EXPECT_EQ(st->instanceNumber(), 0); // it never got as far as the lock
    }

    // Unanswered, the message is closed and the station starts; SHUTDOWN
    // then ends it.
    QFile::remove(QDir(work).filePath(QStringLiteral("zav_sensor_logfile.log")));
    auto st = station();
    st->writeFile(QStringLiteral("r2arodire.cfg"), broken);
    st->writeControl(QByteArray("RUNNING", 7));
    st->start();
    ASSERT_GT(st->waitForInstanceNumber(kStartMs), 0) << st->output().constData();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(st->shutdown(10000)) << st->output().constData();
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(
        st->file(QStringLiteral("zav_sensor_logfile.log")).endsWith("Proramm beendet wegen SHUTDOWN\r\n"));
}

// A viewer's configuration whose server text holds a line break, and ones
// whose identifier leaves the folder or holds a NUL: the station answers
// every text, takes none of these, writes no file; its next measurement
// message shows the identifier and server in force, and no file of the
// station lands outside its folder.
TEST_F(HostileInput, ViewerTextsThatBreakTheFilesOrLeaveTheFolderAreRefused)
{
    auto st = station();
    const QByteArray config = StationProcess::configFile();
    st->writeFile(QStringLiteral("r2arodire.cfg"), config);
    st->start();
    ASSERT_GT(st->waitForInstanceNumber(kStartMs), 0) << st->output().constData();
    const quint16 port = static_cast<quint16>(st->viewerPort() + st->instanceNumber() - 1);

    const QByteArrayList good = {"5 ", "31 ", "-3 ", "18 ",      "2 ",           "12 ",    "20 ", "80 ", "0",
                                 "0",  "0",   "0",   "SIM1234 ", "127.0.0.1:1 ", "COM3: ", "4 ",  "5 "};
    const struct
    {
        const char *what;
        int item; // 0-based
        QByteArray text;
    } cases[] = {
        {"line break in the server", 13, "127.0.0.1\r\nTemp-Min\r\n99:2000 "},
        {"identifier two folders up", 12, "../../Q $$$"},
        {"identifier with a NUL", 12, QByteArray("SI\0M123 $$$", 11)},
        {"identifier with an absolute path", 12, "/tmp/rQ $$$"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArrayList texts = good;
        texts[c.item] = c.text;
        const QByteArrayList message = sendConfiguration(port, texts, 30000);
        ASSERT_EQ(message.size(), 24) << st->output().constData();
        EXPECT_EQ(message[18], "SIM1234 ");
        EXPECT_EQ(message[19], "127.0.0.1:1 ");
        EXPECT_EQ(st->file(QStringLiteral("r2arodire.cfg")), config);
        EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("SIM1234.cfg"))));
    }
    EXPECT_TRUE(filesOutsideWork().isEmpty()) << filesOutsideWork().join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/rQ.cfg")));
    EXPECT_TRUE(st->running());
    EXPECT_TRUE(st->shutdown(20000));
}

// A viewer gives the station the identifier "[SIM123", which a wildcard
// search would read as the start of a character class. The station takes
// and saves it, and the error file of the temperature alarm that follows
// reaches the server under the name the station gave it, with the
// identifier in its lines, and leaves the station.
TEST_F(HostileInput, ViewerIdentifierWithABracketStillBringsTheAlarmToTheServer)
{
    HeronStandin server;
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    server.setUploadDir(uploads);
    ASSERT_TRUE(server.start());
    const QByteArray serverText = "127.0.0.1:" + QByteArray::number(server.port());

    auto st = station();
    QList<QByteArray> values = StationProcess::configValues();
    values[13] = serverText;
    st->writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(values));
    st->start();
    ASSERT_GT(st->waitForInstanceNumber(kStartMs), 0) << st->output().constData();
    const quint16 port = static_cast<quint16>(st->viewerPort() + st->instanceNumber() - 1);

    QByteArrayList texts = {"5 ", "30 ", "-3 ", "40 ", "2 ", "40 ", "20 ", "80 ", "0", "0", "0", "0"};
    texts += {"[SIM123 $$$", serverText + ' ', "COM3: ", "4 ", "5 "};
    const QByteArrayList message = sendConfiguration(port, texts, 30000);
    ASSERT_EQ(message.size(), 24) << st->output().constData();
    EXPECT_EQ(message[18], "[SIM123$$$");
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] { return st->file(QStringLiteral("r2arodire.cfg")).contains("\r\n$[SIM123\r\n"); }, kStartMs))
        << st->file(QStringLiteral("r2arodire.cfg")).constData();

    // Above the maximum of 30 degrees: the alarm and its error file.
    {
        QFile f(tmp.filePath(QStringLiteral("sensor-sim.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("raw_temp=9000\nraw_humidity=1500\n");
    }
    const auto errorFile = [](const HeronStandin &s) {
        for (const HeronStandin::Upload &u : s.uploads())
            if (u.name.startsWith("data\\[SIM123") && u.name.size() == 17 && u.name.endsWith('R') &&
                u.content.contains(";Temperatur;r;"))
                return u;
        return HeronStandin::Upload{};
    };
    ASSERT_TRUE(server.waitUntil([&](const HeronStandin &s) { return !errorFile(s).name.isEmpty(); }, 60000))
        << st->file(QStringLiteral("zav_sensor_logfile.log")).constData()
        << "\nfiles: " << QDir(work).entryList(QDir::Files).join(' ').toStdString();
    const HeronStandin::Upload sent = errorFile(server);
    EXPECT_TRUE(sent.content.endsWith(";21;[SIM123-001;\r\n")) << sent.content.constData();
    const QString local = QDir(work).filePath(QString::fromLatin1(sent.name.mid(5)));
    EXPECT_TRUE(StationProcess::waitUntil([&] { return !QFileInfo::exists(local); }, kStartMs));
    EXPECT_TRUE(st->shutdown(20000));
}

// A viewer's configuration with a value the station refuses, then a sound
// one: the refused one writes nothing, the sound one is written to
// r2arodire.cfg and the identifier copy as any other, and the station starts
// again with it.
TEST_F(HostileInput, ARefusedViewerValueCountsForItsOwnConfigurationOnly)
{
    const QByteArray config = StationProcess::configFile();
    QByteArrayList texts = {"5 ", "31 ", "-3 ", "18 ",      "2 ",           "12 ",    "20 ", "80 ", "0",
                            "0",  "0",   "0",   "SIM1234 ", "127.0.0.1:1 ", "COM3: ", "4 ",  "5 "};
    const QByteArray saved = stationFile({"5", "33", "20", "80", "-3", "18", "2", "12", "FALSE", "FALSE", "FALSE",
                                          "FALSE", "SIM1234", "127.0.0.1:1", "COM3:", "4", "5"});
    {
        auto st = station();
        st->writeFile(QStringLiteral("r2arodire.cfg"), config);
        st->start();
        ASSERT_GT(st->waitForInstanceNumber(kStartMs), 0) << st->output().constData();
        const quint16 port = static_cast<quint16>(st->viewerPort() + st->instanceNumber() - 1);

        texts[3] = "warm "; // TP-Max
        ASSERT_EQ(sendConfiguration(port, texts, 30000).size(), 24) << st->output().constData();
        EXPECT_EQ(st->file(QStringLiteral("r2arodire.cfg")), config);
        EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("SIM1234.cfg"))));

        texts[3] = "18 ";
        texts[1] = "33 ";
        const QByteArrayList message = sendConfiguration(port, texts, 30000);
        ASSERT_EQ(message.size(), 24) << st->output().constData();
        EXPECT_EQ(message[7], "33 ");
        EXPECT_EQ(st->file(QStringLiteral("r2arodire.cfg")), saved);
        EXPECT_EQ(st->file(QStringLiteral("SIM1234.cfg")), saved);
        EXPECT_TRUE(st->shutdown(20000));
    }

    // The flag file of the first run would give the number before this run
    // is listening.
    QFile::remove(QDir(work).filePath(QStringLiteral("r2arodire.flag")));
    auto st = station();
    st->start();
    ASSERT_GT(st->waitForInstanceNumber(kStartMs), 0) << st->output().constData();
    const quint16 port = static_cast<quint16>(st->viewerPort() + st->instanceNumber() - 1);
    const QByteArrayList message = nextMessage(port, 30000);
    ASSERT_EQ(message.size(), 24) << st->output().constData();
    EXPECT_EQ(message[7], "33 ");
    EXPECT_EQ(message[9], "18 ");
    EXPECT_EQ(st->file(QStringLiteral("r2arodire.cfg")), saved);
    EXPECT_TRUE(st->shutdown(20000));
}
