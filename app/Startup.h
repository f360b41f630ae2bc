#pragma once

namespace vornic {

// Brings the program up, runs it until the main window closes, and returns the process exit code.
int runClient(int argc, char** argv);

} // namespace vornic
