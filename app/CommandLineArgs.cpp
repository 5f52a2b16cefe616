#include "app/CommandLineArgs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
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
  const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON lines instead of text."));
  for (const QCommandLineOption* o :
       {&help, &version, &list, &preview, &clean, &yes, &category, &folder, &ending, &noSubfolders, &json}) {
    parser.addOption(*o);
  }

  const auto usageError = [&](const QString& message) {
    Print(stderr, QStringLiteral("purgo: ") + message + QStringLiteral("\n\n") + parser.helpText());
    AExitCode = kExitUsage;
    return true;
  };
  if (!parser.parse(args)) return usageError(parser.errorText());
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
  for (const QCommandLineOption* o : {&category, &folder, &ending}) {
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
  // On a terminal that also shows the files as they come, those lines are
  // the progress.
  request.progress = platform::IsTerminal(2) && !platform::IsTerminal(1);
  request.terminal = platform::IsTerminal(1);

  // The settings are read as the window reads them, and never written.
  std::ios::sync_with_stdio(false);
  CreateAppSingletons();
  if (AppConfigs != nullptr) AppConfigs->Load();
  if (AppOptions != nullptr) AppOptions->LoadFromXML();
  {
    TCommandLine command(std::move(request), AppOptions, std::cout, std::cerr);
    AExitCode = command.Run();
  }
  std::cout.flush();
  if (!std::cout) AExitCode = kExitIncomplete;
  FreeAppSingletons();
  return true;
}

}  // namespace purgo
