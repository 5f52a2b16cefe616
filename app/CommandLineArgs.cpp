// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineArgs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>
#include <utility>

#include "app/AppSingletons.h"
#include "app/WindowOptions.h"
#include "platform/FileIO.h"
#include "platform/Platform.h"

namespace purgo {
namespace {

enum TOptionId { kHelp, kVersion, kList, kPreview, kClean, kYes, kCategory, kFolder, kEnding, kNoSubfolders,
                 kFrom, kJson, kNull, kOptionCount };

struct TOption {
  char shortName;  // '\0': none
  const char* longName;
  bool takesValue;
};
constexpr TOption kOptions[kOptionCount] = {
    {'h', "help", false},    {'v', "version", false}, {'\0', "list", false},  {'\0', "preview", false},
    {'\0', "clean", false},  {'\0', "yes", false},    {'c', "category", true}, {'f', "folder", true},
    {'e', "ending", true},   {'\0', "no-subfolders", false}, {'\0', "from", true}, {'\0', "json", false},
    {'0', "null", false},
};

int FindOption(std::string_view AName) {
  for (int i = 0; i < kOptionCount; ++i) {
    const TOption& o = kOptions[i];
    if ((AName.size() == 1 && AName[0] == o.shortName && o.shortName != '\0') || AName == o.longName) return i;
  }
  return -1;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The arguments with each long option written out in full (--prev for
// --preview, as GNU tools accept). An unknown or ambiguous one leaves
// `AError` set. Values are passed over, so that a folder named "--pre"
// stays a folder.
std::vector<std::string> ExpandLongOptions(const std::vector<std::string>& AArgs, std::string& AError) {
  std::vector<std::string> out;
  bool valueNext = false, optionsEnded = false;
  for (const std::string& arg : AArgs) {
    if (valueNext || optionsEnded) {
      valueNext = false;
      out.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      out.push_back(arg);
      continue;
    }
    if (StartsWith(arg, "--")) {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      std::vector<std::string> candidates;
      const TOption* match = nullptr;
      for (const TOption& o : kOptions) {
        if (name == o.longName) {
          candidates = {o.longName};
          match = &o;
          break;
        }
        if (!name.empty() && StartsWith(o.longName, name)) {
          candidates.emplace_back(o.longName);
          match = &o;
        }
      }
      if (candidates.empty()) {
        AError = "unknown option '--" + name + "'";
        return out;
      }
      if (candidates.size() > 1) {
        std::sort(candidates.begin(), candidates.end());
        AError = "option '--" + name + "' is ambiguous; possibilities:";
        for (const std::string& c : candidates) AError += " '--" + c + "'";
        return out;
      }
      out.push_back("--" + candidates.front() + (eq == std::string::npos ? std::string() : arg.substr(eq)));
      valueNext = match->takesValue && eq == std::string::npos;
      continue;
    }
    out.push_back(arg);
    // "-c id", "-fdir", "-0c id": the value is the rest of the argument or
    // the next one.
    if (StartsWith(arg, "-")) {
      for (std::size_t i = 1; i < arg.size(); ++i) {
        const int o = FindOption(std::string_view(arg).substr(i, 1));
        if (o >= 0 && kOptions[o].takesValue) {
          valueNext = i + 1 == arg.size();
          break;
        }
      }
    }
  }
  return out;
}

// What the arguments set: the options seen, their values, the arguments
// that are no option, and what was wrong. Parsing goes on after an error,
// so that an unknown option anywhere is the one reported.
struct TScan {
  bool set[kOptionCount] = {};
  std::vector<std::string> values[kOptionCount];
  std::vector<std::string> positional;
  std::vector<std::string> unknown;
  std::string error;  // the last error other than an unknown option

  bool Has(int AOption) const { return set[AOption]; }
};

// Takes the value of option `AOption` met in `AArg`: after its "=", or the
// next argument. False (with the error) when it has no place for one or
// lacks one.
bool TakeValue(TScan& AScan, int AOption, const std::string& AArg, std::size_t& AIndex,
               const std::vector<std::string>& AArgs) {
  const std::size_t eq = AArg.find('=');
  if (kOptions[AOption].takesValue) {
    if (eq == std::string::npos) {
      if (++AIndex == AArgs.size()) {
        AScan.error = "missing value after '" + AArg + "'";
        return false;
      }
      AScan.values[AOption].push_back(AArgs[AIndex]);
    } else {
      AScan.values[AOption].push_back(AArg.substr(eq + 1));
    }
  } else if (eq != std::string::npos) {
    AScan.error = "unexpected value after '" + AArg.substr(0, eq) + "'";
    return false;
  }
  return true;
}

bool Register(TScan& AScan, std::string_view AName, int& AOption) {
  AOption = FindOption(AName);
  if (AOption < 0) {
    AScan.unknown.emplace_back(AName);
    return false;
  }
  AScan.set[AOption] = true;
  return true;
}

TScan ScanArguments(const std::vector<std::string>& AArgs) {
  TScan scan;
  bool positionalOnly = false;
  for (std::size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& arg = AArgs[i];
    int option = -1;
    if (positionalOnly || arg.size() < 2 || arg[0] != '-') {
      scan.positional.push_back(arg);
    } else if (arg == "--") {
      positionalOnly = true;
    } else if (StartsWith(arg, "--")) {
      const std::string name = arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos
                                                                                : arg.find('=') - 2);
      if (Register(scan, name, option)) TakeValue(scan, option, arg, i, AArgs);
    } else {
      // Grouped short options: "-0c id", "-fdir", "-c=id".
      bool valueFound = false;
      std::string_view name;
      for (std::size_t pos = 1; pos < arg.size(); ++pos) {
        name = std::string_view(arg).substr(pos, 1);
        if (!Register(scan, name, option)) continue;
        if (kOptions[option].takesValue) {
          if (pos + 1 < arg.size()) {
            if (arg[pos + 1] == '=') ++pos;
            scan.values[option].push_back(arg.substr(pos + 1));
            valueFound = true;
          }
          break;
        }
        if (pos + 1 < arg.size() && arg[pos + 1] == '=') break;
      }
      if (!valueFound && (option = FindOption(name)) >= 0) TakeValue(scan, option, arg, i, AArgs);
    }
  }
  return scan;
}

TParsedCommandLine UsageError(std::string AMessage) {
  TParsedCommandLine parsed;
  parsed.action = TParsedCommandLine::TAction::UsageError;
  parsed.error = std::move(AMessage);
  return parsed;
}

// The name a user types to run this program again: argv[0] without its
// folder (which Windows may also write with '/').
std::string ProgramName(const std::string& AProgram) {
  const char delimiters[] = {'/', platform::kPathDelimiter, '\0'};
  const std::size_t slash = AProgram.find_last_of(delimiters);
  std::string name = slash == std::string::npos ? AProgram : AProgram.substr(slash + 1);
  return name.empty() ? std::string("purgo") : name;
}

}  // namespace

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& AArgs) {
  // Arguments are shown as `ls -b` shows names: an option or value may
  // hold any byte, escape sequences included, and the message is read.
  std::string expandError;
  const std::vector<std::string> args = ExpandLongOptions(AArgs, expandError);
  if (!expandError.empty()) return UsageError(TerminalEscape(expandError));
  const TScan s = ScanArguments(args);
  if (!s.unknown.empty()) {
    const std::string& name = s.unknown.front();
    return UsageError(TerminalEscape("unknown option '" + std::string(name.size() == 1 ? "-" : "--") + name + "'"));
  }
  if (!s.error.empty()) return UsageError(TerminalEscape(s.error));

  TParsedCommandLine parsed;
  if (s.Has(kHelp) || s.Has(kVersion)) {
    parsed.action = s.Has(kHelp) ? TParsedCommandLine::TAction::Help : TParsedCommandLine::TAction::Version;
    return parsed;
  }
  if (!s.positional.empty()) return UsageError("unexpected argument '" + TerminalEscape(s.positional.front()) + "'");
  const int modes = int(s.Has(kList)) + int(s.Has(kPreview)) + int(s.Has(kClean));
  if (modes == 0) return UsageError("choose one of --list, --preview or --clean");
  if (modes > 1) return UsageError("--list, --preview and --clean do not go together");
  if (s.Has(kClean) && !s.Has(kYes)) return UsageError("--clean deletes files: confirm it with --yes");
  if (s.Has(kYes) && !s.Has(kClean)) return UsageError("--yes only confirms --clean");
  if (s.Has(kList) && (s.Has(kCategory) || s.Has(kFolder) || s.Has(kEnding) || s.Has(kNoSubfolders))) {
    return UsageError("--list takes no --category, --folder, --ending or --no-subfolders");
  }
  if (s.Has(kCategory) && s.Has(kFolder)) return UsageError("--category and --folder do not go together");
  if ((s.Has(kEnding) || s.Has(kNoSubfolders)) && !s.Has(kFolder)) {
    return UsageError("--ending and --no-subfolders need --folder");
  }
  if (s.Has(kFrom) && !s.Has(kClean)) return UsageError("--from needs --clean");
  if (s.Has(kFrom) && (s.Has(kCategory) || s.Has(kFolder))) {
    return UsageError("--from takes the files of its list: no --category or --folder");
  }
  if (s.values[kFrom].size() > 1) return UsageError("--from takes one list");
  if (s.Has(kNull) && s.Has(kJson)) return UsageError("--null is for text output, not --json");
  for (const int o : {kCategory, kFolder, kEnding, kFrom}) {
    const std::vector<std::string>& v = s.values[o];
    if (std::find(v.begin(), v.end(), std::string()) != v.end()) {
      return UsageError(std::string("an empty value for --") + kOptions[o].longName);
    }
  }

  parsed.action = TParsedCommandLine::TAction::Run;
  TCommandLineRequest& r = parsed.request;
  r.mode = s.Has(kList) ? TCommandLineMode::List : s.Has(kPreview) ? TCommandLineMode::Preview : TCommandLineMode::Clean;
  r.categories = s.values[kCategory];
  r.folders = s.values[kFolder];
  r.endings = s.values[kEnding];
  r.subfolders = !s.Has(kNoSubfolders);
  r.json = s.Has(kJson);
  r.nul = s.Has(kNull);
  if (s.Has(kFrom)) r.fromList = s.values[kFrom].back();
  return parsed;
}

std::string CommandLineHelp(const std::string& AProgram) {
  return "Usage: " + AProgram +
         " [options]\n"
         "Finds and deletes disposable files. Without options the window starts.\n"
         "Exit status: 0 everything done, 1 something could not be done (a file refused,\n"
         "a folder missing or unreadable), 2 a usage error.\n"
         "\n"
         "Options:\n"
         "  -h, --help             Show this help and exit.\n"
         "  -v, --version          Show the version and exit.\n"
         "  --list                 List the trace categories (id, name).\n"
         "  --preview              Scan and print every file found with its size; delete\n"
         "                         nothing.\n"
         "  --clean                Scan, then delete what was found. Needs --yes.\n"
         "  --yes                  Confirm --clean.\n"
         "  -c, --category <id>    Trace category to scan (repeatable; see --list).\n"
         "                         Default: those ticked in the settings.\n"
         "  -f, --folder <folder>  Use the file-type cleaner on this folder instead of\n"
         "                         the trace categories (repeatable).\n"
         "  -e, --ending <ending>  Name ending to look for with --folder, such as .tmp\n"
         "                         (repeatable). Default: the endings ticked in the\n"
         "                         settings.\n"
         "  --no-subfolders        With --folder: do not look below the given folders.\n"
         "  --from <list>          With --clean: delete the files of this list (as\n"
         "                         --preview --json wrote it, edited or filtered; - for\n"
         "                         standard input) instead of scanning, each only while it\n"
         "                         is the file the preview found.\n"
         "  --json                 Print JSON lines instead of text.\n"
         "  -0, --null             End each text record with a NUL byte instead of a\n"
         "                         newline (the summary goes to standard error).\n";
}

int RunCommandLine(const std::string& AProgram, const std::vector<std::string>& AArgs) {
  TParsedCommandLine parsed = ParseCommandLine(AArgs);
  switch (parsed.action) {
    case TParsedCommandLine::TAction::Help:
      std::cout << CommandLineHelp(AProgram) << std::flush;
      return kExitDone;
    case TParsedCommandLine::TAction::Version:
      std::cout << "purgo " PURGO_VERSION "\n" << std::flush;
      return kExitDone;
    case TParsedCommandLine::TAction::UsageError:
      // One line saying what is wrong and where to look, as GNU tools do:
      // the whole usage would push the message off the screen. The help
      // named is this program's: `purgo` need not be installed beside
      // `purgo-cli`.
      std::cerr << "purgo: " << parsed.error << "\nTry '" << TerminalEscape(ProgramName(AProgram))
                << " --help'.\n"
                << std::flush;
      return kExitUsage;
    case TParsedCommandLine::TAction::Run:
      break;
  }
  TCommandLineRequest request = std::move(parsed.request);
  // On a terminal that also shows the files as they come, those lines are
  // the progress.
  request.progress = platform::IsTerminal(2) && !platform::IsTerminal(1);
  request.terminal = platform::IsTerminal(1);

  // The settings are read as the window reads them, and never written.
  std::ios::sync_with_stdio(false);
  CreateAppSingletons();
  if (AppConfigs != nullptr) AppConfigs->Load();
  if (AppOptions != nullptr) AppOptions->LoadFromXML();
  platform::DescriptorOutputBuffer buffer(1);
  std::ostream out(&buffer);
  int code = kExitDone;
  {
    TCommandLine command(std::move(request), AppOptions, out, std::cerr);
    code = command.Run();
  }
  out.flush();
  if (const int error = buffer.Error(); error != 0) {
    // A reader that stopped reading wanted no more: no message for that.
    if (error != EPIPE) std::cerr << "purgo: cannot write the output: " << std::strerror(error) << '\n';
    code = kExitIncomplete;
  }
  FreeAppSingletons();
  return code;
}

bool RunCommandLine(int argc, char** argv, int& AExitCode) {
  const std::vector<std::string> own = OwnArguments(argc, argv);
  if (own.empty()) return false;
  AExitCode = RunCommandLine(argc > 0 ? std::string(argv[0]) : std::string("purgo"), own);
  return true;
}

}  // namespace purgo
