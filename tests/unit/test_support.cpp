// SPDX-License-Identifier: Apache-2.0
#include "test_support.h"

TestInput::TestInput(Scanner &scanner, const std::string &text) : stream_(std::tmpfile()) {
  EXPECT_NE(stream_, nullptr);
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::rewind(stream_);
  start_scan(scanner, stream_, "test.x");
}

TestInput::~TestInput() {
  if (stream_ != nullptr) std::fclose(stream_);
}
