#include "bench/support/BenchDesktop.h"

#include <cstdio>
#include <utility>

namespace vornic::bench {

void BenchHome::settle() const {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", path().toLocal8Bit());
    qputenv("HOME", path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", filePath(QStringLiteral(".config")).toLocal8Bit());
}

BenchDesktop::BenchDesktop(QString folder, QDateTime now)
    : folder_(std::move(folder)), now_(std::move(now)), replaced_(services()) {
    services() = Services{this, this, this, this, this, {}};
}

BenchDesktop::~BenchDesktop() {
    services() = replaced_;
}

QString BenchDesktop::saveFileName(const QString&, const QString& initialName, const QString& extension) {
    lastSaved_ = folder_ + u'/' + initialName + extension;
    return lastSaved_;
}

void BenchDesktop::exitProcess(int code) {
    std::fprintf(stderr, "exit %d asked\n", code);
}

void BenchDesktop::print(const QString& text) {
    ++messages_;
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
}

} // namespace vornic::bench
