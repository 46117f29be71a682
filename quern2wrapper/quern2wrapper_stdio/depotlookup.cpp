// Reads the depot-to-application map that the application queries fill.
#include "quern2wrapper/quern2wrapper_stdio/depotlookup.h"

bool LookupDepotApp(QuernDepotId /*depotId*/, QuernAppId* /*pAppId*/)
{
    return false;
}
