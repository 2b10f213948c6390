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
            if (last)
                last();
        });
        return true;
    }();
    (void)registered;
    const std::lock_guard lock(mutex);
    atExit = std::move(finish);
}

} // namespace tikvor
