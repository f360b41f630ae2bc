#include "app/Startup.h"

#include "app/ClientEnd.h"
#include "app/ClientSession.h"
#include "app/TerminationSignals.h"
#include "base/DataFolder.h"
#include "base/DeliveredDatabase.h"
#include "base/LocalTimeZone.h"
#include "base/Services.h"
#include "db/EngineLockFolder.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/WidgetServices.h"
#include "ui/main/About_program.h"
#include "ui/main/Glav_form.h"
#include "ui/objects/Editor_bd.h"
#include "ui/objects/Service.h"
#include "ui/readings/Problem_object.h"
#include "ui/reports/Expense_reports.h"
#include "ui/reports/Generate_reports.h"
#include "ui/reports/Generate_reports_all.h"
#include "ui/reports/Notrespondentsscanners.h"
#include "ui/update/Updatesoftware.h"

#include <QApplication>
#include <QIcon>

namespace vornic {
namespace {

// The last net of the general error report: a failure that escapes an event handler is shown, and the event
// loop goes on with the next event.
class ClientApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        bool handled = false;
        reportFailures([&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

} // namespace

ClientWindows::ClientWindows(QString dataFolder) : session(std::make_unique<ClientSession>(std::move(dataFolder))) {}

ClientWindows::~ClientWindows() {
    // The windows go before the session they were given.
    form13.reset();
    form11.reset();
    form10.reset();
    form9.reset();
    form8.reset();
    form7.reset();
    form6.reset();
    form4.reset();
    form3.reset();
    form1.reset();
}

std::unique_ptr<ClientWindows> createClientWindows(const QString& dataFolder) {
    auto windows = std::make_unique<ClientWindows>(dataFolder);
    windows->form1 = std::make_unique<TForm1>(windows->session->context());
    if (!windows->form1->FormCreate())
        return nullptr;
    windows->form3 = std::make_unique<TForm3>(windows->session->context(), windows->form1->IBDataSet1());
    windows->form4 = std::make_unique<TForm4>(windows->session->context());
    windows->form6 = std::make_unique<TForm6>(windows->session->context().services);
    windows->form7 = std::make_unique<TForm7>(windows->session->context());
    windows->form8 = std::make_unique<TForm8>(windows->session->context(), windows->form1->IBDataSet1());
    // The update check starts here; it switches Timer1 off and on again only for a newer version.
    TForm1* form1 = windows->form1.get();
    windows->form9 = std::make_unique<TForm9>(windows->session->context(), windows->form6->LVersionText(),
                                              TForm9::MainWindow{form1, form1->Timer1()});
    windows->form10 = std::make_unique<TForm10>(windows->session->context());
    windows->form11 = std::make_unique<TForm11>(windows->session->context());
    windows->form13 = std::make_unique<TForm13>(windows->session->context());
    // Timer1, which shows the update window, stays off until an update check has found a newer version.
    windows->form1->attachWindows({windows->form3.get(), windows->form4.get(), windows->form6.get(),
                                   windows->form7.get(), windows->form8.get(), windows->form9.get(),
                                   windows->form10.get(), windows->form11.get(), windows->form13.get()});
    return windows;
}

int runClientWindows(std::unique_ptr<ClientWindows> windows, ClientEnd& end) {
    TForm1* mainWindow = windows->form1.get();
    end.setMainWindow(mainWindow);
    QObject::connect(mainWindow, &TForm1::closed, mainWindow, [&end] { end.exitProcess(0); });
    // Asked to end from outside: the same end as the operator's. Kept until the windows and the session have
    // gone, so that a second request meanwhile reaches no handler of the database client's.
    const TerminationSignals termination([&end] { end.exitProcess(0); });
    // The end comes from ClientEnd alone: the update window, shown or hidden, keeps nothing up.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!end.requested()) {
        mainWindow->showMaximized();
        QApplication::exec();
    }
    windows.reset();
    return end.code();
}

int runClient(int argc, char** argv) {
    settleLocalTimeZone();
    ClientApplication application(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    // The installed menu entry and icon, so that the task bar shows the program as the menu does.
    QGuiApplication::setDesktopFileName(QStringLiteral("vornic-client"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vornic-client")));
    installWidgetServices();
    ClientEnd end;
    const bool ran = reportFailures([&] {
        const QString folder = dataFolder();
        // Before the database engine starts: it reads where its lock files go once.
        settleEngineLockFolder(folder);
        // A workstation's first start: the data folder gets the database an installer would have put there.
        provideDeliveredDatabase(folder, deliveredDatabaseFile());
        std::unique_ptr<ClientWindows> windows = createClientWindows(folder);
        if (windows)
            runClientWindows(std::move(windows), end);
    });
    return ran ? end.code() : 1;
}

} // namespace vornic
