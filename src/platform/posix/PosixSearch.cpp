// Directory search. The matches are taken when the search starts and kept in
// a process-wide table, so that a search left open is still reachable.
#include <algorithm>
#include <cstring>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

struct SearchSlot {
  bool inUse;
  size_t next;
  std::vector<std::string> names;
};
static std::mutex SearchLock;  // guards Searches
static std::vector<SearchSlot> Searches;

// '*' matches any run of characters, '?' any one; letters match in either case.
static bool MatchesPattern(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && UpperAscii(*pattern) == UpperAscii(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

static bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// The names of folder dir that match pattern, in the fixed order; a pattern
// without wildcards gives the one stored name that stands for it. Call with
// ListingLock held.
static bool ListMatches(const std::string& dir, const std::string& pattern,
                        std::vector<std::string>* matches) {
  if (!HasWildcards(pattern)) {
    std::string stored;
    if (LookupFolded(dir, pattern, &stored)) {
      matches->push_back(stored);
      return true;
    }
    return LastError == ERROR_FILE_NOT_FOUND;
  }
  if (const NameSet* names = CachedListing(dir)) {
    // Every match begins with the pattern's letters before its first
    // wildcard, in some letter case: in the fixed order those names stand
    // together, from the upper-cased letters on.
    const std::string prefix = pattern.substr(0, pattern.find_first_of("*?"));
    for (auto n = names->lower_bound(UpperName(prefix)); n != names->end(); ++n) {
      if (n->size() < prefix.size() || CompareFolded(n->data(), prefix.size(), prefix.data(), prefix.size()) != 0)
        break;
      if (MatchesPattern(pattern.c_str(), n->c_str())) matches->push_back(*n);
    }
    return true;
  }
  if (!ScanDirectory(dir, [&](const char* n) {
        if (MatchesPattern(pattern.c_str(), n)) matches->push_back(n);
      }))
    return false;
  std::sort(matches->begin(), matches->end(), FoldedOrder());
  return true;
}

static void CopyName(const std::string& name, char* out) {
  const size_t limit = PLAT_MAX_PATH;
  const size_t n = name.size() < limit ? name.size() : limit;
  std::memcpy(out, name.data(), n);
  out[n] = '\0';
}

static SearchSlot* FindSlot(PlatSearch search) {
  if (search < 1 || static_cast<size_t>(search) > Searches.size()) return nullptr;
  SearchSlot& slot = Searches[static_cast<size_t>(search) - 1];
  return slot.inUse ? &slot : nullptr;
}

static bool FindFirst(const char* pattern, char* name, PlatSearch* search) {
  std::string dir, last;
  if (!ResolveParent(pattern, &dir, &last)) return false;
  std::vector<std::string> matches;
  if (!last.empty() && !IsDotName(last)) {
    std::lock_guard<std::mutex> hold(ListingLock);
    if (!ListMatches(dir.empty() ? "." : dir, last, &matches)) {
      return Fail(LastError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : LastError);
    }
  }
  if (matches.empty()) return Fail(ERROR_FILE_NOT_FOUND);
  std::lock_guard<std::mutex> hold(SearchLock);
  size_t index = 0;
  while (index < Searches.size() && Searches[index].inUse) ++index;
  if (index == Searches.size()) Searches.emplace_back();
  SearchSlot& slot = Searches[index];
  slot.inUse = true;
  slot.names.swap(matches);
  slot.next = 1;
  CopyName(slot.names[0], name);
  *search = static_cast<PlatSearch>(index + 1);
  return true;
}

PlatSearch PlatFindFirst(const char* pattern, char* name) {
  if (name == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return PLAT_NO_SEARCH;
  }
  name[0] = '\0';
  PlatSearch search = PLAT_NO_SEARCH;
  return Guarded([&] { return FindFirst(pattern, name, &search); }) ? search : PLAT_NO_SEARCH;
}

bool PlatFindNext(PlatSearch search, char* name) {
  if (name == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> hold(SearchLock);
  SearchSlot* slot = FindSlot(search);
  if (slot == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (slot->next >= slot->names.size()) return Fail(ERROR_NO_MORE_FILES);
  CopyName(slot->names[slot->next++], name);
  return true;
}

void PlatFindClose(PlatSearch search) {
  std::lock_guard<std::mutex> hold(SearchLock);
  SearchSlot* slot = FindSlot(search);
  if (slot == nullptr) return;
  slot->inUse = false;
  std::vector<std::string>().swap(slot->names);
}
