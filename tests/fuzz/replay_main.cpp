// SPDX-License-Identifier: Apache-2.0
// Runs the fuzz target once per file without the fuzzer: the corpus replay of
// the ordinary build. Arguments are files or folders; a folder gives every
// file below it whose name ends in ".x", leaving out the folders named
// "expected" (the end-to-end cases keep their expected output there), so the
// replay reads the seed corpus and the end-to-end inputs where they are.
// Inputs run in path order. Exits 0 when every input ran; a failed check
// aborts inside the target, and a missing folder or no input at all is an
// error too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; i++) {
    fs::path arg = fs::absolute(argv[i]);
    if (fs::is_directory(arg)) {
      for (auto entry = fs::recursive_directory_iterator(arg); entry != fs::recursive_directory_iterator();
           ++entry) {
        if (entry->is_directory() && entry->path().filename() == "expected") {
          entry.disable_recursion_pending();
        } else if (entry->is_regular_file() && entry->path().extension() == ".x") {
          inputs.push_back(entry->path());
        }
      }
    } else if (fs::is_regular_file(arg)) {
      inputs.push_back(arg);
    } else {
      std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());

  // The target silences the stdio streams on its first call; progress goes
  // to a stream of our own on the same descriptor.
  std::FILE *report = fdopen(dup(2), "w");
  if (report == nullptr) report = stderr;
  for (const fs::path &path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(report, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
    std::fprintf(report, "replay: %s (%zu bytes)\n", path.c_str(), data.size());
    std::fflush(report);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.data()), data.size());
  }
  std::fprintf(report, "replay: %zu inputs ran\n", inputs.size());
  return 0;
}
