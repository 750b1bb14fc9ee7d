#include "support/StandinLink.h"

#include "common/FrameChecksum.h"

#include <QFile>
#include <QTcpServer>

using namespace TCPUtils;

TEST(HeronStandinFrames, DataFramesUseTheLengthExtension)
{
    struct Case
    {
        int payload;
        quint8 length, type;
    } cases[] = {
        {0, 0x03, 0x02},   {250, 0xFD, 0x02}, {252, 0xFF, 0x02}, {253, 0x06, 0x82},
        {502, 0xFF, 0x82}, {503, 0x06, 0xC2}, {752, 0xFF, 0xC2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.payload);
        const QByteArray f = HeronStandin::encodeFrame(FrameType::DataFrame, QByteArray(c.payload, 'x'));
        ASSERT_EQ(f.size(), c.payload + 3);
        EXPECT_EQ(quint8(f[0]), c.length);
        EXPECT_EQ(quint8(f[2]), c.type);
        EXPECT_EQ(FrameChecksum(f), 0);
        // What the station makes of the header.
        EXPECT_EQ(EffectiveFrameLength(quint8(f[0]), quint8(f[2])), c.payload + 3);
    }
    EXPECT_EQ(HeronStandin::encodeFrame(FrameType::CloseFrame, QByteArray()).toHex(' '),
              QByteArray("03 fa 03"));
    EXPECT_EQ(HeronStandin::dosDateTime(QDateTime(QDate(2011, 3, 1), QTime(8, 30, 44))),
              QByteArray::fromHex("d643613e"));
    EXPECT_EQ(DosDateTimeFromBytes(QByteArray::fromHex("d643613e")),
              QDateTime(QDate(2011, 3, 1), QTime(8, 30, 44)));
}

TEST(HeronStandinFrames, ServerNamesStayInsideTheDirectory)
{
    EXPECT_EQ(HeronStandin::mapName("/srv", "data\\ABCDEFG3.1MS"), QStringLiteral("/srv/data/ABCDEFG3.1MS"));
    EXPECT_EQ(HeronStandin::mapName("/srv", "seconfig\\ABCDEFG.cfg"),
              QStringLiteral("/srv/seconfig/ABCDEFG.cfg"));
    EXPECT_EQ(HeronStandin::mapName("/srv", "sensorlogfile\\ABCDEFG.log"),
              QStringLiteral("/srv/sensorlogfile/ABCDEFG.log"));
    for (const char *bad : {"", "..\\x", "data\\..\\..\\x", "\\etc\\passwd", "/etc/passwd", "c:\\x",
                            "data\\\\x", "data\\", "data\\.\\x"})
        EXPECT_TRUE(HeronStandin::mapName("/srv", bad).isEmpty()) << bad;
}

TEST_F(StandinLinkTest, LoginComesFirstAndUploadsStayInTheirDirectory)
{
    // Anything before the login is refused; a wrong literal too.
    EXPECT_FALSE(send("ABCDEFG", FrameType::TextFrame));
    QByteArray wrong = LoginFrame::literal();
    wrong[5] = 'x';
    EXPECT_FALSE(send(wrong, FrameType::LoginFrame));
    ASSERT_TRUE(login());

    EXPECT_FALSE(send("data\\..\\..\\evil", FrameType::OpenFrame));
    EXPECT_FALSE(send("data", FrameType::DataFrame)); // no file open
    EXPECT_FALSE(send(QByteArray(), FrameType::CloseFrame));
    EXPECT_FALSE(send("seconfig\\nothing.cfg", FrameType::FileRequestFrame));
    EXPECT_TRUE(server.uploads().isEmpty());

    // A frame with a wrong checksum is answered "N" and counts for nothing.
    QByteArray broken = BuildFrame("*DATA*", FrameType::TextFrame, 0, 0);
    broken[1] = char(broken[1] ^ 0x01);
    ASSERT_TRUE(link->write(broken));
    EXPECT_EQ(ReadAnswer(link.get(), 0, 0), 'N');
    EXPECT_FALSE(server.frames().back().checksumOk);
}

TEST(HeronStandinLife, RestartListensAnew)
{
    HeronStandin server;
    ASSERT_TRUE(server.start());
    const quint16 first = server.port();
    server.stop();

    // Its old port is taken now: a restart on it must fail, not report the
    // earlier listen.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, first));
    EXPECT_FALSE(server.start(first));
    server.stop();
    other.close();

    // A restart on a free port serves the login.
    ASSERT_TRUE(server.start());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    TcpFrameSocket link(&socket);
    qint32 sequence = 0;
    EXPECT_TRUE(SendFrame(&link, 0, sequence, LoginFrame::literal(), FrameType::LoginFrame));
    socket.abort();
    server.stop();
}

// A record, error or log file that arrives again under its name is appended
// to the stored one, so that the folder shows all the station delivered; a
// configuration copy replaces the one before. The record of uploads keeps
// each one as it came.
TEST_F(StandinLinkTest, FilesThatArriveAgainGrowConfigurationCopiesAreReplaced)
{
    struct Case
    {
        QByteArray name;
        QString stored;
        bool appended;
    } cases[] = {
        {"data\\ABCDEFG3.9MS", "data/ABCDEFG3.9MS", true},
        {"data\\ABCDEFG.CMS", "data/ABCDEFG.CMS", true},
        {"sensorlogfile\\ABCDEFG.log", "sensorlogfile/ABCDEFG.log", true},
        {"seconfig\\ABCDEFG.cfg", "seconfig/ABCDEFG.cfg", false},
    };
    ASSERT_TRUE(login());
    // The first part comes in three data frames, as the station sends them.
    const QByteArray first = "1.g19.40;\xF8" "C;;21;ABCDEFG\r\n" + QByteArray(600, 'a');
    const QByteArray second = "2.g19.50;\xF8" "C;;21;ABCDEFG\r\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.constData());
        for (const QByteArray &text : {first, second}) {
            ASSERT_TRUE(send(c.name, FrameType::OpenFrame));
            for (qsizetype at = 0; at < text.size(); at += 250)
                ASSERT_TRUE(send(text.mid(at, 250), FrameType::DataFrame));
            ASSERT_TRUE(send(QByteArray(), FrameType::CloseFrame));
        }
        QFile stored(uploadDir() + QLatin1Char('/') + c.stored);
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_EQ(stored.readAll(), c.appended ? first + second : second);
    }
    const QList<HeronStandin::Upload> uploads = server.uploads();
    ASSERT_EQ(uploads.size(), 8);
    EXPECT_EQ(uploads[0].content, first);
    EXPECT_EQ(uploads[1].content, second);
}
