#pragma once

#include <memory>
#include <utility>

namespace xlt::core {

/// A token that callbacks can check: guard(f) returns a function that calls f only while the
/// owner of this Lifetime still exists. Results of device requests come back later, possibly
/// after the object that asked has gone; a guarded callback then does nothing.
class Lifetime
{
public:
    Lifetime() = default;
    Lifetime(const Lifetime &) = delete;
    Lifetime &operator=(const Lifetime &) = delete;

    template<typename F> auto guard(F f) const
    {
        return [alive = std::weak_ptr<const char>(m_token), f = std::move(f)](auto &&...args) {
            if (alive.lock())
                f(std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<const char> m_token = std::make_shared<const char>('\0');
};

} // namespace xlt::core
