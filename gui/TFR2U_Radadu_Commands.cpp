#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "gui/TFConfig.h"
#include "gui/TImpressum.h"
#include "station/ApplicationTitle.h"
#include "station/ConfigurationCommand.h"
#include "station/MainCommands.h"
#include "station/StationTexts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindowStateChangeEvent>

// Commands of the main window, its menu and the tray icon.

void TFR2U_Radadu::buildMenu()
{
    QMenuBar *menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    const auto action = [this](const char *name, const char *caption) {
        auto *a = new QAction(Text8::toQString(Text8::cp(caption)), this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    Konfiguration1 = action("Konfiguration1", "Konfiguration");
    Extra1 = new QMenu(QStringLiteral("Extras"), menu);
    Extra1->setObjectName(QStringLiteral("Extra1"));
    Testmodeaktiv1 = action("Testmodeaktiv1", "Activity-Log");
    COMPortManager1 = action("COMPortManager1", "Geräte-Manager");
    Info1 = action("Info1", "Info");
    Proxy1 = action("Proxy1", "Proxy");
    Extra1->addAction(Testmodeaktiv1);
    Extra1->addAction(COMPortManager1);
    menu->addAction(Konfiguration1);
    menu->addMenu(Extra1);
    menu->addAction(Info1);
    menu->addAction(Proxy1);
    connect(Konfiguration1, &QAction::triggered, this, &TFR2U_Radadu::Button2Click);
    connect(Extra1, &QMenu::aboutToShow, this, &TFR2U_Radadu::Extra1Click);
    connect(Testmodeaktiv1, &QAction::triggered, this, &TFR2U_Radadu::Testmodeaktiv1Click);
    connect(COMPortManager1, &QAction::triggered, this, &TFR2U_Radadu::Button4Click);
    connect(Info1, &QAction::triggered, this, &TFR2U_Radadu::Info1Click);
    connect(Proxy1, &QAction::triggered, this, &TFR2U_Radadu::Proxy1Click);
}

void TFR2U_Radadu::Button2Click()
{
    if (FConfig)
        RunConfigurationCommand(*m_core, *this, m_sensor, FConfig->settings());
}

void TFR2U_Radadu::Button3Click()
{
    // The reporting thread enables the commands again.
    Button3->setEnabled(false);
    Konfiguration1->setEnabled(false);
    Proxy1->setEnabled(false);
    m_core->state.AcknowledgeRequest = true;
    setLastError(StationTexts::LastErrCaption, Colours::Black);
    setWindowColour(Colours::ActiveBorder);
    hide();
    show();
    Timer5->stop();
}

void TFR2U_Radadu::Button4Click()
{
    RunDeviceManagerCommand(*m_core, m_sensor, [this] { restartTimer1(); });
}

void TFR2U_Radadu::Proxy1Click()
{
    RunProxyCommand(*m_core, *this, m_sensor, [this] {
        if (FConfigProxyZugang)
            FConfigProxyZugang->exec();
    });
}

void TFR2U_Radadu::Info1Click()
{
    RunInfoCommand(*m_core, *this, [this] {
        if (Impressum)
            Impressum->exec();
    });
}

void TFR2U_Radadu::Extra1Click()
{
    RearmHidingTimer(*this);
}

void TFR2U_Radadu::Testmodeaktiv1Click()
{
    const bool show = Listbox->isHidden();
    for (QWidget *w : {static_cast<QWidget *>(Listbox), static_cast<QWidget *>(intervallLeftBox()),
                       static_cast<QWidget *>(IntervallLabel), static_cast<QWidget *>(IntervallLabel2),
                       static_cast<QWidget *>(IntervallLabel3)})
        w->setVisible(show);
}

void TFR2U_Radadu::EditTDblClick()
{
    RearmHidingTimer(*this);
}

void TFR2U_Radadu::Edit1DblClick()
{
    EnumCOMPorts();
}

void TFR2U_Radadu::Edit1Change()
{
    // Reloads the dialog's controls from the settings and renews its window;
    // nothing is saved, since the activation marks the settings unconfirmed.
    if (FConfig) {
        FConfig->FormActivate();
        FConfig->FormDeactivate(nullptr);
    }
}

void TFR2U_Radadu::Edit1Enter()
{
    Timer4->start();
}

void TFR2U_Radadu::Edit1Exit()
{
    Timer4->stop();
    Edit1->hidePopup();
}

bool TFR2U_Radadu::eventFilter(QObject *watched, QEvent *event)
{
    const bool edit1 = watched == Edit1 || (Edit1 && watched == Edit1->lineEdit());
    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        if (watched == EditT)
            EditTDblClick();
        else if (edit1)
            Edit1DblClick();
        break;
    case QEvent::FocusIn:
        if (watched == Edit1)
            Edit1Enter();
        break;
    case QEvent::FocusOut:
        if (watched == Edit1)
            Edit1Exit();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The tray icon and minimise-to-tray.

bool TFR2U_Radadu::hasTray() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() &&
           QGuiApplication::platformName() != QLatin1String("offscreen");
}

void TFR2U_Radadu::TaskBarAddIcon()
{
    if (!hasTray())
        return;
    if (!TrayIcon) {
        TrayIcon = new QSystemTrayIcon(windowIcon(), this);
        TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
        connect(TrayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // TrayIconMessage: a double click shows the window.
                    if (reason == QSystemTrayIcon::DoubleClick) {
                        showNormal();
                        activateWindow();
                    }
                });
    }
    TrayIcon->setToolTip(Text8::toQString(ApplicationTitle::get()));
    if (!TrayIcon->isVisible())
        TrayIcon->show();
}

void TFR2U_Radadu::addTrayIcon()
{
    TaskBarAddIcon();
}

void TFR2U_Radadu::removeTrayIcon()
{
    if (TrayIcon)
        TrayIcon->hide();
}

void TFR2U_Radadu::hideToTray()
{
    if (TrayIcon && TrayIcon->isVisible())
        hide();
    else
        showMinimized();
}

void TFR2U_Radadu::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // WMSysCommand: minimising hides the window into the tray.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon && TrayIcon->isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) {
                setWindowState(windowState() & ~Qt::WindowMinimized);
                hide();
            }
        });
}

// The about box for the supervision tick.

bool TFR2U_Radadu::aboutBoxShowing() const
{
    return Impressum && Impressum->isVisible();
}

void TFR2U_Radadu::closeAboutBox()
{
    if (Impressum)
        Impressum->Button1Click();
}
