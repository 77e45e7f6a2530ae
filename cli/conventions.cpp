#include "cli/conventions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <functional>
#include <regex>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "operations/records.h"
#include "zep_version.h"

namespace zep::cli {
namespace {

std::vector<const CLI::App*> CommandsOf(const CLI::App& app) {
  return app.get_subcommands(std::function<bool(const CLI::App*)>([](const CLI::App*) { return true; }));
}

const CLI::App* FindCommand(const CLI::App& app, const std::string& name) {
  for (const CLI::App* command : CommandsOf(app))
    if (command->check_name(name)) return command;
  return nullptr;
}

std::vector<std::string> CommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* command : CommandsOf(app)) names.push_back(command->get_name());
  return names;
}

std::string Joined(const std::vector<std::string>& words, const std::string& separator = " ") {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : separator) + w;
  return text;
}

std::string Word(std::size_t n) {
  static const char* const kWords[] = {"none", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};
  return n < std::size(kWords) ? kWords[n] : std::to_string(n);
}

std::string Counted(std::size_t n, const std::string& noun) {
  return (n == 0 ? std::string("no") : Word(n)) + " " + noun + (n == 1 ? "" : "s");
}

// CLI11's counts ("FILE: At Most 1 required but received 2", "--gap: 1
// required FLOAT:POSITIVE missing") in words; other texts as they are.
std::string InWords(const std::string& text) {
  std::smatch m;
  const auto count = [&](int i) { return static_cast<std::size_t>(std::stoul(m[i].str())); };
  if (std::regex_match(text, m, std::regex(R"((\S+): At Most (\d+) required but received (\d+))"))) {
    return m[1].str() + ": takes at most " + Counted(count(2), "value") + ", got " + Word(count(3));
  }
  if (std::regex_match(text, m, std::regex(R"((\S+): At least (\d+) required but received (\d+))"))) {
    return m[1].str() + ": needs at least " + Counted(count(2), "value") + ", got " + Word(count(3));
  }
  if (std::regex_match(text, m, std::regex(R"((\S+): (\d+) required .* missing)"))) {
    return m[1].str() + ": needs " + (count(2) == 1 ? std::string("a value") : Counted(count(2), "value"));
  }
  if (std::regex_match(text, m, std::regex(R"(Expected exactly (\d+) arguments to (\S+), got (\d+))"))) {
    return m[2].str() + ": takes " + Counted(count(1), "value") + ", got " + Word(count(3));
  }
  if (std::regex_match(text, m, std::regex(R"(The following arguments? (?:was|were) not expected: (.*))"))) {
    // A word that looks like an option is one the command does not have,
    // whatever else came with it.
    std::smatch option;
    const std::string words = m[1].str();
    if (std::regex_search(words, option, std::regex(R"((?:^| )(--?[^\s-]\S*))"))) {
      return "unknown option '" + option[1].str() + "'";
    }
    return "more arguments than the command takes: " + words;
  }
  return text;
}

// CLI11 says "A subcommand is required" both when none is given and when the
// word in its place names none; the words it could not place tell which.
std::string ParseFailure(const CLI::App& app, const CLI::Error& e) {
  const CLI::App* command = &app;
  while (!command->get_subcommands().empty()) command = command->get_subcommands().front();
  std::string what = InWords(e.what());
  if (command == &app && dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
    what = "no command given (one of: " + Joined(CommandNames(app), ", ") + ")";
    for (const std::string& word : app.remaining()) {
      if (word.empty() || word[0] == '-') continue;
      what = "unknown command '" + word + "'";
      break;
    }
  }
  if (command->get_name() == "help") command = &app;  // "help lst": the tool's own help lists the commands
  const std::string usage = command == &app ? app.get_name() : app.get_name() + " " + command->get_name();
  return app.get_name() + ": " + what + "\nTry '" + usage + " --help' for more information.\n";
}

// The values an option's IsMember check lists in its type name, such as
// "TEXT:{tk40,zep}"; none for any other option.
std::vector<std::string> ChoicesOf(const CLI::Option& option) {
  const std::string type = option.get_type_name();
  const auto open = type.find('{'), close = type.rfind('}');
  std::vector<std::string> choices;
  if (open == std::string::npos || close == std::string::npos || close < open) return choices;
  std::string item;
  for (char c : type.substr(open + 1, close - open - 1)) {
    if (c == ',') choices.push_back(std::exchange(item, {}));
    else item += c;
  }
  choices.push_back(item);
  return choices;
}

