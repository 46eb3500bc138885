// SPDX-License-Identifier: Apache-2.0
// Fuzz target: drives the whole of vorlith (scanner, parser, diagnostics and
// every Java writer) over arbitrary bytes, once per command line of a fixed
// set that together selects every pass mode.
//
// Each input is written to a file in a private scratch folder that is also
// the working directory, so the Java files land there. The folder is made
// under $TMPDIR and removed when the process exits normally; its folder tmp
// becomes the runs' $TMPDIR. Every run is a whole call of vorlith_main,
// which keeps nothing from one call to the next.
//
// Besides the sanitizers, the target checks what a user relies on:
//  - a long line marker line in front of the input changes neither the
//    status nor the files written (it also moves the input across the
//    boundary of the 64 KB pieces the input is read in);
//  - reading the input in pieces of a few bytes changes neither the status
//    nor the files written;
//  - every run ends with status 0, 1 or 255;
//  - no run leaves a file open, however it ends;
//  - no run leaves a temporary file behind;
//  - every Java file left on disk is complete: it starts with the header
//    and ends with the closing text of the file kind, whatever the status.
// A violation aborts, which the fuzzer records as a crash.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "rpc_main.h"

namespace {

const char *const input_name = "input.x";
const char *const temp_dir_name = "tmp";

std::string scratch_dir;
std::string scratch_real_path;  // as /proc/self/fd shows it: no link in it
std::size_t baseline_descriptors = 0;

// The number of open file descriptors of the process that lead into the
// scratch folder, where every file of a run is: the fuzzer's own files and
// those of its other threads, which come and go, are not counted.
std::size_t count_descriptors() {
  std::size_t count = 0;
  if (DIR *dir = opendir("/proc/self/fd")) {
    while (dirent *entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      char target[4096];
      const ssize_t size = readlink(link.c_str(), target, sizeof target);
      if (size <= 0) continue;
      const std::string_view path(target, static_cast<std::size_t>(size));
      const std::string &dir_path = scratch_real_path;
      if (path.size() > dir_path.size() && path.compare(0, dir_path.size(), dir_path) == 0 &&
          path[dir_path.size()] == '/')
        count++;
    }
    closedir(dir);
  }
  return count;
}

[[noreturn]] void fail_check(const std::string &what) {
  // The stdio stream stderr points at /dev/null; descriptor 2 is still the
  // real standard error that the fuzzer and the sanitizers report on.
  std::string text = "fuzz check failed: " + what + "\n";
  if (write(2, text.data(), text.size()) < 0) {
    // Nothing more to do: the abort below is the report that counts.
  }
  std::abort();
}

// The names in a folder, without "." and "..".
std::vector<std::string> list_folder(const std::string &path) {
  std::vector<std::string> names;
  if (DIR *dir = opendir(path.c_str())) {
    while (dirent *entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// Empties and removes the scratch folder at a normal exit.
void remove_scratch_dir() {
  if (scratch_dir.empty()) return;
  const std::string temp_dir = scratch_dir + "/" + temp_dir_name;
  for (const std::string &name : list_folder(temp_dir)) std::remove((temp_dir + "/" + name).c_str());
  for (const std::string &name : list_folder(scratch_dir)) std::remove((scratch_dir + "/" + name).c_str());
  if (chdir("/") != 0 || rmdir(scratch_dir.c_str()) != 0) {
    // Left behind only if something else put a folder there.
  }
}

void set_up_once() {
  if (!scratch_dir.empty()) return;
  const char *base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/vorlith-fuzz.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr || chdir(name.data()) != 0) {
    std::perror("vorlith fuzz: scratch folder");
    std::abort();
  }
  scratch_dir = name.data();
  std::atexit(remove_scratch_dir);
  const std::string temp_dir = scratch_dir + "/" + temp_dir_name;
  if (mkdir(temp_dir.c_str(), 0700) != 0 || setenv("TMPDIR", temp_dir.c_str(), 1) != 0) {
    std::perror("vorlith fuzz: temporary folder");
    std::abort();
  }
  // vorlith writes through the stdio streams; pointing them at /dev/null
  // silences it while the fuzzer and the sanitizers keep descriptor 2.
  std::FILE *sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) {
    std::perror("vorlith fuzz: /dev/null");
    std::abort();
  }
  if (std::getenv("VORLITH_FUZZ_VERBOSE") == nullptr) {
    stdout = sink;
    stderr = sink;
  }
  if (char *real = realpath(scratch_dir.c_str(), nullptr)) {
    scratch_real_path = real;
    std::free(real);
  } else {
    std::perror("vorlith fuzz: scratch folder");
    std::abort();
  }
  baseline_descriptors = count_descriptors();
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string read_file(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The Java files of one run: name to content.
using FileSet = std::map<std::string, std::string>;

// Checks every file the run left in the scratch folder, keeps its content
// in files and removes it; the input file stays for the next command line.
void check_and_clean_outputs(const std::string &header, FileSet &files) {
  for (const std::string &name : list_folder(".")) {
    if (name == input_name || name == temp_dir_name) continue;
    if (!ends_with(name, ".java")) fail_check("unexpected file left behind: " + name);
    const std::string text = read_file(name);
    // Data-type classes end with "};\n", program files with "\n}\n\n".
    if (text.compare(0, header.size(), header) != 0) fail_check("file without header: " + name);
    if (!ends_with(text, "};\n") && !ends_with(text, "\n}\n\n")) fail_check("truncated file: " + name);
    if (std::remove(name.c_str()) != 0) fail_check("cannot remove " + name);
    files[name] = text;
  }
}

int run_once(const std::vector<std::string> &args, FileSet &files,
             std::size_t piece_size = InputText::default_piece_size) {
  std::vector<std::string> words;
  words.push_back("vorlith");
  words.insert(words.end(), args.begin(), args.end());
  words.push_back(input_name);
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const int status = vorlith_main(static_cast<int>(words.size()), argv.data(), piece_size);
  std::fflush(stdout);
  std::fflush(stderr);
  if (status != 0 && status != 1 && status != 255) fail_check("exit status " + std::to_string(status));
  if (count_descriptors() != baseline_descriptors)
    fail_check("a run that ended with status " + std::to_string(status) + " left a file open");
  if (!list_folder(temp_dir_name).empty()) fail_check("a temporary file was left behind");
  check_and_clean_outputs(file_header_text(), files);
  return status;
}

// Writes the input file: padding bytes of filler, then the bytes of the
// input. The filler is one line marker line, which changes only the name
// and the line numbers the diagnostics show, and is cheap to read.
void write_input(std::string_view text, std::size_t padding) {
  std::ofstream out(input_name, std::ios::binary | std::ios::trunc);
  if (padding > 0) {
    std::string filler = "#1 ";
    filler.resize(padding - 1, 'x');
    filler.push_back('\n');
    out.write(filler.data(), static_cast<std::streamsize>(filler.size()));
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) fail_check("cannot write the input file");
}

}  // namespace

// The command lines each input is run with: no option (all five passes),
// each selecting option alone, and -i for the other name case.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  set_up_once();
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  write_input(text, 0);
  static const std::vector<std::vector<std::string>> option_sets = {
      {}, {"-c"}, {"-l"}, {"-s", "tcp"}, {"-m"}, {"-i"},
  };
  FileSet plain_files;
  int plain_status = 0;
  for (const std::vector<std::string> &options : option_sets) {
    FileSet files;
    int status = run_once(options, files);
    if (options.empty()) {
      plain_status = status;
      plain_files = std::move(files);
    }
  }

  // The pieces the input is read in, a few bytes each here, change nothing.
  const std::size_t piece_size = size == 0 ? 1 : 1 + data[size - 1] % 23;
  FileSet piece_files;
  const int piece_status = run_once({}, piece_files, piece_size);
  if (piece_status != plain_status)
    fail_check("status " + std::to_string(piece_status) + " read in small pieces, " + std::to_string(plain_status) +
               " read in large ones");
  if (piece_files != plain_files) fail_check("other files written when read in small pieces");

  // A line marker line in front changes nothing but what the diagnostics
  // show, so the same input behind one, placed to straddle the 64 KiB mark
  // at a point the input chooses, must end the same way and write the same
  // files.
  std::size_t straddle = size == 0 ? 0 : (static_cast<std::size_t>(data[0]) * 131 + size) % (size + 1);
  write_input(text, 65536 - straddle);
  FileSet padded_files;
  int padded_status = run_once({}, padded_files);
  if (padded_status != plain_status)
    fail_check("status " + std::to_string(padded_status) + " behind a line marker, " +
               std::to_string(plain_status) + " without");
  if (padded_files != plain_files) fail_check("other files written behind a line marker");
  return 0;
}
