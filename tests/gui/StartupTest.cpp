#include "common/Text8.h"
#include "gui/StationMessageBox.h"
#include "gui/TFConfig.h"
#include "gui/TFR2U_Radadu.h"
#include "platform/InstanceLock.h"
#include "platform/ServiceStore.h"
#include "station/ApplicationTitle.h"
#include "station/CpuTemperature.h"
#include "station/StartupTexts.h"
#include "station/StationTexts.h"
#include "support/FailingFileCalls.h"
#include "support/FakeMsrReader.h"
#include "support/FakePortDirectory.h"
#include "support/FakeProcessTable.h"
#include "support/FakeShell.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <random>
#include <thread>

namespace {

quint16 freePortPair()
{
    // Two consecutive free ports, so that the station's search stays in
    // ports this test owns.
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer a;
        if (!a.listen(QHostAddress::Any, 0))
            continue;
        const quint16 p = a.serverPort();
        if (p >= 65000)
            continue;
        QTcpServer b;
        if (b.listen(QHostAddress::Any, p + 1))
            return p;
    }
    return 0;
}

struct StartupFixture : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakeMsrReader msr;
    FakePortDirectory ports;
    FakeProcessTable processes;
    FakeShell shell;
    QString serviceDir = dir.file("service");
    DirectoryServiceStore service{serviceDir};
    RecordingNotices boxes;
    QByteArrayList &messages = boxes.shown;
    QList<NoticeAnswer> &answers = boxes.answers; // answers in turn; OK/Yes when empty
    // Sees each box before it is answered.
    std::function<void(const QByteArray &text)> onBox;
    NoticeSink *notices = &boxes; // nullptr: real message boxes
    int quitCalls = 0;
    QList<int> exitStatuses;
    int beeps = 0;
    // Beeps and main-thread waits in their order, while `tracing`.
    bool tracing = false;
    QStringList trace;
    const std::thread::id mainThread = std::this_thread::get_id();
    quint16 basePort = freePortPair();

    StartupFixture()
    {
        QDir().mkpath(serviceDir);
        ports.addFtdiPort("SIM1234A", "COM3");
        processes.ownPath = "/opt/zav/klimawarte";
        msr.registers[0xEE] = 0;
        ApplicationTitle::set(StationTexts::ApplicationTitle);
        boxes.onShow = [this](const QByteArray &text, NoticeButtons) {
            if (onBox)
                onBox(text);
        };
    }

    void prepare(TFR2U_Radadu &w)
    {
        StationPlatform p;
        p.processes = &processes;
        p.service = &service;
        p.shell = &shell;
        p.clock = &clock;
        p.msr = &msr;
        p.ports = &ports;
        p.notices = notices;
        p.beep = [this] {
            ++beeps;
            if (tracing)
                trace.append(QStringLiteral("beep"));
        };
        p.quit = [this] { ++quitCalls; };
        p.exit = [this](int status) { exitStatuses.append(status); };
        p.serialLines = [](const QByteArray &) { return std::unique_ptr<SerialLines>(); }; // no sensor here
        p.viewerBasePort = basePort;
        p.viewerPortTries = 2;
        w.setPlatform(p);
    }

    QByteArray control() const { return dir.read("service/CONTROL"); }

    void startTrace()
    {
        trace.clear();
        tracing = true;
        clock.setSleepHook([this](int ms) {
            if (tracing && std::this_thread::get_id() == mainThread)
                trace.append(QStringLiteral("sleep %1").arg(ms));
        });
    }
    void stopTrace()
    {
        tracing = false;
        clock.setSleepHook(nullptr);
    }
};

QByteArray configFile(const QByteArray &stationId, const QByteArray &comPort)
{
    const QList<QByteArray> values = {
        "",      "25",    "",     "",      "",      "",        "",
        "",      "FALSE", "TRUE", "FALSE", "FALSE", stationId, "heron.example:2000",
        comPort, "6",     "5"};
    QByteArray out;
    for (const QByteArray &v : values)
        out += "key\r\n" + v + "\r\n";
    return out;
}

} // namespace

