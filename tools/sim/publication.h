// Where and how a simulated transmitter publishes its port for the program's
// discovery on Linux: a symbolic link named NAME-PID to its terminal, in a
// folder of the user's own that discovery trusts (see link/posix/publish_folder.h
// for what it trusts).
#ifndef CORVELLE_TOOLS_SIM_PUBLICATION_H
#define CORVELLE_TOOLS_SIM_PUBLICATION_H

#include <string>

namespace sim {

// Makes `folder` (mode 0700) unless it exists. Empty on success, else why the
// folder cannot be trusted to publish in.
std::string MakePrivateFolder(const std::string& folder);

// The link's path for a simulator called `name` in `folder`: NAME-PID, which
// is how discovery recognises a published simulator and tells a running one
// from one that has ended.
std::string PublishedPath(const std::string& folder, const std::string& name);

// Points the link at `terminal`, replacing any earlier link in one step so
// that it never dangles between terminals. The link's modification time is
// the moment of publication on the monotonic clock, which discovery orders
// ports by. Throws std::system_error.
void Publish(const std::string& linkPath, const std::string& terminal);

}  // namespace sim

#endif
