#include "station/LogFile.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "support/FailingFileCalls.h"
#include "support/ManualClock.h"
#include "support/ScopedLocale.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QFile>

#include <set>
#include <thread>
#include <vector>

namespace {

struct LogFixture : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock{1000, QDateTime(QDate(2011, 3, 1), QTime(23, 59, 59))};
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    StationPlatform platform = platformWith(clock);
    LogFile log{platform};
};

} // namespace

TEST_F(LogFixture, LineFormatAndMidnight)
{
    log.WriteLogLine(Text8::cp("Temperatur wechselt von GRÜN->ROT"));
    clock.advance(1000);
    log.WriteLogLine("x");
    EXPECT_EQ(dir.read("zav_sensor_logfile.log"),
              QByteArray("01.03.11 23:59:59 /Sensor/ Temperatur wechselt von GR\xDCN->ROT\r\n"
                         "02.03.11 00:00:00 /Sensor/ x\r\n"));
}

TEST_F(LogFixture, ConcurrentWritersLoseAndMixNothing)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i)
                log.WriteLogLine(Text8::cp("Schreiber ") + QByteArray::number(t) + Text8::cp(" Zeile ") +
                                 QByteArray::number(i) + Text8::cp(" äöü"));
        });
    for (auto &th : threads)
        th.join();

    const QByteArray content = dir.read("zav_sensor_logfile.log");
    ASSERT_TRUE(content.endsWith("\r\n"));
    const QList<QByteArray> lines = content.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), kThreads * kLines);
    std::set<QByteArray> seen;
    for (const QByteArray &line : lines) {
        ASSERT_TRUE(line.endsWith("\r")) << line.constData();
        ASSERT_TRUE(line.startsWith("01.03.11 23:59:59 /Sensor/ Schreiber ")) << line.constData();
        ASSERT_TRUE(line.endsWith(" \xE4\xF6\xFC\r")) << line.constData();
        ASSERT_EQ(line.count('\r'), 1);
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), size_t(kThreads * kLines));
}

TEST_F(LogFixture, UnwritableLogLosesTheLineQuietly)
{
    // A directory where the file should be: open fails, nothing is thrown.
    QDir(dir.path()).mkdir("zav_sensor_logfile.log");
    log.WriteLogLine("verloren");
    EXPECT_TRUE(QFileInfo(dir.file("zav_sensor_logfile.log")).isDir());
}

TEST_F(LogFixture, ALineIsWholeOrAbsentOnAFullDiskOrReadOnlyFolder)
{
    log.WriteLogLine("eins");
    const QByteArray before = dir.read("zav_sensor_logfile.log");
    ScopedFailingFiles failing;
    for (const qint64 space : {0, 10, 27}) {
        failing.calls.spaceLeft = space;
        log.WriteLogLine("verloren auf voller Platte");
        EXPECT_EQ(dir.read("zav_sensor_logfile.log"), before) << space << " bytes left";
    }
    failing.calls.spaceLeft = -1;
    failing.calls.openError = EROFS;
    log.WriteLogLine("verloren im schreibgeschützten Ordner");
    EXPECT_EQ(dir.read("zav_sensor_logfile.log"), before);

    // Space again: the next line follows the last whole one.
    failing.calls.openError = 0;
    log.WriteLogLine("zwei");
    EXPECT_EQ(dir.read("zav_sensor_logfile.log"), before + "01.03.11 23:59:59 /Sensor/ zwei\r\n");
}
