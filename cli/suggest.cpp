// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "suggest.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qlcli {

namespace {

constexpr size_t kMinSlip = 2;    // edits always taken for a slip
constexpr size_t kSlipShare = 3;  // beyond that, one edit per this many characters
constexpr const char* kHelpLine = "Run with --help for more information.";

bool IsNumber(std::string_view arg) {
  size_t i = arg.size() > 1 && (arg[0] == '-' || arg[0] == '+') ? 1 : 0;
  if (i >= arg.size()) return false;
  for (; i < arg.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(arg[i])) && arg[i] != '.') return false;
  return true;
}

// Every spelling of the command's options: "--name" and "-n".
std::vector<std::string> OptionNames(CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

bool Known(const std::string& name, const std::vector<std::string>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

void Report(const std::string& what, const std::string& given,
            const std::vector<std::string>& names) {
  const std::string nearest = NearestName(given, names);
  if (nearest.empty()) {
    // Nothing close: the names there are, for the eye to find it.
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "qlbook: %s \"%s\" (there are: %s)\n%s\n", what.c_str(), given.c_str(),
                 all.c_str(), kHelpLine);
  } else
    std::fprintf(stderr, "qlbook: %s \"%s\" (did you mean \"%s\"?)\n%s\n", what.c_str(),
                 given.c_str(), nearest.c_str(), kHelpLine);
}

// The option named by arg ("--name=value" names "--name"), or "" when arg
// is not an option (a value, "-" for a standard stream, a negative number).
std::string OptionOf(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-' || IsNumber(arg)) return {};
  if (arg[1] == '-') return std::string(arg.substr(0, arg.find('=')));
  return std::string(arg.substr(0, 2));
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b, size_t limit) {
  const size_t gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (gap > limit) return limit + 1;
  // Three rows of the table: two back for a swap, one back, this one.
  std::vector<size_t> back2(b.size() + 1), back(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) back[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    size_t best = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({back[j] + 1, row[j - 1] + 1, back[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        row[j] = std::min(row[j], back2[j - 2] + 1);
      best = std::min(best, row[j]);
    }
    if (best > limit) return limit + 1;
    back2.swap(back);
    back.swap(row);
  }
  return std::min(back[b.size()], limit + 1);
}

std::string NearestName(std::string_view given, const std::vector<std::string>& names) {
  const std::string_view bare = given.substr(given.find_first_not_of('-') == std::string_view::npos
                                                 ? given.size()
                                                 : given.find_first_not_of('-'));
  if (bare.size() >= kMinSlip)
    for (const std::string& name : names)
      if (name.size() > given.size() && name.compare(0, given.size(), given) == 0) return name;
  std::string nearest;
  size_t nearestDistance = 0;
  for (const std::string& name : names) {
    // Fewer edits than letters given, so "-q" is not taken for "-h".
    const size_t limit = std::min(std::max(kMinSlip, name.size() / kSlipShare),
                                  bare.size() - (bare.empty() ? 0 : 1));
    const size_t distance = EditDistance(given, name, limit);
    if (distance > limit || (!nearest.empty() && distance >= nearestDistance)) continue;
    nearest = name;
    nearestDistance = distance;
  }
  return nearest;
}

bool ReportUnknownName(CLI::App& app, int argc, const char* const* argv) {
  const std::vector<std::string> topOptions = OptionNames(app);
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    commands.push_back(command->get_name());
  CLI::App* command = nullptr;
  std::vector<std::string> options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") return false;  // the rest are values
    const std::string option = OptionOf(arg);
    if (!command && option.empty()) {
      if (!Known(arg, commands)) {
        Report("unknown command", arg, commands);
        return true;
      }
      command = app.get_subcommand(arg);
      options = OptionNames(*command);
      continue;
    }
    if (option.empty()) continue;
    const std::vector<std::string>& known = command ? options : topOptions;
    if (!Known(option, known) && !Known(option, topOptions)) {
      Report(command ? command->get_name() + ": unknown option" : std::string("unknown option"),
             option, known);
      return true;
    }
  }
  return false;
}

}  // namespace qlcli
