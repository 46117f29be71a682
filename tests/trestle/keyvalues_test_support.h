// Captures what the block pool and key-values code write: assertion lines on
// the debugger output of the calling thread, and spew messages/warnings on
// standard output.
#pragma once

#include "tests/support/assert_test_support.h"

#include <gtest/gtest.h>

#include <string>

// Standard output between construction and Take().
class CKvStdoutCapture
{
public:
    CKvStdoutCapture() { testing::internal::CaptureStdout(); }
    ~CKvStdoutCapture()
    {
        if (!m_bTaken) testing::internal::GetCapturedStdout();
    }
    std::string Take()
    {
        m_bTaken = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool m_bTaken = false;
};

#define KV_SRC_MEMPOOL "..\\trestle\\mempool"
#define KV_SRC_SYSTEM "keyvaluessystem"
#define KV_SRC_KEYVALUES "KeyValues"
