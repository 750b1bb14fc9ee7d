#pragma once

#include "HeronStandin.h"

#include "common/LoginFrame.h"
#include "reporting/FrameSocket.h"
#include "reporting/TCPUtils.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

// The blocking link of the station, remembering every read time-out it was
// given.
class WatchedTcpSocket : public TcpFrameSocket
{
public:
    using TcpFrameSocket::TcpFrameSocket;
    void setReadTimeout(int ms) override
    {
        timeouts.append(ms);
        TcpFrameSocket::setReadTimeout(ms);
    }
    QList<int> timeouts;
};

// The station side of one connection to the stand-in server on loopback:
// a working directory, the fake clock, the station core for status texts.
class StandinLinkTest : public ::testing::Test
{
protected:
    ScopedWorkDir work;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    QTemporaryDir serverDir;
    HeronStandin server;
    QTcpSocket socket;
    std::unique_ptr<WatchedTcpSocket> link;
    qint32 sequence = 0;

    QString uploadDir() const { return serverDir.filePath(QStringLiteral("uploads")); }
    QString serveDir() const { return serverDir.filePath(QStringLiteral("files")); }

    void SetUp() override
    {
        QDir().mkpath(uploadDir());
        QDir().mkpath(serveDir() + QStringLiteral("/seconfig"));
        QDir().mkpath(serveDir() + QStringLiteral("/data"));
        server.setUploadDir(uploadDir());
        server.setServeDir(serveDir());
        ASSERT_TRUE(server.start());
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        link = std::make_unique<WatchedTcpSocket>(&socket);
    }

    void TearDown() override
    {
        socket.abort();
        server.stop();
    }

    bool login()
    {
        return TCPUtils::SendFrame(link.get(), 0, sequence, LoginFrame::literal(), FrameType::LoginFrame,
                                   clock);
    }

    bool send(const QByteArray &payload, quint8 type)
    {
        return TCPUtils::SendFrame(link.get(), 0, sequence, payload, type, clock);
    }

    void serveFile(const QString &relative, const QByteArray &content) const
    {
        QFile f(serveDir() + QLatin1Char('/') + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
};
