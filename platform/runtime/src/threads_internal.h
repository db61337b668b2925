#pragma once
// Hooks between the runtime's start-up and its thread management.

namespace rt::detail {

// Makes the calling thread thread 1 with its per-thread data and the
// runtime lock, before the module initialisers run.
void PrepareMainThread();
// Runs thread 1's start hook once the runtime has started.
void RunMainStartHook();
// Undoes PrepareMainThread after a failed start.
void AbandonMainThread();
// Runs thread 1's exit hook, discards its per-thread data and releases the
// runtime lock.
void EndMainThread();

}  // namespace rt::detail
