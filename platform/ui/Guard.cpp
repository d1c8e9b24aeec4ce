#include "platform/ui/Guard.h"

#include "platform/AppError.h"
#include "platform/ui/Application.h"

#include <exception>

namespace Guard {

void reportCurrentException() noexcept
{
    try {
        try {
            throw;
        } catch (const AppError& e) {
            Application::reportError(e.text());
        } catch (const std::exception& e) {
            Application::reportError(QString::fromUtf8(e.what()));
        } catch (...) {
            Application::reportError(QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // The box itself failed (out of memory, most likely): nothing more can be shown, and
        // letting this through would end the process from inside Qt.
    }
}

} // namespace Guard
