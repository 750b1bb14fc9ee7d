#include "HeronStandin.h"

#include "common/FrameChecksum.h"
#include "common/LoginFrame.h"
#include "common/Text8.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

const QByteArray kAnswerStart("\x01\x01\x01\x01", 4);
const QByteArray kAnswerHeader("\x01\x01\x01", 3);

constexpr quint8 kOpen = 1, kData = 2, kClose = 3, kFileRequest = 10, kFileLength = 22, kText = 27;
// A type no station knows: such a frame is answered and moves nothing.
constexpr quint8 kFiller = 5;

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

} // namespace

QString HeronStandin::mapName(const QString &dir, const QByteArray &serverName)
{
    const QString name = Text8::toQString(serverName);
    if (name.isEmpty() || name.startsWith(QLatin1Char('\\')) || name.startsWith(QLatin1Char('/'))
        || name.contains(QLatin1Char(':')) || name.contains(QChar(0)))
        return {};
    QStringList parts = name.split(QRegularExpression(QStringLiteral("[\\\\/]")));
    for (const QString &p : parts)
        if (p.isEmpty() || p == QLatin1String(".") || p == QLatin1String(".."))
            return {};
    return QDir(dir).filePath(parts.join(QLatin1Char('/')));
}

bool HeronStandin::appendsOnArrival(const QByteArray &serverName)
{
    const QStringList parts = Text8::toQString(serverName).split(QRegularExpression(QStringLiteral("[\\\\/]")));
    if (parts.size() < 2)
        return false;
    const QString folder = parts.first().toLower();
    return folder == QLatin1String("data") || folder == QLatin1String("sensorlogfile");
}

QByteArray HeronStandin::encodeFrame(quint8 type, const QByteArray &payload)
{
    int total = int(payload.size()) + 3;
    quint8 t = type;
    if ((type & 0x3F) == kData && total > 255) {
        if (total - 250 <= 255) {
            t |= 0x80;
            total -= 250;
        } else {
            t |= 0xC0;
            total -= 500;
        }
    }
    QByteArray f;
    f.append(char(total & 0xFF));
    f.append('\0');
    f.append(char(t));
    f.append(payload);
    f[1] = char(FrameChecksum(f));
    return f;
}

QByteArray HeronStandin::dosDateTime(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    const quint32 v = quint32(d.year() - 1980) << 25 | quint32(d.month()) << 21 | quint32(d.day()) << 16
                      | quint32(t.hour()) << 11 | quint32(t.minute()) << 5 | quint32(t.second() / 2);
    return le32(v);
}

class HeronStandin::Worker : public QThread
{
public:
    // --- shared with the owner, under m_mutex ---
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    QList<Received> m_received;
    QList<Upload> m_uploads;
    QList<Served> m_served;
    std::deque<Reaction> m_reactions;
    ServeOptions m_serve;
    QMap<QByteArray, ServeOptions> m_serveFor;
    QString m_uploadDir;
    QString m_serveDir;
    bool m_requireLogin = true;
    int m_answerDelayMs = 0;
    std::function<void(const Received &)> m_observer;
    int m_connections = 0;
    bool m_open = false;

    // start-up hand-shake
    quint16 m_wantPort = 0;
    quint16 m_port = 0;
    bool m_started = false;
    bool m_listening = false;

    std::atomic<bool> m_stop{false};

    void record(const Received &r)
    {
        std::function<void(const Received &)> observer;
        {
            std::lock_guard lock(m_mutex);
            m_received.append(r);
            observer = m_observer;
        }
        m_changed.notify_all();
        if (observer)
            observer(r);
    }

    void setOpen(bool open)
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = open;
            if (open)
                ++m_connections;
        }
        m_changed.notify_all();
    }

    // Records a frame and takes the reaction to it, both under one lock: the
    // frame loop pays for one lock a frame.
    Reaction recordFrame(const Received &r)
    {
        std::function<void(const Received &)> observer;
        Reaction reaction = Reaction::normal();
        {
            std::lock_guard lock(m_mutex);
            m_received.append(r);
            observer = m_observer;
            if (!m_reactions.empty()) {
                reaction = m_reactions.front();
                m_reactions.pop_front();
            }
        }
        m_changed.notify_all();
        if (observer)
            observer(r);
        return reaction;
    }

