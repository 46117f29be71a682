// Source names the containers report their assertions under.
#pragma once

#include "tests/support/assert_test_support.h"

#define UTL_SRC_MEMORY "..\\trestle\\utlmemory"
#define UTL_SRC_VECTOR "..\\trestle\\utlvector"
#define UTL_SRC_RBTREE "..\\trestle\\utlrbtree"
#define UTL_SRC_STRING "..\\trestle\\utlstring"
