#include "exithook.h"

#include <cstdlib>
#include <mutex>
#include <utility>

namespace tikvor {
namespace {

std::mutex mutex;
std::function<void()> atExit;

} // namespace

void finishAtExit(std::function<void()> finish)
{
    static const bool registered = [] {
        std::atexit([] {
            std::function<void()> last;
            {
                const std::lock_guard lock(mutex);
                last = std::exchange(atExit, {});
            }
            if (!last)
                return;
            last();
            // Whatever exit() was asked for (Qt's xcb plugin asks for 1), the line is at rest now,
            // as after every other end, and the status says so alike. What is left of the exit
            // handlers belongs to a window system that is gone.
            std::_Exit(0);
        });
        return true;
    }();
    (void)registered;
    const std::lock_guard lock(mutex);
    atExit = std::move(finish);
}

} // namespace tikvor
