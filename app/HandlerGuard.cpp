#include "app/HandlerGuard.h"

#include "app/TextFormat.h"
#include "app/UiPrompts.h"

#include <QString>

void HandlerGuard::report(UiPrompts &prompts, const std::string &message) noexcept
{
    try {
        prompts.showError(QString::fromStdString(TextFormat::errorText(message)));
    } catch (...) {
        // A failing error display must not take the event loop down with it.
    }
}
