// The language server: JSON-RPC messages in, diagnostics and answers out. It keeps the open
// documents in memory and checks each from there after it changes.
#pragma once

#include "format/output.h"
#include "lsp/message_reader.h"
#include "lsp/repair_worker.h"

namespace delimcheck::lsp {

// The client's messages could not be read: errno.
struct read_failure {
    int error;
};

// A message could not be written to the client: errno. Thrown to the process's edge, which
// ends the server: a client that cannot be told anything is gone.
struct write_failure {
    int error;
};

// Serves until the exit notification or the end of the input; returns the exit status: 0 when
// a shutdown request came before, 1 otherwise. A failed write throws write_failure, a failed
// read read_failure.
// Each change's reports are published at once from a check without the repair search, then
// again with it: on a thread of its own when `background` is set, at once otherwise. That
// thread waits for `pause` without a change before it searches a text.
// With `leave_on_exit`, for a process that ends when this returns, the exit notification
// leaves the search thread to end with the process rather than waiting for it; a caller that
// serves again (a fuzzer) says false.
int serve(byte_input &in, format::destination &out, bool background = false,
          std::chrono::milliseconds pause = typing_pause, bool leave_on_exit = true);

} // namespace delimcheck::lsp
