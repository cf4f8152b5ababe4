// Dictionary rules and the well-formedness checks of the builder.
#include <gtest/gtest.h>

#include "libs/glimmer/dictionary_builder.h"

namespace glimmer {
namespace {

const std::vector<XmlAttribute> kRootAttributes = {
    {"xmlns", "http://schemas.microsoft.com/winfx/2006/xaml/presentation"},
    {"xmlns:x", "http://schemas.microsoft.com/winfx/2006/xaml"},
    {"xmlns:system", "clr-namespace:System;assembly=mscorlib"},
};

std::vector<XmlAttribute> Key(const std::string& key) { return {{"x:Key", key}}; }

// A well-formed dictionary with the root open; tests add children.
class Builder : public DictionaryBuilder {
 public:
  Builder() { StartElement("ResourceDictionary", kRootAttributes); }
  Builder& Entry(const std::string& key, const std::string& text) {
    StartElement("system:String", Key(key));
    Text(text);
    EndElement("system:String");
    return *this;
  }
  Dictionary Close() {
    EndElement("ResourceDictionary");
    return Finish();
  }
};

TEST(DictionaryBuilder, EntriesByKeyWithTheLaterEqualKeyWinning) {
  Builder b;
  b.Entry("FanModeStandard", "Standard mode").Entry("StatusLightOn", "Status Light - On");
  b.Text("\n  ");
  b.Entry("FanModeStandard", "Modo estándar");
  EXPECT_EQ(b.Close(), (Dictionary{{"FanModeStandard", "Modo estándar"}, {"StatusLightOn", "Status Light - On"}}));
}

TEST(DictionaryBuilder, TextIsTheFirstChildNodeOnly) {
  Builder b;
  // Character data in pieces (as around entity references) is one node.
  b.StartElement("system:String", Key("pieces"));
  b.Text("Tom ");
  b.Text("& ");
  b.Text("Jerry");
  b.EndElement("system:String");
  // Whitespace alone is no node; a CDATA section after it is the first child.
  b.StartElement("system:String", Key("cdata"));
  b.Text("  \n");
  b.CData("raw <text>");
  b.Text("tail");
  b.EndElement("system:String");
  // Text before a CDATA section wins; what follows is ignored.
  b.StartElement("system:String", Key("text-first"));
  b.Text("head");
  b.CData("ignored");
  b.EndElement("system:String");
  // An element first gives empty text even when text follows.
  b.StartElement("system:String", Key("element-first"));
  b.Text("   ");
  b.StartElement("Bold", {});
  b.Text("inner");
  b.EndElement("Bold");
  b.Text("after");
  b.EndElement("system:String");
  // No child at all: empty text, still an entry.
  b.StartElement("system:String", Key("empty"));
  b.EndElement("system:String");
  // Surrounding spaces of real text are kept.
  b.Entry("spaced", "  padded ");
  EXPECT_EQ(b.Close(), (Dictionary{{"pieces", "Tom & Jerry"},
                                   {"cdata", "raw <text>"},
                                   {"text-first", "head"},
                                   {"element-first", ""},
                                   {"empty", ""},
                                   {"spaced", "  padded "}}));
}

TEST(DictionaryBuilder, SkipsElementsThatAreNotKeyedStringsOfTheRoot) {
  Builder b;
  b.StartElement("system:Double", Key("number"));  // another element name
  b.Text("1.5");
  b.EndElement("system:Double");
  b.StartElement("String", Key("unprefixed"));  // not exactly "system:String"
  b.Text("x");
  b.EndElement("String");
  // Key not the first attribute.
  b.StartElement("system:String", {{"xml:space", "preserve"}, {"x:Key", "second"}});
  b.Text("x");
  b.EndElement("system:String");
  b.StartElement("system:String", {{"x:Name", "named"}});  // no key
  b.EndElement("system:String");
  // Nested deeper than the root's children.
  b.StartElement("Group", {});
  b.StartElement("system:String", Key("nested"));
  b.Text("x");
  b.EndElement("system:String");
  b.EndElement("Group");
  b.Entry("kept", "yes");
  EXPECT_EQ(b.Close(), (Dictionary{{"kept", "yes"}}));
}

TEST(DictionaryBuilder, RootMustBeTheResourceDictionary) {
  DictionaryBuilder other;
  other.StartElement("Dictionary", kRootAttributes);
  other.StartElement("system:String", Key("a"));
  other.Text("x");
  other.EndElement("system:String");
  other.EndElement("Dictionary");
  EXPECT_TRUE(other.Finish().empty());
  EXPECT_FALSE(other.failed());

  DictionaryBuilder nothing;
  EXPECT_TRUE(nothing.Finish().empty());

  Builder childless;
  EXPECT_TRUE(childless.Close().empty());
}

TEST(DictionaryBuilder, MalformedDocumentsGiveAnEmptyDictionary) {
  using Step = void (*)(Builder&);
  const std::pair<const char*, Step> cases[] = {
      {"reader error", [](Builder& b) { b.Fail(); }},
      {"wrong end tag", [](Builder& b) {
         b.StartElement("system:String", Key("a"));
         b.EndElement("system:Strin");
       }},
      {"end without start", [](Builder& b) { b.EndElement("ResourceDictionary"); b.EndElement("ResourceDictionary"); }},
      {"duplicate attribute", [](Builder& b) {
         b.StartElement("system:String", {{"x:Key", "a"}, {"x:Key", "b"}});
         b.EndElement("system:String");
       }},
      {"same attribute through two prefixes", [](Builder& b) {
         b.StartElement("system:String", {{"x:Key", "a"}, {"xmlns:y", "http://schemas.microsoft.com/winfx/2006/xaml"},
                                          {"y:Key", "b"}});
         b.EndElement("system:String");
       }},
      {"undeclared element prefix", [](Builder& b) {
         b.StartElement("sys:String", Key("a"));
         b.EndElement("sys:String");
       }},
      {"undeclared attribute prefix", [](Builder& b) {
         b.StartElement("system:String", {{"z:Key", "a"}});
         b.EndElement("system:String");
       }},
      {"prefix bound to nothing", [](Builder& b) {
         b.StartElement("p:String", {{"xmlns:p", ""}});
         b.EndElement("p:String");
       }},
      {"bad qualified name", [](Builder& b) {
         b.StartElement("a:b:c", {});
         b.EndElement("a:b:c");
       }},
      {"xmlns as element prefix", [](Builder& b) {
         b.StartElement("xmlns:a", {});
         b.EndElement("xmlns:a");
       }},
  };
  for (const auto& [name, step] : cases) {
    SCOPED_TRACE(name);
    Builder b;
    b.Entry("good", "text");
    step(b);
    EXPECT_TRUE(b.Close().empty());
  }
}

TEST(DictionaryBuilder, MalformedOutsideTheRootGivesAnEmptyDictionary) {
  {
    Builder b;
    b.Entry("a", "x").Close();
    b.StartElement("ResourceDictionary", kRootAttributes);  // a second root
    b.EndElement("ResourceDictionary");
    EXPECT_TRUE(b.Finish().empty());
  }
  {
    Builder b;
    b.Entry("a", "x");
    b.EndElement("ResourceDictionary");
    b.Text("trailing");
    EXPECT_TRUE(b.Finish().empty());
  }
  {
    Builder b;
    b.Entry("a", "x");  // never closed
    EXPECT_TRUE(b.Finish().empty());
  }
  {
    Builder b;
    b.Entry("a", "x");
    b.EndElement("ResourceDictionary");
    b.Text("\r\n\t ");  // whitespace after the root is fine
    EXPECT_EQ(b.Finish(), (Dictionary{{"a", "x"}}));
  }
}

TEST(DictionaryBuilder, PrefixesDeclaredOnTheElementItselfOrTheXmlPrefixAreFine) {
  DictionaryBuilder b;
  b.StartElement("ResourceDictionary", {});
  b.StartElement("s:String", {{"x:Key", "unused"}, {"xmlns:s", "urn:s"}, {"xmlns:x", "urn:x"}});
  b.EndElement("s:String");
  b.StartElement("system:String", {{"x:Key", "a"}, {"xmlns:system", "urn:s"}, {"xmlns:x", "urn:x"},
                                   {"xml:lang", "en"}});
  b.Text("ok");
  b.EndElement("system:String");
  b.EndElement("ResourceDictionary");
  EXPECT_EQ(b.Finish(), (Dictionary{{"a", "ok"}}));
}

}  // namespace
}  // namespace glimmer
