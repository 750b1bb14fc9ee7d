#include "gui/TFR2U_Radadu.h"
#include "gui/StationIcon.h"

#include "common/Text8.h"
#include "station/StationConfigFile.h"
#include "station/StationTexts.h"
#include "station/SupervisionTexts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLineEdit *makeValueEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignRight);
    // A value is never cut: the field keeps the width it asks for when the
    // limit labels beside it grow, and the window grows instead.
    edit->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    return edit;
}

QCheckBox *makeCheckBox(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton *makeButton(const char *name, const char *caption, QWidget *parent)
{
    auto *button = new QPushButton(Text8::toQString(Text8::cp(caption)), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// How wide a label's text may grow, in average characters; a limit label
// ("min: -40.00°C  max: 125.00°C  ") needs about 30.
constexpr int MaxLabelChars = 48;
// The tooltip of a cut text: lines of this length, at most this many.
constexpr int TipLineChars = 80;
constexpr int TipLines = 8;

void setColour(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

} // namespace

TFR2U_Radadu::TFR2U_Radadu(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FR2U_Radadu"));
    setWindowTitle(QString::fromLatin1(StationTexts::ApplicationTitle));
    // The window's picture is the tray icon's too; the program's boxes
    // carry it as well.
    setWindowIcon(StationIcon::icon());
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(windowIcon());
    m_viewer.setRemoteTarget(this);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto *layout = new QVBoxLayout(central);

    auto *values = new QGridLayout;
    EditT = makeValueEdit("EditT", central);
    EditTP = makeValueEdit("EditTP", central);
    EditT_TP = makeValueEdit("EditT_TP", central);
    EditRH = makeValueEdit("EditRH", central);
    EditCpuTemp = makeValueEdit("EditCpuTemp", central);
    const struct
    {
        const char *label;
        QLineEdit *edit;
    } rows[] = {{"Temperatur", EditT},
                {"Taupunkt", EditTP},
                {"T-TP", EditT_TP},
                {"RH", EditRH},
                {"CPU-Temp", EditCpuTemp}};
    LabelTempMinMax = new QLabel(central);
    LabelTPMinMax = new QLabel(central);
    LabelT_TPMinMax = new QLabel(central);
    LabelRHMinMax = new QLabel(central);
    for (QLabel *l : {LabelTempMinMax, LabelTPMinMax, LabelT_TPMinMax, LabelRHMinMax})
        l->setTextFormat(Qt::PlainText);
    LabelTempMinMax->setObjectName(QStringLiteral("LabelTempMinMax"));
    LabelTPMinMax->setObjectName(QStringLiteral("LabelTPMinMax"));
    LabelT_TPMinMax->setObjectName(QStringLiteral("LabelT_TPMinMax"));
    LabelRHMinMax->setObjectName(QStringLiteral("LabelRHMinMax"));
    QLabel *limitLabels[] = {LabelTempMinMax, LabelTPMinMax, LabelT_TPMinMax, LabelRHMinMax, nullptr};
    int row = 0;
    for (const auto &r : rows) {
        values->addWidget(new QLabel(QString::fromLatin1(r.label), central), row, 0);
        values->addWidget(r.edit, row, 1);
        if (limitLabels[row])
            values->addWidget(limitLabels[row], row, 2);
        ++row;
    }
    layout->addLayout(values);

    EditServerDisplay = new QLineEdit(central);
    EditServerDisplay->setObjectName(QStringLiteral("EditServerDisplay"));
    EditServerDisplay->setReadOnly(true);
    layout->addWidget(EditServerDisplay);

    auto *contacts = new QGridLayout;
    CheckRI = makeCheckBox("CheckRI", QStringLiteral("RI"), central);
    CheckDC = makeCheckBox("CheckDC", QStringLiteral("DC"), central);
    CheckRI->setEnabled(false);
    CheckDC->setEnabled(false);
    RIStat = makeCheckBox("RIStat", QString(), central);
    DCStat = makeCheckBox("DCStat", QString(), central);
    RIStat->setEnabled(false);
    DCStat->setEnabled(false);
    RIStat->setAutoFillBackground(true);
    DCStat->setAutoFillBackground(true);
    // The viewer connections read these boxes from the mirror.
    const auto mirrorBox = [](QCheckBox *box, std::atomic<bool> &mirrored) {
        mirrored = box->isChecked();
        connect(box, &QCheckBox::toggled, box, [&mirrored](bool on) { mirrored = on; });
    };
    mirrorBox(CheckRI, m_core->mirror.CheckRI);
    mirrorBox(CheckDC, m_core->mirror.CheckDC);
    mirrorBox(RIStat, m_core->mirror.RIStat);
    mirrorBox(DCStat, m_core->mirror.DCStat);
    contacts->addWidget(CheckRI, 0, 0);
    contacts->addWidget(RIStat, 0, 1);
    contacts->addWidget(CheckDC, 1, 0);
    contacts->addWidget(DCStat, 1, 1);
    layout->addLayout(contacts);

    LabelLastConnection = new QLabel(central);
    LabelLastConnection->setObjectName(QStringLiteral("LabelLastConnection"));
    LabelLastConnection->setTextFormat(Qt::PlainText);
    layout->addWidget(LabelLastConnection);

    LastErrorLabel = new QLabel(QString::fromLatin1(StationTexts::LastErrCaption), central);
    LastErrorLabel->setObjectName(QStringLiteral("LastErrorLabel"));
    LastErrorLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(LastErrorLabel);

    auto *buttons = new QHBoxLayout;
    Button1 = makeButton("Button1", "Start Sensor", central);
    Button2 = makeButton("Button2", "Konfiguration", central);
    Button3 = makeButton("Button3", "quittieren", central);
    Button4 = makeButton("Button4", "COM-Port-Manager", central);
    Button2->setVisible(false);
    Button4->setVisible(false);
    Edit1 = new QComboBox(central);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEditable(true);
    Edit1->setVisible(false);
    Testmode = makeCheckBox("Testmode", QStringLiteral("Testmode"), central);
    Testmode->setVisible(false);
    for (QWidget *w :
         {static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button3), static_cast<QWidget *>(Button2),
          static_cast<QWidget *>(Button4), static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Testmode)})
        buttons->addWidget(w);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TFR2U_Radadu::Button1Interactive);
    connect(Button2, &QPushButton::clicked, this, &TFR2U_Radadu::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFR2U_Radadu::Button3Click);

    Listbox = new QPlainTextEdit(central);
    Listbox->setObjectName(QStringLiteral("Listbox"));
    Listbox->setReadOnly(true);
    Listbox->setToolTip(Text8::toQString(Text8::cp(StationTexts::ListboxHint)));
    Listbox->setVisible(false);
    layout->addWidget(Listbox);

    // The interval fields, shown with the activity list; IntervallLeft comes
    // on first use (TFR2U_Radadu_Reporting.cpp).
    auto *interval = new QHBoxLayout;
    IntervallLabel = new QLabel(Text8::toQString(Text8::cp("nächste")), central);
    IntervallLabel2 = new QLabel(QStringLiteral("Meldung"), central);
    IntervallLabel3 = new QLabel(QStringLiteral("(s)"), central);
    IntervallLabel->setObjectName(QStringLiteral("IntervallLabel"));
    IntervallLabel2->setObjectName(QStringLiteral("IntervallLabel2"));
    IntervallLabel3->setObjectName(QStringLiteral("IntervallLabel3"));
    for (QLabel *l : {IntervallLabel, IntervallLabel2, IntervallLabel3}) {
        l->setVisible(false);
        interval->addWidget(l);
    }
    layout->addLayout(interval);

    Button5 = makeButton("Button5", "Button5", central);
    Button5->setVisible(false);
    Button5->setEnabled(false);
    connect(Button5, &QPushButton::clicked, this, &TFR2U_Radadu::Button5Click);
    connect(Button4, &QPushButton::clicked, this, &TFR2U_Radadu::Button4Click);
    EditT->installEventFilter(this);
    Edit1->installEventFilter(this);
    if (Edit1->lineEdit())
        Edit1->lineEdit()->installEventFilter(this);
    connect(Edit1, &QComboBox::editTextChanged, this, &TFR2U_Radadu::Edit1Change);
    buildMenu();

    setCentralWidget(central);
    // Never narrower than the menu bar with all its commands: a narrow
    // window would hide "Proxy" behind the bar's overflow button. The width
    // is a minimum of the layout, not of the central widget: a minimum set on
    // the widget would stand for the layout's, and the window would not grow
    // when the limit labels do (it squeezed the value fields and cut the
    // labels until it was shown again).
    const QMargins margins = layout->contentsMargins();
    interval->addItem(new QSpacerItem(menuBar()->sizeHint().width() - margins.left() - margins.right(), 0,
                                      QSizePolicy::MinimumExpanding, QSizePolicy::Minimum));
    setAutoFillBackground(true);
    setWindowColour(Colours::ActiveBorder);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(15000);
    connect(Timer1, &QTimer::timeout, this, &TFR2U_Radadu::Timer1Timer);
    Timer1->start();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(15000);
    connect(Timer2, &QTimer::timeout, this, &TFR2U_Radadu::Timer2Timer);
    Timer2->start();

    Timer4 = new QTimer(this);
    Timer4->setObjectName(QStringLiteral("Timer4"));
    Timer4->setInterval(2000);
    connect(Timer4, &QTimer::timeout, this, &TFR2U_Radadu::Timer4Timer);

    Timer5 = new QTimer(this);
    Timer5->setObjectName(QStringLiteral("Timer5"));
    Timer5->setInterval(5000);
    connect(Timer5, &QTimer::timeout, this, &TFR2U_Radadu::Timer5Timer);

    setPlatform(systemPlatform());
}

