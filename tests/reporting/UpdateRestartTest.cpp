#include "reporting/UpdateRestart.h"
#include "common/Text8.h"
#include "platform/UpdateFallback.h"
#include "reporting/ReportingTexts.h"
#include "station/StationCore.h"
#include "station/StationTexts.h"
#include "support/FailingFileCalls.h"
#include "support/ManualClock.h"
#include "support/RecordingProgramRestart.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

using namespace ReportingTexts;

// A waiting station update that the restart refuses is removed with one log
// line of its own and causes no restart; the station goes on. Among them an
// update whose head passes but that cannot be read whole (a read error past
// the head): without its digest a failure would not be told again, and it
// would be installed and fall back at every report.
TEST(UpdateRestart, RefusedUpdateIsDroppedWithOneLogLineAndNoRestart)
{
    QFile self(QStringLiteral("/proc/self/exe"));
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    const QByteArray program = self.read(4096); // passes the header check
    const QByteArray digest = QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex();
    const struct
    {
        const char *what;
        QByteArray update;
        bool readFails;
        bool failedBefore;
        const char *line;
    } cases[] = {
        {"no program for this machine", QByteArray(4096, '\x7f'), false, false, UpdateNotRunnable},
        {"read error past the head", program, true, false, UpdateUnreadable},
        {"failed here before", program, false, true, UpdateFailedBefore},
    };
    const QByteArrayList refusals{Text8::cp(UpdateNotRunnable), Text8::cp(UpdateUnreadable),
                                  Text8::cp(UpdateFailedBefore)};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedWorkDir work;
        work.write(QString::fromLatin1(StationUpdateFile), c.update);
        if (c.failedBefore)
            work.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile),
                       "program=/opt/klima/klimawarte\nstatus=255\nupdate=" + digest + "\n");
        std::optional<ScopedFailingFiles> failing;
        if (c.readFails) {
            failing.emplace();
            failing->calls.match = StationUpdateFile;
            failing->calls.readError = EIO;
            failing->calls.readableBytes = 1000;
        }
        ManualClock clock;
        RecordingView view;
        RecordingProgramRestart restart;
        StationPlatform platform = platformWith(clock);
        platform.restart = &restart;
        StationCore core(view, platform);
        core.mirror.UpdatePending = true;

        EXPECT_FALSE(UpdateRestart(core).run());
        failing.reset();
        EXPECT_FALSE(QFileInfo::exists(work.file(QString::fromLatin1(StationUpdateFile))));
        EXPECT_FALSE(core.mirror.UpdatePending.load());
        EXPECT_TRUE(restart.plans.isEmpty());
        EXPECT_FALSE(core.state.TerminateRequested.load());
        EXPECT_FALSE(core.state.RebootAfterUpdate.load());
        EXPECT_FALSE(QFileInfo::exists(work.file(QString::fromLatin1(RestartScript))));
        const QByteArray log = work.read(QString::fromLatin1(StationTexts::LogFileName));
        for (const QByteArray &refusal : refusals)
            EXPECT_EQ(log.count(" /Sensor/ " + refusal + "\r\n"), refusal == Text8::cp(c.line) ? 1 : 0)
                << log.constData();
    }
    EXPECT_EQ(
        Text8::cp(UpdateUnreadable),
        Text8::cp("Update Klimawarte.upd nicht lesbar: verworfen, bisheriges Programm l\u00e4uft weiter"));
}
