// heronstandin: the stand-in HERON server as a program.
//   heronstandin [--port N] [--upload-dir DIR] [--serve-dir DIR] [--answer-delay-ms MS]
//                [--chunk-size N] [--frame-interval-ms MS] [--filler-frames N] [--answer-wait-ms MS]
// Listens on 127.0.0.1 (port 2000 unless told otherwise), stores uploads
// below the upload directory (a record, error or log file that arrives again
// is appended to the one stored), serves requested files from the serve
// directory and prints one line per frame and answer it receives. With
// --answer-delay-ms it answers every frame that late, as a server on a slow
// link does. The last four say how requested files are sent: data frames of
// N bytes (1-752, default 752), a pause before each frame, N empty frames of
// a type the station does not know after the length frame (a server that
// crawls), and how long the stand-in waits for the station's answer to a
// frame before it sends the frame again (default 2000).

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
    QCommandLineOption chunkOpt(QStringLiteral("chunk-size"),
                                QStringLiteral("Payload bytes per data frame of a served file, 1-752 (default 752)."),
                                QStringLiteral("n"), QStringLiteral("752"));
    QCommandLineOption intervalOpt(QStringLiteral("frame-interval-ms"),
                                   QStringLiteral("Pause before each frame of a served file (default 0)."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    QCommandLineOption fillerOpt(QStringLiteral("filler-frames"),
                                 QStringLiteral("Empty frames of an unknown type after a served file's length "
                                                "frame (default 0)."),
                                 QStringLiteral("n"), QStringLiteral("0"));
    QCommandLineOption answerWaitOpt(QStringLiteral("answer-wait-ms"),
                                     QStringLiteral("Wait for the station's answer to a frame of a served file "
                                                    "before sending it again (default 2000)."),
                                     QStringLiteral("ms"), QStringLiteral("2000"));
    parser.addOptions({portOpt, uploadOpt, serveOpt, delayOpt, chunkOpt, intervalOpt, fillerOpt, answerWaitOpt});
    parser.process(app);

    HeronStandin server;
    QDir().mkpath(parser.value(uploadOpt));
    server.setUploadDir(QDir(parser.value(uploadOpt)).absolutePath());
    server.setServeDir(QDir(parser.value(serveOpt)).absolutePath());
    server.setAnswerDelayMs(parser.value(delayOpt).toInt());
    HeronStandin::ServeOptions serving;
    serving.chunkSize = parser.value(chunkOpt).toInt();
    serving.frameIntervalMs = parser.value(intervalOpt).toInt();
    serving.fillerFrames = parser.value(fillerOpt).toInt();
    serving.answerTimeoutMs = parser.value(answerWaitOpt).toInt();
    server.setServeOptions(serving);
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
