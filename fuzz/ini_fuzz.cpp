// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader and writer on arbitrary file contents.
//
// Beyond not crashing, every input must keep three promises: a key written
// reads back (through the length limit), the written text reads the same
// when parsed afresh, and a write changes no other key's value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/IniFile.h"

namespace {

using purgo::platform::IniFile;

// A name as the INI layer compares it: blanks trimmed, ASCII letters
// folded.
std::string Normal(std::string s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  s = s.substr(first, s.find_last_not_of(" \t") - first + 1);
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(64);
  const std::string key = in.ConsumeRandomLengthString(64);
  const std::string value = in.ConsumeRandomLengthString(3000);
  const std::string file = in.ConsumeRemainingBytesAsString();

  const IniFile ini = IniFile::FromBytes(file);
  // Everything readable before the write; bounded so that a file of many
  // keys does not turn one input into minutes.
  std::vector<std::tuple<std::string, std::string, std::string>> before;
  for (const std::string& s : ini.ReadSections()) {
    for (const std::string& k : ini.ReadSectionKeys(s)) {
      if (before.size() < 256) before.emplace_back(s, k, ini.ReadString(s, k, ""));
    }
  }
  for (const auto& [s, k, v] : before) {
    Check(ini.ValueExists(s, k) && v.size() <= 4 * purgo::platform::kIniMaxValueLength);
  }

  IniFile written = ini;
  if (!written.SetString(section, key, value)) {
    Check(written.Text() == ini.Text());
    return 0;
  }
  const std::string stored = value.substr(0, value.find('\0'));
  Check(written.ValueExists(section, key));
  const std::string read = written.ReadString(section, key, "");
  Check(stored.compare(0, read.size(), read) == 0);
  if (stored.size() <= purgo::platform::kIniMaxValueLength) Check(read == stored);

  const IniFile reparsed = IniFile::FromBytes(written.Text());
  Check(reparsed.ValueExists(section, key) && reparsed.ReadString(section, key, "") == read);
  for (const auto& [s, k, v] : before) {
    if (Normal(s) == Normal(section) && Normal(k) == Normal(key)) continue;
    Check(reparsed.ValueExists(s, k) && reparsed.ReadString(s, k, "") == v);
  }
  return 0;
}
