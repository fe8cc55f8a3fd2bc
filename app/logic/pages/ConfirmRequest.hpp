// An operation that waits for the user's confirmation in the confirm sheet.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct ConfirmRequest {
    /// Fresh for every request, so two requests with equal texts are still two sheets.
    uint64_t id = 0;
    std::string title;    ///< already localised
    std::string message;  ///< already localised
    std::string confirm;  ///< the confirm button's label, already localised
    /// Moves to the Trash, empties it or offloads: Return never confirms it.
    bool destructive = false;
    /// Runs on the UI thread once the user confirms, after the sheet is dismissed.
    std::function<void()> action;
    /// The cancel button's label, already localised; empty for the usual "取消".
    std::string cancel;
    /// False for a sheet that only tells something: its one button closes it.
    bool cancellable = true;

    /// A request with a fresh id.
    static ConfirmRequest make(std::string title, std::string message, std::string confirm, bool destructive,
                               std::function<void()> action);
};