TEST_F(StartupFixture, NoConfigurationAnywhere)
{
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    const StationConfig &cfg = w.core().config;
    EXPECT_TRUE(w.startup().ConfigReadError);
    EXPECT_EQ(cfg.StationId, "SIM1234"); // the adapter's serial on the first listed port
    EXPECT_EQ(cfg.ServerPort, "2000");
    EXPECT_EQ(cfg.ServerHost, StartupTexts::DefaultServerHost);
    EXPECT_EQ(cfg.AlarmInterval, "4");
    EXPECT_EQ(cfg.ComPort, "COM3:");
    EXPECT_EQ(w.Edit1->currentText(), "COM3:");
    // Polling starts on the first listed port although the configuration is missing.
    EXPECT_TRUE(w.core().state.SensorRunning.load());
    EXPECT_EQ(w.core().state.ComPortName.get(), "COM3:");
    EXPECT_EQ(w.core().state.LineInvert.load(), 1);
    EXPECT_EQ(w.core().state.CpuTjMax.load(), 100);
    EXPECT_EQ(w.core().state.CpuTempLimit, 95);

    bool tickRunsDuringTheBox = false;
    onBox = [&](const QByteArray &) { tickRunsDuringTheBox = w.Timer1->isActive(); };
    w.FormActivate();
    EXPECT_EQ(messages, QList<QByteArray>{Text8::cp(StartupTexts::ConfigReadErrorMessage)});
    EXPECT_TRUE(tickRunsDuringTheBox); // so that the tick closes it when nobody answers
    EXPECT_EQ(control(), "RUNNING");
    EXPECT_EQ(ApplicationTitle::get(), "ZAV-Sensor1");
    EXPECT_EQ(dir.read("r2arodire.flag"), "ZAV-Sensor1\r\n");
    EXPECT_EQ(w.windowTitle(), "ZAV-Sensor - SIM1234");
    EXPECT_TRUE(w.viewer().socket()->isListening());
    EXPECT_EQ(w.viewer().socket()->serverPort(), basePort);
    EXPECT_GE(clock.totalSlept(), 10 * 500); // the countdown, on the fake clock

    w.FormDestroy();
    EXPECT_EQ(control(), "IDLE");
    EXPECT_EQ(msr.closeCount, 1);
}

TEST_F(StartupFixture, ShutDownAfterAStationUpdateLeavesTheControlValueToTheServiceHost)
{
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    w.FormActivate();
    ASSERT_EQ(control(), "RUNNING");
    dir.write("service/CONTROL", "UPDATE"); // as the update restart wrote it
    w.core().mirror.UpdatePending = true;
    w.FormDestroy();
    EXPECT_EQ(control(), "UPDATE");
}

TEST_F(StartupFixture, WithoutAdapterTheIdentifierIsTheDefault)
{
    ports.dosNames.clear();
    ports.devices.clear();
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    EXPECT_EQ(w.core().config.StationId, "D2IDIDA");
    EXPECT_EQ(w.core().config.ComPort, "");
    w.FormActivate();
    EXPECT_EQ(messages, (QList<QByteArray>{Text8::cp(StartupTexts::ConfigReadErrorMessage),
                                           Text8::cp(StartupTexts::ChoosePortMessage)}));
}

