#include "endtoend/StationProcess.h"
#include "support/ManualClock.h"
#include "support/RecordingRelay.h"
#include "viewer/TFI2C_RevuzaDareza.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include <memory>

// The viewer's window, in this process, against the real station program on
// loopback with the simulated sensor stick.

namespace {

int entries(const QString &what)
{
    return int(QDir(QStringLiteral("/proc/self/") + what)
                   .entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// The viewer's waits at the station's pace: the station runs under a clock ten
// times faster, so its answer wait would end before the viewer's first read.
class StationPaceClock : public SystemClock
{
public:
    void sleep(int ms) override { QThread::msleep(static_cast<unsigned long>(StationProcess::realMs(ms))); }
};

// One station in a temporary folder, viewer port searched from a free one.
class Station
{
public:
    explicit Station(QList<QByteArray> config = StationProcess::configValues(),
                     const QByteArray &sim = "raw_temp=6000\nraw_humidity=1500\n")
        : m_process(StationProcess::programCopy(m_tmp.filePath(QStringLiteral("bin"))),
                    m_tmp.filePath(QStringLiteral("work")), m_tmp.filePath(QStringLiteral("service")))
    {
        m_base = StationProcess::freeViewerPorts();
        m_process.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(m_base));
        m_process.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(config));
        m_sim = m_tmp.filePath(QStringLiteral("sensor-sim.txt"));
        setSensor(sim);
        m_process.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), m_sim);
    }
    // The viewer port the station opened (0 when it did not start).
    quint16 start()
    {
        m_process.start();
        const int n = m_process.waitForInstanceNumber(30000);
        return n > 0 ? quint16(m_base + n - 1) : 0;
    }
    void setSensor(const QByteArray &text)
    {
        QFile f(m_sim);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text);
    }
    StationProcess &process() { return m_process; }
    quint16 base() const { return m_base; }

private:
    QTemporaryDir m_tmp;
    StationProcess m_process;
    QString m_sim;
    quint16 m_base = 0;
};

class ViewerEndToEnd : public testing::Test
{
protected:
    void makeWindow() { makeWindow(m_pace); }
    void makeWindow(Clock &clock)
    {
        w = std::make_unique<TFI2C_RevuzaDareza>(clock);
        auto *dialog = new TFRemoteConfig(*w, w.get());
        w->setForms(dialog, new TForm1(w.get()));
        w->resize(640, 420);
        w->show();
    }
    void TearDown() override
    {
        w.reset();
        if (!m_pictures.isEmpty())
            savePictures();
    }

    template <typename T> T *c(const char *name) const { return w->findChild<T *>(QString::fromLatin1(name)); }
    QString textOf(const char *name) const
    {
        if (auto *e = c<QLineEdit>(name))
            return e->text();
        return c<QLabel>(name)->text();
    }
    QColor font(const char *name) const { return c<QLineEdit>(name)->palette().color(QPalette::Text); }
    QString activity() const { return c<QPlainTextEdit>("Listbox")->toPlainText(); }
    bool connected() const { return c<QPushButton>("Button1")->text() == QStringLiteral("Trennen"); }
    void connectTo(quint16 port)
    {
        c<QLineEdit>("EditServer")->setText(QStringLiteral("127.0.0.1:%1").arg(port));
        c<QPushButton>("Button1")->click();
    }
    void disconnect() { c<QPushButton>("Button1")->click(); }
    template <typename Pred> bool until(Pred pred, int ms = 30000) { return StationProcess::waitUntil(pred, ms); }

    // With KLIMA_SCREENSHOT_DIR set: the window as Qt draws it and, on a
    // real window system, as the screen shows it. The pictures are written
    // at the end: the window keeps serving its connection meanwhile.
    void screenshot(const QString &name)
    {
        if (qEnvironmentVariable("KLIMA_SCREENSHOT_DIR").isEmpty())
            return;
        const QString platform = QGuiApplication::platformName();
        m_pictures.append({name + QStringLiteral("-") + platform, w->grab()});
        if (platform != QStringLiteral("offscreen")) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (QScreen *screen = w->screen())
                m_pictures.append({name + QStringLiteral("-screen"), screen->grabWindow(0)});
        }
    }
    void savePictures()
    {
        const QDir dir(qEnvironmentVariable("KLIMA_SCREENSHOT_DIR"));
        QDir().mkpath(dir.path());
        for (const auto &[name, picture] : m_pictures)
            picture.save(dir.filePath(name + QStringLiteral(".png")));
    }

    // The next complete message has been shown.
    bool nextMessage()
    {
        const QString last = textOf("LabelLastConnection");
        return until([&] { return textOf("LabelLastConnection") != last; }) &&
               until([&] { return textOf("LastError") != QStringLiteral("Letzter Fehler: "); });
    }

    StationPaceClock m_pace;
    QList<std::pair<QString, QPixmap>> m_pictures;
    std::unique_ptr<TFI2C_RevuzaDareza> w;
};

} // namespace

