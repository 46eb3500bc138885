// SPDX-License-Identifier: Apache-2.0
// The driver: environment, banner, command line, the sequence of passes, and
// the opening and resetting of each pass's input.
#include "rpc_main.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "rpc_diag.h"
#include "rpc_parse.h"
#include "rpc_signal.h"
#include "rpc_text.h"
#include "rpc_util.h"

// The version comes from the build (the project's version).
const char *const version_text = "V" VORLITH_VERSION;
const char *const notice_text = "XDR/RPC interface compiler for Java (package kelvaro.ZELT)";

namespace {

// Fixed output: callers and their scripts read these lines, which stay as
// they are, byte for byte.
constexpr FormatText usage_lines[] = {
    "usage: %s [-p] [-i] infile\n",
    "       %s [-c | -l | -m] [-o outfile] [infile]\n",
    "       %s [-s udp|tcp]* [-o outfile] [infile]\n",
};

// The first line of the banner, also what --version prints.
constexpr FormatText banner_version_line = "Kelvaro Vorlith %s.\n";

void write_stderr(const std::string &text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void print_usage(const std::string &name) {
  std::string text;
  for (const FormatText &line : usage_lines) append_format(text, line, {name});
  write_stderr(text);
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
void make_temp_file(PassInput &input, const RunSettings &settings) {
  // With an output folder the file lies there, with the files of the run;
  // otherwise in the system's folder for temporary files.
  std::string path;
  if (settings.options.has_output_dir) {
    path = output_dir_prefix(settings.options.output_dir) + ".vorlith.XXXXXX";
  } else {
    const char *dir = std::getenv("TMPDIR");
    path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    path += "/vorlith.XXXXXX";
  }
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  // Made and registered as one step, so that a signal cannot leave it.
  SignalHold hold;
  int fd = mkstemp(name.data());
  if (fd < 0) {
    report_system_error(settings.program_name + ": " + path, errno);
    terminate_run(255);
  }
  close(fd);
  input.temp_file_name = name.data();
  note_temp_file(input.temp_file_name);
}

// Runs the preprocessor over the input into this pass's temporary file.
void run_preprocessor(PassInput &input, const RunSettings &settings, const std::string &define_word) {
  make_temp_file(input, settings);
  const std::string &input_file = settings.options.input_file;
  std::string command = settings.preprocessor_path + " " + settings.preprocessor_flag + " " + define_word + " " +
                        shell_quote(input_file) + " > " + shell_quote(input.temp_file_name);
  // The blank before the line feed is part of the output format.
  if (!settings.options.quiet_flag)
    write_stderr(format_text("%s %s %s %s \n",
                             {settings.preprocessor_path, settings.preprocessor_flag, define_word, input_file}));
  std::fflush(stderr);
  std::fflush(stdout);
  int status = run_shell_command(command);
  if (status != 0) {
    // "enviroment" and the missing line feed are part of the output format.
    write_stderr(format_text("Preprocessing failed with error %d.\nPlease check enviroment settings.",
                             {std::to_string(status)}));
    terminate_run(255);
  }
}

// A pass-through line "package NAME;" that names another package than
// --package: Java would see two package declarations in every file. With
// an output folder the package also names folders, so it must be a Java
// package name, and nothing else (no "..", no "/"). Looks at the text from
// checked on, and moves checked to its end.
void check_package_lines(const RunSettings &settings, std::string_view pass_through_text, std::size_t &checked) {
  const CommandOptions &options = settings.options;
  if (!options.has_package && !options.has_output_dir) return;
  for (std::string_view name; !(name = next_package_line(pass_through_text, checked)).empty();) {
    if (!options.has_package && !is_java_package_name(name)) {
      write_stderr(format_text("%s: \"%%package %s;\" names no Java package, and cannot name folders of %s\n",
                               {settings.program_name, name, options.output_dir}));
      terminate_run(1);
    }
    if (options.has_package && name != options.package_name) {
      write_stderr(format_text("%s: --package %s and the input's \"%%package %s;\" name different packages\n",
                               {settings.program_name, options.package_name, name}));
      terminate_run(1);
    }
  }
  checked = pass_through_text.size();
}

}  // namespace

PassInput::~PassInput() {
  if (stream != nullptr) std::fclose(stream);
  if (!temp_file_name.empty()) {
    std::remove(temp_file_name.c_str());
    forget_temp_file();
  }
}

std::string file_header_text() {
  return format_text("//Generated by Kelvaro VORLITH %s.\n//%s\n\n", {version_text, notice_text});
}

namespace {

// The options, letters and long names alike. A row with a value takes the
// next argument as it ("--name=value" for a long name, too) and must stand
// alone; a row that is not repeatable may be met once only; a selecting
// row counts towards the one selecting option a run may have.
struct OptionRow {
  char letter = '\0';               // '\0': a long name only
  std::string_view long_name = "";  // empty: a letter only
  bool takes_value = false;
  bool repeatable = false;
  bool selecting = false;
  bool CommandOptions::*flag = nullptr;  // set to flag_value when met
  bool flag_value = true;
  std::string CommandOptions::*value = nullptr;  // where the value goes; none: tested and dropped
  bool (*accepts)(std::string_view) = nullptr;   // the test of the value; none: any value
};

bool is_transport(std::string_view value) { return value == "udp" || value == "tcp"; }
bool is_not_empty(std::string_view value) { return !value.empty(); }

using O = CommandOptions;
constexpr OptionRow option_table[] = {
    {.letter = 'c', .selecting = true, .flag = &O::c_flag},
    {.letter = 'h', .selecting = true, .flag = &O::h_flag},
    {.letter = 'l', .selecting = true, .flag = &O::l_flag},
    {.letter = 'm', .selecting = true, .flag = &O::m_flag},
    {.letter = 's',
     .takes_value = true,
     .repeatable = true,
     .selecting = true,
     .flag = &O::s_flag,
     .accepts = is_transport},
    {.letter = 'o', .takes_value = true, .flag = &O::has_output_file, .value = &O::output_file},
    {.letter = 'p', .repeatable = true, .flag = &O::preprocess_flag},
    {.letter = 'i', .repeatable = true, .flag = &O::name_case_flag, .flag_value = false},
    {.long_name = "output-dir",
     .takes_value = true,
     .flag = &O::has_output_dir,
     .value = &O::output_dir,
     .accepts = is_not_empty},
    {.long_name = "package", .takes_value = true, .flag = &O::has_package, .value = &O::package_name},
    {.long_name = "quiet", .repeatable = true, .flag = &O::quiet_flag},
    {.long_name = "async", .flag = &O::async_flag},
    {.long_name = "idiomatic", .repeatable = true, .flag = &O::idiomatic_flag},
    {.long_name = "help", .repeatable = true, .flag = &O::help_flag},
    {.long_name = "version", .repeatable = true, .flag = &O::version_flag},
};

const OptionRow *find_letter(char letter) {
  for (const OptionRow &row : option_table) {
    if (row.letter != '\0' && row.letter == letter) return &row;
  }
  return nullptr;
}

const OptionRow *find_long_name(std::string_view name) {
  for (const OptionRow &row : option_table) {
    if (!row.long_name.empty() && row.long_name == name) return &row;
  }
  return nullptr;
}

// Acts on one option with its value (when it takes one); false when that
// makes the command line invalid.
bool apply_option(const OptionRow &row, std::string_view value, CommandOptions &options) {
  if (!row.repeatable && options.*row.flag == row.flag_value) return false;
  if (row.accepts != nullptr && !row.accepts(value)) return false;
  options.*row.flag = row.flag_value;
  if (row.value != nullptr) options.*row.value = value;
  return true;
}

}  // namespace

bool parse_command_line(int argc, char **argv, CommandOptions &options) {
  options = CommandOptions{};
  if (argc < 2) return false;

  for (int i = 1; i < argc; i++) {
    const std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      if (options.has_input_file) return false;
      options.has_input_file = true;
      options.input_file = arg;
      continue;
    }
    if (arg.size() > 2 && arg[1] == '-') {
      // A long option, alone in its argument, its value after "=" or next.
      const std::size_t equals = arg.find('=');
      const OptionRow *row = find_long_name(arg.substr(2, equals == std::string_view::npos ? equals : equals - 2));
      if (row == nullptr) return false;
      std::string_view value;
      if (equals != std::string_view::npos) {
        if (!row->takes_value) return false;
        value = arg.substr(equals + 1);
      } else if (row->takes_value) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
      }
      if (!apply_option(*row, value, options)) return false;
      if (options.help_flag || options.version_flag) return true;
      continue;
    }
    // A group of letters; one that takes a value stands alone and takes
    // the next argument, whatever it looks like.
    for (std::size_t k = 1; k < arg.size(); k++) {
      const OptionRow *row = find_letter(arg[k]);
      if (row == nullptr) return false;
      std::string_view value;
      if (row->takes_value) {
        if (arg.size() != 2 || i + 1 >= argc) return false;
        value = argv[++i];
      }
      if (!apply_option(*row, value, options)) return false;
    }
  }

