// A loadable module that exports no interface factory.
#include "tools/standins/standin_export.h"

STANDIN_EXPORT int NoFactoryPresent()
{
    return 1;
}
