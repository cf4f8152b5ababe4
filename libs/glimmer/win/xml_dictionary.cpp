#include "libs/glimmer/win/xml_dictionary.h"

#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <string_view>
#include <vector>

#include "base/win/com_ptr.h"
#include "base/win/utf.h"
#include "libs/glimmer/dictionary_builder.h"
#include "libs/glimmer/xml_check.h"
#include "libs/glimmer/win/resource_ids.h"

namespace glimmer {
namespace {

using zu::win::ComPtr;
using zu::win::FromUtf8;
using zu::win::ToUtf8;

std::string QualifiedName(IXmlReader* reader) {
  const WCHAR* name = nullptr;
  UINT length = 0;
  if (FAILED(reader->GetQualifiedName(&name, &length)) || !name) return {};
  return ToUtf8(std::wstring_view(name, length));
}

std::string Value(IXmlReader* reader) {
  const WCHAR* value = nullptr;
  UINT length = 0;
  if (FAILED(reader->GetValue(&value, &length)) || !value) return {};
  return ToUtf8(std::wstring_view(value, length));
}

// Feeds one element start (with its attributes in document order).
bool ReadElement(IXmlReader* reader, DictionaryBuilder& builder) {
  const std::string name = QualifiedName(reader);
  const bool empty = reader->IsEmptyElement() != FALSE;
  std::vector<XmlAttribute> attributes;
  HRESULT hr = reader->MoveToFirstAttribute();
  while (hr == S_OK) {
    attributes.push_back({QualifiedName(reader), Value(reader)});
    hr = reader->MoveToNextAttribute();
  }
  if (FAILED(hr) || FAILED(reader->MoveToElement())) return false;
  builder.StartElement(name, attributes);
  if (empty) builder.EndElement(name);
  return true;
}

}  // namespace

DisplayTexts ParseDictionary(const void* data, size_t size) {
  if (!data || size == 0 || size > UINT_MAX) return {};
  // Our own strict check first: the system's reader may accept what XML
  // forbids, or never finish on broken text.
  const std::optional<std::string> text =
      DocumentAsUtf8(std::string_view(static_cast<const char*>(data), size));
  if (!text || !IsWellFormedXml(*text)) return {};
  ComPtr<IStream> stream = ComPtr<IStream>::Attach(
      ::SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
  ComPtr<IXmlReader> reader;
  if (!stream || FAILED(::CreateXmlReader(__uuidof(IXmlReader), reader.put_void(), nullptr))) return {};
  // No document type definitions: nothing to expand, nothing to fetch.
  if (FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader->SetInput(stream.get()))) {
    return {};
  }

  DictionaryBuilder builder;
  XmlNodeType type = XmlNodeType_None;
  HRESULT hr = S_OK;
  while (!builder.failed() && (hr = reader->Read(&type)) == S_OK) {
    switch (type) {
      case XmlNodeType_Element:
        if (!ReadElement(reader.get(), builder)) builder.Fail();
        break;
      case XmlNodeType_EndElement:
        builder.EndElement(QualifiedName(reader.get()));
        break;
      case XmlNodeType_Text:
      case XmlNodeType_Whitespace:
        builder.Text(Value(reader.get()));
        break;
      case XmlNodeType_CDATA:
        builder.CData(Value(reader.get()));
        break;
      default:  // declaration, comments, processing instructions
        break;
    }
  }
  if (FAILED(hr)) builder.Fail();

  DisplayTexts texts;
  for (auto& [key, text] : builder.Finish()) texts.emplace(key, FromUtf8(text));
  return texts;
}

DisplayTexts LoadDictionaryResource(HMODULE module, int id) {
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_GLIMMER_DICTIONARY));
  if (!found) return {};
  const DWORD size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!data || size == 0) return {};
  // A private copy with a terminating zero: the reader never runs past it.
  std::vector<char> copy(data, data + size);
  copy.push_back('\0');
  return ParseDictionary(copy.data(), size);
}

}  // namespace glimmer