  int selecting = 0;
  for (const OptionRow &row : option_table) {
    if (row.selecting && options.*row.flag == row.flag_value) selecting++;
  }
  if (selecting == 0) return !options.has_output_file && options.has_input_file;
  return selecting == 1;
}

std::string help_text(const std::string &program_name) {
  std::string text;
  for (const FormatText &line : usage_lines) append_format(text, line, {program_name});
  text +=
      "\n"
      "Options:\n"
      "  -c                write the data-type classes (and the interfaces) only\n"
      "  -l                write the client classes (and the interfaces) only\n"
      "  -s udp|tcp, -m    write the server classes (and the interfaces) only\n"
      "  -h                write every file, as with no selecting option\n"
      "  -o outfile        accepted and checked; names no output\n"
      "  -p                run the input through the C preprocessor first\n"
      "                    (SKARDO_CPP and SKARDO_CPP_FLAG replace /lib/cpp -C)\n"
      "  -i                form class and method names in the other case\n"
      "  --output-dir DIR  write the generated files into DIR, made when missing\n"
      "  --package NAME    put the generated classes into the Java package NAME;\n"
      "                    with --output-dir, into DIR/NAME/WITH/SLASHES\n"
      "  --quiet           print only messages: no banner, commands or file lists\n"
      "  --async           give client classes future-returning methods too (NAMEAsync)\n"
      "  --idiomatic       write idiomatic Java: records, enums, sealed unions,\n"
      "                    a client and a service interface per version\n"
      "  --help            print this help and exit\n"
      "  --version         print the version and exit\n";
  return text;
}

