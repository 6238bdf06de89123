#include "Clock.h"

#include <chrono>

namespace tessik {

TimePoint now() {
    using namespace std::chrono;
    const auto ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(ns) / 1e9;
}

} // namespace tessik