TEST_F(StartupFixture, SaveFileBecomesTheConfiguration)
{
    dir.write("r2arodire.save", configFile("$AB12-CD", "com3:"));
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    EXPECT_FALSE(w.startup().ConfigReadError);
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.save")));
    EXPECT_TRUE(QFile::exists(dir.file("r2arodire.cfg")));
    const StationConfig &cfg = w.core().config;
    EXPECT_EQ(cfg.StationId, "AB12-CD");
    EXPECT_TRUE(cfg.ManualStationId);
    EXPECT_EQ(w.core().state.DeviceStationId.get(), "AB12-CD");
    EXPECT_EQ(cfg.ComPort, "com3:");
    EXPECT_EQ(w.Edit1->currentText(), "COM3:");
    EXPECT_TRUE(w.CheckRI->isChecked());
    EXPECT_EQ(w.LabelTempMinMax->text(), QString::fromUtf8("max: 25°C  "));
    EXPECT_EQ(w.EditServerDisplay->text(), "heron.example");
    EXPECT_EQ(w.core().state.CpuTempLimit, 95);
    w.FormActivate();
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(StartupFixture, SecondInstanceInTheSameDirectory)
{
    dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
    InstanceLock other;
    ASSERT_TRUE(other.acquire(dir.file("r2arodire.flag"), "ZAV-Sensor1\r\n").acquired());
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    onBox = [&](const QByteArray &) {
        EXPECT_EQ(w.Timer1->interval(), 5000);
        EXPECT_FALSE(w.Timer2->isActive());
        startTrace();
    };
    w.FormActivate();
    stopTrace();
    EXPECT_EQ(trace, (QStringList{"beep", "beep", "beep", "sleep 111", "beep"}));
    EXPECT_EQ(messages, QList<QByteArray>{Text8::cp(StartupTexts::SecondInstanceMessage)});
    EXPECT_EQ(dir.read("r2arodire.flag"), "ZAV-Sensor1\r\n");
    EXPECT_TRUE(w.core().state.TerminateRequested.load());
    EXPECT_FALSE(w.core().state.SensorRunning.load());
    EXPECT_EQ(quitCalls, 1);
    EXPECT_TRUE(dir.read("zav_sensor_logfile.log").endsWith("Programm beendet (lief als 2.Instanz)\r\n"));
}

TEST_F(StartupFixture, UnwritableFlagFileEndsTheStationWithAnErrorNotAsSecondInstance)
{
    const struct
    {
        const char *name;
        int openError;
        qint64 spaceLeft;
        int reason;
    } cases[] = {
        {"read-only folder", EROFS, -1, EROFS},
        {"no permission", EACCES, -1, EACCES},
        {"full disk", 0, 0, ENOSPC},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        exitStatuses.clear();
        quitCalls = 0;
        QFile::remove(dir.file("zav_sensor_logfile.log"));
        dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
        TFR2U_Radadu w;
        prepare(w);
        w.FormCreate({});
        ScopedFailingFiles failing;
        failing.calls.match = "r2arodire.flag";
        failing.calls.openError = c.openError;
        failing.calls.spaceLeft = c.spaceLeft;
        w.FormActivate();
        EXPECT_TRUE(messages.isEmpty()) << "no second-instance box";
        EXPECT_EQ(exitStatuses, QList<int>{1});
        EXPECT_EQ(quitCalls, 0);
        EXPECT_TRUE(w.core().state.TerminateRequested.load());
        EXPECT_FALSE(w.startup().InstanceFlagFile.held());
        EXPECT_FALSE(QFileInfo::exists(dir.file("r2arodire.flag"))) << "no empty flag file";
        const QByteArray log = dir.read("zav_sensor_logfile.log");
        EXPECT_TRUE(log.endsWith(" /Sensor/ Programm beendet, r2arodire.flag nicht schreibbar: " +
                                 Text8::fromQString(qt_error_string(c.reason)) + "\r\n"))
            << log.constData();
        EXPECT_FALSE(log.contains("2.Instanz"));
        w.FormDestroy();
    }
}

TEST_F(StartupFixture, BusyViewerPortGivesTheNextPortAndInstanceNumber)
{
    dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
    QTcpServer first;
    ASSERT_TRUE(first.listen(QHostAddress::Any, basePort));
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    w.FormActivate();
    EXPECT_EQ(w.viewer().socket()->serverPort(), basePort + 1);
    EXPECT_EQ(w.viewer().instanceNumber(), 2);
    EXPECT_EQ(ApplicationTitle::get(), "ZAV-Sensor2");
    EXPECT_EQ(dir.read("r2arodire.flag"), "ZAV-Sensor2\r\n");

    // At the bound the station runs on without a viewer port.
    ScopedWorkDir other; // a directory of its own: no lock interplay
    TFR2U_Radadu w2;
    prepare(w2);
    w2.FormCreate({});
    w2.FormActivate();
    EXPECT_FALSE(w2.viewer().socket()->isListening());
    EXPECT_EQ(w2.viewer().instanceNumber(), 2);
}

TEST_F(StartupFixture, OlderCopyOfTheSameExecutableIsEnded)
{
    processes.list = {{100, processes.ownPath}, {55, "/OPT/ZAV/KLIMAWARTE"}, {56, "/opt/other/klimawarte"}};
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    EXPECT_EQ(processes.terminated, QList<qint64>{55});
    EXPECT_EQ(beeps, 1);
    EXPECT_GE(clock.totalSlept(), 500 + 5000);
}

TEST_F(StartupFixture, ControlValueAtTheSupervisionTick)
{
    dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    w.FormActivate();
    EXPECT_EQ(control(), "RUNNING");

    w.Timer1Timer(); // our own "RUNNING" reads "RUNNIN": nothing happens
    EXPECT_EQ(control(), "RUNNING");
    EXPECT_EQ(w.Timer1->interval(), 5000);
    EXPECT_TRUE(w.Timer1->isActive());

    dir.write("service/CONTROL", QByteArray("IDLE\0", 5));
    w.Timer1Timer();
    EXPECT_EQ(control(), "RUNNING");
    EXPECT_EQ(quitCalls, 0);

    // SHUTDOWN with a worker that does not end: 100 rounds of waiting, each
    // a 50 ms wait and then a beep, and the program ends anyway.
    dir.write("service/CONTROL", QByteArray("SHUTDOWN\0", 9));
    w.core().state.ActiveThreadCount += 100;
    startTrace();
    w.Timer1Timer();
    stopTrace();
    w.core().state.ActiveThreadCount -= 100;
    QStringList expected{"beep"};
    for (int i = 0; i < 100; ++i)
        expected << "sleep 50"
                 << "beep";
    expected << "beep";
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(control(), "IDLE");
    EXPECT_EQ(quitCalls, 1);
    EXPECT_TRUE(w.core().state.TerminateRequested.load());
    EXPECT_TRUE(dir.read("zav_sensor_logfile.log").endsWith("Proramm beendet wegen SHUTDOWN\r\n"));
}

TEST_F(StartupFixture, SupervisionTickClosesAnUnansweredBox)
{
    notices = nullptr; // a real box this time
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    int ticks = 0;
    // While the configuration message waits for an answer, the supervision
    // tick runs (here at once instead of after its interval) and closes it.
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        w.Timer1Timer();
    });
    tick.start(0);
    w.FormActivate();
    tick.stop();
    EXPECT_GE(ticks, 1);
    EXPECT_TRUE(w.activated());
    EXPECT_EQ(control(), "RUNNING");
}