TEST_F(ViewerEndToEnd, FollowsTheStationAndEndsWithBreak)
{
    QList<QByteArray> cfg = StationProcess::configValues();
    cfg[1] = "30"; // Temp-Max
    cfg[2] = "30"; // RH-Min
    cfg[3] = "70"; // RH-Max
    cfg[9] = "TRUE"; // RI-Checked
    Station st(cfg);
    const quint16 port = st.start();
    ASSERT_NE(port, 0) << st.process().output().constData();
    makeWindow();
    RecordingRelay relay(port);
    connectTo(relay.port());

    // The second message is coloured against the limits of the first.
    ASSERT_TRUE(until([&] { return textOf("LabelRHMinMax") == u("Min: 30  %  Max: 70 %"); }))
        << activity().toStdString();
    ASSERT_TRUE(nextMessage());
    EXPECT_EQ(textOf("EditT"), "19.40");
    EXPECT_EQ(textOf("EditRH"), "52.43");
    EXPECT_EQ(textOf("EditTP"), "9.46");
    EXPECT_EQ(textOf("EditT_TP"), "9.94");
    EXPECT_EQ(font("EditT"), Colours::Green);
    EXPECT_EQ(font("EditRH"), Colours::Green);
    EXPECT_EQ(textOf("LabelTempMinMax"), u(" Max: 30 °C"));
    EXPECT_EQ(textOf("LabelRHMinMax"), u("Min: 30  %  Max: 70 %"));
    EXPECT_TRUE(textOf("LabelTjunction").startsWith(u("Junction-Temp. = "))) << textOf("LabelTjunction").toStdString();
    EXPECT_TRUE(textOf("LabelTjunction").endsWith(u(" °C")));
    EXPECT_TRUE(c<QCheckBox>("CheckRI")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("CheckDC")->isChecked());
    const QColor input1 = c<QCheckBox>("RIStat")->palette().color(QPalette::Window);
    EXPECT_TRUE(input1 == Colours::Lime || input1 == Colours::Red);
    EXPECT_EQ(c<QCheckBox>("DCStat")->palette().color(QPalette::Window), Colours::BtnFace);
    EXPECT_TRUE(textOf("LabelKennung").startsWith(QStringLiteral("HERON-Kennung: ")));
    EXPECT_TRUE(w->remoteState().StationIdLocked);
    EXPECT_TRUE(textOf("LabelLastConnection").startsWith(QStringLiteral("Letzte Messung: ")));
    screenshot(QStringLiteral("fernblick-green"));

    // Too warm: the temperature turns red.
    st.setSensor("raw_temp=7500\nraw_humidity=1500\n");
    ASSERT_TRUE(until([&] { return textOf("EditT") == QStringLiteral("34.10") && font("EditT") == Colours::Red; }))
        << textOf("EditT").toStdString();
    c<QPushButton>("Button3")->click(); // the activity list, for the picture
    screenshot(QStringLiteral("fernblick-alarm"));
    c<QPushButton>("Button3")->click();

    disconnect();
    EXPECT_FALSE(connected());
    ASSERT_TRUE(until([&] { return relay.done(); }));
    ASSERT_TRUE(until([&] { return w->liveThreads() == 0; }));
    const QByteArrayList fromViewer = relay.fromViewer();
    const QByteArrayList fromStation = relay.fromStation();
    ASSERT_FALSE(fromViewer.isEmpty());
    EXPECT_EQ(fromViewer.last(), "BREAK");
    EXPECT_EQ(fromViewer.count("BREAK"), 1);
    EXPECT_EQ(fromStation.size() - fromStation.lastIndexOf("<ANFANG>"), 24);
    EXPECT_EQ(fromViewer.size(), fromStation.size());
    EXPECT_FALSE(activity().contains(QStringLiteral("beendet")));

    // Connected again, the station's shut-down ends the link with "<BREAK>".
    c<QLineEdit>("EditT")->clear();
    connectTo(port);
    ASSERT_TRUE(until([&] { return textOf("EditT") == QStringLiteral("34.10"); }));
    // The window keeps serving its connection while the station ends.
    st.process().writeControl(QByteArray("SHUTDOWN\0", 9));
    ASSERT_TRUE(until([&] { return !st.process().running(); }));
    ASSERT_TRUE(until([&] { return w->liveThreads() == 0; }));
    EXPECT_TRUE(activity().trimmed().endsWith(QStringLiteral("<BREAK>"))) << activity().right(300).toStdString();
    w->Timer1Timer();
    EXPECT_TRUE(activity().endsWith(QStringLiteral("***Verbindung abgebrochen***")));
    EXPECT_FALSE(connected());
}

