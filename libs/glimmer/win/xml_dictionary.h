// Reads a XAML string dictionary with the system's XmlLite and applies the
// dictionary rules (libs/glimmer/dictionary_builder.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>

namespace glimmer {

// Key (UTF-8) to display text.
using DisplayTexts = std::map<std::string, std::wstring>;

// Parses one document (encoding detected from its bytes); empty when it is
// malformed in any way.
DisplayTexts ParseDictionary(const void* data, size_t size);

// The dictionary resource with this id (type 256) of the module; empty when
// it is missing or malformed.
DisplayTexts LoadDictionaryResource(HMODULE module, int id);

}  // namespace glimmer
