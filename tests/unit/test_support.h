// SPDX-License-Identifier: Apache-2.0
// Helpers that let a test feed text to the front end and observe how a run
// would end.
#pragma once

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "rpc_diag.h"
#include "rpc_scan.h"

// Makes `text` the input of a pass named "test.x" for scanner. The input
// stays open while this lives; the scanner may be looked at afterwards.
class TestInput {
 public:
  TestInput(Scanner &scanner, const std::string &text);
  ~TestInput();
  TestInput(const TestInput &) = delete;
  TestInput &operator=(const TestInput &) = delete;

 private:
  std::FILE *stream_;
};

// Runs `step`, expecting it to end the run; returns the status and puts
// what it wrote to standard error into `error_output`.
template <typename Step>
int expect_run_end(Step step, std::string &error_output) {
  testing::internal::CaptureStderr();
  int status = -1;
  try {
    step();
  } catch (const RunEnded &end) {
    status = end.status;
  }
  error_output = testing::internal::GetCapturedStderr();
  return status;
}
