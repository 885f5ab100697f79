#pragma once
// The headless mode for scheduled runs where no display exists:
//   importarfac --headless [--pause-ms N]
// loads the settings as the window's creation does, connects as its first activation does,
// then runs the import at once whatever the unattended flag holds. Every box's text goes to
// standard error as one line and no box waits; a short summary goes to standard output.
// Exit status: 0 when the run reached its normal end, 1 when a failure stopped the
// connection or the run or no connection could be made, 2 for a bad command line.
namespace app {

// True when the command line asks for the headless mode.
bool wantsHeadless(int argc, char** argv);
int runHeadless(int argc, char** argv);

}  // namespace app
