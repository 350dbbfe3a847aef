// Requests a host may post to the active run from any thread.
#pragma once

namespace trelm {

enum class RunRequest { Suspend, Resume, End };

// Posts the request to the active run's window; nothing outside a run.
void postRunRequest(RunRequest request);

}  // namespace trelm