TEST_F(ViewerEndToEnd, LostStationIsReportedAndANewConnectWorks)
{
    Station first;
    const quint16 port = first.start();
    ASSERT_NE(port, 0);
    makeWindow();
    connectTo(port);
    ASSERT_TRUE(until([&] { return textOf("EditT") == QStringLiteral("19.40"); }));
    ASSERT_TRUE(until([&] { return textOf("LabelKennung").startsWith(QStringLiteral("HERON-Kennung: ")); }));
    EXPECT_TRUE(w->remoteState().StationIdLocked);
    const QString plainId = textOf("LabelKennung");
    EXPECT_EQ(plainId.toStdString(), "HERON-Kennung: SIM1234");

    first.process().process().kill();
    first.process().waitForExit(10000);
    ASSERT_TRUE(until([&] { return w->liveThreads() == 0; }));
    EXPECT_TRUE(activity().contains(QStringLiteral("+++ Verbindung  beendet (1)!")));
    w->Timer1Timer();
    EXPECT_TRUE(activity().endsWith(QStringLiteral("***Verbindung abgebrochen***")));
    EXPECT_FALSE(connected());

    // A station whose identifier was entered by hand sends it with "$$$".
    QList<QByteArray> cfg = StationProcess::configValues();
    cfg[12] = "$HND4567";
    Station second(cfg, "raw_temp=5000\nraw_humidity=1500\n");
    const quint16 port2 = second.start();
    ASSERT_NE(port2, 0);
    c<QLineEdit>("EditT")->clear();
    connectTo(port2);
    ASSERT_TRUE(until([&] { return textOf("EditT") == QStringLiteral("9.60"); }));
    // The identifier as entered by hand goes out with the mark; the label
    // shows it without.
    ASSERT_TRUE(until([&] { return textOf("LabelKennung") == QStringLiteral("HERON-Kennung: HND4567"); }))
        << textOf("LabelKennung").toStdString();
    EXPECT_FALSE(w->remoteState().StationIdLocked);
    EXPECT_TRUE(activity().contains(QStringLiteral("HND4567$$$")));
    disconnect();
    ASSERT_TRUE(until([&] { return w->liveThreads() == 0; }));
}

TEST_F(ViewerEndToEnd, FiftyConnectCyclesLeaveNoThreadOrDescriptor)
{
    Station st;
    const quint16 port = st.start();
    ASSERT_NE(port, 0);
    ManualClock clock; // the window's own waits take no time here
    makeWindow(clock);
    const auto cycle = [&] {
        const qsizetype before = activity().count(QStringLiteral("<ANFANG>"));
        connectTo(port);
        if (!until([&] { return activity().count(QStringLiteral("<ANFANG>")) > before; }))
            return false;
        disconnect();
        if (!until([&] { return w->liveThreads() == 0; }))
            return false;
        w->Timer1Timer();
        return !connected();
    };
    ASSERT_TRUE(cycle());
    const int threads = entries(QStringLiteral("task"));
    const int fds = entries(QStringLiteral("fd"));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(cycle()) << "cycle " << i;
    EXPECT_EQ(entries(QStringLiteral("task")), threads);
    EXPECT_EQ(entries(QStringLiteral("fd")), fds);
    EXPECT_TRUE(st.process().running());
}
