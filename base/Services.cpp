#include "base/Services.h"

#include <cstdlib>

namespace vornic {
namespace {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class RealProcessControl final : public ProcessControl {
public:
    void exitProcess(int code) override { std::exit(code); }
};

Services makeDefaults() {
    static SystemClock clock;
    static RealProcessControl process;
    Services s;
    s.clock = &clock;
    s.process = &process;
    return s;
}

} // namespace

Services& services() {
    static Services current = makeDefaults();
    return current;
}

} // namespace vornic
