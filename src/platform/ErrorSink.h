#pragma once

#include <functional>
#include <string>

namespace platform {

// Layers below the application (settings store, sound, command parser) report
// problems they recover from here; the application routes them into its error
// log. Until a handler is installed, reports go to standard error.
// The handler is only ever called on the thread that reports, so code that
// reports from a worker thread must hop to the GUI thread itself.
using ErrorHandler = std::function<void(const std::string& address, const std::string& port,
                                        const std::string& message)>;

void SetErrorHandler(ErrorHandler handler);
void ReportError(const std::string& address, const std::string& port, const std::string& message);
inline void ReportError(const std::string& message) { ReportError({}, {}, message); }

}  // namespace platform