protected:
    void run() override
    {
        QTcpServer server;
        const bool ok = server.listen(QHostAddress::LocalHost, m_wantPort);
        {
            std::lock_guard lock(m_mutex);
            m_listening = ok;
            m_port = server.serverPort();
            m_started = true;
        }
        m_changed.notify_all();
        if (!ok)
            return;
        while (!m_stop) {
            if (!server.waitForNewConnection(50))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            if (!socket)
                continue;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            setOpen(true);
            serveConnection(*socket);
            socket->abort();
            setOpen(false);
        }
    }

private:
    int m_connection = 0;

    bool readExact(QTcpSocket &s, qint64 n, QByteArray &out, int timeoutMs = -1)
    {
        QElapsedTimer t;
        t.start();
        while (s.bytesAvailable() < n) {
            if (m_stop || s.state() != QAbstractSocket::ConnectedState)
                return false;
            int slice = 50;
            if (timeoutMs >= 0) {
                const qint64 left = timeoutMs - t.elapsed();
                if (left <= 0)
                    return false;
                slice = int(std::min<qint64>(slice, left));
            }
            s.waitForReadyRead(slice);
        }
        out = s.read(n);
        return true;
    }

    bool send(QTcpSocket &s, const QByteArray &bytes)
    {
        if (s.state() != QAbstractSocket::ConnectedState)
            return false;
        if (s.write(bytes) != bytes.size())
            return false;
        s.flush();
        while (s.bytesToWrite() > 0)
            if (!s.waitForBytesWritten(1000))
                return false;
        return true;
    }

    // An answer as the server sends it, behind the frame's prefix if any.
    static QByteArray answerBytes(const QByteArray &prefix, char letter)
    {
        QByteArray a;
        a.reserve(prefix.size() + kAnswerStart.size() + 1);
        a.append(prefix).append(kAnswerStart).append(letter);
        return a;
    }

    // Waits ms milliseconds, or less when the stand-in stops meanwhile.
    void pause(int ms) const
    {
        QElapsedTimer t;
        t.start();
        while (!m_stop && t.elapsed() < ms)
            QThread::msleep(std::min<qint64>(20, ms - t.elapsed()));
    }

    void stall(QTcpSocket &s)
    {
        while (!m_stop && s.state() == QAbstractSocket::ConnectedState)
            s.waitForDisconnected(50);
    }

    void serveConnection(QTcpSocket &s)
    {
        {
            std::lock_guard lock(m_mutex);
            m_connection = m_connections;
        }
        bool loggedIn = false;
        bool uploading = false;
        QByteArray uploadName;
        QByteArray uploadContent;

        for (;;) {
            QByteArray prefix;
            QByteArray header;
            if (!readExact(s, 3, header))
                return;
            if (header.startsWith("ww")) {
                prefix = header;
                if (!readExact(s, 3, header, 5000))
                    return;
            }
            if (header == kAnswerHeader) {
                QByteArray rest;
                readExact(s, 2, rest, 1000);
                Received r;
                r.connection = m_connection;
                r.isAnswer = true;
                r.raw = prefix + header + rest;
                r.letter = rest.isEmpty() ? 0 : rest.back();
                record(r);
                continue;
            }
            const int length = quint8(header[0]);
            QByteArray payload;
            if (length > 3 && !readExact(s, length - 3, payload, 5000))
                return;
            Received r;
            r.connection = m_connection;
            r.raw.reserve(prefix.size() + header.size() + payload.size());
            r.raw.append(prefix).append(header).append(payload);
            r.type = quint8(header[2]);
            r.payload = payload;
            // The sum of header and payload, without joining them first.
            r.checksumOk = quint8(FrameChecksum(header) + FrameChecksum(payload)) == 0;

            const Reaction reaction = recordFrame(r);
            switch (reaction.kind) {
            case Kind::Stall:
                stall(s);
                return;
            case Kind::Drop:
                return;
            case Kind::Silent:
                continue;
            case Kind::Answer:
                if (!send(s, answerBytes(prefix, reaction.letter)))
                    return;
                continue;
            case Kind::Normal:
            case Kind::AnswerThenDrop:
                break;
            }

            char letter = 'C';
            bool serve = false;
            QString servePath;
            if (!r.checksumOk) {
                letter = 'N';
            } else if (!loggedIn) {
                bool requireLogin;
                {
                    std::lock_guard lock(m_mutex);
                    requireLogin = m_requireLogin;
                }
                if (r.type == LoginFrame::Type && payload == LoginFrame::literal()) {
                    loggedIn = true;
                    letter = 'A';
                } else if (!requireLogin) {
                    loggedIn = true;
                }
            }
            if (r.checksumOk && loggedIn && letter == 'C') {
                switch (r.type) {
                case LoginFrame::Type:
                    letter = payload == LoginFrame::literal() ? 'A' : 'C';
                    break;
                case kText:
                    letter = 'A';
                    break;
                case kOpen: {
                    QString dir;
                    {
                        std::lock_guard lock(m_mutex);
                        dir = m_uploadDir;
                    }
                    if (!dir.isEmpty() && !mapName(dir, payload).isEmpty()) {
                        uploading = true;
                        uploadName = payload;
                        uploadContent.clear();
                        letter = 'A';
                    }
                    break;
                }
                case kData:
                    if (uploading) {
                        uploadContent.append(payload);
                        letter = 'A';
                    }
                    break;
                case kClose:
                    if (uploading) {
                        uploading = false;
                        if (store(uploadName, uploadContent))
                            letter = 'A';
                    }
                    break;
                case kFileRequest: {
                    QString dir;
                    {
                        std::lock_guard lock(m_mutex);
                        dir = m_serveDir;
                    }
                    servePath = dir.isEmpty() ? QString() : mapName(dir, payload);
                    if (!servePath.isEmpty() && QFileInfo(servePath).isFile()) {
                        letter = 'A';
                        serve = true;
                    }
                    break;
                }
                default:
                    break;
                }
            }
            int answerDelayMs;
            {
                std::lock_guard lock(m_mutex);
                answerDelayMs = m_answerDelayMs;
            }
            pause(answerDelayMs);
            // A prefixed frame is answered with the same prefix.
            if (!send(s, answerBytes(prefix, letter)))
                return;
            if (reaction.kind == Kind::AnswerThenDrop)
                return;
            if (serve && !serveFile(s, servePath, payload))
                return;
        }
    }

    bool store(const QByteArray &name, const QByteArray &content)
    {
        QString dir;
        {
            std::lock_guard lock(m_mutex);
            dir = m_uploadDir;
        }
        const QString path = mapName(dir, name);
        if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        QFile f(path);
        if (appendsOnArrival(name)) {
            // A failed append leaves the file as it was, so that the upload
            // offered again is not stored twice in part.
            if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
                return false;
            const qint64 before = f.size();
            if (f.write(content) != content.size() || !f.flush()) {
                f.resize(before);
                return false;
            }
        } else if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()
                   || !f.flush()) {
            return false;
        }
        f.close();
        {
            std::lock_guard lock(m_mutex);
            m_uploads.append({name, content});
        }
        m_changed.notify_all();
        return true;
    }

    // Reads the station's answer: 01 01 01 01 letter, or with a "ww" prefix.
    // 0 when none arrived in time.
    char readAnswer(QTcpSocket &s, int timeoutMs)
    {
        QByteArray a;
        if (!readExact(s, 5, a, timeoutMs))
            return 0;
        if (a.startsWith("ww")) {
            QByteArray rest;
            if (!readExact(s, 3, rest, timeoutMs))
                return 0;
            a += rest;
        }
        Received r;
        r.connection = m_connection;
        r.isAnswer = true;
        r.raw = a;
        r.letter = a.back();
        record(r);
        return a.back();
    }

    void recordServed(const Served &one)
    {
        {
            std::lock_guard lock(m_mutex);
            m_served.append(one);
        }
        m_changed.notify_all();
    }

    // Sends a requested file and records whether it was delivered. false
    // when the connection is to end.
    bool serveFile(QTcpSocket &s, const QString &path, const QByteArray &name)
    {
        Served one{name, {}, false};
        ServeOptions o;
        {
            std::lock_guard lock(m_mutex);
            o = m_serveFor.value(name, m_serve);
        }
        const bool keepOpen = sendFile(s, path, o, one);
        recordServed(one);
        return keepOpen;
    }

    bool sendFile(QTcpSocket &s, const QString &path, const ServeOptions &o, Served &one)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return true;
        const QByteArray content = f.readAll();
        const QDateTime modified = QFileInfo(path).lastModified();
        f.close();
        one.content = content;

        // The station first answers that it is ready.
        if (readAnswer(s, o.answerTimeoutMs) != 'A')
            return true;

        QList<QByteArray> frames;
        frames.append(encodeFrame(kFileLength, le32(quint32(content.size() + o.lengthDelta))));
        for (int i = 0; i < o.fillerFrames; ++i)
            frames.append(encodeFrame(kFiller, QByteArray()));
        const int chunk = std::clamp(o.chunkSize, 1, 752);
        for (qsizetype at = 0; at < content.size(); at += chunk)
            frames.append(encodeFrame(kData, content.mid(at, chunk)));
        frames.append(encodeFrame(kClose, o.closeDate ? dosDateTime(modified) : QByteArray()));

        int sequence = o.firstSequence;
        for (int i = 0; i < frames.size(); ++i) {
            if (i == o.dropAfterFrames)
                return false;
            if (i == o.stallAfterFrames) {
                stall(s);
                return false;
            }
            pause(o.frameIntervalMs);
            QByteArray bytes = frames[i];
            if (o.sequencePrefix)
                bytes.prepend(QByteArray("ww") + char(sequence & 0xFF));
            bool accepted = false;
            for (int sends = 0; sends < o.maxSends && !accepted; ++sends) {
                QByteArray out = bytes;
                if (i == o.breakFrame && sends == 0)
                    out[o.sequencePrefix ? 4 : 1] = char(out[o.sequencePrefix ? 4 : 1] ^ 0x55);
                if (!send(s, out))
                    return false;
                const char answer = readAnswer(s, o.answerTimeoutMs);
                if (answer == 0) {
                    if (m_stop || s.state() != QAbstractSocket::ConnectedState)
                        return false;
                    continue; // no answer: send again
                }
                if (answer != 'A')
                    return true; // the station cancelled
                accepted = true;
            }
            if (!accepted)
                return true;
            sequence = sequence == 255 ? 0 : sequence + 1;
        }
        one.delivered = true;
        return true;
    }
};

