#include "exithook.h"

#include "displaylink.h"

#include <atomic>
#include <cstdlib>

namespace tikvor {
namespace {

std::atomic<DisplayLink*> linkAtExit = nullptr;

} // namespace

void finishLinesAtExit(DisplayLink* link)
{
    static const bool registered = [] {
        std::atexit([] {
            // Inside exit(): only the line side, which needs nothing of the window system.
            if (DisplayLink* l = linkAtExit.exchange(nullptr)) {
                if (LineSender* sender = l->lineSender()) {
                    sender->finish();
                    sender->waitFinished(DisplayLink::StopLimitMs);
                }
            }
        });
        return true;
    }();
    (void)registered;
    linkAtExit = link;
}

void forgetAtExit(DisplayLink* link)
{
    linkAtExit.compare_exchange_strong(link, nullptr);
}

} // namespace tikvor
