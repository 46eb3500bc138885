// Helpers that let a test feed text to the front end and observe how a run
// would end, without ending the test process.
#pragma once

#include <string>

// Thrown in place of ending the process.
struct RunEnded {
  int status;
};

// Resets all generator state, makes the exit path throw RunEnded, and makes
// `text` the input of a pass named "test.x".
void start_input(const std::string &text);

// Runs `step`, expecting it to end the run; returns the status and puts
// what it wrote to standard error into `error_output`.
#include <gtest/gtest.h>

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