HeronStandin::HeronStandin() : m_worker(std::make_unique<Worker>()) {}

HeronStandin::~HeronStandin()
{
    stop();
}

bool HeronStandin::start(quint16 port)
{
    Worker &w = *m_worker;
    if (w.isRunning()) {
        std::lock_guard lock(w.m_mutex);
        return w.m_listening;
    }
    w.m_wantPort = port;
    w.m_stop = false;
    {
        // A restart after stop() waits for the new listen, not the old one.
        std::lock_guard lock(w.m_mutex);
        w.m_started = false;
        w.m_listening = false;
        w.m_port = 0;
    }
    w.start();
    std::unique_lock lock(w.m_mutex);
    w.m_changed.wait(lock, [&] { return w.m_started; });
    return w.m_listening;
}

void HeronStandin::stop()
{
    m_worker->m_stop = true;
    m_worker->wait();
}

quint16 HeronStandin::port() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_port;
}

void HeronStandin::setUploadDir(const QString &dir)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_uploadDir = dir;
}

void HeronStandin::setServeDir(const QString &dir)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_serveDir = dir;
}

void HeronStandin::setServeOptions(const ServeOptions &options)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_serve = options;
}

void HeronStandin::setServeOptions(const QByteArray &serverName, const ServeOptions &options)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_serveFor.insert(serverName, options);
}

