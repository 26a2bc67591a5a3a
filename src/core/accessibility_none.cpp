#include "accessibility.h"

#include "accessibility_p.h"

namespace accessibility::platform {

void stateChanged(QWidget *, QAccessible::State)
{
    // Qt's own event is all there is to tell.
}

} // namespace accessibility::platform

namespace accessibility {

void offerToLateScreenReaders() {}

} // namespace accessibility
