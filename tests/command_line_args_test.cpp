// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineArgs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace purgo {
namespace {

// What a request asks for, in one line, so that cases compare whole.
std::string Describe(const TParsedCommandLine& p) {
  using A = TParsedCommandLine::TAction;
  if (p.action != A::Run) return p.action == A::Help ? "help" : p.action == A::Version ? "version" : "error: " + p.error;
  const TCommandLineRequest& r = p.request;
  std::string s = r.mode == TCommandLineMode::List ? "list" : r.mode == TCommandLineMode::Preview ? "preview" : "clean";
  for (const std::string& c : r.categories) s += " c=" + c;
  for (const std::string& f : r.folders) s += " f=" + f;
  for (const std::string& e : r.endings) s += " e=" + e;
  if (!r.subfolders) s += " flat";
  if (r.json) s += " json";
  if (r.nul) s += " nul";
  if (!r.fromList.empty()) s += " from=" + r.fromList;
  return s;
}

// Grouped short options and values after "=", values that look like
// options, and the order in which the parser's own errors win: an unknown
// option anywhere before any other error. Names in errors are escaped.
TEST(CommandLineArgsTest, OptionsValuesAndErrors) {
  const struct {
    std::vector<std::string> args;
    std::string parsed;
  } cases[] = {
      {{"--preview", "-0c", "temp", "-c=cache", "-ctrash"}, "preview c=temp c=cache c=trash nul"},
      {{"--prev", "--fol=a=b", "--no-s", "-e", "--json", "-f", "--pre"}, "preview f=a=b f=--pre e=--json flat"},
      {{"--clean", "--yes", "--from", "-"}, "clean from=-"},
      {{"-hv"}, "help"},
      {{"--help", "--bogus"}, "error: unknown option '--bogus'"},
      {{"--list=x", "-y"}, "error: unknown option '-y'"},
      {{"--list=x", "--yes=1"}, "error: unexpected value after '--yes'"},
      {{"--preview", "-0=x"}, "error: unexpected value after '-0'"},
      {{"--preview", "-0c"}, "error: missing value after '-0c'"},
      {{"--preview", "--", "-x"}, "error: unexpected argument '-x'"},
      {{"--preview", "-\x1b"}, "error: unknown option '-\\033'"},
      {{"--no", "-f", "d", "--pr"}, "preview f=d flat"},
      {{"--preview", "-f", "d", "-e", ""}, "error: an empty value for --ending"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Describe(ParseCommandLine(c.args)), c.parsed) << ::testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace purgo
