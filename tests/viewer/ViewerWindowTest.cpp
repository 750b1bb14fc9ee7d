#include "common/DisplayColours.h"
#include "common/Text8.h"
#include "common/ViewerProtocol.h"
#include "support/ManualClock.h"
#include "support/ScopedLocale.h"
#include "support/ScriptedStation.h"
#include "viewer/FernblickTexts.h"
#include "viewer/TFI2C_RevuzaDareza.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <atomic>

namespace {

using Inputs = ViewerProtocol::MeasurementInputs;

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A station's message as the station builds it.
Inputs station()
{
    Inputs in;
    in.MeasureTime = "01.03.2011 08:30:00";
    in.RawTemp = 6000;
    in.RawHumidity = 1500;
    in.CpuTemp = 55;
    in.CpuTjMax = 100;
    in.TempMin = "10";
    in.TempMax = "15";
    in.TTPMin = "12";
    in.RHMin = "40";
    in.RHMax = "60";
    in.RIStat = true;
    in.CheckRI = true;
    in.StationId = "abc1234";
    in.ServerHost = "heron";
    in.ServerPort = "2000";
    in.ComPort = "COM3:";
    in.LastErrorCaption = "ErrTime: 3/1/11 08:00 Sensor";
    in.AlarmInterval = "4";
    in.CpuMaxTempDistance = "50";
    return in;
}

QByteArrayList message(const Inputs &in = station())
{
    return ViewerProtocol::measurementTexts(in);
}

QByteArrayList oks(int n)
{
    return QByteArrayList(n, "OK");
}

class ViewerWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        viewer::ConnectionTimings timings;
        timings.pollMs = 2;
        timings.idlePolls = 20;
        timings.answerPolls = 2500;
        timings.connectMs = 5000;
        w = std::make_unique<TFI2C_RevuzaDareza>(clock, nullptr, timings);
        dialog = new TFRemoteConfig(*w, w.get());
        w->setForms(dialog, new TForm1(w.get()));
    }
    void TearDown() override { w.reset(); }

    template <typename T> T *c(const char *name) const { return w->findChild<T *>(QString::fromLatin1(name)); }
    QString textOf(const char *name) const
    {
        if (auto *e = c<QLineEdit>(name))
            return e->text();
        if (auto *l = c<QLabel>(name))
            return l->text();
        return {};
    }
    QColor font(const char *name) const { return c<QLineEdit>(name)->palette().color(QPalette::Text); }
    QString activity() const { return c<QPlainTextEdit>("Listbox")->toPlainText(); }

    void connectTo(const QString &server)
    {
        c<QLineEdit>("EditServer")->setText(server);
        c<QPushButton>("Button1")->click();
    }
    void connectTo(quint16 port) { connectTo(QStringLiteral("127.0.0.1:%1").arg(port)); }

    // Serves the window's events and hand-overs until pred holds.
    template <typename Pred> bool pumpUntil(Pred pred, int limitMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > limitMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    // Runs the script against the window until it is done and the
    // connection's thread has been released.
    void run(ScriptedStation &st)
    {
        ASSERT_TRUE(pumpUntil([&] { return st.done(); }));
        ASSERT_TRUE(pumpUntil([&] { return w->liveThreads() == 0; }));
    }
    RemoteStationConfig config()
    {
        QMutexLocker lock(&w->remoteState().ConfigSection);
        return w->remoteState().config;
    }

    ScopedLocale locale{QLocale(QLocale::English, QLocale::UnitedStates)};
    ManualClock clock;
    std::unique_ptr<TFI2C_RevuzaDareza> w;
    TFRemoteConfig *dialog = nullptr;
};

