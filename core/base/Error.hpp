// The engine's one error type.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

/// The engine's one error type. Its message is composed by the thrower,
/// already localised, and is shown unchanged; `code` says why to a caller
/// that recovers from some causes.
struct OstrevaneError : std::exception {
    std::string message;
    /// The errno behind the failure; 0 when there is none (a refusal by a rule, a bad input).
    int code = 0;
    explicit OstrevaneError(std::string message, int code = 0) : message(std::move(message)), code(code) {}
    /// The system's own text for `code`, carrying it.
    static OstrevaneError fromErrno(int code) { return OstrevaneError(std::strerror(code), code); }
    const char* what() const noexcept override { return message.c_str(); }
};
