#pragma once
#include <gtest/gtest.h>

// Skips a test whose input this clone lacks. scripts/test.sh collects the "not run:"
// reason from GoogleTest's XML, names the test in its summary and, with CI=true, fails.
#define TARVIK_SKIP_MISSING(what) GTEST_SKIP() << "not run: needs " << (what)
