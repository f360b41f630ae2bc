#pragma once

#include <QString>

#include <memory>

class TForm1;
class TForm3;
class TForm4;
class TForm6;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class TForm11;
class TForm13;

namespace vornic {

class ClientEnd;
class ClientSession;

// The program's windows that are made once at start-up. The loading window and the reading editor are made
// anew at each opening by the main window and are not among them. The session is declared first, so that it
// outlives every window; the main window goes after the others.
struct ClientWindows {
    explicit ClientWindows(QString dataFolder);
    ~ClientWindows();
    Q_DISABLE_COPY_MOVE(ClientWindows)

    std::unique_ptr<ClientSession> session;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm6> form6;
    std::unique_ptr<TForm7> form7;
    std::unique_ptr<TForm8> form8;
    std::unique_ptr<TForm9> form9;
    std::unique_ptr<TForm10> form10;
    std::unique_ptr<TForm11> form11;
    std::unique_ptr<TForm13> form13;
};

// Makes the session on the data folder and the windows, hidden, in the order of their class names. Empty when
// the database could not be opened: the operator has been told, and the process end has been asked for with
// exit code 1.
std::unique_ptr<ClientWindows> createClientWindows(const QString& dataFolder);

// Shows the main window and runs the program until the end is asked of end, whichever way, then lets the windows
// and the session go; returns the exit code asked for.
int runClientWindows(std::unique_ptr<ClientWindows> windows, ClientEnd& end);

// Brings the program up, runs it until the main window closes, and returns the process exit code.
int runClient(int argc, char** argv);

} // namespace vornic
