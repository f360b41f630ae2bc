#include "bench/support/BenchSupport.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include <sys/wait.h>
#include <unistd.h>

namespace vornic::bench {

double statusMegabytes(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(qstrlen(key))).trimmed().split(' ').constFirst().toDouble() / 1024.0;
    return 0;
}

bool inChildProcess(const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        int code = 0;
        try {
            work();
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "failed: %s\n", failure.what());
            code = 1;
        } catch (...) {
            std::fprintf(stderr, "failed\n");
            code = 1;
        }
        std::fflush(nullptr);
        std::exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace vornic::bench
