#include "agent/ResultRelay.hpp"

void ResultRelay::Handle::post(std::function<void()> job) const {
    std::lock_guard guard(state->lock);
    if (!state->open) return;
    // The job checks again when it runs: the owner may end while it waits in the queue.
    state->dispatcher->post([state = state, job = std::move(job)] {
        if (state->open) job();
    });
}

ResultRelay::ResultRelay(Dispatcher& dispatcher) : state(std::make_shared<State>()) { state->dispatcher = &dispatcher; }

ResultRelay::~ResultRelay() {
    std::lock_guard guard(state->lock);
    state->open = false;
    state->dispatcher = nullptr;
}