StationPlatform TFR2U_Radadu::systemPlatform()
{
    StationPlatform p = StationPlatform::system();
    p.beep = [] { QApplication::beep(); };
    // The message loop ends every box that is open in it; a box shown
    // before the loop runs (from the main window's creation) is closed here.
    p.quit = [] {
        QCoreApplication::quit();
        StationMessageBox::closeOpenBoxes();
    };
    return p;
}

void TFR2U_Radadu::setPlatform(StationPlatform platform)
{
    if (platform.notices != &m_boxes) {
        m_boxes.setPresenter(platform.notices);
        platform.notices = &m_boxes;
    }
    m_core->setPlatform(platform);
}

void SaveStationConfigFiles(TFR2U_Radadu &window)
{
    SaveStationConfigFiles(
        window.core().config, [&window] { return Text8::fromQString(window.Edit1->currentText()); },
        window.messageBoxes());
}

TFR2U_Radadu::~TFR2U_Radadu()
{
    m_startup.windowGone();
    m_viewer.setRemoteTarget(nullptr);
}

bool TFR2U_Radadu::addStatusListLine(const QByteArray &text)
{
    Listbox->appendPlainText(Text8::toQString(text));
    Listbox->verticalScrollBar()->setValue(Listbox->verticalScrollBar()->maximum());
    return true;
}

