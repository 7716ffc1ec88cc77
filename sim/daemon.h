// The receiver daemon behind `quorvant-pen serve`: one Receiver, shared over
// a Unix stream socket by the preloaded hid_* functions and by the control
// commands.
#pragma once

#include <string>

namespace sim {

// Runs in the foreground until SIGINT, SIGTERM or a "stop" request. Refuses
// to start when another daemon answers on the path; takes over a socket file
// that nobody answers on. Returns the process exit code.
int serve(const std::string &socketPath, bool verbose);

} // namespace sim
