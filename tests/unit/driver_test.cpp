// SPDX-License-Identifier: Apache-2.0
// Driver: one process may run vorlith again and again, and each run starts
// afresh: nothing a run reads, sets or collects reaches the next one.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "rpc_main.h"

namespace {

// What one run did: its status, its standard output and the files it wrote.
struct RunRecord {
  int status = -1;
  std::string stdout_text;
  std::map<std::string, std::string> files;
};

void write_file(const std::string &name, const std::string &text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << text;
}

// Runs vorlith in the current folder, then collects and removes the Java
// files it wrote.
RunRecord run_vorlith(std::vector<std::string> args) {
  args.insert(args.begin(), "vorlith");
  std::vector<char *> argv;
  for (std::string &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  RunRecord record;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  record.status = vorlith_main(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  record.stdout_text = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  if (DIR *dir = opendir(".")) {
    while (dirent *entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".java") == 0) {
        std::ifstream in(name, std::ios::binary);
        record.files[name] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
    }
    closedir(dir);
  }
  for (const auto &[name, text] : record.files) std::remove(name.c_str());
  return record;
}

TEST(Driver, RunsInOneProcessShareNothing) {
  char folder[] = "/tmp/vorlith-driver.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  char *previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(folder), 0);

  // A constant that every interface file repeats, a bound qualified with the
  // name of the last interface (the second version's, whose case -i turns),
  // and a "%" line.
  write_file("in.x",
             "%// kept\n"
             "const MAX = 4;\n"
             "struct box { int items[MAX]; };\n"
             "program GEO { version ONE { int PING(void) = 1; } = 1;"
             " version TWO { box GetBox(int) = 1; } = 2; } = 0x20000001;\n");
  write_file("other.x", "const OTHER = 7;\nprogram ALT { version V { void N(void) = 0; } = 1; } = 5;\n");
  write_file("bad.x", "const A = 1;\nstruct s { int a };\n");

  const RunRecord first = run_vorlith({"in.x"});
  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(first.files.count("box.java"), 1u);
  EXPECT_NE(first.files.at("box.java").find("new int[geo_2.MAX]"), std::string::npos);
  ASSERT_EQ(first.files.count("GEO.java"), 1u);
  EXPECT_NE(first.files.at("GEO.java").find("MAX = 4;"), std::string::npos);

  // Runs with another option, another input and a syntax error in between.
  const RunRecord turned = run_vorlith({"-i", "in.x"});
  EXPECT_EQ(turned.status, 0);
  ASSERT_EQ(turned.files.count("box.java"), 1u);
  EXPECT_NE(turned.files.at("box.java").find("new int[GEO_2.MAX]"), std::string::npos);
  const RunRecord other = run_vorlith({"-c", "other.x"});
  EXPECT_EQ(other.status, 0);
  const RunRecord failed = run_vorlith({"bad.x"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.files.empty());

  // Neither the constants, the interface name, the "%" lines, the naming
  // option nor the file lists of those runs reach this one.
  const RunRecord again = run_vorlith({"in.x"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.stdout_text, first.stdout_text);
  EXPECT_EQ(again.files, first.files);

  std::remove("in.x");
  std::remove("other.x");
  std::remove("bad.x");
  EXPECT_EQ(chdir(previous), 0);
  std::free(previous);
  EXPECT_EQ(rmdir(folder), 0);
}

}  // namespace
