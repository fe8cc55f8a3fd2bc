// The one way tests replace what a service does. Each replaceable service
// keeps its operations in one `Hooks` struct whose static `active()` holds the
// set in force, the real operations unless a test changed them. A test
// changes them only through a ScopedHooks, which puts the previous set back
// when it goes out of scope, so no test leaks a replacement into the next.
#pragma once

#include <utility>

template <class Hooks>
class ScopedHooks {
public:
    ScopedHooks() : saved(Hooks::active()) {}
    /// Puts `replacement` in force in place of the whole set.
    explicit ScopedHooks(Hooks replacement) : ScopedHooks() { Hooks::active() = std::move(replacement); }
    ~ScopedHooks() { Hooks::active() = std::move(saved); }
    ScopedHooks(const ScopedHooks&) = delete;
    ScopedHooks& operator=(const ScopedHooks&) = delete;

    /// The set in force, to change member by member for the life of this object.
    Hooks* operator->() const { return &Hooks::active(); }
    Hooks& operator*() const { return Hooks::active(); }
    /// The set that was in force before this object, to call through to.
    const Hooks& previous() const { return saved; }

private:
    Hooks saved;
};
