// Release of counted objects.
#include "foundation/ref.h"

void OxRelease(OxRef* object)
{
    if (object == nullptr)
        return;
    object->refCount -= 1;
    if (object->refCount < 1)
        delete object;
}