std::vector<std::string> FlagNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_positional() || option->get_group().empty()) continue;
    for (const std::string& s : option->get_snames()) names.push_back("-" + s);
    for (const std::string& l : option->get_lnames()) names.push_back("--" + l);
  }
  return names;
}

// Text for a roff line: backslashes and hyphens escaped, and a line that
// would open with a control character kept as text.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string OptionNames(const CLI::Option& option) {
  if (option.get_positional()) return option.get_name(true, false);
  std::string names;
  for (const std::string& s : option.get_snames()) names += (names.empty() ? "-" : ", -") + s;
  for (const std::string& l : option.get_lnames()) names += (names.empty() ? "--" : ", --") + l;
  return names;
}

}  // namespace

std::string ManInclude(const CLI::App& app) {
  std::string page = "[>COMMANDS]\n";
  for (const CLI::App* command : CommandsOf(app)) {
    const std::string full = app.get_name() + " " + command->get_name();
    // The usage line of the command's own help, without its "Usage: ".
    const std::string help = command->get_formatter()->make_help(command, full, CLI::AppFormatMode::Normal);
    const std::size_t at = help.find("Usage: ");
    std::string usage = at == std::string::npos ? full : help.substr(at + 7, help.find('\n', at) - at - 7);
    page += ".SS \"" + Roff(usage) + "\"\n" + Roff(command->get_description()) + "\n";
    for (const CLI::Option* option : command->get_options()) {
      const std::vector<std::string>& longNames = option->get_lnames();
      if (option->get_group().empty() || (!longNames.empty() && longNames[0].starts_with("help"))) continue;
      // "TEXT:{tk40,zep}" says {tk40,zep}; a positional's TEXT says nothing.
      std::string type = option->get_type_name();
      type = type.find(':') != std::string::npos ? type.substr(type.find(':') + 1)
             : type == "TEXT" && option->get_positional() ? ""
                                                          : type;
      page += ".TP\n\\fB" + Roff(OptionNames(*option)) + "\\fR" + (type.empty() ? "" : " " + Roff(type)) + "\n";
      page += Roff(option->get_description()) + "\n";
    }
  }
  page += "[EXIT STATUS]\n" + Roff(app.get_footer()) + "\n";
  return page;
}

std::string VersionText() {
  return "zepconv " ZEP_VERSION_TEXT
         "\nCopyright (c) 2026 The ZEP Converter authors. MIT License: see the LICENSE file.\n"
         "This is free software: you may change and share it. There is NO WARRANTY.";
}

void AddConventions(CLI::App& app, std::ostream& out) {
  app.set_version_flag("-V,--version", VersionText(), "Print the version and exit");
  app.set_help_all_flag("--help-all", "Print the help of every command and exit");
  app.get_formatter()->label("SUBCOMMAND", "COMMAND");
  app.get_formatter()->label("SUBCOMMANDS", "COMMANDS");
  app.failure_message([](const CLI::App* a, const CLI::Error& e) { return ParseFailure(*a, e); });
  app.add_flag_callback("--bash-completion", [&app, &out] {
       out << BashCompletion(app);
       throw CLI::Success();
     })->group("");  // hidden: the build makes the installed script with it
  app.add_flag_callback("--man-include", [&app, &out] {
       out << ManInclude(app);
       throw CLI::Success();
     })->group("");  // hidden: help2man takes the commands' section from it

  for (CLI::App* command : app.get_subcommands(std::function<bool(CLI::App*)>([](CLI::App*) { return true; }))) {
    command->group("Commands");
  }
  CLI::App* help = app.add_subcommand("help", "Print the help of a command (or of " + app.get_name() + ") and exit");
  help->group("Commands");
  help->add_option("COMMAND", "A command, such as list");
  help->callback([&app, help, &out] {
    const CLI::Option* name = help->get_option("COMMAND");
    if (name->count() == 0) {
      out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
      throw CLI::Success();
    }
    const std::string word = name->as<std::string>();
    const CLI::App* command = FindCommand(app, word);
    if (command == nullptr) throw CLI::ValidationError("unknown command '" + word + "'");
    out << command->get_formatter()->make_help(command, app.get_name() + " " + word, CLI::AppFormatMode::Normal);
    throw CLI::Success();
  });
}

