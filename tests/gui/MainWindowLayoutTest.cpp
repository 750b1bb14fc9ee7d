#include "endtoend/VirtualXServer.h"
#include "gui/TFR2U_Radadu.h"
#include "station/LimitLabels.h"
#include "station/StationConfig.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

// The main window on a bare X server (Xvfb): when the limit labels fill (the
// configuration dialog's OK, a configuration from the server or a viewer),
// the window grows at once, so that neither a value nor a label is cut. The
// window runs in a child copy of this program on the X server's display (a
// widget application cannot change its platform once started).

namespace {

constexpr char ChildVariable[] = "KLIMA_LAYOUT_CHILD";
// The X server answers a resize within milliseconds.
constexpr int ResizeDeadlineMs = 3000;

// What of the window's fields and labels is narrower than its text needs.
QStringList cutOff(TFR2U_Radadu &w)
{
    QStringList cut;
    for (QLineEdit *edit : {w.EditT, w.EditTP, w.EditT_TP, w.EditRH, w.EditCpuTemp})
        if (edit->width() < edit->sizeHint().width())
            cut << QStringLiteral("%1 \"%2\": %3 of %4 px")
                       .arg(edit->objectName(), edit->text())
                       .arg(edit->width())
                       .arg(edit->sizeHint().width());
    for (QLabel *label : {w.LabelTempMinMax, w.LabelTPMinMax, w.LabelT_TPMinMax, w.LabelRHMinMax})
        if (label->width() < label->sizeHint().width())
            cut << QStringLiteral("%1 \"%2\": %3 of %4 px")
                       .arg(label->objectName(), label->text())
                       .arg(label->width())
                       .arg(label->sizeHint().width());
    return cut;
}

} // namespace

// The child's part: the window as the program builds it, without limits at
// first (no r2arodire.cfg), then with the limits the dialog saved.
TEST(MainWindowLayout, ChildOnTheXServer)
{
    if (qEnvironmentVariable(ChildVariable).isEmpty())
        GTEST_SKIP() << "runs in the child of MainWindowLayout.WindowGrowsWithTheLimitLabels";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    TFR2U_Radadu w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.setValueText(ValueDisplay::T, "19.40");
    w.setValueText(ValueDisplay::TP, "9.46");
    w.setValueText(ValueDisplay::T_TP, "9.94");
    w.setValueText(ValueDisplay::RH, "52.43");
    QCoreApplication::processEvents();
    const int before = w.width();
    EXPECT_EQ(cutOff(w).join(QStringLiteral("; ")).toStdString(), "") << "before the limits";

    StationConfig cfg;
    cfg.TempMin = "10";
    cfg.TempMax = "30";
    cfg.RHMin = "20";
    cfg.RHMax = "80";
    cfg.TTPMin = "2";
    FillLimitLabels(cfg, static_cast<StationWindow &>(w));

    QElapsedTimer t;
    t.start();
    QStringList cut = cutOff(w);
    while (!cut.isEmpty() && t.elapsed() < ResizeDeadlineMs) {
        QTest::qWait(20);
        cut = cutOff(w);
    }
    EXPECT_EQ(cut.join(QStringLiteral("; ")).toStdString(), "")
        << "window " << before << " -> " << w.width() << " px wide";
    EXPECT_GT(w.width(), before);
}

TEST(MainWindowLayout, WindowGrowsWithTheLimitLabels)
{
    VirtualXServer x;
    QString why;
    if (!x.start(why))
        GTEST_SKIP() << "no X server for this test: " << why.toStdString();

    EXPECT_EQ(
        x.runChildTest(ChildVariable, QStringLiteral("MainWindowLayout.ChildOnTheXServer")).toStdString(),
        "");
}
