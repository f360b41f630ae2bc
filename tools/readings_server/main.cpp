#include "tools/readings_server/ReadingsServer.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdlib>
#include <stdexcept>

// readings_server [options]: a readings server on 127.0.0.1 with made-up readings, for trying the client out and
// for the benchmarks. Runs until it is killed.
int main(int argc, char** argv) {
    // Pictures are drawn with shapes only, so no platform plugin and no GUI application object are needed.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local readings server on 127.0.0.1"));
    parser.addHelpOption();
    const auto number = [](const char* name, const char* description, int value) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description), QStringLiteral("N"),
                                  QString::number(value));
    };
    const vornic::ReadingsServer::Options defaults;
    const QCommandLineOption port = number("port", "Port to listen on; 0 takes a free one.", 8080);
    const QCommandLineOption scanners = number("scanners", "Number of scanners.", defaults.scanners);
    const QCommandLineOption days = number("days", "Days of readings up to today.", defaults.days);
    const QCommandLineOption firstScanner =
        number("first-scanner", "Modem id of the first scanner.", defaults.firstScanner);
    const QCommandLineOption pictureBytes =
        number("picture-bytes", "Pad every picture to about N bytes; 0 leaves them as they are.", 0);
    const QCommandLineOption seed = number("seed", "Seed of the made-up readings.", int(defaults.seed));
    const QCommandLineOption encoding(QStringLiteral("encoding"),
                                      QStringLiteral("Encoding of the readings answer: utf-8 or windows-1251."),
                                      QStringLiteral("NAME"), defaults.encoding);
    const QCommandLineOption updateFolder(QStringLiteral("update-folder"),
                                          QStringLiteral("Folder served under Software_Update/."),
                                          QStringLiteral("DIR"));
    const QCommandLineOption updatePieceDelay =
        number("update-piece-delay", "Send update files in 64 KB pieces N ms apart; 0 sends them at once.", 0);
    const QCommandLineOption latency =
        number("latency-ms", "Hold every answer N ms before its first byte, as a distant server does.", 0);
    parser.addOptions(
        {port, scanners, days, firstScanner, encoding, pictureBytes, seed, updateFolder, updatePieceDelay, latency});
    parser.process(app);

    const auto integer = [&](const QCommandLineOption& option) {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < 0) {
            err << "readings server: --" << option.names().constFirst() << " needs a whole number\n";
            err.flush();
            std::exit(2);
        }
        return value;
    };

    vornic::ReadingsServer::Options options;
    options.scanners = integer(scanners);
    options.days = integer(days);
    options.firstScanner = integer(firstScanner);
    options.pictureBytes = integer(pictureBytes);
    options.seed = quint32(integer(seed));
    options.encoding = parser.value(encoding);
    options.updateFolder = parser.value(updateFolder);
    options.updatePieceDelayMs = integer(updatePieceDelay);
    options.latencyMs = integer(latency);

    try {
        vornic::ReadingsServer server(options);
        server.start(integer(port));
        out << "readings server: " << server.baseAddress() << Qt::endl;
        return app.exec();
    } catch (const std::exception& failure) {
        err << "readings server: " << failure.what() << Qt::endl;
        return 1;
    }
}
