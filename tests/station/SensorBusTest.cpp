#include "station/SensorBus.h"
#include "platform/SerialLines.h"
#include "platform/SimulatedSensorStick.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <atomic>
#include <memory>

namespace {

// Serial lines that record every line operation in the Windows terms
// (SETRTS/CLRRTS/SETDTR/CLRDTR) and answer status reads with a fixed word.
class RecordingLines : public SerialLines
{
public:
    bool open(qint32) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    void setRts(bool on) override { ops << (on ? "SETRTS" : "CLRRTS"); }
    void setDtr(bool on) override { ops << (on ? "SETDTR" : "CLRDTR"); }
    std::optional<quint32> modemStatus() override
    {
        ops << "STATUS";
        return status;
    }

    QStringList ops;
    std::optional<quint32> status = 0u;
};

struct SensorBusLines : ::testing::Test
{
    ManualClock clock;
    std::atomic<qint32> lineInvert{0};
    RecordingLines lines;
    SensorBus bus{lineInvert, clock};

    void SetUp() override { bus.setLines(&lines); }
};

// Levels put on the data line for the eight command bits: the data operation
// issued before each of the eight clock-high operations after the reset.
QString commandLevels(const QStringList &ops, bool inverted)
{
    const QString clockHigh = inverted ? "CLRRTS" : "SETRTS";
    const QString dataHigh = inverted ? "CLRDTR" : "SETDTR";
    // ConnectionReset: data high, clock low, ten pulses, the start (7 ops).
    const int first = 2 + 20 + 7;
    QString levels;
    QString lastData;
    for (int i = first; i < ops.size() && levels.size() < 8; ++i) {
        if (ops[i].endsWith("DTR"))
            lastData = ops[i];
        else if (ops[i] == clockHigh)
            levels += lastData == dataHigh ? 'H' : 'L';
    }
    return levels;
}

} // namespace

TEST_F(SensorBusLines, TransmissionStartAndResetSequencesFollowTheInversion)
{
    struct Case
    {
        qint32 invert;
        QStringList start;
    } cases[] = {
        {0, {"SETDTR", "SETRTS", "CLRDTR", "CLRRTS", "SETRTS", "SETDTR", "CLRRTS"}},
        {1, {"CLRDTR", "CLRRTS", "SETDTR", "SETRTS", "CLRRTS", "CLRDTR", "SETRTS"}},
    };
    for (const Case &c : cases) {
        lineInvert = c.invert;
        lines.ops.clear();
        bus.TransmissionStart();
        EXPECT_EQ(lines.ops, c.start) << "LineInvert " << c.invert;

        lines.ops.clear();
        bus.ConnectionReset();
        ASSERT_EQ(lines.ops.size(), 2 + 20 + 7);
        const QString high = c.invert ? "CLRRTS" : "SETRTS";
        const QString low = c.invert ? "SETRTS" : "CLRRTS";
        EXPECT_EQ(lines.ops[0], c.invert ? "CLRDTR" : "SETDTR");
        EXPECT_EQ(lines.ops[1], low);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(lines.ops[2 + 2 * i], high);
            EXPECT_EQ(lines.ops[3 + 2 * i], low);
        }
        EXPECT_EQ(lines.ops.mid(22), c.start);
    }
}

TEST_F(SensorBusLines, CommandBitsGoOutMostSignificantFirst)
{
    struct Case
    {
        qint32 command;
        qint32 invert;
        QString levels;
    } cases[] = {
        {0x03, 0, "LLLLLLHH"},
        {0x05, 0, "LLLLLHLH"},
        {0x03, 1, "LLLLLLHH"},
        {0x05, 1, "LLLLLHLH"},
    };
    for (const Case &c : cases) {
        lineInvert = c.invert;
        lines.ops.clear();
        bus.SendCommand(c.command);
        EXPECT_EQ(commandLevels(lines.ops, c.invert != 0), c.levels)
            << "command " << c.command << " LineInvert " << c.invert;
        // After the eighth bit the line is released while the clock is high,
        // then the ninth pulse samples the acknowledge.
        const QStringList tail = lines.ops.mid(lines.ops.size() - 6);
        const QString h = c.invert ? "CLRRTS" : "SETRTS", l = c.invert ? "SETRTS" : "CLRRTS";
        EXPECT_EQ(tail, (QStringList{h, c.invert ? "CLRDTR" : "SETDTR", l, h, "STATUS", l}));
    }
}

TEST_F(SensorBusLines, ReadBitTakesDsrAsTheInversionSays)
{
    struct Case
    {
        qint32 invert;
        std::optional<quint32> status;
        qint32 bit;
    } cases[] = {
        {0, ModemStatus::Dsr, 1},
        {0, 0u, 0},
        {1, ModemStatus::Dsr, 0},
        {1, 0u, 1},
        {1, ModemStatus::Ring | ModemStatus::Dcd | ModemStatus::Cts, 1},
        // A status that cannot be read counts as DSR off.
        {0, std::nullopt, 0},
        {1, std::nullopt, 1},
    };
    for (const Case &c : cases) {
        lineInvert = c.invert;
        lines.status = c.status;
        lines.ops.clear();
        EXPECT_EQ(bus.ReadBit(), c.bit) << "LineInvert " << c.invert << " status " << c.status.value_or(999);
        const QStringList expected =
            c.invert ? QStringList{"CLRRTS", "STATUS", "SETRTS"} : QStringList{"SETRTS", "STATUS", "CLRRTS"};
        EXPECT_EQ(lines.ops, expected);
    }
}

