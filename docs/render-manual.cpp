// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the user manual from its Markdown source into one HTML page,
// at build time. Qt's own Markdown reader does the work, so that building
// the manual needs nothing beyond what the windows already link.
//
// Usage: purgo-render-manual <manual.md> <manual.html>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QString>
#include <QTextDocument>
#include <cstdio>

namespace {

// QTextDocument writes the layout of a Qt text view: the build machine's
// default font on the body, and lists and headings without margins.
// Browsers read this instead, so the page looks the same wherever it is
// opened.
constexpr char kStyle[] = R"(<style type="text/css">
body { font-family: sans-serif; line-height: 1.45; max-width: 50em; margin: 1em auto; padding: 0 1em; color: #20262e; }
h1, h2, h3 { margin: 1.2em 0 0.4em !important; }
table { border-collapse: collapse; margin: 0.6em 0; }
td { border: 1px solid #c4c8cc; padding: 0.2em 0.5em; vertical-align: top; }
pre { margin: 0 !important; padding: 0 1em; background: #f3f4f5; }
</style>
)";

QString TitleOf(const QString& AMarkdown) {
  for (const QString& line : AMarkdown.split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("# "))) return line.mid(2).trimmed();
  }
  return QStringLiteral("Purgo");
}

// The body's own style attribute goes; the style sheet above takes over.
QString WithOwnStyle(QString AHtml) {
  const qsizetype body = AHtml.indexOf(QLatin1String("<body"));
  const qsizetype end = body < 0 ? -1 : AHtml.indexOf(QLatin1Char('>'), body);
  if (end < 0) return {};
  AHtml.replace(body, end - body + 1, QStringLiteral("<body>"));
  const qsizetype head = AHtml.indexOf(QLatin1String("</head>"));
  if (head < 0) return {};
  AHtml.insert(head, QLatin1String(kStyle));
  return AHtml;
}

// The platform plugin warns about a missing runtime folder and the like;
// a build log has no use for that. Real failures are reported below.
void Quiet(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: purgo-render-manual <manual.md> <manual.html>\n");
    return 2;
  }
  // Fonts and text layout need a GUI application, never a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(Quiet);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "purgo-render-manual: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString markdown = QString::fromUtf8(in.readAll());
  QTextDocument document;
  document.setMarkdown(markdown);
  document.setMetaInformation(QTextDocument::DocumentTitle, TitleOf(markdown));
  const QString html = WithOwnStyle(document.toHtml());
  if (html.isEmpty() || document.isEmpty()) {
    std::fprintf(stderr, "purgo-render-manual: %s rendered to nothing\n", argv[1]);
    return 1;
  }

  // Written whole or not at all: a half-written manual would be installed.
  QSaveFile out(QString::fromLocal8Bit(argv[2]));
  const QByteArray bytes = html.toUtf8();
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
    std::fprintf(stderr, "purgo-render-manual: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
