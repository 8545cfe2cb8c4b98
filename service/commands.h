// The three things dravont-service does from its command line: serve, list
// the store, and put a message straight into an inbox.
#pragma once

#include <string>

#include "command_line.h"

namespace dravont_service {

// Opens the store, listens, prints the port as the first line of standard
// output, serves until SIGINT or SIGTERM. Returns the exit status.
int runService(const CommandLine& line);

// The store as text: participants, address book, inboxes, archives,
// rejected messages with their reasons, folder archives, parameters.
std::string describeStore(const std::string& storeDirectory);

// Writes the message into each recipient's inbox. Returns "" and the new
// message id, or the reason it failed.
std::string sendDirect(const std::string& storeDirectory, const SendRequest& request, std::string& id);

}  // namespace dravont_service
