// Which application each depot belongs to, as the application queries learnt
// it. Filled by QuernEnumerateApp; read by the update-stats query and by the
// file layer's mounting.
#pragma once

#include "quern2wrapper/clientinterfaces.h"

// Records that `depotId` belongs to `appId`; an existing entry is replaced, so
// the last enumeration wins. The map is process-wide and is never cleared.
void DepotAppMap_Set(QuernDepotId depotId, QuernAppId appId);
// True, with *pAppId set, when the depot has been seen in an application's
// depot list; otherwise *pAppId is left alone. pAppId may be null.
bool DepotAppMap_Find(QuernDepotId depotId, QuernAppId* pAppId);
// Number of depots recorded.
int DepotAppMap_Count();
