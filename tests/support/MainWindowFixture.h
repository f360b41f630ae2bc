#pragma once

#include "app/ClientSession.h"
#include "db/DataSet.h"
#include "support/TestDatabase.h"
#include "support/TestServices.h"
#include "ui/main/Glav_form.h"

#include <gtest/gtest.h>

#include <memory>

namespace vornic::test {

// Points the program's data folder at a temporary folder for the object's lifetime.
class ScopedDataHome final {
public:
    explicit ScopedDataHome(const QString& home) : previous_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", home.toLocal8Bit());
    }
    ~ScopedDataHome() { qputenv("XDG_DATA_HOME", previous_); }
    Q_DISABLE_COPY_MOVE(ScopedDataHome)

private:
    QByteArray previous_;
};

// A main window on a fresh database of its own, with every desktop contact replaced by a test double.
class MainWindowTest : public ::testing::Test {
protected:
    ScopedTestServices services;
    TestDatabase fixture;
    ScopedDataHome home{fixture.dataHome()};
    std::unique_ptr<ClientSession> session;
    std::unique_ptr<TForm1> window;

    void openWindow() {
        session = std::make_unique<ClientSession>(fixture.folder());
        window = std::make_unique<TForm1>(session->context());
        ASSERT_TRUE(window->FormCreate());
        window->resize(1200, 700);
    }

    WindowContext& context() { return session->context(); }
    DataSet& objects() { return window->IBDataSet1(); }
    DataSet& readings() { return window->IBDataSet2(); }
};

} // namespace vornic::test