// Two messages: the second is coloured against the limits of the first.
TEST_F(ViewerWindowTest, ShowsValuesInTheirColoursAgainstTheLimitsTakenOver)
{
    QByteArrayList answers;
    ScriptedStation st([&](ScriptedStation::Link &l) {
        answers += l.exchange(message());
        answers += l.exchange(message());
    });
    connectTo(st.port());
    run(st);
    EXPECT_EQ(answers, oks(48));

    EXPECT_EQ(textOf("EditT"), "19.40");
    EXPECT_EQ(textOf("EditRH"), "52.43");
    EXPECT_EQ(textOf("EditTP"), "9.46");
    EXPECT_EQ(textOf("EditT_TP"), "9.94");
    EXPECT_EQ(font("EditT"), Colours::Red);      // above 15
    EXPECT_EQ(font("EditRH"), Colours::Green);   // within 40..60
    EXPECT_EQ(font("EditTP"), Colours::Green);   // no limits
    EXPECT_EQ(font("EditT_TP"), Colours::Fuchsia); // below 12
    EXPECT_EQ(textOf("EditCPUTEMP"), "55");
    EXPECT_EQ(font("EditCPUTEMP"), Colours::Red); // 100 - 55 < 50

    EXPECT_EQ(textOf("LabelTjunction"), u("Junction-Temp. = 100 °C"));
    EXPECT_EQ(textOf("LabelTempMinMax"), u("Min: 10  °C  Max: 15 °C"));
    EXPECT_EQ(textOf("LabelTPMinMax"), " ");
    EXPECT_EQ(textOf("LabelT_TPMinMax"), u("Min: 12  °C  "));
    EXPECT_EQ(textOf("LabelRHMinMax"), u("Min: 40  %  Max: 60 %"));
    EXPECT_EQ(textOf("LabelLastConnection"), "Letzte Messung: 01.03.2011 08:30:00");
    EXPECT_EQ(textOf("LabelKennung"), "HERON-Kennung: ABC1234");
    EXPECT_EQ(textOf("LastError"), "Letzter Fehler: 3/1/11 08:00 Sensor");
    EXPECT_EQ(c<QLabel>("LastError")->palette().color(QPalette::WindowText), Colours::Red); // today

    EXPECT_TRUE(c<QCheckBox>("RIStat")->isChecked());
    EXPECT_TRUE(c<QCheckBox>("CheckRI")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("CheckDC")->isChecked());
    EXPECT_EQ(c<QCheckBox>("RIStat")->palette().color(QPalette::Window), Colours::Red);
    EXPECT_EQ(c<QCheckBox>("DCStat")->palette().color(QPalette::Window), Colours::BtnFace);

    const RemoteStationConfig cfg = config();
    EXPECT_EQ(cfg.TempMin, "10");
    EXPECT_EQ(cfg.TPMin, "");
    EXPECT_EQ(cfg.StationId, "ABC1234");
    EXPECT_EQ(cfg.Server, "heron:2000");
    EXPECT_EQ(cfg.ComPort, "COM3:");
    EXPECT_EQ(cfg.AlarmInterval, "4");
    EXPECT_EQ(cfg.CpuMaxTempDistance, "50");
    EXPECT_EQ(w->remoteState().StationTjMax, 100);

    EXPECT_TRUE(activity().contains("*** Verbindung zu 127.0.0.1 aufgebaut ***"));
    EXPECT_TRUE(activity().contains("<ANFANG>"));
    EXPECT_TRUE(activity().contains("+++ Verbindung  beendet (1)!"));
    // Timer1 reports the end and puts the window back.
    w->Timer1Timer();
    EXPECT_TRUE(activity().endsWith("***Verbindung abgebrochen***"));
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Verbinden");
    EXPECT_FALSE(c<QPushButton>("Button2")->isEnabled());
    EXPECT_TRUE(c<QPushButton>("Button4")->isEnabled());
    EXPECT_TRUE(c<QLineEdit>("EditServer")->isEnabled());
    EXPECT_FALSE(c<QLineEdit>("EditServer")->isReadOnly());
}

struct IdCase
{
    const char *name;
    QByteArray text;
    bool locked;
};

TEST_F(ViewerWindowTest, IdentifierWithAndWithoutTheHandEnteredMark)
{
    const IdCase cases[] = {{"handEntered", "abcdefg$$$", false}, {"lowerCaseWithBlank", "abcdefg ", true}};
    for (const IdCase &k : cases) {
        SCOPED_TRACE(k.name);
        QByteArrayList texts = message();
        texts[18] = k.text;
        ScriptedStation st([&](ScriptedStation::Link &l) { l.exchange(texts); });
        connectTo(st.port());
        run(st);
        w->Timer1Timer();
        EXPECT_EQ(config().StationId, "ABCDEFG");
        EXPECT_EQ(w->remoteState().StationIdLocked, k.locked);
        EXPECT_EQ(textOf("LabelKennung"), "HERON-Kennung: ABCDEFG");
        if (auto *box = dialog->findChild<QCheckBox *>(QStringLiteral("ModifyKennung"))) {
            EXPECT_EQ(box->isChecked(), !k.locked);
        }
    }
}