// A box that the creation shows (here the port message for a port line that
// a broken configuration file shifted) runs the message loop. The window
// system may activate the main window meanwhile: the first activation still
// waits for the creation to end, so the program keeps its title and the
// supervision tick finds the box and closes it. SHUTDOWN at that tick ends
// the start-up: no box is shown any more and the program body is told not
// to enter the loop.
TEST_F(StartupFixture, ShutdownWhileACreationBoxIsOpenEndsTheStartUp)
{
    notices = nullptr; // real boxes
    dir.write("r2arodire.cfg", configFile("ABC1234", "99:2000"));
    TFR2U_Radadu w;
    prepare(w);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &activate);
        QCoreApplication::processEvents();
        if (ticks == 1)
            dir.write("service/CONTROL", QByteArray("SHUTDOWN\0", 9));
        w.Timer1Timer();
        if (ticks > 50) // the box would stay for good: let the test end
            StationMessageBox::closeOpenBoxes();
    });
    tick.start(0);
    w.FormCreate({});
    tick.stop();
    EXPECT_LE(ticks, 10);
    EXPECT_FALSE(w.activated());
    EXPECT_EQ(ApplicationTitle::get(), StationTexts::ApplicationTitle);
    EXPECT_EQ(quitCalls, 1);
    EXPECT_TRUE(w.core().quitRequested());
    EXPECT_TRUE(dir.read("zav_sensor_logfile.log").endsWith("Proramm beendet wegen SHUTDOWN\r\n"));
    // Ending, the program waits for nobody: no further box.
    EXPECT_EQ(w.core().notify("late"), NoticeAnswer::Closed);
    for (QWidget *x : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox *>(x) && x->isVisible());
}

