// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineArgs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/AppCommand.h"
#include "app/AppSingletons.h"
#include "app/CommandLine.h"
#include "app/WindowOptions.h"
#include "platform/FileIO.h"

namespace purgo {
namespace {

// Arguments are bytes (a folder's name need not be UTF-8): each byte goes
// through the parser as one Latin-1 character and comes back unchanged.
QString Arg(const char* bytes) { return QString::fromLatin1(bytes); }
std::string Bytes(const QString& s) { return s.toLatin1().toStdString(); }
std::vector<std::string> AllBytes(const QStringList& l) {
  std::vector<std::string> out;
  for (const QString& s : l) out.push_back(Bytes(s));
  return out;
}

void Print(std::FILE* f, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), f);
}

struct TLongOption {
  const char* name;
  bool takesValue;
};
// Every long option, for the prefixes GNU tools accept (--prev for
// --preview); kept beside the parser's list below.
constexpr TLongOption kLongOptions[] = {
    {"help", false},   {"version", false}, {"list", false},   {"preview", false},       {"clean", false},
    {"yes", false},    {"category", true}, {"folder", true},  {"ending", true},         {"from", true},
    {"json", false},   {"null", false},    {"no-subfolders", false},
};
constexpr char kShortWithValue[] = "cfe";

// The arguments with each long option written out in full. An unknown or
// ambiguous one leaves `AError` set and the rest unexpanded. Values are
// passed over, so that a folder named "--pre" stays a folder.
QStringList ExpandLongOptions(const QStringList& AArgs, QString& AError) {
  QStringList out;
  bool valueNext = false, optionsEnded = false;
  for (const QString& arg : AArgs) {
    if (valueNext || optionsEnded || out.isEmpty()) {
      valueNext = false;
      out << arg;
      continue;
    }
    if (arg == QLatin1String("--")) {
      optionsEnded = true;
      out << arg;
      continue;
    }
    if (arg.startsWith(QLatin1String("--"))) {
      const qsizetype eq = arg.indexOf(QLatin1Char('='));
      const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
      QStringList candidates;
      const TLongOption* match = nullptr;
      for (const TLongOption& o : kLongOptions) {
        const QString full = QString::fromLatin1(o.name);
        if (full == name) {
          candidates = {full};
          match = &o;
          break;
        }
        if (!name.isEmpty() && full.startsWith(name)) {
          candidates << full;
          match = &o;
        }
      }
      if (candidates.isEmpty()) {
        AError = QStringLiteral("unknown option '--%1'").arg(name);
        return out;
      }
      if (candidates.size() > 1) {
        candidates.sort();
        AError = QStringLiteral("option '--%1' is ambiguous; possibilities: '--%2'")
                     .arg(name, candidates.join(QLatin1String("' '--")));
        return out;
      }
      out << QStringLiteral("--") + candidates.front() + (eq < 0 ? QString() : arg.mid(eq));
      valueNext = match->takesValue && eq < 0;
      continue;
    }
    out << arg;
    // "-c id", "-fdir", "-0c id": the value is the rest of the argument or
    // the next one.
    if (arg.startsWith(QLatin1Char('-'))) {
      for (qsizetype i = 1; i < arg.size(); ++i) {
        if (std::strchr(kShortWithValue, arg[i].toLatin1()) != nullptr) {
          valueNext = i + 1 == arg.size();
          break;
        }
      }
    }
  }
  return out;
}

}  // namespace

