// The well-formedness check run before the system's reader.
#include <gtest/gtest.h>

#include <string>

#include "libs/glimmer/xml_check.h"

namespace glimmer {
namespace {

TEST(XmlCheck, AcceptsWellFormedDocuments) {
  const char* good[] = {
      "<r/>",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r a=\"1\" b='2'>text</r>\n",
      "<!-- before --><?pi data?><r><a x=\"&lt;&amp;&gt;&quot;&apos;\">&#65;&#x263A;</a><![CDATA[ <&> ]]></r><!--after-->",
      "<r>\xE3\x82\xB9\xE3\x83\x86 \xF0\x9F\x98\x80 caf\xC3\xA9</r>",
      "<system:String x:Key=\"k\" >v</system:String >",
      "<r><a><b/></a><a/></r>",
      "<r>]]</r>",
      "<r><!----></r>",
  };
  for (const char* doc : good) EXPECT_TRUE(IsWellFormedXml(doc)) << doc;
}

TEST(XmlCheck, RefusesWhatXmlForbids) {
  const std::string bad[] = {
      "",
      "text",
      "<r>",                         // unclosed root
      "<r><a></r>",                  // unclosed child
      "<r></a>",                     // wrong end tag
      "<r/><r/>",                    // two roots
      "<r/>trailing",                // text after the root
      "<r>&bogus;</r>",              // undefined entity
      "<r>&amp</r>",                 // unterminated reference
      "<r>&#0;</r>",                 // not a character
      "<r>&#xD800;</r>",             // surrogate
      "<r>a & b</r>",                // bare ampersand
      "<r>a < b</r>",                // bare '<'
      "<r>a ]]> b</r>",              // CDATA end in text
      "<r a=\"<\"/>",                // '<' in an attribute
      "<r a=1/>",                    // unquoted value
      "<r a=\"1\"b=\"2\"/>",         // attributes without space
      "<r a/>",                      // attribute without value
      "<r><!-- a -- b --></r>",      // "--" in a comment
      "<r><!-- open</r>",            // unterminated comment
      "<r><![CDATA[ open</r>",       // unterminated CDATA
      "<![CDATA[x]]><r/>",           // CDATA outside the root
      "<!DOCTYPE r><r/>",            // document types are refused
      "<r><!ENTITY x 'y'></r>",
      " <?xml version=\"1.0\"?><r/>",  // declaration not first
      "<r/><?xml version=\"1.0\"?>",
      "<1r/>",                       // bad name
      "<r>\x01</r>",                 // control character
      std::string("<r>\0</r>", 8),   // NUL
      "<r>\xC3</r>",                 // cut UTF-8
      "<r>\xE3\x82</r>",
      "<r>\xC0\xAF</r>",             // overlong
      "<r>\xED\xA0\x80</r>",         // encoded surrogate
      "<r>\xF4\x90\x80\x80</r>",     // beyond U+10FFFF
      "<r>\xFF</r>",
  };
  for (const std::string& doc : bad) EXPECT_FALSE(IsWellFormedXml(doc)) << doc;
}

TEST(XmlCheck, EveryPrefixOfADocumentIsRefused) {
  const std::string doc =
      "<?xml version=\"1.0\"?><R xmlns:x=\"u\"><s x:Key=\"a\">\xE3\x82\xB9 &amp; <![CDATA[c]]></s><!--c--></R>";
  ASSERT_TRUE(IsWellFormedXml(doc));
  for (size_t n = 0; n < doc.size(); ++n) EXPECT_FALSE(IsWellFormedXml(doc.substr(0, n))) << n;
}

TEST(XmlCheck, DocumentsInUtf16AndWithByteOrderMarksBecomeUtf8) {
  using namespace std::string_literals;
  EXPECT_EQ(DocumentAsUtf8("<r/>"), "<r/>");
  EXPECT_EQ(DocumentAsUtf8("\xEF\xBB\xBF<r/>"), "<r/>");
  EXPECT_EQ(DocumentAsUtf8("\xFF\xFE<\0r\0/\0>\0"s), "<r/>");
  EXPECT_EQ(DocumentAsUtf8("\xFE\xFF\0<\0r\0/\0>"s), "<r/>");
  EXPECT_EQ(DocumentAsUtf8("<\0\xE9\0>\0"s), "<\xC3\xA9>");               // no mark, little-endian
  EXPECT_EQ(DocumentAsUtf8("\xFF\xFE=\xD8\0\xDE"s), "\xF0\x9F\x98\x80");  // surrogate pair
  EXPECT_EQ(DocumentAsUtf8("\xFF\xFE<\0r"s), std::nullopt);                   // odd length
  EXPECT_EQ(DocumentAsUtf8("\xFF\xFE=\xD8"s), std::nullopt);                  // lone high surrogate
  EXPECT_EQ(DocumentAsUtf8("\xFF\xFE\0\xDE"s), std::nullopt);                // lone low surrogate
}

}  // namespace
}  // namespace glimmer
