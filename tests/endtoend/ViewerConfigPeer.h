#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QTcpSocket>

// A viewer played by an end-to-end test against the real station's viewer
// port, on the calling thread.

// The viewer side of one remote configuration: "<CONFIG>", sent again each
// time the station answers "<REPEAT>" (it took the "<CONFIG>" as the answer
// to a measurement text that crossed it), until it answers "OK"; then the 17
// texts, each answered; then the texts of the next complete measurement
// message, each answered "OK".
inline QByteArrayList sendConfiguration(quint16 port, const QByteArrayList &texts, int timeoutMs)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000))
        return {};
    const auto read = [&s](int waitMs) {
        if (s.bytesAvailable() == 0)
            s.waitForReadyRead(waitMs);
        return s.readAll();
    };
    const auto write = [&s](const QByteArray &t) {
        s.write(t);
        s.waitForBytesWritten(2000);
    };
    QElapsedTimer t;
    t.start();
    write("<CONFIG>");
    QByteArray answer;
    for (;;) {
        if (t.elapsed() > timeoutMs)
            return {};
        answer += read(1000);
        if (answer.endsWith("<REPEAT>")) {
            answer.clear();
            write("<CONFIG>");
        } else if (answer.endsWith("OK")) {
            break;
        }
    }
    for (const QByteArray &text : texts) {
        write(text);
        if (read(5000) != "OK")
            return {};
    }
    QByteArrayList message;
    while (message.size() < 24 && t.elapsed() < timeoutMs) {
        const QByteArray text = read(1000);
        if (text.isEmpty())
            continue;
        if (text == "<ANFANG>")
            message.clear();
        message.append(text);
        write("OK");
    }
    return message;
}

// The texts of the station's next complete measurement message, each
// answered "OK"; empty when none came within timeoutMs.
inline QByteArrayList nextMessage(quint16 port, int timeoutMs)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000))
        return {};
    QElapsedTimer t;
    t.start();
    QByteArrayList message;
    bool begun = false;
    while (message.size() < 24 && t.elapsed() < timeoutMs) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(1000))
            continue;
        const QByteArray text = s.readAll();
        if (text == "<ANFANG>") {
            message.clear();
            begun = true;
        }
        if (begun)
            message.append(text);
        s.write("OK");
        s.waitForBytesWritten(2000);
    }
    return message.size() == 24 ? message : QByteArrayList();
}