TEST_F(StartupFixture, ClosingTheWindowAsksTwiceAndEndsOnlyOnTwoYes)
{
    const QByteArray first = Text8::cp(StationTexts::QuitQuestion);
    const QByteArray second = Text8::cp(StationTexts::QuitSureQuestion);
    const struct
    {
        const char *name;
        bool ending; // the program already ends: the message loop closes the window
        QList<NoticeAnswer> answers;
        QList<QByteArray> questions;
        bool closes;
        int quits;
    } cases[] = {
        {"yes, yes", false, {NoticeAnswer::Yes, NoticeAnswer::Yes}, {first, second}, true, 1},
        {"yes, no", false, {NoticeAnswer::Yes, NoticeAnswer::No}, {first, second}, false, 0},
        {"no", false, {NoticeAnswer::No}, {first}, false, 0},
        {"closed without an answer", false, {NoticeAnswer::Closed}, {first}, false, 0},
        {"while the program ends", true, {}, {}, true, 0},
    };
    for (const auto &c : cases) {
        TFR2U_Radadu w;
        prepare(w);
        w.show();
        w.core().state.TerminateRequested = c.ending;
        messages.clear();
        answers = c.answers;
        quitCalls = 0;
        EXPECT_EQ(w.close(), c.closes) << c.name;
        EXPECT_EQ(messages, c.questions) << c.name;
        EXPECT_EQ(quitCalls, c.quits) << c.name;
        EXPECT_EQ(w.isVisible(), !c.closes) << c.name;
        EXPECT_EQ(w.core().state.TerminateRequested.load(), c.closes) << c.name;
    }
}

TEST_F(StartupFixture, CloseQuestionThatTheTickClosesKeepsTheProgram)
{
    notices = nullptr; // a real box this time
    TFR2U_Radadu w;
    prepare(w);
    w.show();
    // What the supervision tick does to an unanswered box: close it.
    QMessageBox *seen = nullptr;
    bool defaultIsNo = false;
    bool closeIgnored = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box == seen) { // the close did not take: answer, or the test hangs
            closeIgnored = true;
            box->button(QMessageBox::No)->click();
            return;
        }
        seen = box;
        defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        box->close();
    });
    tick.start(10);
    EXPECT_FALSE(w.close());
    tick.stop();
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(defaultIsNo);
    EXPECT_FALSE(closeIgnored);
    EXPECT_EQ(quitCalls, 0);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(StartupFixture, LongTextsFromTheSettingsNeverGrowTheWindowPastTheScreen)
{
    // Random bytes as a corrupt file holds them (no line ends: those end a value).
    std::mt19937 random(10);
    QByteArray noise;
    while (noise.size() < 4096) {
        const char b = static_cast<char>(random() & 0xFF);
        if (b != '\r' && b != '\n' && b != '\0')
            noise.append(b);
    }
    const QByteArray huge(200 * 1024, 'W');
    const struct
    {
        const char *name;
        int pair; // position in r2arodire.cfg
        QByteArray value;
        QByteArray StationConfig::*setting;
        QByteArray stored;
    } cases[] = {
        {"4 KB of random bytes as TempMax", 1, noise, &StationConfig::TempMax, noise},
        {"200 kB as RHMin", 2, huge, &StationConfig::RHMin, huge},
        {"markup as TTPMax", 7, "<img width=30000 height=30000 src=x>", &StationConfig::TTPMax,
         "<img width=30000 height=30000 src=x>"},
        {"200 kB server address", 13, huge + ":2000", &StationConfig::ServerHost, huge},
        {"200 kB station identifier (the caption)", 12, huge, &StationConfig::StationId, huge},
    };
    // No adapter: the identifier stays the one from the file.
    ports.dosNames.clear();
    ports.devices.clear();
    for (const auto &c : cases) {
        QList<QByteArray> values = {
            "",      "",      "",      "",      "",      "",        "",
            "",      "FALSE", "FALSE", "FALSE", "FALSE", "ABC1234", "heron.example:2000",
            "COM3:", "4",     "5"};
        values[c.pair] = c.value;
        QByteArray file;
        for (const QByteArray &v : values)
            file += "key\r\n" + v + "\r\n";
        dir.write("r2arodire.cfg", file);

        TFR2U_Radadu w;
        prepare(w);
        w.FormCreate({});
        w.show();
        w.FormActivate();
        QCoreApplication::processEvents();
        const QRect screen = w.screen()->availableGeometry();
        EXPECT_LE(w.width(), screen.width()) << c.name;
        EXPECT_LE(w.height(), screen.height()) << c.name;
        EXPECT_LE(w.minimumSizeHint().width(), screen.width()) << c.name;
        EXPECT_LE(w.minimumSizeHint().height(), screen.height()) << c.name;
        for (QWidget *b : {static_cast<QWidget *>(w.Button1), static_cast<QWidget *>(w.Button3)}) {
            const QRect inWindow(b->mapTo(&w, QPoint(0, 0)), b->size());
            EXPECT_TRUE(w.rect().contains(inWindow)) << c.name << " " << b->objectName().toStdString();
        }
        // The settings keep their text.
        EXPECT_EQ(w.core().config.*c.setting, c.stored) << c.name;
        EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("ZAV-Sensor - "))) << c.name;
    }
}

