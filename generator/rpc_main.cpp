// The driver: environment, banner, command line, the sequence of passes, and
// the opening and resetting of each pass's input.
#include "rpc_main.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "rpc_hout.h"
#include "rpc_parse.h"
#include "rpc_util.h"

GeneratorState g_state;

const char *const version_text = "V2.5.5";
const char *const notice_text = "XDR/RPC interface compiler for Java (package kelvaro.ZELT)";

namespace {

void write_stderr(const std::string &text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void print_usage() {
  const std::string &name = g_state.program_name;
  write_stderr(format_text("usage: %s [-p] [-i] infile\n", {name}));
  write_stderr(format_text("       %s [-c | -l | -m] [-o outfile] [infile]\n", {name}));
  write_stderr(format_text("       %s [-s udp|tcp]* [-o outfile] [infile]\n", {name}));
}

// Quotes a word for the POSIX shell so that it is always data.
std::string shell_quote(const std::string &word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

// A fresh, private temporary file for the preprocessor's output.
void make_temp_file() {
  const char *dir = std::getenv("TMPDIR");
  std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  path += "/vorlith.XXXXXX";
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    report_system_error(g_state.program_name + ": " + path, errno);
    terminate_run(255);
  }
  close(fd);
  g_state.temp_file_name = name.data();
}

// Runs the preprocessor over the input into this pass's temporary file.
void run_preprocessor(const std::string &input_file, const std::string &define_word) {
  make_temp_file();
  std::string command = g_state.preprocessor_path + " " + g_state.preprocessor_flag + " " + define_word + " " +
                        shell_quote(input_file) + " > " + shell_quote(g_state.temp_file_name);
  write_stderr(format_text("%s %s %s %s \n",
                           {g_state.preprocessor_path, g_state.preprocessor_flag, define_word, input_file}));
  std::fflush(stderr);
  std::fflush(stdout);
  int status = std::system(command.c_str());
  if (status != 0) {
    write_stderr(format_text("Preprocessing failed with error %d.\nPlease check enviroment settings.",
                             {std::to_string(status)}));
    terminate_run(255);
  }
}

}  // namespace

bool parse_command_line(int argc, char **argv, CommandOptions &options) {
  g_state.program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "vorlith";
  options = CommandOptions{};
  if (argc < 2) return false;

  for (int i = 1; i < argc; i++) {
    const std::string arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      if (options.has_input_file) return false;
      options.has_input_file = true;
      options.input_file = arg;
      continue;
    }
    for (std::size_t k = 1; k < arg.size(); k++) {
      bool *selecting = nullptr;
      switch (arg[k]) {
        case 'c': selecting = &options.c_flag; break;
        case 'h': selecting = &options.h_flag; break;
        case 'l': selecting = &options.l_flag; break;
        case 'm': selecting = &options.m_flag; break;
        case 'p': g_state.preprocess_flag = true; break;
        case 'i': g_state.name_case_flag = false; break;
        case 's':
        case 'o': {
          // Both stand alone and take the next argument, whatever it is.
          if (arg.size() != 2 || i + 1 >= argc) return false;
          const std::string value = argv[++i];
          if (arg[k] == 's') {
            if (value != "udp" && value != "tcp") return false;
            options.s_flag = true;
          } else {
            if (options.has_output_file) return false;
            options.has_output_file = true;
            options.output_file = value;
          }
          break;
        }
        default: return false;
      }
      if (selecting != nullptr) {
        if (*selecting) return false;
        *selecting = true;
      }
    }
  }

  int selecting = options.c_flag + options.h_flag + options.l_flag + options.s_flag + options.m_flag;
  if (selecting == 0) return !options.has_output_file && options.has_input_file;
  return selecting == 1;
}

void open_input(const std::string *input_file, const std::string &define_word) {
  g_state.has_input_name = true;
  g_state.input_name = input_file != nullptr ? *input_file : "<stdin>";
  g_state.at_end_of_input = false;
  forget_input();

  // Standard input is never read: without a file there is nothing to open,
  // with or without the preprocessor.
  if (input_file == nullptr) {
    write_stderr(g_state.program_name + ": ");
    report_system_error(g_state.input_name, ENOENT);
    fatal_exit();
  }

  std::string path = *input_file;
  if (g_state.preprocess_flag) {
    run_preprocessor(*input_file, define_word);
    path = g_state.temp_file_name;
  }
  g_state.input_stream = std::fopen(path.c_str(), "r");
  // A folder opens, but reading it fails at once: that would pass for an
  // empty input and a successful run, so it is an open failure.
  struct stat info;
  if (g_state.input_stream != nullptr && fstat(fileno(g_state.input_stream), &info) == 0 &&
      S_ISDIR(info.st_mode)) {
    std::fclose(g_state.input_stream);
    g_state.input_stream = nullptr;
    errno = EISDIR;
  }
  if (g_state.input_stream == nullptr) {
    int error_number = errno;
    write_stderr(g_state.program_name + ": ");
    report_system_error(g_state.input_name, error_number);
    fatal_exit();
  }
}