// Texts that do not convert and values that leave the usual ranges.
TEST_F(ViewerWindowTest, TextsThatDoNotConvert)
{
    Inputs zero = station();
    zero.RawTemp = 0;
    zero.RawHumidity = 0;
    Inputs dry = station(); // RHlin below 0: x = 3.0
    dry.RawHumidity = 0;
    dry.TPMax = "100";
    Inputs comma = station(); // does not convert with the point: 15 stays
    comma.TempMax = "25,5";
    Inputs noCpu = station();
    noCpu.CpuTemp = 0;

    QString afterZero, afterDry, dryColour, afterNoCpu;
    QColor cpuBase, cpuFont;
    std::atomic<int> step{0};
    std::atomic<int> seen{0};
    const auto waitSeen = [&](int n) {
        while (seen < n)
            std::this_thread::yield();
    };
    ScriptedStation st([&](ScriptedStation::Link &l) {
        l.exchange(message());
        l.exchange(message(zero));
        step = 1;
        waitSeen(1);
        l.exchange(message(dry));
        l.exchange(message(dry));
        step = 2;
        waitSeen(2);
        l.exchange(message(noCpu));
        step = 3;
        waitSeen(3);
        l.exchange(message(comma));
        l.exchange(message(comma));
    });
    connectTo(st.port());
    ASSERT_TRUE(pumpUntil([&] { return step == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return textOf("EditT").isEmpty(); }));
    EXPECT_EQ(textOf("EditRH"), "");
    EXPECT_EQ(textOf("EditTP"), "");
    EXPECT_EQ(textOf("EditT_TP"), "");
    seen = 1;

    ASSERT_TRUE(pumpUntil([&] { return step == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return !textOf("EditTP").isEmpty(); }));
    EXPECT_EQ(textOf("EditTP"), "107.56");
    EXPECT_EQ(font("EditTP"), Colours::Red);
    seen = 2;

    ASSERT_TRUE(pumpUntil([&] { return step == 3; }));
    ASSERT_TRUE(pumpUntil([&] { return textOf("EditCPUTEMP") == u("<nicht verfügbar>"); }));
    EXPECT_EQ(c<QLineEdit>("EditCPUTEMP")->palette().color(QPalette::Base), Colours::Silver);
    EXPECT_EQ(font("EditCPUTEMP"), Colours::Black);
    seen = 3;

    run(st);
    EXPECT_EQ(textOf("EditCPUTEMP"), "55");
    EXPECT_EQ(font("EditCPUTEMP"), Colours::Red);
    EXPECT_EQ(c<QLineEdit>("EditCPUTEMP")->palette().color(QPalette::Base), Colours::Silver);
    EXPECT_EQ(config().TempMax, "25,5");
    EXPECT_EQ(font("EditT"), Colours::Red); // against the last maximum that converted
}

TEST_F(ViewerWindowTest, TextsOutsideAMessageAreAnsweredAndIgnored)
{
    QByteArrayList answers;
    ScriptedStation st([&](ScriptedStation::Link &l) {
        // Before the first "<ANFANG>": index 0; the next text is index 1.
        answers += l.exchange({"stray", "early time"});
        answers += l.exchange(message());
        // A 25th text is ignored, the one after it is index 0 again.
        answers += l.exchange({"25th", "zero", "later time"});
    });
    connectTo(st.port());
    run(st);
    EXPECT_EQ(answers, oks(29));
    EXPECT_EQ(textOf("LabelLastConnection"), "Letzte Messung: later time");
}

// While the dialog is open the window keeps the settings it holds; the values
// are still shown, coloured against the dialog's limits.
TEST_F(ViewerWindowTest, WhileTheDialogIsOpenTheSettingsStay)
{
    Inputs other = station();
    other.RawTemp = 5000; // 9.60 °C
    other.CpuTemp = 60;
    other.CpuTjMax = 85;
    other.CheckRI = false;
    other.RIStat = false;
    other.TempMin = "12";
    other.TempMax = "30";
    other.StationId = "zzz9999";
    other.ServerHost = "other";
    std::atomic<int> step{0};
    ScriptedStation st([&](ScriptedStation::Link &l) {
        l.exchange(message());
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        l.exchange(message(other));
    });
    connectTo(st.port());
    ASSERT_TRUE(pumpUntil([&] { return step == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return textOf("LabelKennung") == "HERON-Kennung: ABC1234"; }));
    {
        QMutexLocker lock(&w->remoteState().ConfigSection);
        w->remoteState().config.TempMin = "10"; // as the dialog holds it
    }
    w->remoteState().ConfigState = 1;
    step = 2;
    run(st);

    EXPECT_EQ(textOf("EditCPUTEMP"), "55");
    EXPECT_EQ(textOf("LabelTjunction"), u("Junction-Temp. = 100 °C"));
    EXPECT_TRUE(c<QCheckBox>("CheckRI")->isChecked());
    EXPECT_TRUE(c<QCheckBox>("RIStat")->isChecked());
    const RemoteStationConfig cfg = config();
    EXPECT_EQ(cfg.TempMax, "15");
    EXPECT_EQ(cfg.Server, "heron:2000");
    EXPECT_EQ(cfg.StationId, "ABC1234");
    EXPECT_EQ(w->remoteState().StationTjMax, 100);

    EXPECT_EQ(textOf("EditT"), "9.60");
    EXPECT_EQ(font("EditT"), Colours::Fuchsia); // below the dialog's 10
    EXPECT_EQ(textOf("LabelTempMinMax"), u("Min: 12  °C  Max: 30 °C"));
    EXPECT_EQ(textOf("LabelKennung"), "HERON-Kennung: ABC1234");
}