TEST_F(StartupFixture, LimitLabelsCutOnlyWhatDoesNotFit)
{
    const QString degree = QString::fromUtf8("°C  ");
    const QString cut; // the text is cut: shown with an ellipsis, longer in the tooltip
    const struct
    {
        const char *name;
        QString text;
        QString shown;
    } cases[] = {
        {"widest usual limits", "min: -40.00" + degree + "max: 125.00" + degree,
         "min: -40.00" + degree + "max: 125.00" + degree},
        {"markup stays text", QStringLiteral("<b>25</b>"), QStringLiteral("<b>25</b>")},
        {"line breaks and tabs", QStringLiteral("min: 1\r\n\tmax: 2"), QStringLiteral("min: 1   max: 2")},
        {"long", QString(300, QLatin1Char('7')), cut},
        {"long with line breaks", QString(100, QLatin1Char('\n')) + QString(300, QLatin1Char('7')), cut},
    };
    TFR2U_Radadu w;
    QLabel *label = w.LabelTempMinMax;
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    for (const auto &c : cases) {
        TFR2U_Radadu::showBoundedText(label, c.text);
        if (!c.shown.isNull()) {
            EXPECT_EQ(label->text(), c.shown) << c.name;
            EXPECT_TRUE(label->toolTip().isEmpty()) << c.name;
            continue;
        }
        EXPECT_TRUE(label->text().endsWith(QChar(0x2026))) << c.name;
        EXPECT_FALSE(label->text().contains(QLatin1Char('\n'))) << c.name;
        EXPECT_LE(label->sizeHint().width(), label->fontMetrics().averageCharWidth() * 60) << c.name;
        EXPECT_TRUE(label->toolTip().contains(QString(80, QLatin1Char('7')))) << c.name;
        EXPECT_LE(label->toolTip().size(), 8 * 81) << c.name;
    }
}

