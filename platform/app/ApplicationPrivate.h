#pragma once

#include <memory>

namespace BPrivate {

class LooperPort;

// The applications of this team, by signature, so that a messenger for the
// signature of an application in the same process posts straight into its
// queue instead of going through its socket (where a synchronous message
// from its own thread would wait for itself).
std::shared_ptr<LooperPort> find_local_application(const char* signature);

}	// namespace BPrivate