TEST_F(ViewerWindowTest, DisconnectAnswersBreakAtTheNextIndex23)
{
    Inputs later = station();
    later.RawTemp = 5000;
    QByteArrayList answers;
    bool closed = false;
    std::atomic<int> step{0};
    ScriptedStation st([&](ScriptedStation::Link &l) {
        const QByteArrayList second = message(later);
        l.exchange(message());
        l.exchange(second.mid(0, 2));
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        answers = l.exchange(second.mid(2));
        closed = l.closedByViewer();
    });
    connectTo(st.port());
    ASSERT_TRUE(pumpUntil([&] { return step == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return textOf("LabelTjunction").size() > 0; }));
    const QString before = activity();
    c<QPushButton>("Button1")->click();
    // The window looks disconnected at once.
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Verbinden");
    EXPECT_FALSE(c<QPushButton>("Button2")->isEnabled());
    step = 2;
    run(st);

    QByteArrayList expected = oks(21);
    expected.append("BREAK");
    EXPECT_EQ(answers, expected);
    EXPECT_TRUE(closed);
    EXPECT_EQ(textOf("EditT"), "19.40"); // not updated any more
    EXPECT_EQ(activity(), before);       // nothing logged, no "+++ ... beendet"
    w->Timer1Timer();
    EXPECT_TRUE(activity().endsWith("***Verbindung abgebrochen***"));
}

TEST_F(ViewerWindowTest, StationBreakIsNotAnswered)
{
    QByteArray after;
    bool closed = false;
    ScriptedStation st([&](ScriptedStation::Link &l) {
        l.exchange(message());
        l.write("<BREAK>");
        closed = l.closedByViewer();
        after = l.socket().readAll();
    });
    connectTo(st.port());
    run(st);
    EXPECT_TRUE(closed);
    EXPECT_EQ(after, "");
    EXPECT_FALSE(activity().contains("beendet"));
    EXPECT_TRUE(w->ConnectionLost);
    w->Timer1Timer();
    EXPECT_TRUE(activity().endsWith("***Verbindung abgebrochen***"));
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Verbinden");
}

quint16 closedPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QWidget *visibleBox(const QString &title)
{
    for (QWidget *t : QApplication::topLevelWidgets())
        if (t->isVisible() && qobject_cast<QMessageBox *>(t) && t->windowTitle() == title)
            return t;
    return nullptr;
}

// A refused connection is reported by the socket layer in a "Fernblick"
// window, which Timer1 closes; the window goes back to "Verbinden".
TEST_F(ViewerWindowTest, RefusedConnectionIsReportedAndClosedByTimer1)
{
    connectTo(closedPort());
    ASSERT_TRUE(pumpUntil([&] { return visibleBox("Fernblick") != nullptr; }));
    ASSERT_TRUE(pumpUntil([&] { return w->liveThreads() == 0; }));
    w->Timer1Timer();
    EXPECT_TRUE(pumpUntil([&] { return visibleBox("Fernblick") == nullptr; }));
    EXPECT_TRUE(activity().contains("***Verbindung abgebrochen***"));
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Verbinden");
}

TEST_F(ViewerWindowTest, ServerTextGivesHostAndPort)
{
    {
        ScriptedStation st([&](ScriptedStation::Link &) {});
        connectTo(st.port());
        run(st);
        EXPECT_EQ(w->port(), st.port());
        w->Timer1Timer();
    }
    const quint16 first = w->port();
    for (const char *text : {"127.0.0.1:", "127.0.0.1:abc"}) {
        SCOPED_TRACE(text);
        connectTo(QString::fromLatin1(text));
        EXPECT_EQ(w->port(), first); // the port stays; the connect is tried there
        ASSERT_TRUE(pumpUntil([&] { return w->liveThreads() == 0; }));
        w->Timer1Timer();
        ASSERT_TRUE(pumpUntil([&] { return visibleBox("Fernblick") == nullptr; }));
    }

    // An empty host: the message after a Timer1 restart, no thread.
    QString shown;
    QTimer::singleShot(0, w.get(), [&] {
        if (QWidget *box = visibleBox("Fernblick"))
            shown = static_cast<QMessageBox *>(box)->text();
        w->Timer1Timer();
    });
    connectTo(QStringLiteral(":2345"));
    EXPECT_EQ(shown, "spezifiziertes Ziel ist nicht erreichbar!");
    EXPECT_EQ(w->port(), 2345);
    EXPECT_EQ(w->liveThreads(), 0);
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Trennen");
}

