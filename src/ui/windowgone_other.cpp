#include "windowgone.h"

namespace tikvor {

void onWindowDestroyed(QWidget*, std::function<void()>) {}

} // namespace tikvor
