// The time from the evaluation that raises an alarm bit to the "*ERROR*"
// text frame at the stand-in HERON server on loopback: the station's own
// alarm evaluation and reporting thread on the real clock, the stand-in in
// the same process. Each alarm is a temperature above Temp-Max for as many
// evaluations as the alarm delay asks; after its report the alarm is
// acknowledged and the temperature goes back into its band (that report
// goes too) before the next one, which follows at a random moment of the
// reporting thread's one-second pass.
//
//   bench_alarm_latency [alarms (20)]
//
// Per alarm it prints the total and its parts: the wait for the reporting
// thread's next pass (up to its 1000 ms pause) until the error file
// appears, then the file and the connect up to the login frame, then the
// three 100 ms pauses before the identifier, the version and the report
// kind with the frames between. Last: median and worst of the total and the
// share spent in the prescribed waits (the pass pause and the three text
// pauses).

#include "HeronStandin.h"
#include "reporting/MyHERONThread.h"
#include "station/AlarmEvaluation.h"
#include "station/StationCore.h"
#include "station/StationView.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// The window of a station nobody looks at.
class QuietView : public StationView
{
public:
    bool addStatusListLine(const QByteArray &) override { return true; }
    void clearStatusList() override {}
    void setLastError(const QByteArray &, const QColor &) override {}
    void setLastErrorColour(const QColor &) override {}
    void setValueText(ValueDisplay, const QByteArray &) override {}
    void setValueColour(ValueDisplay, const QColor &) override {}
    void setValueBackground(ValueDisplay, const QColor &) override {}
    void setLastConnectionText(const QByteArray &) override {}
    void setContactStatus(int, bool, const QColor &) override {}
    void signalAlarmWindow(int, bool) override { m_signalled = true; }
    bool alarmSignalled() const override { return m_signalled; }
    void restoreWindowAfterReport() override { m_signalled = false; }
    void setIntervallLeft(const QByteArray &) override {}
    void setReportCommandsEnabled(bool) override {}
    void setLimitText(LimitLabel, const QByteArray &) override {}
    void setContactWatch(bool, bool) override {}
    void Timer1Status(bool) override {}
    void rearmTimer1(int) override {}

private:
    std::atomic<bool> m_signalled{false};
};

// The moment the newest error file appeared in a folder.
class ErrorFileWatch
{
public:
    explicit ErrorFileWatch(const QString &dir)
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_CREATE);
        m_thread = std::thread([this] {
            alignas(inotify_event) char buffer[4096];
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const qint64 at = nowNs();
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                for (ssize_t i = 0; i < n;) {
                    const auto *e = reinterpret_cast<const inotify_event *>(buffer + i);
                    i += ssize_t(sizeof(inotify_event) + e->len);
                    const QByteArray name(e->name);
                    if (e->len > 0 && name.toUpper().endsWith('R') && name.contains('.'))
                        m_last = at;
                }
            }
        });
    }
    ~ErrorFileWatch()
    {
        m_stop = true;
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    qint64 last() const { return m_last; }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_last{0};
    std::thread m_thread;
};