QByteArrayList readConfiguration(ScriptedStation::Link &l)
{
    QByteArrayList texts;
    for (int i = 0; i < 17; ++i) {
        texts.append(l.read());
        l.write("OK");
    }
    return texts;
}

// A configuration goes out once the dialog has closed; while ConfigState is
// 1 no "<CONFIG>" leaves the viewer, so the station never waits for texts
// that do not come.
TEST_F(ViewerWindowTest, ConfigurationWaitsForTheClosedDialogThenGoesOut)
{
    std::atomic<int> step{0};
    QByteArray whileOpen, first, second;
    QByteArrayList texts;
    ScriptedStation st([&](ScriptedStation::Link &l) {
        l.exchange(message());
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        l.exchange(message());
        whileOpen = l.read(200); // the idle rule fires every 40 ms here
        step = 3;
        first = l.read();
        l.write("<REPEAT>");
        second = l.read();
        l.write("OK");
        texts = readConfiguration(l);
    });
    connectTo(st.port());
    ASSERT_TRUE(pumpUntil([&] { return step == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return textOf("LastError").contains("Sensor"); }));
    w->setContactChecks({true, false, true, false});
    {
        QMutexLocker lock(&w->remoteState().ConfigSection);
        w->remoteState().config.TempMin = "5";
    }
    w->remoteState().ConfigState = 1;
    w->remoteState().ConfigSendRequested = true;
    step = 2;
    ASSERT_TRUE(pumpUntil([&] { return step == 3; }));
    w->remoteState().ConfigState = 2;
    ASSERT_TRUE(pumpUntil([&] { return texts.size() == 17; }));
    ASSERT_TRUE(pumpUntil([&] { return !w->remoteState().ConfigSendRequested; }));
    EXPECT_EQ(w->remoteState().ConfigState, 0);

    EXPECT_EQ(whileOpen, "");
    EXPECT_EQ(first, "<CONFIG>");
    EXPECT_EQ(second, "<CONFIG>");
    const QByteArrayList expected = {"5 ",  "15 ", " ",  " ",  "12 ",       " ",           "40 ", "60 ", "-1",
                                     "0",   "-1",  "0",  "ABC1234 ", "heron:2000 ", "COM3: ", "4 ", "50 "};
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(activity().contains("***Sende Konfiguration***"));
    EXPECT_TRUE(activity().contains("===>Kennung=ABC1234 "));
    EXPECT_TRUE(activity().contains("***Sende Konfiguration ist OK***"));
    EXPECT_TRUE(w->remoteState().StationIdLocked);
    run(st);
}

