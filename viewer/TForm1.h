#pragma once

#include "viewer/ViewerMessageBox.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The connection-test form ("Proxy konfigurieren und testen", Form1): proxy
// settings of the viewer, kept in its own proxyconfig.cfg, and two tests
// through the chosen proxy: a login at the HERON server and a plain HTTP
// request. Both tests run on the GUI thread and block it until they end
// (the work is ConnectionTest's). FormActivate runs each time the form is shown.
class TForm1 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);

    // proxyconfig.cfg in the working folder unless told otherwise.
    void setProxyFilePath(const QString &path) { m_proxyFile = path; }
    // Message windows (the main window hooks its Timer1 restart in here).
    ViewerMessageBox &messages() { return m_messages; }

    // The form's checksum rule: the byte sum of the frame with the checksum
    // byte at 0, times 255; the low byte is the checksum.
    static quint8 FrameChecksum(const QByteArray &frame);
    // The 23-byte login frame built with it.
    static QByteArray loginFrame();

    // Handlers.
    void FormCreate();
    void FormActivate();
    void ButtonHERONTestClick();
    void ButtonHTTPTestClick();
    void RBhttpClick();
    void RBSocksClick();
    void httpportChange();
    void heronportChange();
    void Panel1Click();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runTest(QPushButton *button, const QString &portText, bool login);
    void showMessage(const QString &text);
    static void normalisePort(QLineEdit *edit, const char *fallback);

    ViewerMessageBox m_messages;
    QString m_proxyFile;

    QLineEdit *TBxProxyIP = nullptr;
    QLineEdit *TBxProxyPort = nullptr;
    QLineEdit *TBxName = nullptr;
    QLineEdit *TBxPasswort = nullptr;
    QLineEdit *TBxDMCIP = nullptr;
    QCheckBox *CheckUseProxy = nullptr;
    QRadioButton *RBhttp = nullptr;
    QRadioButton *RBSocks = nullptr;
    QPushButton *ButtonHTTPTest = nullptr;
    QLineEdit *httpport = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *ButtonHERONTest = nullptr;
    QLabel *Panel1 = nullptr;
    QLineEdit *heronport = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
};
