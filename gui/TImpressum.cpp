#include "gui/TImpressum.h"

#include "common/Text8.h"
#include "gui/TFR2U_Radadu.h"
#include "platform/Shell.h"
#include "station/VersionText.h"

#include <QEvent>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *makeLabel(const char *name, const QString &text, bool bold, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

} // namespace

TImpressum::TImpressum(TFR2U_Radadu *mainWindow, QWidget *parent)
    : QDialog(parent)
    , m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("Impressum"));
    setWindowTitle(QStringLiteral("Impressum"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(255, 255, 255)); // clBtnHighlight
    setPalette(p);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Logo = new QLabel(this);
    Logo->setObjectName(QStringLiteral("Logo"));
    Logo->setAlignment(Qt::AlignHCenter);
    QImageReader reader(QStringLiteral(":/gui/Logo.jpg"));
    const QImage logo = reader.read();
    if (!logo.isNull())
        Logo->setPixmap(QPixmap::fromImage(logo));
    layout->addWidget(Logo);

    Label1 = makeLabel("Label1", QStringLiteral("ZAV-Sensor"), true, this);
    VersionsLabel = makeLabel("VersionsLabel", Text8::toQString(VersionText::versionsLabel()), true, this);
    Label3 = makeLabel("Label3", QStringLiteral("ein Produkt der"), false, this);
    auto *maker = makeLabel("LabelMaker", QStringLiteral("Klimawarte"), true, this);
    Label4 =
        makeLabel("Label4", QStringLiteral("weitere Infos finden Sie unter folgenden Links:"), false, this);
    Label6 = makeLabel("Label6", QString::fromLatin1(FirstAddress), true, this);
    Label2 = makeLabel("Label2", QString::fromLatin1(SecondAddress), true, this);
    for (QLabel *link : {Label6, Label2}) {
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        QPalette lp = link->palette();
        lp.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(lp);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    for (QWidget *w :
         {static_cast<QWidget *>(Label1), static_cast<QWidget *>(VersionsLabel),
          static_cast<QWidget *>(Label3), static_cast<QWidget *>(maker), static_cast<QWidget *>(Label4),
          static_cast<QWidget *>(Label6), static_cast<QWidget *>(Label2)})
        layout->addWidget(w);

    Button1 = new QPushButton(Text8::toQString(Text8::cp("Schließen")), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    connect(Button1, &QPushButton::clicked, this, &TImpressum::Button1Click);
    Button1->setFocus();

    if (m_mainWindow)
        m_mainWindow->Impressum = this;
}

TImpressum::~TImpressum()
{
    if (m_mainWindow && m_mainWindow->Impressum == this)
        m_mainWindow->Impressum = nullptr;
}

void TImpressum::Button1Click()
{
    if (m_mainWindow && m_mainWindow->Timer1)
        m_mainWindow->Timer1->setInterval(5000);
    done(QDialog::Accepted);
}

void TImpressum::Label6DblClick(QLabel *label)
{
    // Without a browser nothing visible happens.
    DesktopShell shell;
    shell.open(label->text(), {}, {}, Shell::Show::Normal);
}

bool TImpressum::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick && (watched == Label6 || watched == Label2)) {
        Label6DblClick(static_cast<QLabel *>(watched));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
