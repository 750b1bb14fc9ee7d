#include "endtoend/StationProcess.h"
#include "endtoend/VirtualXServer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>
#include <QTemporaryDir>

// The station on a real window system with a notification area (the tray
// stand-in on Xvfb): its tray icon carries the station's picture, the hiding
// timer takes the window off the screen into the tray, a double click on the
// icon brings it back, and the icon goes at shut-down.
#ifdef TRAYSTANDIN_EXE
namespace {

constexpr int kStartMs = 20000;

class TrayStandin
{
public:
    ~TrayStandin()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }
    bool start(const QString &display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(TRAYSTANDIN_EXE), {});
        return m_process.waitForStarted(5000) && waitForLine("ready", 5000);
    }
    // Waits for a line the stand-in prints by itself.
    bool waitForLine(const QByteArray &line, int timeoutMs)
    {
        return StationProcess::waitUntil(
            [&] {
                m_output += m_process.readAllStandardOutput();
                const qsizetype at = m_output.indexOf(line + '\n');
                if (at < 0)
                    return false;
                m_output.remove(0, at + line.size() + 1);
                return true;
            },
            timeoutMs);
    }
    // Sends a command and gives its answer line.
    QByteArray ask(const QByteArray &command)
    {
        m_process.write(command + '\n');
        QByteArray answer;
        StationProcess::waitUntil(
            [&] {
                m_output += m_process.readAllStandardOutput();
                // Lines the stand-in prints by itself may come first.
                for (;;) {
                    const qsizetype nl = m_output.indexOf('\n');
                    if (nl < 0)
                        return false;
                    const QByteArray line = m_output.left(nl);
                    m_output.remove(0, nl + 1);
                    if (line != "docked" && line != "undocked") {
                        answer = line;
                        return true;
                    }
                    m_events += line;
                }
            },
            5000);
        return answer;
    }
    bool sawEvent(const QByteArray &event) const { return m_events.contains(event); }

private:
    QProcess m_process;
    QByteArray m_output;
    QByteArrayList m_events;
};

// Whether a picture has some pixel near each of the colours.
bool hasColourNear(const QImage &img, QColor colour)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40)
                return true;
        }
    return false;
}

} // namespace

TEST(StationTray, IconShowsTheStationsPictureAndTheWindowHidesIntoIt)
{
    VirtualXServer x;
    QString why;
    if (!x.start(why))
        GTEST_SKIP() << "no X server for this test: " << why.toStdString();
    TrayStandin tray;
    ASSERT_TRUE(tray.start(x.display()));

    QTemporaryDir tmp;
    // A copy of the program: the start-up hunt never ends a station started
    // by hand from the build.
    const QString exe = tmp.filePath(QStringLiteral("klimawarte"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
    StationProcess st(exe, tmp.filePath(QStringLiteral("work")),
                      tmp.filePath(QStringLiteral("service")));
    st.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile());
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=6000\nraw_humidity=1500\n");
    }
    const quint16 viewerPort = StationProcess::freeViewerPorts();
    ASSERT_NE(viewerPort, 0);
    st.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
    st.setEnv(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    st.setEnv(QStringLiteral("DISPLAY"), x.display());
    st.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    st.setEnv(QStringLiteral("KLIMAWARTE_MSR_DEVICE"), tmp.filePath(QStringLiteral("no-msr")));
    st.start();

    ASSERT_TRUE(tray.waitForLine("docked", kStartMs)) << st.output().constData();

    // The picture: the blue tile and the red column of the thermometer.
    const QString iconFile = tmp.filePath(QStringLiteral("tray-icon.png"));
    QImage icon;
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] {
            if (tray.ask("grab-icon " + iconFile.toLocal8Bit()) != "grabbed")
                return false;
            icon = QImage(iconFile);
            return hasColourNear(icon, QColor(0x2f, 0x7f, 0xd8));
        },
        5000));
    EXPECT_TRUE(hasColourNear(icon, QColor(0xd8, 0x1e, 0x1e)));
    const QByteArray shots = qgetenv("KLIMA_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        tray.ask("grab-screen " + QDir(QString::fromLocal8Bit(shots)).filePath("tray-screen.png").toLocal8Bit());
    }

    // With a notification area the hiding timer takes the window off the
    // screen (not merely minimised), and a double click on the icon shows it.
    EXPECT_TRUE(
        StationProcess::waitUntil([&] { return tray.ask("mapped ZAV-Sensor -") == "mapped no"; }, kStartMs));
    // A box of the station that is open at that moment (the CPU register
    // notice, until the supervision tick closes it) blocks the icon's input:
    // the click is tried again.
    bool shown = false;
    for (int attempt = 0; attempt < 10 && !shown; ++attempt) {
        ASSERT_EQ(tray.ask("double-click"), "clicked");
        shown = StationProcess::waitUntil([&] { return tray.ask("mapped ZAV-Sensor -") == "mapped yes"; },
                                          1500);
    }
    EXPECT_TRUE(shown);
    if (!shots.isEmpty()) {
        tray.ask("grab-screen " +
                 QDir(QString::fromLocal8Bit(shots)).filePath("tray-window-shown.png").toLocal8Bit());
    }

    // The icon goes with the station.
    ASSERT_TRUE(st.shutdown());
    EXPECT_TRUE(tray.sawEvent("undocked") || tray.waitForLine("undocked", 5000));
}
#endif
