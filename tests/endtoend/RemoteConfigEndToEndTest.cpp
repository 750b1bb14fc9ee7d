// A configuration edited in the viewer's dialog goes to the real station
// program, lands in its configuration files and comes back in the station's
// next measurement message.

#include "endtoend/StationProcess.h"

#include "common/StationConfigFormat.h"
#include "viewer/RemoteStationState.h"
#include "viewer/TFI2C_RevuzaDareza.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QByteArray stationFile(const QByteArrayList &values)
{
    QByteArray out;
    for (int i = 0; i < 17; ++i)
        out += QByteArray(ConfigFormat::StationKeys[i]) + "\r\n" + values[i] + "\r\n";
    return out;
}

RemoteStationConfig copyOf(RemoteStationState &state)
{
    QMutexLocker lock(&state.ConfigSection);
    return state.config;
}

} // namespace

TEST(RemoteConfigEndToEnd, EditedInTheViewerSavedByTheStationAndSentBack)
{
    QTemporaryDir tmp;
    const QString exeDir = tmp.filePath(QStringLiteral("bin"));
    QDir().mkpath(exeDir);
    const QString exe = QDir(exeDir).filePath(QStringLiteral("klimawarte"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
    const quint16 port = StationProcess::freeViewerPorts();
    ASSERT_NE(port, 0);
    StationProcess st(exe, tmp.filePath(QStringLiteral("work")), tmp.filePath(QStringLiteral("service")));
    st.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(port));
    st.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile());
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=6000\nraw_humidity=1500\n");
    }
    st.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    // The station's clock runs ten times faster, as in the other end-to-end
    // tests: its measurement messages follow each other closer than the half
    // second that the viewer waits after a message before it announces the
    // configuration, so the "<CONFIG>" meets the next message's start.
    st.start();
    ASSERT_GT(st.waitForInstanceNumber(20000), 0) << st.output().constData();

    // The viewer as its program body makes it, connected to the station.
    TFI2C_RevuzaDareza window;
    auto *dialog = new TFRemoteConfig(window, &window);
    auto *form1 = new TForm1(&window);
    window.setForms(dialog, form1);
    QStringList messages;
    dialog->messages().setPresenter([&](const QString &text) { messages.append(text); });
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("EditServer"))->setText(QStringLiteral("127.0.0.1:%1").arg(port));
    window.findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    const auto activity = [&] {
        return window.findChild<QPlainTextEdit *>(QStringLiteral("Listbox"))->toPlainText().right(3000).toStdString();
    };
    ASSERT_TRUE(StationProcess::waitUntil([&] { return copyOf(window.remoteState()).StationId == "SIM1234"; }, 60000))
        << st.output().constData() << "\nviewer: " << activity();

    // The operator opens "Sensor-Config", edits and confirms.
    QTimer::singleShot(0, dialog, [&] {
        auto set = [&](const char *name, const char *text) {
            dialog->findChild<QLineEdit *>(QString::fromLatin1(name))->setText(QString::fromLatin1(text));
        };
        set("EditTmin", "5");
        set("EditTmax", "31");
        set("EditRHmin", "20");
        set("EditRHmax", "80");
        set("EditTPmin", "-3");
        set("EditTPmax", "18");
        set("EditT_TPmin", "2");
        set("EditT_TPmax", "12");
        set("EditAlarmintervall", "6");
        set("EditCPUMaxtemp", "7");
        dialog->findChild<QComboBox *>(QStringLiteral("EditHeronserver"))->setEditText(QStringLiteral("127.0.0.1:2999"));
        dialog->findChild<QCheckBox *>(QStringLiteral("CheckRI"))->setChecked(true);
        dialog->findChild<QCheckBox *>(QStringLiteral("CheckDC"))->setChecked(true);
        dialog->findChild<QCheckBox *>(QStringLiteral("ModifyKennung"))->setChecked(true); // "$$$": by hand
        dialog->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("Button2"))->click(); // modal until OK
    ASSERT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    ASSERT_FALSE(dialog->InputRejected());

    const QByteArray expected = stationFile({"5", "31", "20", "80", "-3", "18", "2", "12", "FALSE", "TRUE", "TRUE",
                                             "FALSE", "$SIM1234", "127.0.0.1:2999", "COM3:", "6", "7"});
    EXPECT_TRUE(StationProcess::waitUntil([&] { return st.file(QStringLiteral("r2arodire.cfg")) == expected; }, 60000))
        << st.file(QStringLiteral("r2arodire.cfg")).constData() << "\n"
        << st.output().constData() << "\nviewer: " << activity() << "\nConfigState "
        << window.remoteState().ConfigState << " send " << window.remoteState().ConfigSendRequested << "\nlog: "
        << st.file(QStringLiteral("zav_sensor_logfile.log")).right(3000).constData() << "\nfiles: "
        << QDir(tmp.filePath(QStringLiteral("work"))).entryList(QDir::Files).join(' ').toStdString();
    EXPECT_EQ(st.file(QStringLiteral("SIM1234.cfg")), expected);

    // Once sent, the window follows the station again: a copy spoilt here
    // is replaced by what the station's next message carries.
    ASSERT_TRUE(StationProcess::waitUntil([&] { return window.remoteState().ConfigState == 0; }, 30000));
    {
        QMutexLocker lock(&window.remoteState().ConfigSection);
        RemoteStationConfig &c = window.remoteState().config;
        c.TempMin = c.TempMax = c.RHMin = c.RHMax = c.TPMin = c.TPMax = c.TTPMin = c.TTPMax = QStringLiteral("x");
        c.StationId.clear();
    }
    EXPECT_TRUE(StationProcess::waitUntil(
        [&] {
            const RemoteStationConfig c = copyOf(window.remoteState());
            return c.TempMin == "5" && c.TempMax == "31" && c.RHMin == "20" && c.RHMax == "80" && c.TPMin == "-3" &&
                   c.TPMax == "18" && c.TTPMin == "2" && c.TTPMax == "12" && c.StationId == "SIM1234";
        },
        60000));
    {
        QMutexLocker lock(&window.remoteState().ConfigSection);
        EXPECT_FALSE(window.remoteState().StationIdLocked); // "$$$" came back with the identifier
    }
    EXPECT_TRUE(window.findChild<QCheckBox *>(QStringLiteral("CheckDC"))->isChecked());

    window.findChild<QPushButton *>(QStringLiteral("Button1"))->click(); // "Trennen"
    EXPECT_TRUE(st.shutdown(60000)); // its supervision tick at its own pace
}
