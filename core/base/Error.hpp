// The engine's one error type.
#pragma once

#include <stdexcept>
#include <string>

/// The engine's one error type. Its message is composed by the thrower,
/// already localised, and is shown unchanged.
struct OstrevaneError : std::exception {
    std::string message;
    explicit OstrevaneError(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }
    const std::string& description() const { return message; }
    const std::string& errorDescription() const { return message; }
};
