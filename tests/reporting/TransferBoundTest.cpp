#include "reporting/TransferBound.h"

#include "common/Text8.h"
#include "reporting/ReportingTexts.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace TCPUtils;

namespace {

// The frames of a peer, one every intervalMs on the station's clock, each
// counted by `count`; the bound is looked at every 100 ms in between, as
// the receive routines do while they wait. The time of the cut, or nothing
// when the bound held for all `frames`.
std::optional<qint64> cutAfter(int intervalMs, int frames, const std::function<void(TransferBound &, int)> &count)
{
    ManualClock clock;
    TransferBound bound(clock);
    bound.beginFile();
    const quint32 start = clock.tickCount();
    try {
        for (int i = 0; i < frames; ++i) {
            for (int waited = 0; waited < intervalMs; waited += 100) {
                clock.advance(std::min(100, intervalMs - waited));
                bound.check();
            }
            count(bound, i);
        }
    } catch (const ServerTooSlow &e) {
        EXPECT_TRUE(e.text().startsWith(Text8::cp(ReportingTexts::FileTooSlow))) << e.text().constData();
        return qint64(clock.tickCount() - start);
    }
    return std::nullopt;
}

} // namespace

// What a frame earns follows what it moves: a download that crawls on frames
// that carry next to nothing is cut about 70 s into the crawl, however long
// it could go on; a peer that sends full pieces (or the same bytes in
// smaller ones as often) within the answer wait, or answers the station's
// own frames within it, is never cut.
TEST(TransferBound, WhatAFrameEarnsFollowsWhatItMoves)
{
    auto pieces = [](int bytes) { return [bytes](TransferBound &b, int) { b.pieceReceived(bytes); }; };
    const struct
    {
        const char *what;
        int intervalMs;
        std::function<void(TransferBound &, int)> count;
        qint64 minCutMs; // 0: never cut
        qint64 maxCutMs;
    } cases[] = {
        {"frames that move nothing, every 9.9 s", 9900, [](TransferBound &, int) {}, 70000, 70200},
        {"pieces of 1 byte every 9.9 s", 9900, pieces(1), 70000, 70500},
        {"pieces of 100 bytes every 9.9 s", 9900, pieces(100), 110000, 120000},
        {"pieces of 250 bytes every 14 s", 14000, pieces(250), 220000, 228000},
        {"pieces of 250 bytes every 20 s", 20000, pieces(250), 130000, 134000},
        {"pieces of 250 bytes every 9.9 s", 9900, pieces(250), 0, 0},
        {"pieces of 100 bytes every 4 s", 4000, pieces(100), 0, 0},
        {"pieces of 752 bytes every 10.7 s", 10700, pieces(752), 0, 0},
        {"the station's own frames of 20 bytes, answered after 9.9 s", 9900,
         [](TransferBound &b, int) { b.frameAnswered(20); }, 0, 0},
        // Files of a full piece and a short one at the pace: the close frame
        // pays what the short piece fell short of.
        {"files with a short last piece, a frame every 9.9 s", 9900,
         [](TransferBound &b, int i) {
             switch (i % 4) {
             case 0:
                 b.beginFile();
                 b.fileFrameReceived(); // the length frame
                 break;
             case 1:
                 b.pieceReceived(250);
                 break;
             case 2:
                 b.pieceReceived(10);
                 break;
             default:
                 b.fileFrameReceived(); // the close frame
             }
         },
         0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<qint64> cut = cutAfter(c.intervalMs, 1000, c.count);
        if (c.minCutMs == 0) {
            EXPECT_FALSE(cut.has_value()) << *cut;
            continue;
        }
        ASSERT_TRUE(cut.has_value());
        EXPECT_GE(*cut, c.minCutMs);
        EXPECT_LE(*cut, c.maxCutMs);
    }
}
