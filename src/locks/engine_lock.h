// The one lock of the library: it keeps the exported AES-128 engine's calls
// (whose round keys and chaining value are process-wide) from overlapping.
// A plain mutex, taken by a pthread_atfork prepare handler and released in
// parent and child, so a fork never leaves it held in the child.
//
// A call that finds its own thread already inside the engine (a signal
// handler that interrupted an engine call, or the app's fork handlers
// while such a handler forks) never touches the lock or the shared state:
// it is told to run on state of its own. Calls from the app's fork
// handlers on a thread whose fork holds the lock go through on the shared
// state, which no call is changing then.
//
// Nothing runs at load; the fork handlers are installed by the first call.
#ifndef PELM_LOCKS_ENGINE_LOCK_H
#define PELM_LOCKS_ENGINE_LOCK_H

namespace pelm {

enum class EngineEntry {
  kShared,  // this thread may use the shared state until leave_engine
  kNested,  // this thread is inside the engine already: hands off the shared state
};

EngineEntry enter_engine();
void leave_engine(EngineEntry entry);

}  // namespace pelm

#endif
