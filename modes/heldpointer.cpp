#include "modes/heldpointer.h"

#include "platform/backendchoice.h"

void HeldPointerNote::effectStarted()
{
    if (seenTo)
        return;
    seenTo = true;
    // The effect programs start with this program's environment, and so make
    // the same choice.
    if (!backend::choose(backend::currentSession()).holdsPointer)
        return;
    emit announced(tr("Prompt"),
        tr("On this desktop an effect holds the pointer while it is on: it follows the pointer, and the "
           "pen's page keys still reach the slides, but clicks stop at the effect until the pen goes "
           "back to normal use."));
}
