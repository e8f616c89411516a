#include "TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <csignal>
#include <vector>

namespace {

void (*handlerOf(int signal))(int)
{
    struct sigaction current = {};
    sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

TEST(TerminationSignals, TheFirstIsReportedOnTheEventLoopAndAnyOtherEndsTheProgram)
{
    const auto earlier = std::signal(SIGHUP, SIG_IGN);
    {
        TerminationSignals termination;
        ASSERT_TRUE(termination.installed());
        std::vector<int> received;
        QObject::connect(&termination, &TerminationSignals::received, [&](int number) { received.push_back(number); });

        std::raise(SIGTERM);
        EXPECT_TRUE(received.empty()) << "reported in the handler, not on the event loop";
        QCoreApplication::processEvents();
        EXPECT_EQ(received, std::vector<int>{SIGTERM});
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) EXPECT_EQ(handlerOf(signal), SIG_DFL) << "signal " << signal;
    }
    EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN) << "the earlier handler is back";
    std::signal(SIGHUP, earlier);
}

} // namespace
