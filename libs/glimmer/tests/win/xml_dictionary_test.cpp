// The dictionaries through the system's XmlLite: every resource of the
// library, encodings, and malformed documents, which Wine's lax reader lets
// through unless our own checks catch them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "libs/glimmer/win/xml_dictionary.h"

namespace glimmer {
namespace {

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<ResourceDictionary xmlns=\"http://schemas.microsoft.com/winfx/2006/xaml/presentation\"\n"
    "    xmlns:x=\"http://schemas.microsoft.com/winfx/2006/xaml\"\n"
    "    xmlns:system=\"clr-namespace:System;assembly=mscorlib\">\n";
const char kTail[] = "</ResourceDictionary>\n";

DisplayTexts Parse(const std::string& body) {
  const std::string doc = kHead + body + kTail;
  return ParseDictionary(doc.data(), doc.size());
}

DisplayTexts ParseRaw(const std::string& doc) { return ParseDictionary(doc.data(), doc.size()); }

TEST(XmlDictionary, EveryResourceHoldsTheThirteenKeys) {
  HMODULE glimmer = ::GetModuleHandleW(L"glimmer.dll");
  ASSERT_NE(glimmer, nullptr);
  const char* keys[] = {"FanModePerformance", "FanModeStandard", "FanModeWhisper", "StatusLightOn",
                        "StatusLightAuto", "StatusLightOff", "PrivacyViewOn", "PrivacyViewOff",
                        "ai_denoise_mic_on_single", "ai_denoise_mic_off", "ai_denoise_mic_on_multi",
                        "ai_denoise_speaker_on", "ai_denoise_speaker_off"};
  for (int id = 180; id <= 212; ++id) {
    const DisplayTexts texts = LoadDictionaryResource(glimmer, id);
    EXPECT_EQ(texts.size(), 13u) << id;
    for (const char* key : keys) {
      auto it = texts.find(key);
      ASSERT_NE(it, texts.end()) << id << " " << key;
      EXPECT_FALSE(it->second.empty()) << id << " " << key;
    }
    // The microphone's and the speaker's noise-cancelling texts never read the same.
    EXPECT_NE(texts.at("ai_denoise_mic_off"), texts.at("ai_denoise_speaker_off")) << id;
  }
  EXPECT_TRUE(LoadDictionaryResource(glimmer, 179).empty());
  EXPECT_TRUE(LoadDictionaryResource(glimmer, 213).empty());

  const DisplayTexts english = LoadDictionaryResource(glimmer, 186);
  EXPECT_EQ(english.at("PrivacyViewOn"), L"Orvale Private View - On");
  EXPECT_EQ(english.at("ai_denoise_mic_off"), L"AI Noise-Canceling Mic Off");
  EXPECT_EQ(LoadDictionaryResource(glimmer, 185), english);
  EXPECT_EQ(LoadDictionaryResource(glimmer, 203).at("StatusLightOn"),
            L"\u0418\u043D\u0434\u0438\u043A\u0430\u0442\u043E\u0440 \u0441\u043E\u0441\u0442\u043E\u044F\u043D\u0438\u044F - \u0412\u043A\u043B.");
}

TEST(XmlDictionary, TextsEntitiesCdataAndEncodings) {
  const DisplayTexts t = Parse(
      "<system:String x:Key=\"a\">Tom &amp; Jerry &#x263A;</system:String>\n"
      "<system:String x:Key=\"b\"><![CDATA[<raw>]]></system:String>\n"
      "<system:String x:Key=\"c\"/>\n"
      "<!-- a comment --><system:String x:Key=\"d\"><!-- first --> after</system:String>\n"
      "<system:String x:Key=\"a\">again</system:String>\n");
  EXPECT_EQ(t, (DisplayTexts{{"a", L"again"}, {"b", L"<raw>"}, {"c", L""}, {"d", L" after"}}));
  EXPECT_EQ(Parse("<system:String x:Key=\"k\">Tom &amp; Jerry &#x263A;</system:String>").at("k"),
            L"Tom & Jerry \u263A");

  // UTF-16 with a byte-order mark.
  const std::wstring wide = L"\xFEFF<ResourceDictionary xmlns:x=\"urn:x\" xmlns:system=\"urn:s\">"
                            L"<system:String x:Key=\"k\">\u00C9t\u00E9</system:String></ResourceDictionary>";
  EXPECT_EQ(ParseDictionary(wide.data(), wide.size() * sizeof(wchar_t)), (DisplayTexts{{"k", L"\u00C9t\u00E9"}}));
}

TEST(XmlDictionary, MalformedDocumentsGiveNothing) {
  const std::string good = "<system:String x:Key=\"a\">x</system:String>";
  ASSERT_EQ(Parse(good).size(), 1u);
  const std::string cases[] = {
      good + "<system:String x:Key=\"b\">y</system:Strin>",                 // end tag mismatch
      good + "<system:String x:Key=\"b\" x:Key=\"c\">y</system:String>",    // duplicate attribute
      good + "<sys:String x:Key=\"b\">y</sys:String>",                       // undeclared prefix
      good + "<system:String z:Key=\"b\">y</system:String>",                 // undeclared attribute prefix
      good + "<system:String x:Key=\"b\">y",                                 // unclosed
      good + "<system:String x:Key=\"b\">a &bogus; b</system:String>",       // unknown entity
      good + "<system:String x:Key=\"b\">a < b</system:String>",             // stray '<'
  };
  for (const std::string& body : cases) EXPECT_TRUE(Parse(body).empty()) << body;
  EXPECT_TRUE(ParseRaw(std::string(kHead) + good).empty());                          // root never closed
  EXPECT_TRUE(ParseRaw(std::string(kHead) + good + kTail + "<ResourceDictionary/>").empty());  // two roots
  EXPECT_TRUE(ParseRaw("<Other xmlns:x=\"u\" xmlns:system=\"s\">" + good + "</Other>").empty());
  // No document types: an entity bomb is refused outright.
  EXPECT_TRUE(ParseRaw("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
                       "<ResourceDictionary xmlns:x=\"u\" xmlns:system=\"s\"><system:String x:Key=\"k\">&b;"
                       "</system:String></ResourceDictionary>")
                  .empty());
  EXPECT_TRUE(ParseDictionary(nullptr, 10).empty());
  EXPECT_TRUE(ParseDictionary("", 0).empty());
  const unsigned char garbage[] = {0xFF, 0x00, 0x3C, 0x00, 0x80, 0xC0, 0x3E};
  EXPECT_TRUE(ParseDictionary(garbage, sizeof garbage).empty());
}

TEST(XmlDictionary, MutatedDocumentsNeverCrashAndStayWithinTheirKeys) {
  HMODULE glimmer = ::GetModuleHandleW(L"glimmer.dll");
  HRSRC found = ::FindResourceW(glimmer, MAKEINTRESOURCEW(195), MAKEINTRESOURCEW(256));
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(::LockResource(::LoadResource(glimmer, found)));
  const std::string original(data, ::SizeofResource(glimmer, found));

  std::mt19937 random(20261208);
  int empty = 0;
  for (int round = 0; round < 400; ++round) {
    std::string doc = original;
    const int edits = 1 + random() % 4;
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % doc.size();
      switch (random() % 4) {
        case 0: doc[at] = static_cast<char>(random()); break;
        case 1: doc.erase(at, 1 + random() % 8); break;
        case 2: doc.insert(at, 1, "<>&\"'/:="[random() % 8]); break;
        default: doc.resize(at); break;
      }
      if (doc.empty()) doc = "<";
    }
    const DisplayTexts t = ParseDictionary(doc.data(), doc.size());
    EXPECT_LE(t.size(), 13u);
    empty += t.empty() ? 1 : 0;
  }
  // Most random damage breaks the document.
  EXPECT_GT(empty, 200);
}

}  // namespace
}  // namespace glimmer