// The station's next message starts while the viewer announces its
// configuration: the "<ANFANG>" that crossed the "<CONFIG>" is no answer to
// it. The viewer waits for the station's own answer, sends "<CONFIG>" once
// more only on "<REPEAT>", and the 17 texts arrive as texts 1 to 17.
TEST_F(ViewerWindowTest, ConfigurationThatMeetsTheNextMessage)
{
    enum class Station { RepeatsLater, RepeatsAtOnce, GoesOnAfterALateAnswer, TakesItAsItsOwnText, ShutsDown };
    for (const Station station : {Station::RepeatsLater, Station::RepeatsAtOnce, Station::GoesOnAfterALateAnswer,
                                  Station::TakesItAsItsOwnText, Station::ShutsDown}) {
        SCOPED_TRACE(int(station));
        QByteArrayList announced, extra, texts;
        bool closed = false;
        ScriptedStation st([&](ScriptedStation::Link &l) {
            l.exchange(message());
            announced.append(l.read()); // "<CONFIG>", read as the answer to ...
            switch (station) {
            case Station::RepeatsLater:
                l.write("<ANFANG>"); // ... the start that crossed it
                extra.append(l.read(200));
                l.write("<REPEAT>");
                announced.append(l.read());
                break;
            case Station::RepeatsAtOnce:
                l.write("<ANFANG><REPEAT>"); // both in one read
                announced.append(l.read());
                break;
            case Station::GoesOnAfterALateAnswer:
                // A late "OK" of the viewer was taken as the answer to the
                // start: the station goes on with text 1 before it reads
                // the "<CONFIG>" as the answer to that.
                l.write("<ANFANG>");
                extra.append(l.read(200));
                l.write(message().at(1));
                extra.append(l.read(200));
                l.write("<REPEAT>");
                announced.append(l.read());
                break;
            case Station::TakesItAsItsOwnText:
                // The station gave up waiting for the answer to its start and
                // takes the "<CONFIG>" as a text of its own: "OK" at once.
                l.write("<ANFANG>");
                extra.append(l.read(200));
                break;
            case Station::ShutsDown:
                l.write("<ANFANG>");
                extra.append(l.read(200));
                l.write("<REPEAT><BREAK>");
                closed = l.closedByViewer();
                extra.append(l.read(0));
                return;
            }
            l.write("OK");
            texts = readConfiguration(l);
            extra.append(l.read(200));
        });
        {
            QMutexLocker lock(&w->remoteState().ConfigSection);
            RemoteStationConfig &c = w->remoteState().config;
            c.TempMin = "5";
            c.RHMax = "60";
            c.StationId = "ABC1234";
            c.Server = "heron:2000";
            c.ComPort = "COM3:";
            c.AlarmInterval = "4";
            c.CpuMaxTempDistance = "50";
        }
        w->remoteState().ConfigState = 2; // the station's message changes none of it
        connectTo(st.port());             // clears the request
        w->remoteState().ConfigSendRequested = true;
        run(st);

        for (const QByteArray &a : announced)
            EXPECT_EQ(a, "<CONFIG>");
        for (const QByteArray &e : extra)
            EXPECT_EQ(e, "");
        if (station == Station::ShutsDown) {
            EXPECT_EQ(announced.size(), 1);
            EXPECT_TRUE(closed);
            EXPECT_FALSE(activity().contains("ist OK"));
            EXPECT_FALSE(activity().contains("FEHLER"));
            EXPECT_FALSE(activity().contains("+++ Verbindung  beendet (1)!"));
            EXPECT_EQ(w->remoteState().ConfigState, 2);
        } else {
            const QByteArrayList expected = {"5 ", " ", " ", " ", " ", " ", " ", "60 ", "0", "0", "0", "0",
                                             "ABC1234 ", "heron:2000 ", "COM3: ", "4 ", "50 "};
            EXPECT_EQ(texts, expected);
            EXPECT_TRUE(activity().contains("***Sende Konfiguration ist OK***"));
            EXPECT_EQ(w->remoteState().ConfigState, 0);
        }
        w->Timer1Timer();
        c<QPlainTextEdit>("Listbox")->clear();
    }
}

// The station answers each of the 17 texts "OK"; a station that answers
// otherwise or goes away before its last answer has not taken the
// configuration, and the viewer says so.
TEST_F(ViewerWindowTest, ConfigurationTextsNotAnsweredAreAFailure)
{
    for (const QByteArray &answer : {QByteArray("<REPEAT>"), QByteArray()}) {
        SCOPED_TRACE(answer.toStdString());
        ScriptedStation st([&](ScriptedStation::Link &l) {
            l.exchange(message());
            l.read(); // "<CONFIG>"
            l.write("OK");
            for (int i = 0; i < 16; ++i) {
                l.read();
                l.write("OK");
            }
            l.read();
            if (!answer.isEmpty()) {
                l.write(answer);
                l.closedByViewer();
            }
        });
        connectTo(st.port());
        w->remoteState().ConfigState = 2;
        w->remoteState().ConfigSendRequested = true;
        run(st);
        EXPECT_FALSE(activity().contains("ist OK"));
        EXPECT_TRUE(activity().contains("***Sende Konfiguration ergab FEHLER***"));
        EXPECT_EQ(w->remoteState().ConfigState, 2);
        w->Timer1Timer();
        c<QPlainTextEdit>("Listbox")->clear();
    }
}

// The forms' message windows carry the title that Timer1 closes: Timer1 is
// restarted (off, 50 ms, on) before each, so that it does not close the
// message the moment it appears. While the connection-test form keeps
// Timer1 off, its messages leave it off.
TEST_F(ViewerWindowTest, FormsMessagesGetAFullTimer1Interval)
{
    auto *timer = w->findChild<QTimer *>(QStringLiteral("Timer1"));
    auto *form1 = w->findChild<TForm1 *>(QStringLiteral("Form1"));
    ASSERT_NE(timer, nullptr);
    ASSERT_NE(form1, nullptr);
    QList<int> pausesWhileOff;
    QList<bool> activeAtShow;
    clock.setSleepHook([&](int ms) {
        if (!timer->isActive())
            pausesWhileOff.append(ms);
    });
    const auto presenter = [&](const QString &) { activeAtShow.append(timer->isActive()); };
    dialog->messages().setPresenter(presenter);
    form1->messages().setPresenter(presenter);
    form1->findChild<QLineEdit *>(QStringLiteral("TBxProxyIP"))->setText(QString());

    dialog->findChild<QComboBox *>(QStringLiteral("EditHeronserver"))->setEditText(QString());
    dialog->EditHeronserverExit();
    EXPECT_EQ(pausesWhileOff, QList<int>{50});
    form1->ButtonHERONTestClick();
    EXPECT_EQ(pausesWhileOff, (QList<int>{50, 50}));
    EXPECT_EQ(activeAtShow, (QList<bool>{true, true}));

    timer->stop(); // as while "Proxy-Config" is open
    form1->ButtonHERONTestClick();
    EXPECT_EQ(pausesWhileOff, (QList<int>{50, 50}));
    EXPECT_EQ(activeAtShow, (QList<bool>{true, true, false}));
    clock.setSleepHook({});
}