CLI::Validator NumberIn(int lo, int hi) {
  const std::string range = std::to_string(lo) + " - " + std::to_string(hi);
  return CLI::Validator(
      [lo, hi](std::string& text) -> std::string {
        int value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, ec] = std::from_chars(text.data(), end, value);
        if (stop != end || (ec != std::errc() && ec != std::errc::result_out_of_range)) return "not a number: " + text;
        if (ec != std::errc() || value < lo || value > hi) {
          return text + " is not between " + std::to_string(lo) + " and " + std::to_string(hi);
        }
        return {};
      },
      "INT in [" + range + "]");
}

std::string BashCompletion(const CLI::App& app) {
  const std::string tool = app.get_name();
  const std::vector<std::string> commands = CommandNames(app);
  const std::vector<std::string> global = FlagNames(app);

  std::string valueCases, flagCases;
  for (const CLI::App* command : CommandsOf(app)) {
    const std::string name = command->get_name();
    std::vector<std::string> flags = FlagNames(*command);
    // Options of the tool itself may follow the command too.
    for (const std::string& g : global)
      if (std::find(flags.begin(), flags.end(), g) == flags.end()) flags.push_back(g);
    flagCases += "      " + name + ") words='" + Joined(flags) + "' ;;\n";
    for (const CLI::Option* option : command->get_options()) {
      if (option->get_positional() || option->get_expected_max() == 0) continue;
      const std::vector<std::string> choices = ChoicesOf(*option);
      for (const std::string& l : option->get_lnames()) {
        // An option that takes a value: its choices, or else a file name.
        valueCases += "    " + name + ":--" + l + ") ";
        valueCases += choices.empty() ? "return ;;\n" : "COMPREPLY=($(compgen -W '" + Joined(choices) + "' -- \"$cur\")); return ;;\n";
      }
    }
  }
  return "# bash completion for " + tool + ", made from its own command line by `" + tool +
         " --bash-completion`.\n"
         "_" + tool + "() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} cmd= w words\n"
         "  COMPREPLY=()\n"
         "  for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
         "    case $w in " + Joined(commands, "|") + ") cmd=$w; break ;; esac\n"
         "  done\n"
         "  case $cmd:$prev in\n" + valueCases +
         "  esac\n"
         "  if [[ $cmd == help || ( -z $cmd && $cur != -* ) ]]; then\n"
         "    [[ $cmd == help && $prev != help ]] && return\n"
         "    COMPREPLY=($(compgen -W '" + Joined(commands) + "' -- \"$cur\")); return\n"
         "  fi\n"
         "  [[ $cur == -* ]] || return  # a file name: bash's own completion\n"
         "  case $cmd in\n"
         "      '') words='" + Joined(global) + "' ;;\n" + flagCases +
         "  esac\n"
         "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "}\n"
         "complete -o default -F _" + tool + " " + tool + "\n";
}

Outcome FlushStandardOutput(std::ostream& out, std::ostream& err, Outcome status) {
  // A stream that failed earlier flushes nothing; cleared, it tries again and
  // leaves the system's reason in errno.
  bool failed = !out;
  out.clear();
  errno = 0;
  out.flush();
  failed = failed || !out;
  if (!failed) return status;
  const int reason = errno;
  PrintProblem(err, {"standard output", reason != 0 ? std::strerror(reason) : "write error"});
  return status == kDone ? kPartly : status;
}

}  // namespace zep::cli

namespace zep::cli {

CLI::Validator NumberAbove(double lo, const std::string& unit) {
  return CLI::Validator(
      [lo, unit](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) return "not a number: " + text;
        if (value <= lo) return text + " " + unit + " is not more than " + std::to_string(static_cast<int>(lo));
        return {};
      },
      "NUMBER > " + std::to_string(static_cast<int>(lo)));
}

CLI::Validator NumbersIn(int lo, int hi) {
  return CLI::Validator(
      [lo, hi](std::string& text) -> std::string {
        const auto range = NumberRange(text);
        if (!range) return "not a number or a range such as 1-3: " + text;
        if (range->first > range->second) return text + " runs backwards: write " + std::to_string(range->second) + "-" + std::to_string(range->first);
        if (range->first < lo || range->second > hi) {
          return text + (text.find('-', 1) == std::string::npos ? " is" : " are") + " not between " +
                 std::to_string(lo) + " and " + std::to_string(hi);
        }
        return {};
      },
      "N, N-M (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
}

}  // namespace zep::cli
