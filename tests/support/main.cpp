#include "base/DataFolder.h"
#include "db/EngineLockFolder.h"

#include <QApplication>

#include <gtest/gtest.h>

// Every test runs inside one application object, so that windows and widgets can be built and driven.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The engine's lock files go where the client's would, and the database tools the tests start go there too.
    vornic::settleEngineLockFolder(vornic::dataFolder());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
