#pragma once

#include <concepts>
#include <exception>
#include <utility>

class QString;

namespace vetu
{

// The program's handler of errors that no code handles; the program then goes on. Call it from
// inside a catch block or with a captured exception. It runs the installed handler: by default
// ShowUnexpectedErrorBox; the program itself installs the crash-report library's.
void ReportUnexpectedError(std::exception_ptr error);
using UnexpectedErrorHandler = void (*)(std::exception_ptr error);
void SetUnexpectedErrorHandler(UnexpectedErrorHandler handler); // null: the error box
// An error box captioned "Vetu" with the error's message.
void ShowUnexpectedErrorBox(std::exception_ptr error);
// The message shown for an error: what() of a std::exception, a fixed text otherwise.
QString UnexpectedErrorMessage(std::exception_ptr error);

// Wraps a handler connected to a widget's signal so that an exception it raises reaches
// ReportUnexpectedError here instead of unwinding through the toolkit's own frames.
template <typename Handler> auto Guarded(Handler handler)
{
    // The constraint lets the toolkit find how many of a signal's arguments the handler takes.
    return [handler = std::move(handler)](
        auto &&...args) requires std::invocable<const Handler &, decltype(args)...>
    {
        try {
            handler(std::forward<decltype(args)>(args)...);
        } catch (...) {
            ReportUnexpectedError(std::current_exception());
        }
    };
}

} // namespace vetu
