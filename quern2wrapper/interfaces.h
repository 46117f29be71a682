// The versioned interface objects handed out by _f ("Quern003" to
// "Quern006"). Their operations forward to the exports of the same meaning.
#pragma once

#include "quern2wrapper/interfaces_slots.h"
#include "quern2wrapper/quern_export.h"

// The newest interface: 150 slots; the implementation adds slot 150.
class IQuernInterface
{
public:
    QI_DECLARE_SLOT0
    QI_SLOTS_001_015(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOT_016_V006(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOTS_017_043(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    virtual int QuernStartEngine(TQuernError* pError) = 0;
    QI_SLOTS_045_064(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOT_065_V005(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOTS_066_090(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOT_091_V006(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOTS_092_121(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_DECLARE_OWN_122_125
    QI_SLOTS_126_127(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_SLOTS_128_134(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_DECLARE_OWN_135_137
    QI_SLOTS_138_148(QI_DECLARE_OP, QI_DECLARE_STUB, QI_DECLARE_GAP)
    QI_DECLARE_OWN_149

protected:
    // Objects are never destroyed through this type (slot 0 stands for that).
    ~IQuernInterface() = default;
};

// Operation table sizes, slot 0 included.
constexpr int QUERN_INTERFACE006_SLOTS = 151;
constexpr int QUERN_INTERFACE005_SLOTS = 135;
constexpr int QUERN_INTERFACE004_SLOTS = 128;
constexpr int QUERN_INTERFACE003_SLOTS = 122;

// The interface factory: the object of version "Quern003" to "Quern006"
// (exact, case-sensitive), else null. The first call creates all four
// objects, whatever the name.
QUERN_EXPORT void* _f(const char* pszVersion);

// Whether the four objects exist (the first _f call made them).
bool QuernInterfacesCreated();
