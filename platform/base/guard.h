#pragma once
// The one way a call behind a C or COM boundary keeps exceptions inside: what
// `body` throws becomes what `fail` makes of it. `fail` is given the exception's
// text, or null when memory ran out (when no text can be made either); it must not
// throw.

#include <exception>
#include <new>
#include <utility>

namespace ospreon {

template <class Body, class Fail>
auto CatchAll(Body&& body, Fail&& fail) noexcept -> decltype(std::forward<Body>(body)())
{
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return fail(nullptr);
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("an exception of unknown type");
    }
}

} // namespace ospreon