void HeronStandin::setRequireLogin(bool require)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_requireLogin = require;
}

void HeronStandin::setAnswerDelayMs(int ms)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_answerDelayMs = std::max(0, ms);
}

void HeronStandin::queueReactions(const QList<Reaction> &reactions)
{
    std::lock_guard lock(m_worker->m_mutex);
    for (const Reaction &r : reactions)
        m_worker->m_reactions.push_back(r);
}

void HeronStandin::setObserver(std::function<void(const Received &)> observer)
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_observer = std::move(observer);
}

QList<HeronStandin::Received> HeronStandin::received() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_received;
}

QList<HeronStandin::Received> HeronStandin::frames() const
{
    QList<Received> out;
    for (const Received &r : received())
        if (!r.isAnswer)
            out.append(r);
    return out;
}

QList<HeronStandin::Received> HeronStandin::answers() const
{
    QList<Received> out;
    for (const Received &r : received())
        if (r.isAnswer)
            out.append(r);
    return out;
}

QList<HeronStandin::Upload> HeronStandin::uploads() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_uploads;
}

QList<HeronStandin::Served> HeronStandin::served() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_served;
}

int HeronStandin::connectionCount() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_connections;
}

bool HeronStandin::connectionOpen() const
{
    std::lock_guard lock(m_worker->m_mutex);
    return m_worker->m_open;
}

void HeronStandin::clearRecords()
{
    std::lock_guard lock(m_worker->m_mutex);
    m_worker->m_received.clear();
    m_worker->m_uploads.clear();
    m_worker->m_served.clear();
}

bool HeronStandin::waitUntil(const std::function<bool(const HeronStandin &)> &pred, int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (pred(*this))
            return true;
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0)
            return false;
        std::unique_lock lock(m_worker->m_mutex);
        m_worker->m_changed.wait_for(lock, std::chrono::milliseconds(std::min<qint64>(left, 20)));
    }
}
