#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TFR2U_Radadu;

// The about box: logo, product name, the program version (VersionsLabel, the
// same text the reporting thread sends), the maker and two web links. The
// Info command shows it; its button or the next supervision tick closes it.
class TImpressum : public QDialog
{
    Q_OBJECT
public:
    // Registers itself with the main window, whose supervision tick closes it.
    explicit TImpressum(TFR2U_Radadu *mainWindow = nullptr, QWidget *parent = nullptr);
    ~TImpressum() override;

    // "Schließen": the supervision tick back to 5000 ms, closed with OK.
    void Button1Click();
    // A double click on a link label opens its address in the web browser.
    void Label6DblClick(QLabel *label);
    void FormCreate() {}

    // The web addresses of the link labels.
    static constexpr char FirstAddress[] = "https://www.klimawarte.example/";
    static constexpr char SecondAddress[] = "https://www.klimawarte.example/zav-sensor/";

    QLabel *Logo = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *VersionsLabel = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Button1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TFR2U_Radadu *m_mainWindow;
};
