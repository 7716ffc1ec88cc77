#include "backend.h"

EffectBackend &EffectBackend::current()
{
    static EffectBackend native;
    return native;
}
