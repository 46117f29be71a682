// The applications this library serves, with their titles.
#pragma once

#include "quern2wrapper/clientinterfaces.h"

constexpr int QUERN_APP_TITLE_SIZE = 64;
constexpr int QUERN_BUILTIN_APP_COUNT = 21;

struct QuernAppRow
{
    QuernAppId m_nAppId;
    char m_szTitle[QUERN_APP_TITLE_SIZE];
};

extern const QuernAppRow BuiltInAppTable[QUERN_BUILTIN_APP_COUNT];
// Answer for ids outside the table; rewritten by every such lookup.
extern QuernAppRow UnknownAppRow;

// The first table row with that id, else UnknownAppRow filled for it.
const QuernAppRow* LookupAppRow(QuernAppId appId);
