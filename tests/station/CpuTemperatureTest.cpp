#include "station/CpuTemperature.h"
#include "station/SharedDataSemaphore.h"
#include "station/StationCore.h"
#include "support/FakeMsrReader.h"

#include "support/RecordingNotices.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <atomic>

#include <thread>

namespace {

// Writes 64-bit little-endian register values into a plain file at the
// offsets of their indices, as the msr device presents them.
void writeMsrFile(const QString &path, const std::map<quint32, quint64> &registers)
{
    QByteArray bytes(0x200, '\0');
    for (const auto &[index, value] : registers)
        for (int i = 0; i < 8; ++i)
            bytes[index + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(CpuTemperature, JunctionLimitFromBit30)
{
    const struct
    {
        const char *name;
        std::optional<quint64> msrEE; // nullopt: cannot be read
        qint32 tjMax;
        qint32 limit;
    } cases[] = {
        {"bit 30 set", 0x40000000ull, 85, 80},
        {"bit 30 set among others, high half ignored", 0xFFFFFFFF'4000000Full, 85, 80},
        {"bit 30 clear", 0x0000000ull, 100, 95},
        {"only the neighbouring bits set", 0xFFFFFFFF'BFFFFFFFull, 100, 95},
        {"register cannot be read", std::nullopt, 100, 95},
    };
    for (const auto &c : cases) {
        FakeMsrReader msr;
        if (c.msrEE)
            msr.registers[0xEE] = *c.msrEE;
        StationState state;
        state.CpuTjMax = 1;
        state.CpuTemp = 50;
        state.NoMsrAccess = true;
        ReadCpuJunctionLimit(state, msr);
        EXPECT_EQ(state.CpuTjMax.load(), c.tjMax) << c.name;
        EXPECT_EQ(state.CpuTempLimit, c.limit) << c.name;
        EXPECT_EQ(state.CpuTemp, 0) << c.name;
        EXPECT_FALSE(state.NoMsrAccess) << c.name;
        EXPECT_EQ(msr.openCount, 1) << c.name;
    }
}

TEST(CpuTemperature, LimitFromConfiguredDistance)
{
    const struct
    {
        qint32 tjMax;
        const char *distance;
        qint32 limit;
        const char *distanceAfter;
    } cases[] = {
        {100, "3", 97, "3"},           {100, "95", 97, "3"},  {100, "-5", 97, "3"},
        {100, "0", 100, "0"},          {100, "90", 10, "90"}, {100, "91", 97, "3"},
        {100, "x", 95, "x"},           {100, "", 95, ""},     {85, "5", 80, "5"},
        {85, "75", 10, "75"},          {85, "76", 82, "3"},   {85, "-1", 82, "3"},
        {100, "-2147483648", 97, "3"},
    };
    for (const auto &c : cases) {
        QByteArray distance = c.distance;
        EXPECT_EQ(CpuLimitFromDistance(c.tjMax, c.tjMax - 5, distance), c.limit)
            << c.tjMax << " " << c.distance;
        EXPECT_EQ(distance, c.distanceAfter) << c.tjMax << " " << c.distance;
    }
}

class CpuReadingFixture : public ::testing::Test
{
protected:
    RecordingView view;
    RecordingNotices boxes;
    StationCore core{view, boxes.platform()};
    FakeMsrReader msr;
    CpuTemperature cpu{core, msr};

    QByteArray display()
    {
        return view.texts.count(ValueDisplay::CpuTemp) ? view.texts[ValueDisplay::CpuTemp] : "-";
    }
    // The GUI thread runs the queued hand-overs and then its event queue,
    // from which the messages are opened.
    void deliverMessages()
    {
        core.handover.drain();
        QCoreApplication::sendPostedEvents();
    }
    void evaluate()
    {
        view.texts.erase(ValueDisplay::CpuTemp);
        SharedDataLock lock(core.semaphore);
        cpu.readForEvaluation();
    }
};

TEST_F(CpuReadingFixture, ThermalReadoutGivesTheTemperatureBelowTjMax)
{
    core.state.CpuTjMax = 100;
    const struct
    {
        quint64 status;
        qint32 cpuTemp;
        const char *shown; // "-": the display is left to the evaluation
    } cases[] = {
        {quint64(34) << 16, 66, "-"},
        {0x88000000u | (quint64(34) << 16) | 0xFFFFu, 66, "-"},
        {0xFF80FFFFu, 100, "-"},                               // readout bits 0 while others are set
        {0xFFFFFFFF'00000000ull, 100, "<nicht verf\xfcgbar>"}, // low half 0: no reading, last value kept
        {quint64(0x7F) << 16, -27, "-"},
    };
    for (const auto &c : cases) {
        msr.registers[0x19C] = c.status;
        evaluate();
        EXPECT_EQ(core.state.CpuTemp, c.cpuTemp) << std::hex << c.status;
        EXPECT_EQ(display(), c.shown) << std::hex << c.status;
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(cpu.ReadCpuThermStatus(), static_cast<qint32>(0x7F0000));
}

TEST_F(CpuReadingFixture, MissingRegistersAreReportedOnceAndNeverReadAgain)
{
    msr.available = false;
    core.state.CpuTemp = 0;
    for (int i = 0; i < 3; ++i) {
        evaluate();
        EXPECT_EQ(display(), "<nicht verf\xfcgbar>");
        deliverMessages();
    }
    EXPECT_EQ(boxes.shown, QByteArrayList{"*** no access to MSR-Registers ***"});
    EXPECT_EQ(msr.isMsrCalls, 1);
    EXPECT_EQ(msr.readCalls, 0);
    EXPECT_EQ(core.state.CpuTemp, 0);
    EXPECT_TRUE(core.state.NoMsrAccess);
}

TEST_F(CpuReadingFixture, FailedStatusReads)
{
    const struct
    {
        const char *name;
        void (*setUp)(FakeMsrReader &);
        QByteArrayList shown;
        bool noMsrAccess;
        int readCalls; // over three evaluations
    } cases[] = {
        // No exception: nothing read this time, no message, tried again.
        {"read fails quietly", [](FakeMsrReader &m) { m.failReads = true; }, {}, false, 3},
        {"read raises", [](FakeMsrReader &m) { m.throwOnRead = true; }, {"*** no access to MSR-19Ch ***"}, true, 1},
        {"register check raises", [](FakeMsrReader &m) { m.throwOnIsMsr = true; }, {"*** no access to MSR-19Ch ***"},
         true, 0},
    };
    for (const auto &c : cases) {
        boxes.shown.clear();
        core.state.NoMsrAccess = false;
        core.state.CpuTemp = 42;
        msr = FakeMsrReader();
        msr.registers[0x19C] = quint64(20) << 16;
        c.setUp(msr);
        for (int i = 0; i < 3; ++i) {
            evaluate();
            EXPECT_EQ(display(), "<nicht verf\xfcgbar>") << c.name;
            deliverMessages();
        }
        EXPECT_EQ(boxes.shown, c.shown) << c.name;
        EXPECT_EQ(core.state.NoMsrAccess, c.noMsrAccess) << c.name;
        EXPECT_EQ(msr.readCalls, c.readCalls) << c.name;
        EXPECT_EQ(core.state.CpuTemp, 42) << c.name;
    }
}

TEST_F(CpuReadingFixture, MeasurementThreadDoesNotWaitForTheMessageWhileHoldingTheSemaphore)
{
    msr.available = false;
    qint32 result = -1;
    std::thread worker([&] {
        SharedDataLock lock(core.semaphore);
        result = cpu.ReadCpuThermStatus();
    });
    worker.join(); // the GUI thread has run nothing meanwhile
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(core.semaphore.available(), 1);
    deliverMessages();
    EXPECT_EQ(boxes.shown, QByteArrayList{"*** no access to MSR-Registers ***"});
}

TEST(CpuTemperature, OpenMessageDoesNotHoldUpTheMeasurementThread)
{
    // While the message waits for the user (its own event loop runs on the
    // GUI thread), the measurement thread's next evaluations still get their
    // display changes done on the GUI thread and go on.
    RecordingView view;
    RecordingNotices boxes;
    StationCore core(view, boxes.platform());
    FakeMsrReader msr;
    msr.available = false;
    CpuTemperature cpu(core, msr);
    constexpr int Evaluations = 3;
    std::atomic<int> evaluated{0};
    int evaluatedWhileOpen = -1;
    const QByteArrayList &shown = boxes.shown;
    boxes.onShow = [&](const QByteArray &, NoticeButtons) {
        QEventLoop modal;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &modal, [&] {
            if (evaluated == Evaluations)
                modal.quit();
        });
        QTimer::singleShot(10000, &modal, &QEventLoop::quit); // only when the thread is stuck
        poll.start(1);
        modal.exec();
        evaluatedWhileOpen = evaluated;
    };

    std::thread worker([&] {
        for (int i = 0; i < Evaluations; ++i) {
            SharedDataLock lock(core.semaphore);
            cpu.readForEvaluation();
            ++evaluated;
        }
    });
    const QDeadlineTimer failSafe(20000);
    while ((evaluated < Evaluations || shown.isEmpty()) && !failSafe.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();

    EXPECT_EQ(shown, QByteArrayList{"*** no access to MSR-Registers ***"});
    EXPECT_EQ(evaluatedWhileOpen, Evaluations);
    EXPECT_EQ(view.texts[ValueDisplay::CpuTemp], "<nicht verf\xfcgbar>");
}

TEST(CpuTemperature, MsrDeviceCanBeAPlainFile)
{
    ScopedWorkDir dir;
    const QString path = dir.file("msr");
    writeMsrFile(path, {{0xEE, 0x40000000}, {0x19C, 0x88220000}});
    qputenv("KLIMAWARTE_MSR_DEVICE", QFile::encodeName(path));
    LinuxMsrReader msr;
    qunsetenv("KLIMAWARTE_MSR_DEVICE");
    EXPECT_EQ(msr.path(), path);
    EXPECT_EQ(LinuxMsrReader::defaultPath(), "/dev/cpu/0/msr");

    RecordingView view;
    StationCore core(view);
    ReadCpuJunctionLimit(core.state, msr);
    EXPECT_EQ(core.state.CpuTjMax.load(), 85);
    EXPECT_TRUE(msr.isMsr());
    EXPECT_EQ(msr.read(0x19C), 0x88220000u);
    EXPECT_EQ(msr.read(0x1FC), std::nullopt); // past the end of the file

    CpuTemperature cpu(core, msr);
    cpu.readForEvaluation();
    EXPECT_EQ(core.state.CpuTemp, 85 - 0x22);
}

TEST(CpuTemperature, MissingMsrDeviceEndToEnd)
{
    ScopedWorkDir dir;
    RecordingNotices boxes;
    LinuxMsrReader msr(dir.file("no-such-device"));
    RecordingView view;
    StationCore core(view, boxes.platform());
    ReadCpuJunctionLimit(core.state, msr);
    EXPECT_EQ(core.state.CpuTjMax.load(), 100);
    EXPECT_EQ(core.state.CpuTempLimit, 95);
    CpuTemperature cpu(core, msr);
    for (int i = 0; i < 2; ++i) {
        cpu.readForEvaluation();
        EXPECT_EQ(view.texts[ValueDisplay::CpuTemp], "<nicht verf\xfcgbar>");
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(boxes.shown, QByteArrayList{"*** no access to MSR-Registers ***"});
}