bool RunCommandLine(int argc, char** argv, int& AExitCode) {
  const std::vector<std::string> own = OwnArguments(argc, argv);
  if (own.empty()) return false;
  QStringList args{argc > 0 ? Arg(argv[0]) : QStringLiteral("purgo")};
  for (const std::string& a : own) args << Arg(a.c_str());

  // No display is needed for any of this, and no window is ever made.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("purgo"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PURGO_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Finds and deletes disposable files. Without options the window starts.\n"
      "Exit status: 0 everything done, 1 something could not be done (a file refused,\n"
      "a folder missing or unreadable), 2 a usage error."));
  // Not the parser's built-in pair: that one also offers the window
  // system's options, which do nothing here.
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("List the trace categories (id, name)."));
  const QCommandLineOption preview(QStringLiteral("preview"),
                                   QStringLiteral("Scan and print every file found with its size; delete nothing."));
  const QCommandLineOption clean(QStringLiteral("clean"),
                                 QStringLiteral("Scan, then delete what was found. Needs --yes."));
  const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Confirm --clean."));
  const QCommandLineOption category(
      QStringList{QStringLiteral("c"), QStringLiteral("category")},
      QStringLiteral("Trace category to scan (repeatable; see --list). Default: those ticked in the settings."),
      QStringLiteral("id"));
  const QCommandLineOption folder(
      QStringList{QStringLiteral("f"), QStringLiteral("folder")},
      QStringLiteral("Use the file-type cleaner on this folder instead of the trace categories (repeatable)."),
      QStringLiteral("folder"));
  const QCommandLineOption ending(
      QStringList{QStringLiteral("e"), QStringLiteral("ending")},
      QStringLiteral("Name ending to look for with --folder, such as .tmp (repeatable). "
                     "Default: the endings ticked in the settings."),
      QStringLiteral("ending"));
  const QCommandLineOption noSubfolders(QStringLiteral("no-subfolders"),
                                        QStringLiteral("With --folder: do not look below the given folders."));
  const QCommandLineOption from(
      QStringLiteral("from"),
      QStringLiteral("With --clean: delete the files of this list (as --preview --json wrote it, "
                     "edited or filtered; - for standard input) instead of scanning, each only "
                     "while it is the file the preview found."),
      QStringLiteral("list"));
  const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON lines instead of text."));
  const QCommandLineOption null(QStringList{QStringLiteral("0"), QStringLiteral("null")},
                                QStringLiteral("End each text record with a NUL byte instead of a newline "
                                               "(the summary goes to standard error)."));
  for (const QCommandLineOption* o : {&help, &version, &list, &preview, &clean, &yes, &category, &folder, &ending,
                                      &noSubfolders, &from, &json, &null}) {
    parser.addOption(*o);
  }

  // One line saying what is wrong and where to look, as GNU tools do: the
  // whole usage would push the message off the screen.
  const auto usageError = [&](const QString& message) {
    Print(stderr, QStringLiteral("purgo: ") + message + QStringLiteral("\nTry 'purgo --help'.\n"));
    AExitCode = kExitUsage;
    return true;
  };
  QString expandError;
  args = ExpandLongOptions(args, expandError);
  if (!expandError.isEmpty()) return usageError(expandError);
  if (!parser.parse(args)) {
    if (!parser.unknownOptionNames().isEmpty()) {
      const QString name = parser.unknownOptionNames().first();
      return usageError(QStringLiteral("unknown option '%1%2'").arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    QString why = parser.errorText();
    if (why.endsWith(QLatin1Char('.'))) why.chop(1);
    if (!why.isEmpty()) why[0] = why[0].toLower();
    return usageError(why);
  }
  if (parser.isSet(help)) {
    Print(stdout, parser.helpText());
    AExitCode = kExitDone;
    return true;
  }
  if (parser.isSet(version)) {
    Print(stdout, QStringLiteral("purgo " PURGO_VERSION "\n"));
    AExitCode = kExitDone;
    return true;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
  }
  const int modes = int(parser.isSet(list)) + int(parser.isSet(preview)) + int(parser.isSet(clean));
  if (modes == 0) return usageError(QStringLiteral("choose one of --list, --preview or --clean"));
  if (modes > 1) return usageError(QStringLiteral("--list, --preview and --clean do not go together"));
  if (parser.isSet(clean) && !parser.isSet(yes)) {
    return usageError(QStringLiteral("--clean deletes files: confirm it with --yes"));
  }
  if (parser.isSet(yes) && !parser.isSet(clean)) return usageError(QStringLiteral("--yes only confirms --clean"));
  if (parser.isSet(list) &&
      (parser.isSet(category) || parser.isSet(folder) || parser.isSet(ending) || parser.isSet(noSubfolders))) {
    return usageError(QStringLiteral("--list takes no --category, --folder, --ending or --no-subfolders"));
  }
  if (parser.isSet(category) && parser.isSet(folder)) {
    return usageError(QStringLiteral("--category and --folder do not go together"));
  }
  if ((parser.isSet(ending) || parser.isSet(noSubfolders)) && !parser.isSet(folder)) {
    return usageError(QStringLiteral("--ending and --no-subfolders need --folder"));
  }
  if (parser.isSet(from) && !parser.isSet(clean)) return usageError(QStringLiteral("--from needs --clean"));
  if (parser.isSet(from) && (parser.isSet(category) || parser.isSet(folder))) {
    return usageError(QStringLiteral("--from takes the files of its list: no --category or --folder"));
  }
  if (parser.values(from).size() > 1) return usageError(QStringLiteral("--from takes one list"));
  if (parser.isSet(null) && parser.isSet(json)) {
    return usageError(QStringLiteral("--null is for text output, not --json"));
  }
  for (const QCommandLineOption* o : {&category, &folder, &ending, &from}) {
    if (parser.values(*o).contains(QString())) {
      return usageError(QStringLiteral("an empty value for --%1").arg(o->names().last()));
    }
  }

  TCommandLineRequest request;
  request.mode = parser.isSet(list)      ? TCommandLineMode::List
                 : parser.isSet(preview) ? TCommandLineMode::Preview
                                         : TCommandLineMode::Clean;
  request.categories = AllBytes(parser.values(category));
  request.folders = AllBytes(parser.values(folder));
  request.endings = AllBytes(parser.values(ending));
  request.subfolders = !parser.isSet(noSubfolders);
  request.json = parser.isSet(json);
  request.nul = parser.isSet(null);
  if (parser.isSet(from)) request.fromList = Bytes(parser.value(from));
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
  {
    TCommandLine command(std::move(request), AppOptions, out, std::cerr);
    AExitCode = command.Run();
  }
  out.flush();
  if (const int error = buffer.Error(); error != 0) {
    // A reader that stopped reading wanted no more: no message for that.
    if (error != EPIPE) std::cerr << "purgo: cannot write the output: " << std::strerror(error) << '\n';
    AExitCode = kExitIncomplete;
  }
  FreeAppSingletons();
  return true;
}

}  // namespace purgo
