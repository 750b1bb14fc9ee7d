#include "gui/TFConfig.h"
#include "gui/TFR2U_Radadu.h"
#include "station/ViewerService.h"
#include "support/FakePortDirectory.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/SavedStationConfig.h"
#include "support/ScopedLocale.h"
#include "support/TempDir.h"
#include "support/ViewerPeer.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpServer>

// A viewer's configuration through the real window and dialog: the station
// takes it over the socket, the dialog's setters and its save run on the GUI
// thread, and both files are written.
struct ViewerConfigWindowTest : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakePortDirectory ports;
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    RecordingNotices boxes;
    TFR2U_Radadu w;
    TFConfig dialog{w};

    ViewerConfigWindowTest()
    {
        StationPlatform p = w.platform();
        p.notices = &boxes;
        p.clock = &clock;
        p.ports = &ports;
        p.viewerBasePort = 0;
        w.setPlatform(p);
        w.startup().CaptionPrefix = StationTexts::CaptionPrefix;
        w.core().config = savedConfig();
        w.Edit1->setEditText(QStringLiteral("COM4:"));
        w.viewer().open();
        w.viewer().listen();
    }
    ~ViewerConfigWindowTest() override
    {
        w.core().state.TerminateRequested = true;
        pumpUntil([this] { return w.core().state.ActiveThreadCount.load() == 0; });
    }
    bool pumpUntil(const std::function<bool()> &done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > 10000) {
                ADD_FAILURE() << "timed out";
                return false;
            }
            w.core().processPendingMessages();
        }
        return true;
    }
};

TEST_F(ViewerConfigWindowTest, ConfigurationIsAppliedAndSavedByteForByte)
{
    const QByteArrayList texts = {"11 ",    "29 ", "-4 ", "24 ", "3 ", "  ",          "21 ",
                                  "79 ",    "-1",  "0",   "-1",  "0",  "RM12345 $$$", "remote.example:2010 ",
                                  "COM9: ", "6 ",  "8 "};
    QByteArrayList answers;
    ViewerPeer peer(w.viewer().socket()->serverPort(), [&](ViewerPeer::Link &link) {
        link.write("<CONFIG>");
        answers.append(link.read());
        for (const QByteArray &t : texts) {
            link.write(t);
            answers.append(link.read());
        }
    });
    ASSERT_TRUE(pumpUntil([&] { return peer.done(); }));
    ASSERT_TRUE(pumpUntil([&] { return w.core().state.ActiveThreadCount.load() == 0; }));
    EXPECT_EQ(answers, QByteArrayList(18, "OK"));

    const QByteArray expected = "Temp-Min\r\n11\r\nTemp-Max\r\n29\r\nRH-Min\r\n21\r\nRH-Max\r\n79\r\n"
                                "TP-Min\r\n-4\r\nTP-Max\r\n24\r\nT-TP-Min\r\n3\r\nT-TP-Max\r\n\r\n"
                                "RX-Checked\r\nTRUE\r\nRI-Checked\r\nFALSE\r\nDC-Checked\r\nTRUE\r\n"
                                "CTS-Checked\r\nFALSE\r\nHERON-Kennung\r\n$RM12345\r\n"
                                "HERON-Server\r\nremote.example:2010\r\nCOM-Port\r\nCOM4:\r\n"
                                "Alarmintervall\r\n6\r\nCPU-MAX-TEMP\r\n8\r\n";
    EXPECT_EQ(dir.read("r2arodire.cfg"), expected);
    EXPECT_EQ(dir.read("RM12345.cfg"), expected);
    const StationConfig &c = w.core().config;
    EXPECT_EQ(c.StationId, "RM12345");
    EXPECT_TRUE(c.ManualStationId);
    EXPECT_EQ(c.ServerHost, "remote.example");
    EXPECT_EQ(c.ServerPort, "2010");
    EXPECT_EQ(w.EditServerDisplay->text(), QStringLiteral("remote.example"));
    EXPECT_TRUE(w.core().state.ImmediateReport.load());
    EXPECT_FALSE(dialog.isVisible());
    // SyncToggleSensor started the polling on the station's own port.
    EXPECT_TRUE(w.core().mirror.StartButtonStop.load());
    EXPECT_EQ(w.portText(), "COM4:");
}

// The boxes and the caption that a measurement message carries reach the
// connection threads through the mirror, whatever changes them.
TEST_F(ViewerConfigWindowTest, WindowControlsAreMirroredForTheViewerConnections)
{
    WindowMirror &m = w.core().mirror;
    w.setContactWatch(true, false);
    w.setContactStatus(2, true, Qt::red);
    w.setLastError("08:30 Fehler", Qt::red);
    EXPECT_TRUE(m.CheckRI.load());
    EXPECT_FALSE(m.CheckDC.load());
    EXPECT_FALSE(m.RIStat.load());
    EXPECT_TRUE(m.DCStat.load());
    EXPECT_EQ(m.LastErrorCaption.get(), "08:30 Fehler");
    w.setContactWatch(false, true);
    w.setContactStatus(1, true, Qt::red);
    EXPECT_FALSE(m.CheckRI.load());
    EXPECT_TRUE(m.CheckDC.load());
    EXPECT_TRUE(m.RIStat.load());
}
