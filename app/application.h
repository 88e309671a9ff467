#pragma once

// Start-up, the run of the main window and the exit. Returns the process's exit code.
int RunApplication(int argc, char** argv);