void open_input(PassInput &input, Scanner &scanner, const RunSettings &settings, const std::string &define_word) {
  const CommandOptions &options = settings.options;
  const std::string input_name = options.has_input_file ? options.input_file : "<stdin>";
  scanner.input.piece_size = settings.input_piece_size;

  // Standard input is never read: without a file there is nothing to open,
  // with or without the preprocessor.
  if (!options.has_input_file) {
    write_stderr(settings.program_name + ": ");
    report_system_error(input_name, ENOENT);
    fatal_exit();
  }

  std::string path = options.input_file;
  if (options.preprocess_flag) {
    run_preprocessor(input, settings, define_word);
    path = input.temp_file_name;
  }
  input.stream = std::fopen(path.c_str(), "r");
  // A folder opens, but reading it fails at once: that would pass for an
  // empty input and a successful run, so it is an open failure.
  struct stat info;
  if (input.stream != nullptr && fstat(fileno(input.stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(input.stream);
    input.stream = nullptr;
    errno = EISDIR;
  }
  if (input.stream == nullptr) {
    int error_number = errno;
    write_stderr(settings.program_name + ": ");
    report_system_error(input_name, error_number);
    fatal_exit();
  }
  start_scan(scanner, input.stream, input_name);
}

void run_pass(PassMode mode, const std::string &define_word, const RunSettings &settings, Scanner &scanner,
              DefinitionMemory &memory, JavaOutput &out, PassHandover &handover) {
  PassInput input;
  open_input(input, scanner, settings, define_word);
  out.generated_file_list.clear();
  // The first pass records the memory of definitions. A later pass reads
  // the same text, and so finds the same definitions, unless the
  // preprocessor made the text anew for it, with another define word.
  const MemoryUse use =
      mode == PassMode::Constants || settings.options.preprocess_flag ? MemoryUse::Record : MemoryUse::Follow;
  Parser parser(scanner, memory, use);
  parser.keeps_docs = settings.options.idiomatic_flag;
  std::size_t package_checked = 0;  // of the pass-through text
  while (Definition *def = get_definition(parser)) {
    out.pass_through_text = scanner.pass_through_text;
    check_package_lines(settings, out.pass_through_text, package_checked);
    // A definition repeated word for word (a type or constant that two
    // joined files both define) has been written once already.
    if (repeats_earlier_definition(parser)) continue;
    // The first pass writes nothing: a clash of two files is found before
    // any file is written.
    if (mode == PassMode::Constants) {
      const std::string clash = claim_java_files(*def, settings.options.name_case_flag, settings.options.async_flag,
                                                 scanner.line_number, parser.memory, handover,
                                                 settings.options.idiomatic_flag);
      if (!clash.empty()) report_error(scanner, clash);
      const std::string_view input_name = scanner.has_input_name ? std::string_view(scanner.input_name) : "<unknown>";
      note_named_sizes(*def, parser.memory, format_text("%s, line %d", {input_name, std::to_string(scanner.line_number)}),
                       handover);
    }
    dispatch_definition(*def, mode, settings.options.name_case_flag, parser.memory, out, handover,
                        settings.options.idiomatic_flag);
  }
  check_package_lines(settings, scanner.pass_through_text, package_checked);
  // The whole input is known now (the call that found its end recorded the
  // last Definition): a size may name what comes after it.
  if (mode == PassMode::Constants) write_stderr(check_named_sizes(parser.memory, handover));

  static constexpr FormatText type_summary = "\nGenerated XDR files:\n %s\n";
  static constexpr FormatText client_summary = "\nGenerated RPC Client files:\n %s\n";
  static constexpr FormatText server_summary = "\nGenerated RPC Server files:\n %s\n";
  const FormatText *summary = nullptr;
  switch (mode) {
    case PassMode::TypeClasses: summary = &type_summary; break;
    case PassMode::Client: summary = &client_summary; break;
    case PassMode::Server: summary = &server_summary; break;
    default: break;
  }
  if (summary != nullptr && !settings.options.quiet_flag) {
    // The blank before the list is part of the output format.
    std::string text = format_text(*summary, {out.generated_file_list});
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  reset_pass(input, scanner, out);
}

void reset_pass(PassInput &input, Scanner &scanner, JavaOutput &out) {
  end_scan(scanner);
  if (input.stream != nullptr) {
    std::fclose(input.stream);
    input.stream = nullptr;
  }
  if (out.output_stream >= 0) {
    close(out.output_stream);
    out.output_stream = -1;
  }
  if (!input.temp_file_name.empty()) {
    if (std::remove(input.temp_file_name.c_str()) != 0)
      write_stderr(format_text("Fail to remove %s.\n", {input.temp_file_name}));
    forget_temp_file();
    input.temp_file_name.clear();
  }
  // Release what the pass held, not only its contents.
  out.pass_through_text = {};
  std::string().swap(out.generated_file_list);
}

int vorlith_main(int argc, char **argv, std::size_t input_piece_size) {
  RunSettings settings;
  settings.program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "vorlith";
  settings.input_piece_size = input_piece_size;
  if (const char *path = std::getenv("SKARDO_CPP")) settings.preprocessor_path = path;
  if (const char *flag = std::getenv("SKARDO_CPP_FLAG")) settings.preprocessor_flag = flag;

  // The command line is read before the banner, which --help and --version
  // leave out: what they print is all their output.
  const bool valid = parse_command_line(argc, argv, settings.options);
  const CommandOptions &options = settings.options;
  if (valid && options.help_flag) {
    const std::string text = help_text(settings.program_name);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (valid && options.version_flag) {
    const std::string text = format_text(banner_version_line, {version_text});
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }

  if (!options.quiet_flag) {
    write_stderr(format_text(banner_version_line, {version_text}));
    write_stderr(format_text("%s\n", {notice_text}));
  }

  try {
    if (!valid) {
      print_usage(settings.program_name);
      terminate_run(1);
    }
    if (options.has_package && !is_java_package_name(options.package_name)) {
      write_stderr(
          format_text("%s: --package %s: not a Java package name\n", {settings.program_name, options.package_name}));
      terminate_run(1);
    }
    if (options.has_output_dir) make_output_dir(options.output_dir);

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

    // Each stage's state, kept for the whole run so that its storage serves
    // every pass.
    Scanner scanner;
    DefinitionMemory memory;
    JavaOutput out;
    out.file_header_text = file_header_text();
    out.output_dir = output_dir_prefix(options.output_dir);
    out.package_name = options.package_name;
    out.async_client = options.async_flag;
    PassHandover handover;
    // Each pass through the preprocessor records its own memory, which
    // knows only the types defined so far; the idiomatic output needs the
    // kind of every type it names, so it keeps the first pass's as well.
    DefinitionMemory whole_input;
    // The classes the first pass renames, for the writers of the passes after it.
    if (options.idiomatic_flag) memory.java_classes = &handover.java_classes;
    for (const Pass &pass : passes) {
      run_pass(pass.mode, pass.define_word, settings, scanner, memory, out, handover);
      if (pass.mode == PassMode::Constants && options.idiomatic_flag && options.preprocess_flag) {
        whole_input = std::move(memory);
        memory = DefinitionMemory{};
        memory.whole_input = &whole_input;
        memory.java_classes = &handover.java_classes;
      }
    }
  } catch (const RunEnded &ended) {
    return ended.status;
  }
  return 0;
}
