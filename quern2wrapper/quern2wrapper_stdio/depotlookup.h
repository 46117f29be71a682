// Which application a depot belongs to, as the application queries learnt it.
#pragma once

#include "quern2wrapper/clientinterfaces.h"

// True, with *pAppId set, when the depot has been seen in an application's
// depot list; otherwise *pAppId is left alone.
bool LookupDepotApp(QuernDepotId depotId, QuernAppId* pAppId);
