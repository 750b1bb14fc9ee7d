// Texts that would break the station's line-based files or place its files
// outside the working folder, sent to the real program through its doors,
// and a configuration file that such a text broke earlier.

#include "endtoend/StationProcess.h"
#include "endtoend/ViewerConfigPeer.h"

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