void TFR2U_Radadu::clearStatusList()
{
    Listbox->clear();
    Listbox->verticalScrollBar()->setValue(0);
}

void TFR2U_Radadu::setLastError(const QByteArray &text, const QColor &colour)
{
    showBoundedText(LastErrorLabel, Text8::toQString(text));
    m_core->mirror.LastErrorCaption = text;
    setLastErrorColour(colour);
}

void TFR2U_Radadu::setLastErrorColour(const QColor &colour)
{
    setColour(LastErrorLabel, QPalette::WindowText, colour);
}

QLineEdit *TFR2U_Radadu::valueEdit(ValueDisplay field) const
{
    switch (field) {
    case ValueDisplay::T:
        return EditT;
    case ValueDisplay::TP:
        return EditTP;
    case ValueDisplay::T_TP:
        return EditT_TP;
    case ValueDisplay::RH:
        return EditRH;
    case ValueDisplay::CpuTemp:
        return EditCpuTemp;
    }
    return EditT;
}

void TFR2U_Radadu::setValueText(ValueDisplay field, const QByteArray &text)
{
    valueEdit(field)->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setValueColour(ValueDisplay field, const QColor &fontColour)
{
    setColour(valueEdit(field), QPalette::Text, fontColour);
}

void TFR2U_Radadu::setValueBackground(ValueDisplay field, const QColor &colour)
{
    setColour(valueEdit(field), QPalette::Base, colour);
}

void TFR2U_Radadu::setLastConnectionText(const QByteArray &text)
{
    showBoundedText(LabelLastConnection, Text8::toQString(text));
}

void TFR2U_Radadu::setContactStatus(int input, bool checked, const QColor &colour)
{
    QCheckBox *box = input == 1 ? RIStat : DCStat;
    box->setChecked(checked);
    setColour(box, QPalette::Window, colour);
}

void TFR2U_Radadu::showBoundedText(QLabel *label, const QString &text)
{
    // Only the start of a long text can be shown (the tooltip shows the
    // most); measuring more is wasted.
    const int shownChars = MaxLabelChars * 4;
    static_assert(TipLineChars * TipLines >= shownChars);
    QString shown = text.left(TipLineChars * TipLines + 1);
    for (QChar &c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    const QFontMetrics metrics = label->fontMetrics();
    const int maxWidth = metrics.averageCharWidth() * MaxLabelChars;
    QString elided = shown.size() > shownChars ? shown.left(shownChars) + QChar(0x2026) : shown;
    elided = metrics.elidedText(elided, Qt::ElideRight, maxWidth);
    if (elided == shown && shown.size() == text.size()) {
        label->setText(shown);
        label->setToolTip(QString());
        return;
    }
    label->setText(elided);
    QStringList tip;
    for (int i = 0; i < TipLines && i * TipLineChars < shown.size(); ++i)
        tip.append(shown.mid(i * TipLineChars, TipLineChars));
    if (text.size() > TipLineChars * TipLines)
        tip.last() = tip.last().left(TipLineChars - 1) + QChar(0x2026);
    label->setToolTip(tip.join(QLatin1Char('\n')));
}

void TFR2U_Radadu::setWindowColour(const QColor &colour)
{
    setColour(this, QPalette::Window, colour);
}

QColor TFR2U_Radadu::windowColour() const
{
    return palette().color(QPalette::Window);
}

void TFR2U_Radadu::signalAlarmWindow(int intervalMs, bool focus)
{
    Timer5->setInterval(intervalMs);
    Timer5->start();
    setWindowColour(Colours::Red);
    Timer2->stop();
    Timer2->start();
    hide();
    show();
    if (focus)
        activateWindow();
}

bool TFR2U_Radadu::alarmSignalled() const
{
    return Timer5->isActive();
}

bool TFR2U_Radadu::FormClose()
{
    // Each box restarts Timer1 before it shows. A box the supervision tick
    // closes gives No, its escape button: the close is refused.
    const auto yes = [this](const char *question) {
        return m_core->notify(Text8::cp(question), NoticeButtons::YesNoDefaultNo) == NoticeAnswer::Yes;
    };
    return yes(StationTexts::QuitQuestion) && yes(StationTexts::QuitSureQuestion);
}

void TFR2U_Radadu::closeEvent(QCloseEvent *event)
{
    // Every end of the program sets TerminateRequested before it asks the
    // message loop to end, and ending the loop closes the windows: that
    // close asks nothing.
    if (m_core->state.TerminateRequested.load()) {
        event->accept();
        return;
    }
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // Hiding or closing a window never ends the program by itself (the
    // program body switches that off); a confirmed close does, like every
    // other end.
    m_core->state.TerminateRequested = true;
    m_core->quit();
}

void TFR2U_Radadu::Timer2Timer()
{
    // One-shot hiding of the window; commands re-arm the timer. The notice
    // is closed by the next supervision tick when nobody answers it.
    Timer2->stop();
    Timer2->setInterval(1000000);
    restartTimer1();
    if (isVisible() && !isMinimized())
        m_core->notify(Text8::cp(SupervisionTexts::HidingMessage));
    hideToTray();
}

void TFR2U_Radadu::Timer4Timer()
{
    // The port list is fresh while the port box has the focus.
    Timer4->stop();
    EnumCOMPorts();
    if (Edit1->view() && Edit1->view()->isVisible()) {
        Edit1->hidePopup();
        Edit1->showPopup();
    }
    Timer4->start();
}

void TFR2U_Radadu::Timer5Timer()
{
    // The alarm marker re-arms itself and has no other effect.
    Timer5->stop();
    Timer5->start();
}
