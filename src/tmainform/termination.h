#pragma once
// How the program ends when it is not the user who closes it.
//
// SIGTERM, SIGINT and SIGHUP (kill, logout, terminal closed) close the main window the
// normal way: off bus, port closed, window position saved. Open dialogs are cancelled
// first, and again while the close waits, because the close cannot proceed while a
// modal loop runs.
//
// When the display connection is lost, the windowing layer ends the process with exit()
// from inside the event loop; an exit handler then still takes the adapter off bus and
// closes the port, touching no window.
namespace tarvik {

class TMainForm;

// Installs the signal handlers; form must outlive the event loop.
void InstallTerminationHandler(TMainForm& form);

// Registers form for the exit handler (installed once); nullptr withdraws it again.
void SetFormForExit(TMainForm* form);

// Cancels every visible dialog, as the user could with Escape.
void RejectOpenDialogs();

}  // namespace tarvik
