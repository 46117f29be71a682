// The process-wide depot-to-application map.
#include "quern2wrapper/depotappmap.h"

#include "trestle/utlsortedtree.h"

namespace
{
struct DepotAppPair
{
    QuernDepotId m_nDepotId;
    QuernAppId m_nAppId;
};

bool DepotLess(const DepotAppPair& a, const DepotAppPair& b)
{
    return a.m_nDepotId < b.m_nDepotId;
}

// Built on first use, so that nothing depends on the order of static
// initialisation; it lives for the process and is never cleared.
CUtlSortedTree<DepotAppPair>& DepotAppMap()
{
    static CUtlSortedTree<DepotAppPair> s_map(DepotLess);
    return s_map;
}
} // namespace

void DepotAppMap_Set(QuernDepotId depotId, QuernAppId appId)
{
    CUtlSortedTree<DepotAppPair>& map = DepotAppMap();
    DepotAppPair pair = {depotId, appId};
    int i = map.Find(pair);
    if (i != map.InvalidIndex())
        map.Element(i).m_nAppId = appId;
    else
        map.Insert(pair, false);
}

bool DepotAppMap_Find(QuernDepotId depotId, QuernAppId* pAppId)
{
    CUtlSortedTree<DepotAppPair>& map = DepotAppMap();
    DepotAppPair key = {depotId, 0};
    int i = map.Find(key);
    if (i == map.InvalidIndex()) return false;
    if (pAppId) *pAppId = map.Element(i).m_nAppId;
    return true;
}

int DepotAppMap_Count()
{
    return DepotAppMap().Count();
}
