#pragma once

#include <utility>

// The guard at every entry from Qt into our code (slots, timer ticks, event overrides). Qt does not
// let an exception cross its own frames, so each entry catches whatever its handler throws, shows
// it in the application's error box and returns normally; the message loop goes on.
// Application::notify() remains only as the last safety net.
namespace Guard {

// Shows the exception being handled in the error box. Call only inside a catch block.
void reportCurrentException() noexcept;

// Runs the handler under the guard. Returns false when it threw (the error has been shown).
template <typename Handler>
bool run(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

// A functor for connect() that runs the handler, which takes no arguments, under the guard.
template <typename Handler>
auto slot(Handler handler)
{
    return [handler = std::move(handler)]() mutable { run(handler); };
}

// The same for a member function, which takes the signal's arguments.
template <typename Object, typename... Args>
auto slot(Object* object, void (Object::*handler)(Args...))
{
    return [object, handler](Args... args) { run([&] { (object->*handler)(std::forward<Args>(args)...); }); };
}

} // namespace Guard
