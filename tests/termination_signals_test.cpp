#include "app/TerminationSignals.h"
#include "db/Database.h"
#include "support/TestDatabase.h"

#include <QTest>

#include <csignal>

#include <gtest/gtest.h>

// The database client takes SIGTERM for itself once a connection is open; the program's own handling must win,
// and must give the signal back when it is gone.
TEST(TerminationSignals, ATerminationRequestReachesTheUserInterfaceThreadInsteadOfTheDatabaseClient) {
    vornic::test::TestDatabase fixture; // a connection is open, as in the running program
    int requests = 0;
    {
        vornic::TerminationSignals termination([&] { ++requests; });
        ::raise(SIGTERM);
        QTRY_COMPARE(requests, 1);
        ::raise(SIGINT);
        QTRY_COMPARE(requests, 2);
        EXPECT_TRUE(fixture.db().isConnected());
        EXPECT_EQ(fixture.value(QStringLiteral("SELECT COUNT(*) FROM LIST_OBJECTS")).toInt(), 0)
            << "the connection still works";
    }
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_NE(current.sa_handler, SIG_IGN);
}