TEST_F(StartupFixture, InstallationModeWritesScriptsAndLoopsUntilConfigured)
{
    const QString hostDir = dir.file("host dir");
    QDir().mkpath(hostDir);
    service.writeValue("IMAGEPATH", QFile::encodeName(hostDir) + "/Wachdienst.Exe" + QByteArray(1, '\0'));
    TFR2U_Radadu w;
    prepare(w);
    int dialogs = 0;
    w.platform().showConfigDialog = [&] {
        if (++dialogs == 3)
            ScopedWorkDir::writeTo(QDir::current().filePath("r2arodire.cfg"), configFile("ABC1234", "COM3:"));
    };
    QList<bool> tickDuringQuestions;
    onBox = [&](const QByteArray &) { tickDuringQuestions.append(w.Timer1->isActive()); };
    w.FormCreate({QStringLiteral("/configuration")});
    onBox = nullptr;
    // Nobody's question is closed unanswered (which would count as No).
    EXPECT_EQ(tickDuringQuestions, (QList<bool>{false, false, false}));
    EXPECT_TRUE(w.startup().ConfigurationMode);
    EXPECT_TRUE(w.installation().InstallAsService);
    EXPECT_TRUE(w.installation().StartServiceAfterConfig);
    EXPECT_EQ(QDir::currentPath(), hostDir);
    EXPECT_FALSE(w.core().state.SensorRunning.load());
    ASSERT_EQ(shell.calls.size(), 1);
    EXPECT_EQ(shell.calls[0].file, hostDir + "/InstallService.vbs");
    EXPECT_EQ(shell.calls[0].directory, hostDir);
    EXPECT_EQ(shell.calls[0].show, Shell::Show::Minimized);
    EXPECT_TRUE(
        shell.calls[0].content.contains("oPath = \"" + QFile::encodeName(hostDir) + "/Wachdienst.Exe\"\r\n"));
    EXPECT_FALSE(QFile::exists(hostDir + "/InstallService.vbs"));
    EXPECT_EQ(messages, (QList<QByteArray>{Text8::cp(StartupTexts::ConnectSensorMessage),
                                           Text8::cp(StartupTexts::InstallQuestion),
                                           Text8::cp(StartupTexts::StartServiceQuestion)}));
    messages.clear();

    w.FormActivate(); // no countdown, no viewer port
    EXPECT_LT(clock.totalSlept(), 10 * 500);
    EXPECT_FALSE(w.viewer().socket()->isListening());
    EXPECT_EQ(ApplicationTitle::get(), "ZAV-Sensor1");

    w.FormShow();
    QCoreApplication::processEvents(); // the configuration loop
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(messages, (QList<QByteArray>{Text8::cp(StartupTexts::MustConfigureMessage),
                                           Text8::cp(StartupTexts::MustConfigureMessage)}));
    ASSERT_EQ(shell.calls.size(), 2);
    EXPECT_EQ(shell.calls[1].file, "ServiceStart.bat");
    EXPECT_EQ(shell.calls[1].content, "net start zav_sensor\r\n");
    EXPECT_FALSE(QFile::exists(hostDir + "/ServiceStart.bat"));
    EXPECT_TRUE(w.core().state.TerminateRequested.load());
    EXPECT_EQ(quitCalls, 1);
}

TEST_F(StartupFixture, NoToTheServiceQuestionRemovesTheService)
{
    answers = {NoticeAnswer::Ok, NoticeAnswer::No};
    shell.result = Shell::NoAssociation; // no script host here
    TFR2U_Radadu w;
    prepare(w);
    bool tickDuringError = true;
    onBox = [&](const QByteArray &text) {
        if (text == Text8::cp(StartupTexts::UninstallError))
            tickDuringError = w.Timer1->isActive();
    };
    w.FormCreate({QStringLiteral("/CONFIGURATION")});
    onBox = nullptr;
    EXPECT_FALSE(tickDuringError);
    EXPECT_FALSE(w.installation().InstallAsService);
    ASSERT_EQ(shell.calls.size(), 1);
    EXPECT_EQ(shell.calls[0].file, QDir(dir.path()).filePath("UnInstallService.vbs"));
    EXPECT_TRUE(shell.calls[0].content.startsWith("Dim oPath\r\nDim oWMI\r\nDim colService\r\n"));
    EXPECT_EQ(messages.last(), Text8::cp(StartupTexts::UninstallError));
    EXPECT_EQ(messages.size(), 3); // nothing asked after the removal
}

