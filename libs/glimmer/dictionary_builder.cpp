#include "libs/glimmer/dictionary_builder.h"

#include <set>
#include <utility>

namespace glimmer {
namespace {

constexpr std::string_view kRootName = "ResourceDictionary";
constexpr std::string_view kEntryName = "system:String";
constexpr std::string_view kKeyAttribute = "x:Key";
constexpr std::string_view kXmlPrefix = "xml";
constexpr std::string_view kXmlUri = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsPrefix = "xmlns";

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllSpace(std::string_view s) {
  for (char c : s) {
    if (!IsXmlSpace(c)) return false;
  }
  return true;
}

// Splits "prefix:local"; false when the name is not a valid qualified name
// (empty parts or more than one colon).
bool SplitName(std::string_view name, std::string_view* prefix, std::string_view* local) {
  if (name.empty()) return false;
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) {
    *prefix = {};
    *local = name;
    return true;
  }
  if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != std::string_view::npos) return false;
  *prefix = name.substr(0, colon);
  *local = name.substr(colon + 1);
  return true;
}

}  // namespace

bool DictionaryBuilder::PrefixDeclared(std::string_view prefix,
                                       const std::vector<std::pair<std::string, std::string>>& own,
                                       std::string* uri) const {
  if (prefix == kXmlPrefix) {
    *uri = kXmlUri;
    return true;
  }
  for (const auto& [p, u] : own) {
    if (p == prefix) {
      *uri = u;
      return true;
    }
  }
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    for (const auto& [p, u] : it->namespaces) {
      if (p == prefix) {
        *uri = u;
        return true;
      }
    }
  }
  return false;
}

bool DictionaryBuilder::CheckAttributes(const std::vector<XmlAttribute>& attributes,
                                        std::vector<std::pair<std::string, std::string>>& declared) {
  std::set<std::string_view> names;
  for (const XmlAttribute& a : attributes) {
    std::string_view prefix, local;
    if (!SplitName(a.name, &prefix, &local)) return false;
    if (!names.insert(a.name).second) return false;  // the same attribute twice
    if (prefix == kXmlnsPrefix) {
      // xmlns:p="uri" declares p; "xmlns" itself cannot be declared and a
      // prefix cannot be bound to the empty name.
      if (local == kXmlnsPrefix || a.value.empty()) return false;
      if (local == kXmlPrefix && a.value != kXmlUri) return false;
      declared.emplace_back(std::string(local), a.value);
    }
  }
  // Prefixed attributes must use declared prefixes and stay distinct once
  // their prefixes are resolved.
  std::set<std::pair<std::string, std::string>> expanded;
  for (const XmlAttribute& a : attributes) {
    std::string_view prefix, local;
    SplitName(a.name, &prefix, &local);
    if (prefix.empty() || prefix == kXmlnsPrefix) continue;
    std::string uri;
    if (!PrefixDeclared(prefix, declared, &uri)) return false;
    if (!expanded.emplace(std::move(uri), std::string(local)).second) return false;
  }
  return true;
}

void DictionaryBuilder::CloseText() {
  if (!textPending_) return;
  textPending_ = false;
  // A run of whitespace alone is no node; the first real node decides.
  if (first_ == FirstChild::kNone && !AllSpace(pendingText_)) {
    entryText_ = std::move(pendingText_);
    first_ = FirstChild::kDone;
  }
  pendingText_.clear();
}

void DictionaryBuilder::StartElement(std::string_view name, const std::vector<XmlAttribute>& attributes) {
  if (failed_) return;
  std::string_view prefix, local;
  Open element{std::string(name), {}};
  if (!SplitName(name, &prefix, &local) || prefix == kXmlnsPrefix || !CheckAttributes(attributes, element.namespaces)) {
    failed_ = true;
    return;
  }
  std::string uri;
  if (!prefix.empty() && !PrefixDeclared(prefix, element.namespaces, &uri)) {
    failed_ = true;
    return;
  }

  const size_t depth = open_.size();
  if (depth == 0) {
    if (rootSeen_) {  // a second root element
      failed_ = true;
      return;
    }
    rootSeen_ = true;
    rootIsDictionary_ = name == kRootName;
  } else if (depth == 1 && rootIsDictionary_) {
    if (name == kEntryName && !attributes.empty() && attributes.front().name == kKeyAttribute) {
      inEntry_ = true;
      entryKey_ = attributes.front().value;
      entryText_.clear();
      first_ = FirstChild::kNone;
    }
  } else if (depth == 2 && inEntry_) {
    CloseText();
    if (first_ == FirstChild::kNone) first_ = FirstChild::kDone;  // an element first: empty text
  }
  open_.push_back(std::move(element));
}

void DictionaryBuilder::EndElement(std::string_view name) {
  if (failed_) return;
  if (open_.empty() || open_.back().name != name) {
    failed_ = true;
    return;
  }
  if (open_.size() == 2 && inEntry_) {
    CloseText();
    entries_[entryKey_] = std::move(entryText_);  // a later equal key wins
    entryText_.clear();
    inEntry_ = false;
  }
  open_.pop_back();
}

void DictionaryBuilder::Text(std::string_view text) {
  if (failed_) return;
  if (open_.empty()) {
    if (!AllSpace(text)) failed_ = true;  // character data outside the root
    return;
  }
  if (open_.size() == 2 && inEntry_ && first_ == FirstChild::kNone) {
    pendingText_.append(text);
    textPending_ = true;
  }
}

void DictionaryBuilder::CData(std::string_view text) {
  if (failed_) return;
  if (open_.empty()) {
    failed_ = true;
    return;
  }
  if (open_.size() == 2 && inEntry_) {
    CloseText();
    if (first_ == FirstChild::kNone) {
      entryText_.assign(text);
      first_ = FirstChild::kDone;
    }
  }
}

Dictionary DictionaryBuilder::Finish() {
  if (failed_ || !open_.empty() || !rootSeen_ || !rootIsDictionary_) return {};
  return std::move(entries_);
}

}  // namespace glimmer