TEST(SensorBusReverseBits, MirrorsTheLowByte)
{
    const std::pair<qint32, qint32> cases[] = {
        {0x01, 0x80}, {0xB4, 0x2D}, {0x1FF, 0xFF}, {0x00, 0x00}, {0x80, 0x01}, {0xF0, 0x0F}, {0x100, 0x00},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(SensorBus::ReverseBits(in), out) << in;
}

TEST_F(SensorBusLines, ReadBytesWithDsrAlwaysOn)
{
    lines.status = ModemStatus::Dsr;
    const std::pair<qint32, qint32> cases[] = {{0, 255}, {1, 0}};
    for (auto [invert, expected] : cases) {
        lineInvert = invert;
        bus.AnswerHigh = bus.AnswerLow = bus.AnswerCheck = 77;
        const qint64 before = clock.totalSlept();
        EXPECT_EQ(bus.ReadBytes(3), 3);
        EXPECT_EQ(clock.totalSlept() - before, 350);
        EXPECT_EQ(bus.AnswerHigh, expected);
        EXPECT_EQ(bus.AnswerLow, expected);
        EXPECT_EQ(bus.AnswerCheck, expected);
    }
}

TEST_F(SensorBusLines, ReadBytesOfNothingStillWaitsAndReleasesTheLine)
{
    for (qint32 count : {0, -2}) {
        lines.ops.clear();
        bus.AnswerHigh = 9;
        const qint64 before = clock.totalSlept();
        EXPECT_EQ(bus.ReadBytes(count), 0);
        EXPECT_EQ(clock.totalSlept() - before, 350);
        EXPECT_EQ(lines.ops, QStringList{"SETDTR"});
        EXPECT_EQ(bus.AnswerHigh, 9);
    }
}

TEST_F(SensorBusLines, FurtherBytesOverwriteTheCheckByte)
{
    // A stream of bits 1,0,1,0,...: every byte reads 0xAA.
    struct AlternatingLines : RecordingLines
    {
        int reads = 0;
        std::optional<quint32> modemStatus() override { return (reads++ % 2 == 0) ? ModemStatus::Dsr : 0u; }
    } alt;
    bus.setLines(&alt);
    EXPECT_EQ(bus.ReadBytes(5), 5);
    EXPECT_EQ(alt.reads, 40);
    EXPECT_EQ(bus.AnswerHigh, 0xAA);
    EXPECT_EQ(bus.AnswerLow, 0xAA);
    EXPECT_EQ(bus.AnswerCheck, 0xAA);
}

// The bus against the simulated stick: the whole transaction bit by bit.
TEST(SensorBusWithStick, QueriesAnswerWithRawTicksAndCheckByte)
{
    ManualClock clock;
    struct Case
    {
        bool stickInverted;
        qint32 lineInvert;
    } cases[] = {{true, 1}, {false, 0}};
    for (const Case &c : cases) {
        auto stick = std::make_shared<SimulatedSensorStick>(c.stickInverted);
        stick->setRawTemp(6000);
        stick->setRawHumidity(1500);
        SimulatedSensorPort port(stick);
        ASSERT_TRUE(port.open(19200));
        std::atomic<qint32> invert{c.lineInvert};
        SensorBus bus(invert, clock);
        bus.setLines(&port);
        bus.ClockLow();
        bus.ClockHigh();

        ASSERT_EQ(bus.SendCommand(0x03), 0);
        EXPECT_EQ(bus.ReadBytes(3), 3);
        EXPECT_EQ(bus.AnswerHigh, 23);
        EXPECT_EQ(bus.AnswerLow, 112);
        EXPECT_EQ(SensorBus::ReverseBits(bus.AnswerCheck), 242);

        ASSERT_EQ(bus.SendCommand(0x05), 0);
        EXPECT_EQ(bus.ReadBytes(3), 3);
        EXPECT_EQ(bus.AnswerHigh, 5);
        EXPECT_EQ(bus.AnswerLow, 220);
        EXPECT_EQ(bus.AnswerCheck, 134);
        EXPECT_EQ(stick->commandsReceived(), 2);
        EXPECT_EQ(stick->answersCompleted(), 2);

        stick->setZeroAnswer(true);
        ASSERT_EQ(bus.SendCommand(0x03), 0);
        bus.ReadBytes(3);
        EXPECT_EQ(bus.AnswerHigh + bus.AnswerLow + bus.AnswerCheck, 0);

        stick->setZeroAnswer(false);
        stick->setAcknowledge(false);
        EXPECT_EQ(bus.SendCommand(0x05), 1);
        stick->setAcknowledge(true);
        EXPECT_EQ(bus.SendCommand(0x07), 1) << "unknown commands are not acknowledged";
        EXPECT_EQ(stick->lastCommand(), 0x07);
        // The interface recovers with the next reset and start.
        ASSERT_EQ(bus.SendCommand(0x03), 0);
        bus.ReadBytes(3);
        EXPECT_EQ(bus.AnswerLow, 112);
    }
}

TEST(SensorBusWithStick, WrongLineInversionGetsNoAcknowledge)
{
    ManualClock clock;
    auto stick = std::make_shared<SimulatedSensorStick>(true);
    SimulatedSensorPort port(stick);
    ASSERT_TRUE(port.open(19200));
    std::atomic<qint32> invert{0};
    SensorBus bus(invert, clock);
    bus.setLines(&port);
    EXPECT_EQ(bus.SendCommand(0x03), 1);
    EXPECT_EQ(stick->answersCompleted(), 0);
}