TEST_F(StartupFixture, ShutdownWaitsForWorkersWhileHandoversRun)
{
    dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
    TFR2U_Radadu w;
    prepare(w);
    w.FormCreate({});
    w.FormActivate();
    StationCore &core = w.core();
    clock.setSleepHook([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });

    // A worker that keeps handing status lines over until it is told to end.
    core.state.ActiveThreadCount += 1;
    std::atomic<int> lines{0};
    std::thread worker([&] {
        while (!core.state.TerminateRequested.load()) {
            core.appendStatusLineLocked("x");
            ++lines;
        }
        core.state.ActiveThreadCount -= 1;
    });
    while (lines.load() < 3)
        QCoreApplication::processEvents();
    const qint64 before = clock.totalSlept();
    w.FormDestroy();
    worker.join();
    EXPECT_EQ(core.state.ActiveThreadCount.load(), 0);
    EXPECT_LT(clock.totalSlept() - before, 100 * 50);
    EXPECT_EQ(control(), "IDLE");

    // A worker that never ends: destruction goes on after 100 x 50 ms.
    TFR2U_Radadu stuck;
    prepare(stuck);
    stuck.FormCreate({});
    stuck.FormActivate();
    stuck.core().state.ActiveThreadCount = 100; // more than its own thread gives back
    std::atomic<qint64> guiSlept{0};
    const auto gui = std::this_thread::get_id();
    clock.setSleepHook([&](int ms) {
        if (std::this_thread::get_id() == gui)
            guiSlept += ms;
    });
    stuck.FormDestroy();
    clock.setSleepHook(nullptr);
    EXPECT_EQ(guiSlept.load(), 100 * 50);
}

TEST_F(StartupFixture, RegisterAccessIsClosedOnlyAfterTheWorkersEnded)
{
    ClosingMsrReader reader;
    reader.registers[MsrTemperatureTarget] = 0;
    reader.registers[MsrThermStatus] = quint64(20) << 16;
    dir.write("r2arodire.cfg", configFile("ABC1234", "COM3:"));
    clock.setSleepHook([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    {
        TFR2U_Radadu w;
        prepare(w);
        w.platform().msr = &reader;
        w.FormCreate({});
        w.FormActivate();
        StationCore &core = w.core();
        reader.active = &core.state.ActiveThreadCount;

        // Reads the CPU temperature as the measurement thread does, until it
        // is told to end.
        CpuTemperature cpu(core, reader);
        core.state.ActiveThreadCount += 1;
        std::atomic<int> reads{0};
        std::thread worker([&] {
            while (!core.state.TerminateRequested.load()) {
                {
                    SharedDataLock lock(core.semaphore);
                    cpu.readForEvaluation();
                }
                ++reads;
            }
            core.state.ActiveThreadCount -= 1;
        });
        while (reads.load() < 3)
            QCoreApplication::processEvents();
        w.FormDestroy();
        worker.join();
        EXPECT_EQ(reader.closeCount, 1);
        EXPECT_EQ(reader.activeAtClose, 0);
        EXPECT_FALSE(core.state.NoMsrAccess); // the worker never saw it vanish
        EXPECT_EQ(core.state.CpuTemp, 100 - 20);
        EXPECT_EQ(control(), "IDLE");
    }

    // A worker that does not end in time: the access stays open under it,
    // also when the window goes.
    reader.closeCount = 0;
    {
        TFR2U_Radadu stuck;
        prepare(stuck);
        stuck.platform().msr = &reader;
        stuck.FormCreate({});
        stuck.FormActivate();
        stuck.core().state.ActiveThreadCount = 100; // more than its own thread gives back
        stuck.FormDestroy();
        EXPECT_EQ(reader.closeCount, 0);
        EXPECT_EQ(control(), "IDLE");
    }
    EXPECT_EQ(reader.closeCount, 0);
    clock.setSleepHook(nullptr);
}
