// heronstandin: the stand-in HERON server as a program.
//   heronstandin [--port N] [--upload-dir DIR] [--serve-dir DIR] [--answer-delay-ms MS]
// Listens on 127.0.0.1 (port 2000 unless told otherwise), stores uploads
// below the upload directory (a record, error or log file that arrives again
// is appended to the one stored), serves requested files from the serve
// directory and prints one line per frame and answer it receives. With
// --answer-delay-ms it answers every frame that late, as a server on a slow
// link does.

#include "HeronStandin.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t g_quit = 0;
void onSignal(int)
{
    g_quit = 1;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in HERON server on 127.0.0.1"));
    parser.addHelpOption();
    QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("TCP port (default 2000)."),
                               QStringLiteral("port"), QStringLiteral("2000"));
    QCommandLineOption uploadOpt(QStringLiteral("upload-dir"), QStringLiteral("Where uploads are stored."),
                                 QStringLiteral("dir"), QStringLiteral("heron-uploads"));
    QCommandLineOption serveOpt(QStringLiteral("serve-dir"), QStringLiteral("Where requested files are taken from."),
                                QStringLiteral("dir"), QStringLiteral("heron-files"));
    QCommandLineOption delayOpt(QStringLiteral("answer-delay-ms"),
                                QStringLiteral("Answer every frame this many milliseconds late (default 0)."),
                                QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({portOpt, uploadOpt, serveOpt, delayOpt});
    parser.process(app);

    HeronStandin server;
    QDir().mkpath(parser.value(uploadOpt));
    server.setUploadDir(QDir(parser.value(uploadOpt)).absolutePath());
    server.setServeDir(QDir(parser.value(serveOpt)).absolutePath());
    server.setAnswerDelayMs(parser.value(delayOpt).toInt());
    server.setObserver([](const HeronStandin::Received &r) {
        if (r.isAnswer)
            std::printf("answer %s\n", r.raw.toHex(' ').constData());
        else
            std::printf("frame type %u, %lld bytes%s: %s\n", unsigned(r.type), qlonglong(r.payload.size()),
                        r.checksumOk ? "" : " (checksum wrong)", r.payload.left(64).toHex(' ').constData());
        std::fflush(stdout);
    });
    if (!server.start(quint16(parser.value(portOpt).toUInt()))) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%s\n", qPrintable(parser.value(portOpt)));
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!g_quit)
        QThread::msleep(100);
    server.stop();
    return 0;
}
