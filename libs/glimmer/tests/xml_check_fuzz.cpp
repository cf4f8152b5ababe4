// Random documents through the well-formedness check and the dictionary
// rules: neither may crash, and a document the check refuses stays refused
// when text is appended after a cut-off root.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <string_view>

#include "libs/glimmer/dictionary_builder.h"
#include "libs/glimmer/xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view doc(reinterpret_cast<const char*>(data), size);
  const bool wellFormed = glimmer::IsWellFormedXml(doc);
  if (wellFormed && !doc.empty() && doc.back() == '>') {
    // A complete document followed by a start tag is never well formed.
    std::string extended(doc);
    extended += "<r>";
    if (glimmer::IsWellFormedXml(extended)) __builtin_trap();
  }
  // The builder takes any sequence of nodes; drive it from the same bytes.
  glimmer::DictionaryBuilder builder;
  size_t i = 0;
  while (i < size) {
    const uint8_t op = data[i++] % 5;
    const size_t n = i < size ? data[i++] % 8 : 0;
    const std::string_view piece = doc.substr(std::min(i, size), n);
    i += n;
    switch (op) {
      case 0: builder.StartElement(piece, {{std::string(piece), "v"}}); break;
      case 1: builder.EndElement(piece); break;
      case 2: builder.Text(piece); break;
      case 3: builder.CData(piece); break;
      default: builder.StartElement("system:String", {{"x:Key", std::string(piece)}}); break;
    }
  }
  builder.Finish();
  return 0;
}