// "Abbruch" with nothing pending lets the window follow the station again;
// a confirmed dialog leaves its values to be sent.
TEST_F(ViewerWindowTest, SensorConfigButtonLeavesConfigState)
{
    struct Case
    {
        const char *name;
        bool confirmed;
        int state;
    } cases[] = {{"cancelled", false, 0}, {"confirmed", true, 2}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        w->remoteState().ConfigSendRequested = false;
        int stateWhileOpen = -1;
        QTimer::singleShot(0, dialog, [&] {
            stateWhileOpen = w->remoteState().ConfigState;
            if (k.confirmed)
                w->remoteState().ConfigSendRequested = true;
            dialog->reject();
        });
        w->Button2Click();
        EXPECT_EQ(stateWhileOpen, 1);
        EXPECT_EQ(w->remoteState().ConfigState, k.state);
    }
}

// A connection that ends after "Trennen" and a new connect does not turn the
// new connection's window back to "Verbinden".
TEST_F(ViewerWindowTest, AnOldConnectionsEndLeavesTheNewOneAlone)
{
    std::atomic<int> step{0};
    QByteArrayList oldAnswers;
    ScriptedStation old([&](ScriptedStation::Link &l) {
        l.exchange(message().mid(0, 3));
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        oldAnswers = l.exchange(message().mid(3));
        l.closedByViewer();
    });
    connectTo(old.port());
    ASSERT_TRUE(pumpUntil([&] { return step == 1; }));
    c<QPushButton>("Button1")->click(); // Trennen

    Inputs other = station();
    other.RawTemp = 5000;
    ScriptedStation next([&](ScriptedStation::Link &l) {
        while (step != 3)
            std::this_thread::yield();
        l.exchange(message(other));
    });
    connectTo(next.port());
    ASSERT_TRUE(pumpUntil([&] { return next.accepted(); }));
    step = 2;
    ASSERT_TRUE(pumpUntil([&] { return old.done(); }));
    ASSERT_TRUE(pumpUntil([&] { return w->liveThreads() == 1; }));
    EXPECT_EQ(oldAnswers.last(), "BREAK");
    EXPECT_FALSE(w->ConnectionLost);
    w->Timer1Timer();
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Trennen");
    step = 3;
    run(next);
    EXPECT_EQ(textOf("EditT"), "9.60");
}

TEST_F(ViewerWindowTest, ActivityListHoldsAThousandLines)
{
    for (int i = 0; i < 1000; ++i)
        w->appendStatus(QByteArray::number(i));
    EXPECT_EQ(c<QPlainTextEdit>("Listbox")->blockCount(), 1000);
    w->appendStatus("1001st");
    EXPECT_EQ(activity(), "");
    EXPECT_EQ(w->StatusLineCount, 0);
}

TEST_F(ViewerWindowTest, ControlsAtStart)
{
    EXPECT_EQ(w->windowTitle(), "ZAV-Sensorfernsteuerung");
    EXPECT_EQ(w->objectName(), "FI2C_RevuzaDareza");
    EXPECT_EQ(textOf("EditServer"), "127.0.0.1");
    EXPECT_EQ(c<QPushButton>("Button1")->text(), "Verbinden");
    EXPECT_FALSE(c<QPushButton>("Button2")->isEnabled());
    EXPECT_FALSE(c<QPlainTextEdit>("Listbox")->isVisibleTo(w.get()));
    EXPECT_FALSE(c<QCheckBox>("CheckRX")->isVisibleTo(w.get()));
    EXPECT_EQ(c<QCheckBox>("CheckRI")->text(), u("Eingang_1                     überwacht"));
    EXPECT_EQ(c<QTimer>("Timer1")->interval(), 5000);
    EXPECT_TRUE(c<QTimer>("Timer1")->isActive());
    EXPECT_EQ(w->remoteState().ConfigState, 0);
    EXPECT_TRUE(w->remoteState().StationIdLocked);
    w->Button3Click();
    EXPECT_TRUE(c<QPlainTextEdit>("Listbox")->isVisibleTo(w.get()));
}

} // namespace

