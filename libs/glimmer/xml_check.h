// A strict well-formedness check of an XML document in UTF-8, run before
// the system's XML reader sees it. Some readers accept what XML forbids
// (undefined entities, unclosed elements at the end, broken UTF-8) or even
// stop answering on it; the dictionaries must be all right or not used.
//
// Checked: UTF-8 and the XML character range, one root element with
// matching end tags, attribute syntax, references (the five predefined
// entities and character references only: document types are refused),
// comments, CDATA sections and processing instructions, and that nothing
// but markup and white space lies outside the root. Namespaces and
// duplicate attributes are checked later, on the reader's nodes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace glimmer {

bool IsWellFormedXml(std::string_view utf8);

// The document's bytes as UTF-8 text for the check: UTF-8 with or without
// its byte-order mark, or UTF-16 in either byte order (with a byte-order
// mark, or recognised by its first '<'). Nothing for broken UTF-16.
std::optional<std::string> DocumentAsUtf8(std::string_view bytes);

}  // namespace glimmer