template <typename Pred> bool waitFor(Pred pred, int timeoutMs)
{
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Alarm
{
    qint64 total = 0;
    qint64 untilFile = 0;  // the reporting thread's pause until its next pass
    qint64 untilLogin = 0; // error file, connect, login frame
    qint64 untilError = 0; // three pauses of 100 ms and three frames
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int alarms = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(work);
    QDir().mkpath(uploads);
    if (!QDir::setCurrent(work)) {
        std::fprintf(stderr, "bench_alarm_latency: cannot work in %s\n", qPrintable(work));
        return 1;
    }

    std::atomic<qint64> loginAt{0}, errorAt{0};
    std::atomic<int> logouts{0};
    HeronStandin server;
    server.setUploadDir(uploads);
    server.setObserver([&](const HeronStandin::Received &r) {
        if (r.isAnswer)
            return;
        if (r.type == 50)
            loginAt = nowNs();
        else if (r.type == 27 && r.payload == "*ERROR*")
            errorAt = nowNs();
        else if (r.type == 27 && r.payload == "*ENDE*")
            ++logouts;
    });
    ErrorFileWatch errorFiles(work);
    if (!server.start() || !errorFiles.ok()) {
        std::fprintf(stderr, "bench_alarm_latency: cannot start the stand-in server or watch %s\n",
                     qPrintable(work));
        return 1;
    }

    QuietView view;
    StationCore core(view);
    core.config.StationId = "BENCH01";
    core.config.ServerHost = "127.0.0.1";
    core.config.ServerPort = QByteArray::number(server.port());
    core.config.AlarmInterval = "4";
    core.config.TempMax = "30";
    core.state.AlarmDelay = 10;
    StationState &s = core.state;

    AlarmEvaluation evaluation(core);
    MyHERONThread reporting(core);
    const auto alarmFlags = [&] {
        SharedDataLock lock(core.semaphore);
        return s.AlarmFlags;
    };
    const auto evaluate = [&](double T) {
        SharedDataLock lock(core.semaphore);
        evaluation.evaluate({T, 50.0, 10.0, true, false});
    };
    // A report has ended when its logout went and the connection is closed.
    const auto reportEnds = [&](int logoutsBefore) {
        return waitFor([&] { return logouts > logoutsBefore && !server.connectionOpen(); }, 30000);
    };

    std::vector<Alarm> results;
    bool failed = false;
    std::thread measurement([&] {
        {
            SharedDataLock lock(core.semaphore);
            evaluation.onThreadStart();
        }
        evaluate(20.0);
        // The first report (after the start wait of the reporting thread).
        const int before = logouts;
        s.ImmediateReport = true;
        failed = !reportEnds(before);
        std::mt19937 random(4711);
        std::uniform_int_distribution<int> phaseMs(0, 999);
        for (int i = 0; i < alarms && !failed; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(phaseMs(random)));
            const int logoutsBefore = logouts;
            qint64 raisedAt = 0;
            for (int n = 0; n < 2 * s.AlarmDelay && raisedAt == 0; ++n) {
                const qint64 at = nowNs();
                evaluate(35.0);
                if (alarmFlags() & 0x2)
                    raisedAt = at;
            }
            if (raisedAt == 0 || !waitFor([&] { return errorAt.load() > raisedAt; }, 30000)) {
                std::fprintf(stderr, "bench_alarm_latency: alarm %d raised no report\n", i + 1);
                failed = true;
                break;
            }
            const qint64 file = errorFiles.last();
            Alarm a;
            a.total = errorAt - raisedAt;
            a.untilFile = file > raisedAt ? file - raisedAt : 0;
            a.untilLogin = loginAt - std::max(file, raisedAt);
            a.untilError = errorAt - loginAt;
            results.push_back(a);
            std::printf("alarm %2d: %7.1f ms = next pass %6.1f + file and connect %5.1f + identifier, version, "
                        "kind %6.1f\n",
                        i + 1, ms(a.total), ms(a.untilFile), ms(a.untilLogin), ms(a.untilError));
            std::fflush(stdout);
            reportEnds(logoutsBefore);
            // Acknowledged with the alarm raised: everything reset, no report.
            s.AcknowledgeRequest = true;
            waitFor([&] { return alarmFlags() == 0 && !s.AcknowledgeRequest.load(); }, 10000);
            // Back into the band: that forces a report, which goes first.
            const int logoutsBack = logouts;
            evaluate(20.0);
            if (s.ImmediateReport.load())
                reportEnds(logoutsBack);
        }
        s.TerminateRequested = true;
        reporting.wait();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    reporting.start();
    app.exec();
    measurement.join();
    server.stop();
    if (failed || results.empty())
        return 1;

    std::vector<qint64> totals;
    qint64 sumTotal = 0, sumPrescribed = 0;
    for (const Alarm &a : results) {
        totals.push_back(a.total);
        sumTotal += a.total;
        sumPrescribed += a.untilFile + 3 * 100'000'000LL;
    }
    std::sort(totals.begin(), totals.end());
    const size_t n = totals.size();
    const qint64 median = n % 2 ? totals[n / 2] : (totals[n / 2 - 1] + totals[n / 2]) / 2;
    std::printf("alarms=%zu\n", n);
    std::printf("prescribed_wait_share=%.1f%% (the pass pause of up to 1000 ms and 3 x 100 ms before the "
                "identifier, version and kind frames)\n",
                100.0 * double(sumPrescribed) / double(sumTotal));
    std::printf("worst_ms=%.1f\n", ms(totals.back()));
    std::printf("median_ms=%.1f\n", ms(median));
    return 0;
}
