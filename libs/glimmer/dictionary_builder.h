// Builds a string dictionary from the nodes of a XAML resource dictionary.
//
// An XML reader feeds the nodes in document order; the builder applies the
// dictionary's rules and the well-formedness checks a lax reader may skip
// (matching end tags, one root, unique attributes, declared prefixes).
// Anything malformed gives an empty dictionary.
//
// Rules: the root element is named exactly "ResourceDictionary"; each of
// its child elements named exactly "system:String" whose first attribute is
// named exactly "x:Key" gives one entry: the key is that attribute's value,
// the text is the value of the element's first child node (character data,
// or empty when the first child is an element or there is none). Runs of
// whitespace-only character data, comments and processing instructions are
// not nodes. A later equal key replaces an earlier one.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace glimmer {

// Key and text in UTF-8.
using Dictionary = std::map<std::string, std::string>;

struct XmlAttribute {
  std::string name;   // qualified name as written
  std::string value;
};

class DictionaryBuilder {
 public:
  // An element start tag; an empty element is followed by EndElement at once.
  void StartElement(std::string_view name, const std::vector<XmlAttribute>& attributes);
  void EndElement(std::string_view name);
  // Character data, possibly in pieces; whitespace too.
  void Text(std::string_view text);
  void CData(std::string_view text);
  // The reader reported an error.
  void Fail() { failed_ = true; }

  bool failed() const { return failed_; }
  // The dictionary, or empty when the document was malformed or incomplete.
  Dictionary Finish();

 private:
  struct Open {
    std::string name;
    std::vector<std::pair<std::string, std::string>> namespaces;  // prefix, uri
  };
  // The first child of the current entry, while it is still being read.
  enum class FirstChild { kNone, kText, kDone };

  bool PrefixDeclared(std::string_view prefix, const std::vector<std::pair<std::string, std::string>>& own,
                      std::string* uri) const;
  bool CheckAttributes(const std::vector<XmlAttribute>& attributes,
                       std::vector<std::pair<std::string, std::string>>& declared);
  // Ends a pending run of character data (the next node started).
  void CloseText();

  std::vector<Open> open_;
  bool failed_ = false;
  bool rootSeen_ = false;
  bool rootIsDictionary_ = false;

  bool inEntry_ = false;  // inside a counted "system:String" child of the root
  std::string entryKey_;
  std::string entryText_;
  FirstChild first_ = FirstChild::kNone;
  std::string pendingText_;
  bool textPending_ = false;

  Dictionary entries_;
};

}  // namespace glimmer
