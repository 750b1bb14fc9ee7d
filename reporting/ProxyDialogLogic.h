#pragma once

#include "common/Clock.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct StationConfig;

// What the proxy dialog's controls hold (texts as code-page bytes).
struct ProxyDialogFields
{
    QByteArray ProxyHost; // TBxProxyIP
    QByteArray ProxyPort; // TBxProxyPort
    QByteArray User;      // TBxName
    QByteArray PasswordBox; // TBxPasswort: the mask, empty or typed text
    bool UseProxy = false; // useproxy
    bool Http = false;     // RBhttp checked (else RBSocks)
};

// The proxy dialog without its widgets: loading proxyconfig.cfg into the
// live settings and the controls, the checks and the save, the password
// mask, and the connection test (a login at the HERON server through the
// chosen proxy). Main thread only; the live settings are written without
// the shared-data semaphore.
class ProxyDialogLogic
{
public:
    // config: the live settings (its Proxy member, and the server it tests).
    explicit ProxyDialogLogic(StationConfig &config, QString path = QString());

    // The password as typed or read; the only place the dialog keeps it.
    QByteArray ProxyPasswordEntry;
    // Five characters 0xB0, shown in place of a password.
    QByteArray PasswordMask;

    // Activation: reads the file into the live settings and gives what the
    // controls show.
    ProxyDialogFields activate();

    enum class Check { Ok, NoHost, BadPort, HostNotOneLine, UserNotOneLine, PasswordNotOneLine };
    // The checks before a save or a test; the message is message(check).
    // After the address and the port: no text that goes into the file
    // (the password as ProxyPasswordEntry holds it) may hold a CR, an LF or
    // a NUL.
    Check check(const ProxyDialogFields &fields) const;
    static QByteArray message(Check check);

    // Writes proxyconfig.cfg and, when that worked, the live settings.
    // false (nothing changed, the old file whole) when the file could not
    // be written; failure, when given, then receives the message that names
    // the file and the reason.
    bool save(const ProxyDialogFields &fields, QByteArray *failure = nullptr);

    // The password box's handlers; each gives the text that the box is to
    // show when it must change.
    void passwordChanged(const QByteArray &boxText);
    std::optional<QByteArray> maskTimer(const QByteArray &boxText);
    std::optional<QByteArray> passwordExit(const QByteArray &boxText);

    // The connection test after the checks and the save: connects to the
    // server through the chosen proxy, sends the login frame once and
    // evaluates the answer. Returns the text of the message box.
    QByteArray connectionTest(const ProxyDialogFields &fields);

    // Renders answer bytes: a byte above 31 as its character, any other as
    // "#" + its number + " ".
    static QByteArray renderAnswer(const QByteArray &bytes);

    // Sounds the beep on failures and in the HTTP exchange.
    std::function<void()> beep;
    // Where the HTTP exchange pauses (tests hand a manual clock).
    Clock *clock = nullptr;
    // The time-out of each answer read (1000 ms) and the bound of the
    // connect with its proxy handshake.
    int AnswerTimeoutMs = 1000;
    int ConnectTimeoutMs = 21000;
    // Bytes of a refusal collected after the first five at most.
    static constexpr int MaxRefusalBytes = 4096;

private:
    StationConfig &m_config;
    QString m_path;
};
