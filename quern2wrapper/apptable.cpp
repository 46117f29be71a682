// The built-in application table.
#include "quern2wrapper/apptable.h"

#include "trestle/strtools.h"

const QuernAppRow BuiltInAppTable[QUERN_BUILTIN_APP_COUNT] = {
    {8600, "Strategy Game"},
    {8610, "Strategy Game Dedicated Server"},
    {8640, "Strategy Game Expansion One"},
    {8641, "Strategy Game Expansion One Content"},
    {8650, "Strategy Game Expansion Two"},
    {8660, "Strategy Game Expansion Three"},
    {8690, "Strategy Game Campaign Pack"},
    {44620, "Adventure Game"},
    {44621, "Adventure Game Dedicated Server"},
    {44630, "Adventure Game Expansion One"},
    {44631, "Adventure Game Expansion One Content"},
    {44650, "Racing Game"},
    {44651, "Racing Game Expansion"},
    {44660, "Puzzle Game"},
    {44661, "Puzzle Game Expansion"},
    {44670, "Sports Game"},
    {44671, "Sports Game Expansion"},
    {44680, "Flight Game"},
    {44681, "Flight Game Expansion"},
    {44683, "Flight Game Mission Pack"},
    {44711, "Arcade Game Collection"},
};

QuernAppRow UnknownAppRow;

const QuernAppRow* LookupAppRow(QuernAppId appId)
{
    for (const QuernAppRow& row : BuiltInAppTable)
        if (row.m_nAppId == appId) return &row;
    UnknownAppRow.m_nAppId = appId;
    V_BoundedFormat(UnknownAppRow.m_szTitle, sizeof(UnknownAppRow.m_szTitle), "Quern App %u",
                    appId);
    return &UnknownAppRow;
}