void run_pass(const std::string *input_file, const std::string &define_word) {
  open_input(input_file, define_word);
  g_state.generated_file_list.clear();
  while (Definition *def = get_definition()) dispatch_definition(*def);

  static constexpr FormatText type_summary = "\nGenerated XDR files:\n %s\n";
  static constexpr FormatText client_summary = "\nGenerated RPC Client files:\n %s\n";
  static constexpr FormatText server_summary = "\nGenerated RPC Server files:\n %s\n";
  const FormatText *summary = nullptr;
  switch (g_state.pass_mode) {
    case PassMode::TypeClasses: summary = &type_summary; break;
    case PassMode::Client: summary = &client_summary; break;
    case PassMode::Server: summary = &server_summary; break;
    default: break;
  }
  if (summary != nullptr) {
    std::string text = format_text(*summary, {g_state.generated_file_list});
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void reset_pass() {
  g_state.line_buffer = {};
  g_state.scan_cursor = 0;
  g_state.line_number = 0;
  g_state.at_end_of_input = false;
  forget_input();
  if (g_state.input_stream != nullptr) {
    std::fclose(g_state.input_stream);
    g_state.input_stream = nullptr;
  }
  if (g_state.output_stream >= 0) {
    close(g_state.output_stream);
    g_state.output_stream = -1;
  }
  if (!g_state.temp_file_name.empty()) {
    if (std::remove(g_state.temp_file_name.c_str()) != 0)
      write_stderr(format_text("Fail to remove %s.\n", {g_state.temp_file_name}));
    g_state.temp_file_name.clear();
  }
  // Release what the pass held, not only its contents.
  std::string().swap(g_state.pass_through_text);
  std::string().swap(g_state.generated_file_list);
  g_state.current_definition = Definition{};
}

void reset_generator_state() {
  if (g_state.input_stream != nullptr) std::fclose(g_state.input_stream);
  if (g_state.output_stream >= 0) close(g_state.output_stream);
  if (!g_state.temp_file_name.empty()) std::remove(g_state.temp_file_name.c_str());
  g_state = GeneratorState{};
}

int vorlith_main(int argc, char **argv) {
  if (const char *path = std::getenv("SKARDO_CPP")) g_state.preprocessor_path = path;
  if (const char *flag = std::getenv("SKARDO_CPP_FLAG")) g_state.preprocessor_flag = flag;

  write_stderr(format_text("Kelvaro Vorlith %s.\n", {version_text}));
  write_stderr(format_text("%s\n", {notice_text}));
  g_state.file_header_text = format_text("//Generated by Kelvaro VORLITH %s.\n//%s\n\n", {version_text, notice_text});

  CommandOptions options;
  if (!parse_command_line(argc, argv, options)) {
    print_usage();
    terminate_run(1);
  }

  const std::string *input = options.has_input_file ? &options.input_file : nullptr;
  struct Pass {
    PassMode mode;
    const char *define_word;
  };
  std::vector<Pass> passes = {{PassMode::Constants, ""}, {PassMode::Interface, ""}};
  if (options.c_flag) {
    passes.push_back({PassMode::TypeClasses, "-DRPC_XDR"});
  } else if (options.l_flag) {
    passes.push_back({PassMode::Client, "-DRPC_CLNT"});
  } else if (options.s_flag || options.m_flag) {
    passes.push_back({PassMode::Server, "-DRPC_SVC"});
  } else {
    passes.push_back({PassMode::TypeClasses, "-DRPC_XDR"});
    passes.push_back({PassMode::Client, "-DRPC_CLNT"});
    passes.push_back({PassMode::Server, "-DRPC_SVC"});
  }
  for (const Pass &pass : passes) {
    g_state.pass_mode = pass.mode;
    run_pass(input, pass.define_word);
    reset_pass();
  }
  return 0;
}
