// The station's own picture on its window and tray icon, and the window
// without a notification area (offscreen).
#include "gui/StationIcon.h"
#include "gui/TFR2U_Radadu.h"
#include "station/ApplicationTitle.h"
#include "station/StationTexts.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSet>

namespace {

// Distinct opaque colours of a picture and whether its corners are clear
// (the tile has round corners).
struct Look
{
    int colours = 0;
    bool clearCorners = false;
};

Look look(const QPixmap &pm)
{
    const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) == 255)
                colours.insert(img.pixel(x, y));
    const int last = img.width() - 1;
    Look l;
    l.colours = static_cast<int>(colours.size());
    l.clearCorners = qAlpha(img.pixel(0, 0)) == 0 && qAlpha(img.pixel(last, 0)) == 0 &&
                     qAlpha(img.pixel(0, last)) == 0 && qAlpha(img.pixel(last, last)) == 0;
    return l;
}

} // namespace

TEST(StationIcon, EverySizeIsAPictureOfItsOwn)
{
    const QIcon icon = StationIcon::icon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QPixmap pm = icon.pixmap(size, size);
        ASSERT_EQ(pm.size(), QSize(size, size));
        const Look l = look(pm);
        // Tile, frame, tube, red column and drop: not a blank or one-colour
        // square even at 16 pixels.
        EXPECT_GE(l.colours, 5);
        EXPECT_TRUE(l.clearCorners);
    }
    const QByteArray target = qgetenv("KLIMA_SCREENSHOT_DIR");
    if (!target.isEmpty()) {
        EXPECT_TRUE(StationIcon::pixmap(64).save(QDir(QString::fromLocal8Bit(target)).filePath("station-icon.png")));
    }
}

TEST(StationIcon, WindowAndBoxesCarryIt)
{
    ApplicationTitle::set(StationTexts::ApplicationTitle);
    TFR2U_Radadu w;
    const QImage own = StationIcon::pixmap(32).toImage();
    EXPECT_EQ(w.windowIcon().pixmap(32, 32).toImage(), own);
    // The tray icon takes the window's picture; boxes without a parent the
    // program's.
    EXPECT_EQ(QApplication::windowIcon().pixmap(32, 32).toImage(), own);
}

// Offscreen there is no notification area: no tray icon comes, and
// minimising, by the window system or by the hiding timer, leaves the window
// in the task list instead of hiding it.
TEST(StationIcon, WithoutANotificationAreaTheWindowOnlyMinimises)
{
    ApplicationTitle::set(StationTexts::ApplicationTitle);
    ManualClock clock;
    RecordingNotices boxes;
    TFR2U_Radadu w;
    StationPlatform p;
    p.clock = &clock;
    p.notices = &boxes;
    p.quit = [] {};
    w.setPlatform(p);
    w.show();
    w.addTrayIcon();
    EXPECT_EQ(w.TrayIcon, nullptr);

    w.showMinimized();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(w.isMinimized());
    EXPECT_FALSE(w.isHidden());

    w.showNormal();
    w.hideToTray();
    QApplication::processEvents();
    EXPECT_TRUE(w.isMinimized());
    EXPECT_FALSE(w.isHidden());
}
