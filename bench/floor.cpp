// SPDX-License-Identifier: Apache-2.0
// bench_floor: the least work any program could do to turn one input into the
// files vorlith writes for it.  The benchmark compares vorlith with it.
//
//   bench_floor pack DIR CAPTURE
//       Reads every regular file of DIR (the output of an earlier vorlith
//       run), in name order, and stores names and bytes in one CAPTURE file.
//
//   bench_floor run CAPTURE INPUT OUTDIR
//       1. loads CAPTURE into memory (one read of the whole file) and splits
//          it into (name, bytes) pairs;                          -> load time
//       2. reads INPUT from its start to its end five times, in 64 KiB
//          read() calls, as vorlith reads it once per pass;
//       3. changes into OUTDIR and, for every captured file, creates it
//          (open with O_CREAT|O_TRUNC), writes its bytes with write() and
//          closes it.                                    -> steps 2+3: work time
//       On standard error:
//         "floor: files=F bytes=B input_read=R load_s=L load_cpu_s=C work_s=W"
//       (L wall and C CPU seconds of step 1).  The benchmark script subtracts
//       L from the wall time and C from the CPU time of the process, so the
//       floor is credited with none of the capture loading, which vorlith
//       does not have to do.
//
// Capture format: the line "vorlith-floor-capture 1", then per file a line
// "<name length> <data length>" followed by the name and the data bytes.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char capture_magic[] = "vorlith-floor-capture 1\n";

[[noreturn]] void fail(const std::string &what) {
  std::fprintf(stderr, "bench_floor: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

[[noreturn]] void fail_format(const std::string &what) {
  std::fprintf(stderr, "bench_floor: %s: not a capture file\n", what.c_str());
  std::exit(1);
}

std::string read_whole_file(const std::string &name) {
  int fd = ::open(name.c_str(), O_RDONLY);
  if (fd < 0) fail(name);
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail(name);
  std::string data(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::read(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(name);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  data.resize(done);
  ::close(fd);
  return data;
}

void write_all(int fd, std::string_view bytes, const std::string &name) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(name);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

int pack(const std::string &dir, const std::string &capture) {
  DIR *d = ::opendir(dir.c_str());
  if (!d) fail(dir);
  std::vector<std::string> names;
  while (const dirent *e = ::readdir(d)) {
    std::string n = e->d_name;
    struct stat st {};
    if (::stat((dir + "/" + n).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());

  std::string out = capture_magic;
  for (const auto &n : names) {
    std::string data = read_whole_file(dir + "/" + n);
    out += std::to_string(n.size()) + " " + std::to_string(data.size()) + "\n";
    out += n;
    out += data;
  }
  int fd = ::open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) fail(capture);
  write_all(fd, out, capture);
  if (::close(fd) != 0) fail(capture);
  std::fprintf(stderr, "bench_floor: packed %zu files into %s\n", names.size(), capture.c_str());
  return 0;
}

double cpu_seconds() {
  struct rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Entry {
  std::string name;  // a std::string, so it can be passed to open() as is
  std::string_view data;
};

// Parses the capture held in `blob` into entries that point into it.
std::vector<Entry> parse_capture(const std::string &blob, const std::string &capture) {
  std::string_view rest = blob;
  if (rest.substr(0, sizeof capture_magic - 1) != capture_magic) fail_format(capture);
  rest.remove_prefix(sizeof capture_magic - 1);
  std::vector<Entry> entries;
  while (!rest.empty()) {
    std::size_t eol = rest.find('\n');
    if (eol == std::string_view::npos) fail_format(capture);
    std::string header(rest.substr(0, eol));
    rest.remove_prefix(eol + 1);
    unsigned long name_len = 0, data_len = 0;
    if (std::sscanf(header.c_str(), "%lu %lu", &name_len, &data_len) != 2) fail_format(capture);
    if (name_len == 0 || name_len + data_len > rest.size()) fail_format(capture);
    Entry e;
    e.name = std::string(rest.substr(0, name_len));
    e.data = rest.substr(name_len, data_len);
    if (e.name.find('/') != std::string::npos) fail_format(capture);
    rest.remove_prefix(name_len + data_len);
    entries.push_back(std::move(e));
  }
  return entries;
}

int run(const std::string &capture, const std::string &input, const std::string &outdir) {
  using clock = std::chrono::steady_clock;
  const auto t0 = clock::now();
  const double cpu0 = cpu_seconds();
  const std::string blob = read_whole_file(capture);
  const std::vector<Entry> entries = parse_capture(blob, capture);
  const auto t1 = clock::now();
  const double load_cpu = cpu_seconds() - cpu0;

  // Five full reads of the input, one per vorlith pass.
  std::vector<char> buffer(64 * 1024);
  std::size_t input_bytes = 0;
  for (int pass = 0; pass < 5; ++pass) {
    int fd = ::open(input.c_str(), O_RDONLY);
    if (fd < 0) fail(input);
    for (;;) {
      ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(input);
      }
      if (n == 0) break;
      input_bytes += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }

  if (::chdir(outdir.c_str()) != 0) fail(outdir);
  std::size_t written = 0;
  for (const Entry &e : entries) {
    int fd = ::open(e.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) fail(e.name);
    write_all(fd, e.data, e.name);
    if (::close(fd) != 0) fail(e.name);
    written += e.data.size();
  }
  const auto t2 = clock::now();

  const std::chrono::duration<double> load = t1 - t0, work = t2 - t1;
  std::fprintf(stderr, "floor: files=%zu bytes=%zu input_read=%zu load_s=%.6f load_cpu_s=%.6f work_s=%.6f\n",
               entries.size(), written, input_bytes, load.count(), load_cpu, work.count());
  return 0;
}

void usage() {
  std::fprintf(stderr,
               "usage: bench_floor pack DIR CAPTURE\n"
               "       bench_floor run CAPTURE INPUT OUTDIR\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::strcmp(argv[1], "pack") == 0) return pack(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "run") == 0) return run(argv[2], argv[3], argv[4]);
  usage();
  return 2;
}