namespace {

// The window's end: a connection answers "BREAK" at the end of the message
// that is under way; one whose station sends nothing more is cut off.
TEST(ViewerWindowEnd, AnswersBreakOrCutsTheConnectionOff)
{
    for (const bool stationGoesOn : {true, false}) {
        SCOPED_TRACE(stationGoesOn ? "station goes on" : "station silent");
        // While the station still sends, each of the window's last waits
        // lets a little real time pass (it stops waiting once the thread has
        // ended); a silent station costs no real time.
        ManualClock clock;
        if (stationGoesOn)
            clock.setSleepHook([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        viewer::ConnectionTimings timings;
        timings.pollMs = 2;
        auto w = std::make_unique<TFI2C_RevuzaDareza>(clock, nullptr, timings);
        std::atomic<int> step{0};
        QByteArrayList answers;
        bool closed = false;
        ScriptedStation st([&](ScriptedStation::Link &l) {
            l.exchange(message().mid(0, 4));
            step = 1;
            while (step != 2)
                std::this_thread::yield();
            if (stationGoesOn)
                answers = l.exchange(message().mid(4));
            closed = l.closedByViewer(stationGoesOn ? 5000 : 10000);
        });
        w->findChild<QLineEdit *>(QStringLiteral("EditServer"))->setText(QStringLiteral("127.0.0.1:%1").arg(st.port()));
        w->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
        QElapsedTimer t;
        t.start();
        while (step != 1 && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_EQ(step, 1);
        step = 2;
        w.reset();
        st.join();
        EXPECT_TRUE(closed);
        if (stationGoesOn) {
            QByteArrayList expected = oks(19);
            expected.append("BREAK");
            EXPECT_EQ(answers, expected);
        }
    }
}

} // namespace

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port whose connects hang: a listening socket that never accepts and
// whose queue is full.
class HangingPort
{
public:
    HangingPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(m_fd, 0) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        for (auto &s : m_fill) {
            s.connectToHost(QHostAddress::LocalHost, m_port);
            s.waitForConnected(100);
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        m_hangs = !probe.waitForConnected(100);
    }
    ~HangingPort() { ::close(m_fd); }
    quint16 port() const { return m_port; }
    bool hangs() const { return m_hangs; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    bool m_hangs = false;
    QTcpSocket m_fill[2];
};

TEST(ViewerWindowEnd, DoesNotWaitForAHangingConnect)
{
    HangingPort hanging;
    if (!hanging.hangs())
        GTEST_SKIP() << "this system completes every loopback connect";
    ManualClock clock;
    viewer::ConnectionTimings timings;
    timings.connectMs = 30000;
    auto w = std::make_unique<TFI2C_RevuzaDareza>(clock, nullptr, timings);
    w->findChild<QLineEdit *>(QStringLiteral("EditServer"))->setText(QStringLiteral("127.0.0.1:%1").arg(hanging.port()));
    w->findChild<QPushButton *>(QStringLiteral("Button1"))->click();
    auto *list = w->findChild<QPlainTextEdit *>(QStringLiteral("Listbox"));
    QElapsedTimer t;
    t.start();
    while (!list->toPlainText().contains(QStringLiteral("aufgebaut")) && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(w->liveThreads(), 1);
    t.restart();
    w.reset();
    EXPECT_LT(t.elapsed(), 5000);
}

} // namespace

namespace {

// A station that goes away during the configuration: the send stops, nothing
// is reset (the values go out on the next connection), the connection ends as
// any other.
TEST_F(ViewerWindowTest, StationGoneDuringTheConfiguration)
{
    for (const int textsTaken : {-1, 5}) {
        SCOPED_TRACE(textsTaken);
        ScriptedStation st([&](ScriptedStation::Link &l) {
            l.exchange(message());
            l.read(); // "<CONFIG>"
            if (textsTaken < 0)
                return;
            l.write("OK");
            for (int i = 0; i < textsTaken; ++i) {
                l.read();
                l.write("OK");
            }
        });
        connectTo(st.port()); // clears the request
        w->remoteState().ConfigState = 2;
        w->remoteState().ConfigSendRequested = true;
        run(st);
        EXPECT_TRUE(activity().contains("***Sende Konfiguration***"));
        EXPECT_FALSE(activity().contains("ist OK"));
        if (textsTaken < 0) {
            // Half-way through, a reset may also meet a write: "FEHLER" then.
            EXPECT_FALSE(activity().contains("FEHLER"));
        }
        EXPECT_TRUE(activity().contains("+++ Verbindung  beendet (1)!"));
        EXPECT_EQ(w->remoteState().ConfigState, 2);
        w->Timer1Timer();
        c<QPlainTextEdit>("Listbox")->clear();
    }
}

} // namespace
