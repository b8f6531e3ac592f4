#include "dictionary_finder.h"

namespace ql {

DictionaryRoots DictionaryRoots::FromEnvironment() {
  return {};
}

std::vector<FoundDictionary> FindDictionaries(const DictionaryRoots&, const std::string&) {
  return {};
}

bool NeedsImport(const FoundDictionary&) {
  return true;
}

std::string DictionaryOutcomeText(const DictionaryOutcome&) {
  return {};
}

std::vector<DictionaryOutcome> ImportDictionaries(const std::vector<FoundDictionary>& dictionaries,
                                                  const DictionaryImportRun&) {
  return std::vector<DictionaryOutcome>(dictionaries.size());
}

}  // namespace ql
