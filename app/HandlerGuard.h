#pragma once

#include <exception>
#include <string>
#include <utility>

class UiPrompts;

// The edge of every event handler: whatever a handler throws is shown with the standard
// error display and goes no further, so nothing escapes into Qt's event loop.
class HandlerGuard
{
public:
    template<typename Handler> static void run(UiPrompts &prompts, Handler &&handler) noexcept
    {
        try {
            std::forward<Handler>(handler)();
        } catch (const std::exception &error) {
            report(prompts, error.what());
        } catch (...) {
            report(prompts, std::string()); // not an error object: shown with an empty text
        }
    }

    // Shows message with the standard error display; never throws.
    static void report(UiPrompts &prompts, const std::string &message) noexcept;
};
