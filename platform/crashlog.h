#pragma once
// A fatal signal (segmentation fault, abort, floating-point error, bus error) leaves
// "Fatal signal N (NAME)" and a backtrace behind, then ends the program as the signal would.
// The handler uses only async-signal-safe calls: the log's name is known and the backtrace code
// loaded beforehand, so it only opens, writes and closes. Function names need the program linked
// with its symbols exported (-rdynamic); functions local to a file show as addresses.
//
// Depends on nothing but the C library, so the server uses it too.
#include <string>

// Installs the handler for the four signals. The report goes to standard error and, when logFile
// is not empty, is appended to that file (a POSIX path; created when missing at the time of the
// crash, so a log erased meanwhile is written afresh).
void InstallCrashHandler(const std::string& logFile = std::string());
