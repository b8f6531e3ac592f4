#include "library.h"

#include <algorithm>

#include "user_dirs.h"

namespace ql {

std::string LibraryFilePath() {
  return BaseDirectory("XDG_CONFIG_HOME", "/.config") + "/quillary/library";
}

std::string BooksFolder() {
  return UserDataDirectory() + "/quillary/books";
}

std::string NormalisePath(std::string_view path) {
  return std::string(path);
}

BookStatus ProbeBook(const std::string&) {
  return {};
}

std::string BookStateText(const BookStatus&) {
  return {};
}

Library Library::Load(const std::string&) {
  return {};
}

bool Library::Save(const std::string&, std::string&) const {
  return false;
}

void Library::Rescan() {
  Rescan(BooksFolder());
}

void Library::Rescan(const std::string&) {}

const LibraryBook* Library::Find(const std::string& path) const {
  const int i = IndexOf(path);
  return i < 0 ? nullptr : &iBooks[static_cast<size_t>(i)];
}

int Library::IndexOf(const std::string& path) const {
  for (size_t i = 0; i < iBooks.size(); ++i)
    if (iBooks[i].path == path) return static_cast<int>(i);
  return -1;
}

bool Library::AddFolder(const std::string&) {
  return false;
}
bool Library::RemoveFolder(const std::string&) {
  return false;
}
bool Library::AddBook(const std::string&) {
  return false;
}
bool Library::RemoveBook(const std::string&) {
  return false;
}
void Library::AddOpened(const std::string&) {}
bool Library::SetEnabled(const std::string&, bool) {
  return false;
}
bool Library::Move(const std::string&, int) {
  return false;
}

std::vector<std::string> Library::GroupNames() const {
  std::vector<std::string> names{kAllBooks};
  for (const Group& g : iGroups) names.push_back(g.name);
  return names;
}

bool Library::AddGroup(const std::string&) {
  return false;
}
bool Library::RemoveGroup(const std::string&) {
  return false;
}
bool Library::SetInGroup(const std::string&, const std::string&, bool) {
  return false;
}
bool Library::InGroup(std::string_view, const std::string&) const {
  return false;
}
std::vector<std::string> Library::BooksOf(std::string_view) const {
  return {};
}

Library::Group* Library::FindGroup(std::string_view name) {
  for (Group& g : iGroups)
    if (g.name == name) return &g;
  return nullptr;
}

const Library::Group* Library::FindGroup(std::string_view name) const {
  for (const Group& g : iGroups)
    if (g.name == name) return &g;
  return nullptr;
}

}  // namespace ql
