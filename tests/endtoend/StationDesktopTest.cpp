#include "endtoend/StationProcess.h"
#include "endtoend/VirtualXServer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

constexpr int kStartMs = 20000;

int recordLines(const QDir &work, StationProcess &st)
{
    int lines = 0;
    for (const QString &name : work.entryList({QStringLiteral("SIM1234?.?MS")}, QDir::Files))
        lines += static_cast<int>(st.file(name).count('\n'));
    return lines;
}

} // namespace

// On a real window system the station hides its window about 20 s after
// the countdown, the CPU register notice appears (no register access here)
// and the supervision tick closes it. With no window left on screen the
// station must go on measuring until it is told to end.
TEST(StationDesktop, KeepsMeasuringAfterItsWindowHidesAndTheCpuNoticeIsClosed)
{
    VirtualXServer x;
    QString why;
    if (!x.start(why))
        GTEST_SKIP() << "no X server for this test: " << why.toStdString();

    QTemporaryDir tmp;
    const QString exe = StationProcess::programCopy(tmp.filePath(QStringLiteral("bin")));
    ASSERT_FALSE(exe.isEmpty());
    const quint16 viewerPort = StationProcess::freeViewerPorts();
    ASSERT_NE(viewerPort, 0);
    StationProcess st(exe, tmp.filePath(QStringLiteral("work")), tmp.filePath(QStringLiteral("service")));
    st.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
    QList<QByteArray> values = StationProcess::configValues();
    values[1] = "30"; // TempMax: a warmer reading later changes the colour and writes records
    st.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(values));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    const auto writeSim = [&](const QByteArray &content) {
        QFile f(sim);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
    };
    ASSERT_TRUE(writeSim("raw_temp=6000\nraw_humidity=1500\n"));
    st.setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    st.setEnv(QStringLiteral("DISPLAY"), x.display());
    st.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    st.setEnv(QStringLiteral("KLIMAWARTE_MSR_DEVICE"), tmp.filePath(QStringLiteral("no-msr")));
    st.start();

    ASSERT_GT(st.waitForInstanceNumber(kStartMs), 0) << st.output().constData();
    const QDir work(tmp.filePath(QStringLiteral("work")));
    ASSERT_TRUE(StationProcess::waitUntil([&] { return recordLines(work, st) >= 7; }, kStartMs));

    // Hiding comes 15 s after the countdown, the closing tick at most 5 s
    // after the notice: a minute of the station's time covers both.
    ASSERT_FALSE(st.waitForExit(StationProcess::realMs(60000)))
        << "ended with status " << st.process().exitCode() << ", CONTROL \"" << st.control().constData()
        << "\"\n"
        << st.output().constData();
    EXPECT_EQ(st.control(), "RUNNING");
    EXPECT_FALSE(st.file(QStringLiteral("zav_sensor_logfile.log")).contains("beendet"));

    // Still measuring: a reading above TempMax turns the temperature red,
    // and the colour change writes the next seven records.
    ASSERT_TRUE(writeSim("raw_temp=9000\nraw_humidity=1500\n"));
    EXPECT_TRUE(StationProcess::waitUntil([&] { return recordLines(work, st) >= 14; }, kStartMs))
        << recordLines(work, st) << " record lines";

    ASSERT_TRUE(st.shutdown());
    EXPECT_EQ(st.control(), "IDLE");
    EXPECT_TRUE(st.file(QStringLiteral("zav_sensor_logfile.log"))
                    .contains("/Sensor/ Proramm beendet wegen SHUTDOWN\r\n"));
}
