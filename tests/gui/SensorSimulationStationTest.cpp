#include "gui/TFR2U_Radadu.h"
#include "platform/SimulatedSensorStick.h"
#include "station/MyThread.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

} // namespace

// The station's window, the measurement thread on its own thread and the
// simulation selected through the environment, as the program runs it.
TEST(SensorSimulationStation, WindowAndThreadMeasureFromTheFile)
{
    ScopedWorkDir workDir;
    ManualClock clock;
    QTemporaryDir dir;
    const QString path = dir.filePath("sensor.txt");
    writeFile(path, "raw_temp=6000\nraw_humidity=1500\n");
    setenv(SensorSimulation::EnvironmentVariable, path.toLocal8Bit().constData(), 1);

    {
        TFR2U_Radadu w;
        useClock(w, clock);
        w.Edit1->setEditText(QString::fromLatin1(SensorSimulation::PortName));
        w.Button1Click();
        MyThread thread(w.core(), defaultSerialLinesFactory());
        thread.start();

        auto waitForList = [&](const QString &text) {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 20000) {
                QCoreApplication::processEvents();
                if (w.Listbox->toPlainText().contains(text))
                    return true;
            }
            return false;
        };
        EXPECT_TRUE(waitForList(QString::fromUtf8("Spannungserzeugung für Sensor ist aktiviert")));
        EXPECT_TRUE(waitForList(" Sensor(T): 23:112:242"));
        EXPECT_TRUE(waitForList(" Sensor(RH): 5:220:134"));

        writeFile(path, "raw_temp=7000\nraw_humidity=2000\n");
        EXPECT_TRUE(waitForList(" Sensor(RH): 7:208:163"));
        EXPECT_TRUE(waitForList(" Sensor(T): 27:88:121"));

        w.core().state.TerminateRequested = true;
        QElapsedTimer timer;
        timer.start();
        while (!thread.isFinished() && timer.elapsed() < 20000)
            QCoreApplication::processEvents();
        EXPECT_TRUE(thread.isFinished());
        EXPECT_EQ(w.core().state.ActiveThreadCount.load(), 0);
    }
    unsetenv(SensorSimulation::EnvironmentVariable);
}
