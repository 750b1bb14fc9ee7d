#include "endtoend/VirtualXServer.h"
#include "viewer/TFI2C_RevuzaDareza.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

// The viewer's modal windows on a bare X server (Xvfb, no window manager):
// what the screen shows of the connection-test form, of its message box and
// of the remote configuration dialog must be painted shortly after each is
// shown. The windows run in a child copy of this program on the X server's
// display (a widget application cannot change its platform once started); the
// child reads the pixels back from the server.

namespace {

constexpr char ChildVariable[] = "KLIMA_PAINT_CHILD";
// Painting takes some milliseconds; a window that is still black after this
// long stays black until something exposes it again.
constexpr int PaintDeadlineMs = 3000;

// Share of pure black pixels in what the screen shows at the window's place.
double blackShare(const QWidget &w)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1.0;
    const QRect r = w.geometry();
    const QImage shot = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
    if (shot.isNull() || shot.width() == 0 || shot.height() == 0)
        return 1.0;
    qint64 black = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFFu) == 0)
                ++black;
    return double(black) / (double(shot.width()) * shot.height());
}

// Serves events until the window's place on the screen is painted (less than
// a quarter black); returns how long that took in milliseconds, or -1 when it
// was still black at the deadline.
qint64 msUntilPainted(const QWidget &w)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < PaintDeadlineMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (w.isVisible() && blackShare(w) < 0.25)
            return t.elapsed();
        QTest::qWait(20);
    }
    return -1;
}

template <typename T> T *child(const QWidget &w, const char *name)
{
    return w.findChild<T *>(QString::fromLatin1(name));
}

// The modal window that opens next (a dialog of the program), or null.
QWidget *nextModal(QWidget *other)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < PaintDeadlineMs) {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != other && modal->isVisible())
            return modal;
        QTest::qWait(10);
    }
    return nullptr;
}

} // namespace

// The child's part: the windows as the program builds them, opened by their
// buttons with the modal loop of the real program.
TEST(ViewerFormPaint, ChildOnTheXServer)
{
    if (qEnvironmentVariable(ChildVariable).isEmpty())
        GTEST_SKIP() << "runs in the child of ViewerFormPaint.ModalWindowsPaintWithoutWindowManager";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    QTemporaryDir dir;
    TFI2C_RevuzaDareza window;
    auto *remoteConfig = new TFRemoteConfig(window, &window);
    auto *form1 = new TForm1(&window);
    form1->setProxyFilePath(dir.filePath(QStringLiteral("proxyconfig.cfg")));
    window.setForms(remoteConfig, form1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const qint64 mainMs = msUntilPainted(window);
    EXPECT_TRUE(mainMs >= 0 && mainMs <= PaintDeadlineMs) << "the main window took " << mainMs << " ms";

    qint64 formMs = -2; // -2: not opened
    qint64 boxMs = -2;
    bool boxSeen = false;
    // Runs inside the form's modal loop, and the box's inside that.
    QTimer::singleShot(0, &window, [&] {
        QWidget *form = nextModal(nullptr);
        if (form != form1) {
            if (form1->isVisible())
                form1->done(1);
            return;
        }
        formMs = msUntilPainted(*form1);
        QTimer::singleShot(0, form1, [&] {
            QWidget *box = nextModal(form1);
            boxSeen = qobject_cast<QMessageBox *>(box) != nullptr;
            if (box) {
                boxMs = msUntilPainted(*box);
                static_cast<QDialog *>(box)->done(QMessageBox::Ok);
            }
            QTimer::singleShot(0, form1, [form1] { form1->done(1); });
        });
        // The info panel opens a message box of the form.
        QTest::mouseClick(child<QLabel>(*form1, "Panel1"), Qt::LeftButton);
    });
    child<QPushButton>(window, "Button4")->click(); // "Proxy-Config": the form, modal

    // -1: still black at the deadline; more than the deadline: painted only
    // once the program served its events again.
    EXPECT_NE(formMs, -2) << "the connection-test form did not open";
    EXPECT_TRUE(formMs >= 0 && formMs <= PaintDeadlineMs)
        << "the connection-test form took " << formMs << " ms";
    EXPECT_TRUE(boxSeen) << "the form's message box did not open";
    EXPECT_TRUE(boxMs >= 0 && boxMs <= PaintDeadlineMs) << "the form's message box took " << boxMs << " ms";

    // The remote configuration dialog, as "Sensor-Konfiguration" opens it.
    qint64 dialogMs = -2;
    QTimer::singleShot(0, &window, [&] {
        QWidget *dialog = nextModal(nullptr);
        if (dialog == remoteConfig)
            dialogMs = msUntilPainted(*remoteConfig);
        if (remoteConfig->isVisible())
            remoteConfig->done(1);
    });
    window.Button2Click();
    EXPECT_TRUE(dialogMs >= 0 && dialogMs <= PaintDeadlineMs)
        << "the remote configuration dialog took " << dialogMs << " ms";
}

TEST(ViewerFormPaint, ModalWindowsPaintWithoutWindowManager)
{
    VirtualXServer x;
    QString why;
    if (!x.start(why))
        GTEST_SKIP() << "no X server for this test: " << why.toStdString();

    EXPECT_EQ(
        x.runChildTest(ChildVariable, QStringLiteral("ViewerFormPaint.ChildOnTheXServer")).toStdString(), "");
}
