#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace vornic {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};

int g_wakeFd[2] = {-1, -1};
struct sigaction g_previous[kSignals.size()];

// Only async-signal-safe work here: one byte down the pipe, read on the user-interface thread.
extern "C" void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_wakeFd[0], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), onRequest_(std::move(onRequest)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_wakeFd) != 0)
        return; // the program then ends on these signals as the libraries decide
    notifier_ = new QSocketNotifier(g_wakeFd[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        [[maybe_unused]] const auto read = ::read(g_wakeFd[1], bytes, sizeof bytes);
        if (onRequest_)
            onRequest_();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_wakeFd[0]);
    ::close(g_wakeFd[1]);
    g_wakeFd[0] = g_wakeFd[1] = -1;
}

} // namespace vornic
