#pragma once

#include <memory>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class TForm11;
class TForm13;

namespace vornic {

// The program's windows, each made once at start-up. The main window is declared first so that it, with the
// connection it owns, goes last.
struct ClientWindows {
    ClientWindows();
    ~ClientWindows();
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm5> form5;
    std::unique_ptr<TForm6> form6;
    std::unique_ptr<TForm7> form7;
    std::unique_ptr<TForm8> form8;
    std::unique_ptr<TForm9> form9;
    std::unique_ptr<TForm10> form10;
    std::unique_ptr<TForm11> form11;
    std::unique_ptr<TForm13> form13;
};

// Makes the windows, hidden, in the order TForm1 to TForm11 and then TForm13. Empty when the database could not
// be opened: the operator has been told, and the process has been asked to end with exit code 1.
std::unique_ptr<ClientWindows> createClientWindows();

// Brings the program up, runs it until the main window closes, and returns the process exit code.
int runClient(int argc, char** argv);

} // namespace vornic
