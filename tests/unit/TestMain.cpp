// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Test main of the unit tests: logging goes into a file of its own, so that
// tests can assert the exact lines an operation writes.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "unit/LogCapture.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  static plinth_test::ScopedTempDir log_dir("plinth-unit");
  plinth_test::ConfigureTestLog(log_dir.path().string());
  return RUN_ALL_TESTS();
}
