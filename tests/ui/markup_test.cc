#include "ui/core/markup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "base/string_util.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

namespace fs = std::filesystem;

std::wstring Str(const wchar_t* s) {
  return std::wstring(s);
}

class MarkupTest : public ::testing::Test {
 protected:
  MarkupDocument doc_;
};

TEST_F(MarkupTest, SkipsDeclarationAndCommentsAndWalksTheTree) {
  ASSERT_TRUE(
      doc_.Load(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- a comment -->\n"
                L"<Window size=\"400,300\" caption=\"0,0,0,34\">\n"
                L"  <!-- inside -->\n"
                L"  <VBox name=\"body\"><Label text=\"hi\"/><Button/></VBox>\n"
                L"  <HBox/>\n"
                L"</Window>\n"))
      << doc_.GetLastErrorMessage();
  MarkupElement root = doc_.GetRoot();
  ASSERT_TRUE(root.IsValid());
  EXPECT_EQ(Str(root.GetName()), L"Window");
  EXPECT_FALSE(root.GetParent().IsValid());
  ASSERT_EQ(root.GetAttributeCount(), 2);
  EXPECT_EQ(Str(root.GetAttributeName(0)), L"size");
  EXPECT_EQ(Str(root.GetAttributeValue(0)), L"400,300");
  EXPECT_EQ(Str(root.GetAttributeName(1)), L"caption");
  EXPECT_EQ(Str(root.GetAttributeValue(1)), L"0,0,0,34");

  MarkupElement vbox = root.GetChild();
  EXPECT_EQ(Str(vbox.GetName()), L"VBox");
  EXPECT_TRUE(vbox.HasChildren());
  EXPECT_TRUE(vbox.HasSiblings());
  MarkupElement label = vbox.GetChild();
  EXPECT_EQ(Str(label.GetName()), L"Label");
  EXPECT_EQ(Str(label.GetValue()), L"");
  std::wstring text;
  EXPECT_TRUE(label.GetAttributeValue(L"text", &text));
  EXPECT_EQ(text, L"hi");
  EXPECT_EQ(Str(label.GetSibling().GetName()), L"Button");
  EXPECT_FALSE(label.GetSibling().HasAttributes());
  EXPECT_FALSE(label.GetSibling().HasSiblings());
  EXPECT_EQ(label.GetParent().GetParent().GetName(), root.GetName());

  EXPECT_EQ(Str(root.GetChild(L"HBox").GetName()), L"HBox");
  EXPECT_FALSE(root.GetChild(L"hbox").IsValid());
  EXPECT_FALSE(root.GetChild(L"Label").IsValid());  // only direct children
  EXPECT_FALSE(root.GetChild(L"HBox").HasChildren());
}

TEST_F(MarkupTest, DecodesNamedEntitiesOnlyAndKeepsLaterAttributesReadable) {
  ASSERT_TRUE(
      doc_.Load(L"<a v=\"1&amp;2\" n=\"&#65;&#x42;\" all=\"&lt;&gt;&quot;&apos;&amp;\" "
                L"odd=\"a&b &amp\" after=\"tail\">x &lt;y&gt; &unknown;</a>"));
  MarkupElement a = doc_.GetRoot();
  std::wstring value;
  ASSERT_TRUE(a.GetAttributeValue(L"v", &value));
  EXPECT_EQ(value, L"1&2");
  ASSERT_TRUE(a.GetAttributeValue(L"n", &value));
  EXPECT_EQ(value, L"&#65;&#x42;");
  ASSERT_TRUE(a.GetAttributeValue(L"all", &value));
  EXPECT_EQ(value, L"<>\"'&");
  ASSERT_TRUE(a.GetAttributeValue(L"odd", &value));
  EXPECT_EQ(value, L"a&b &amp");
  // Values that shrank must not disturb the attributes after them.
  EXPECT_EQ(a.GetAttributeCount(), 5);
  ASSERT_TRUE(a.GetAttributeValue(L"after", &value));
  EXPECT_EQ(value, L"tail");
  EXPECT_EQ(Str(a.GetValue()), L"x <y> &unknown;");
}

// Text is scanned a byte at a time for its first sixteen bytes, then
// sixteen at a time; an entity, a quote or the end at any offset on either
// side of that must still be found.
TEST_F(MarkupTest, EntitiesAndEndsAtEveryOffsetAreFound) {
  for (size_t at = 0; at < 40; ++at) {
    const std::wstring pad(at, L'p');
    const std::wstring text = L"<a v=\"" + pad + L"&amp;" + pad + L"\" w=\"" + pad + L"\" s=\"" +
                              pad + L"  z\">" + pad + L"&lt;" + pad + L"</a>";
    for (bool preserve : {true, false}) {
      doc_.SetPreserveWhitespace(preserve);
      ASSERT_TRUE(doc_.Load(text)) << at;
      std::wstring value;
      ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"v", &value));
      EXPECT_EQ(value, pad + L"&" + pad) << at;
      ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"w", &value));
      EXPECT_EQ(value, pad) << at;
      // A run of spaces, kept or made one.
      ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"s", &value));
      EXPECT_EQ(value, pad + (preserve ? L"  z" : L" z")) << at;
      EXPECT_EQ(Str(doc_.GetRoot().GetValue()), pad + L"<" + pad) << at;
      // The same text from UTF-8, and cut short inside the value.
      const std::string utf8 = nbase::WideToUTF8(text);
      ASSERT_TRUE(doc_.LoadFromUtf8(utf8)) << at;
      EXPECT_EQ(Str(doc_.GetRoot().GetValue()), pad + L"<" + pad) << at;
      EXPECT_FALSE(doc_.LoadFromUtf8(utf8.substr(0, 8 + at))) << at;
    }
  }
}

TEST_F(MarkupTest, WhitespaceRules) {
  const wchar_t* text = L"<a v=\"x   y\">  p \t\n q\t  r </a>";
  doc_.SetPreserveWhitespace(true);
  ASSERT_TRUE(doc_.Load(text));
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L"  p \t\n q\t  r ");
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"x   y");

  // Off: a run that starts with a space becomes one space; one that starts
  // with another whitespace character survives.
  doc_.SetPreserveWhitespace(false);
  ASSERT_TRUE(doc_.Load(text));
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L" p q\t r ");
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"x y");
  EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 1);
}

TEST_F(MarkupTest, EmptyDocumentsHaveNoRoot) {
  EXPECT_TRUE(doc_.Load(L""));
  EXPECT_FALSE(doc_.GetRoot().IsValid());
  EXPECT_TRUE(doc_.Load(L" \n\t <!-- only a comment --> "));
  EXPECT_FALSE(doc_.GetRoot().IsValid());
  EXPECT_EQ(Str(doc_.GetRoot().GetName()), L"");
  EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 0);
}

struct ParseErrorCase {
  const char* name;  // names the case in the test list
  const wchar_t* text;
  const wchar_t* message;
  const wchar_t* location;
};

// gtest prints the parameter of a failing case: its name says more than its bytes.
void PrintTo(const ParseErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class MarkupErrorTest : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(MarkupErrorTest, FailsWithMessageAndLocationAndReleasesTheDocument) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.Load(L"<ok/>"));
  const ParseErrorCase& c = GetParam();
  EXPECT_FALSE(doc.Load(c.text));
  EXPECT_EQ(Str(doc.GetLastErrorMessage()), c.message);
  EXPECT_EQ(Str(doc.GetLastErrorLocation()), c.location);
  EXPECT_FALSE(doc.GetRoot().IsValid());
  EXPECT_EQ(doc.GetElementCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    MarkupErrors, MarkupErrorTest,
    ::testing::Values(
        ParseErrorCase{"TextBeforeRoot", L"hello <a/>", L"Expected start tag", L"hello <a/>"},
        ParseErrorCase{"StrayEndTag", L"<a/></a>", L"Expected start tag", L"</a>"},
        ParseErrorCase{"UnterminatedName", L"<abc", L"Error parsing element name", L""},
        ParseErrorCase{"BlankInEmptyTagClose", L"<a x=\"1\"/ >", L"Expected start-tag closing",
                       L"/ >"},
        ParseErrorCase{"MissingEndTags", L"<a><b><c>text", L"Expected end-tag start", L""},
        ParseErrorCase{"EndTagOfAnOuterElement", L"<a><b></a>", L"Unmatched closing tag", L"a>"},
        ParseErrorCase{"EndTagNameLonger", L"<a></ab>", L"Unmatched closing tag", L"b>"},
        ParseErrorCase{"AttributeWithoutValue", L"<a x y=\"1\"/>",
                       L"Error while parsing attributes", L"y=\"1\"/>"},
        ParseErrorCase{"SingleQuotedValue", L"<a x='1'/>", L"Expected attribute value", L"'1'/>"},
        ParseErrorCase{"UnterminatedValue", L"<a x=\"1/>", L"Error while parsing attribute string",
                       L""}),
    [](const ::testing::TestParamInfo<ParseErrorCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(MarkupTest, ErrorLocationKeepsAtMost49Characters) {
  std::wstring text = L"<a>" + std::wstring(100, L'x') + L"</b>";
  EXPECT_FALSE(doc_.Load(text));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Unmatched closing tag");
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()), L"b>");
  text = L"<a x=" + std::wstring(100, L'y') + L"/>";
  EXPECT_FALSE(doc_.Load(text));
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()).size(), 49u);
  // A later success clears the texts.
  EXPECT_TRUE(doc_.Load(L"<a/>"));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"");
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()), L"");
}

TEST_F(MarkupTest, DocumentsCutShortFailAtEveryLevel) {
  // The content ends before the closing tag, whatever the depth: the error
  // names the missing end tag and points at the (empty) rest of the text.
  for (const wchar_t* text : {L"<a>text", L"<a><b>text", L"<Window size=\"1,2\">", L"<a><b/>",
                              L"<a><b></b>  ", L"<a><!-- c --><b>x</b>"}) {
    ASSERT_TRUE(doc_.Load(L"<ok/>"));
    EXPECT_FALSE(doc_.Load(text)) << Str(text);
    EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Expected end-tag start") << Str(text);
    EXPECT_EQ(Str(doc_.GetLastErrorLocation()), L"") << Str(text);
    EXPECT_FALSE(doc_.GetRoot().IsValid());
  }
  // Complete documents, and trailing whitespace or comments after the root,
  // still load.
  ASSERT_TRUE(doc_.Load(L"<a><b>text</b></a>\n"));
  EXPECT_EQ(Str(doc_.GetRoot().GetChild().GetValue()), L"text");
  EXPECT_TRUE(doc_.Load(L"<a/> <!-- end -->"));
  EXPECT_TRUE(doc_.Load(L"<a></a><b/>"));
}

TEST_F(MarkupTest, OnlyTheFirst64AttributesAreVisible) {
  std::wstring text = L"<a";
  for (int i = 0; i < 70; ++i)
    text += L" k" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
  text += L"/>";
  ASSERT_TRUE(doc_.Load(text));
  MarkupElement a = doc_.GetRoot();
  EXPECT_EQ(a.GetAttributeCount(), 64);
  EXPECT_EQ(Str(a.GetAttributeName(63)), L"k63");
  EXPECT_EQ(Str(a.GetAttributeValue(63)), L"63");
  EXPECT_EQ(Str(a.GetAttributeName(64)), L"");
  EXPECT_EQ(Str(a.GetAttributeValue(-1)), L"");
  EXPECT_TRUE(a.HasAttribute(L"k0"));
  EXPECT_FALSE(a.HasAttribute(L"k64"));
  EXPECT_FALSE(a.HasAttribute(L"K0"));
}

TEST_F(MarkupTest, ValueReadByNameIsCutTo499Characters) {
  const std::wstring long_value(600, L'v');
  ASSERT_TRUE(doc_.Load(L"<a x=\"" + long_value + L"\" y=\"\"/>"));
  std::wstring value;
  ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"x", &value));
  EXPECT_EQ(value, std::wstring(499, L'v'));
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), long_value);
  ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"y", &value));
  EXPECT_EQ(value, L"");
  EXPECT_FALSE(doc_.GetRoot().GetAttributeValue(L"z", &value));
}

TEST_F(MarkupTest, ManyElementsGrowTheTableAndKeepTheirLinks) {
  std::wstring text = L"<root>";
  for (int i = 0; i < 3000; ++i) text += L"<item id=\"" + std::to_wstring(i) + L"\"><x/></item>";
  text += L"</root>";
  ASSERT_TRUE(doc_.Load(text));
  EXPECT_EQ(doc_.GetElementCount(), 1u + 1u + 6000u);
  int count = 0;
  for (MarkupElement item = doc_.GetRoot().GetChild(); item.IsValid(); item = item.GetSibling()) {
    std::wstring id;
    ASSERT_TRUE(item.GetAttributeValue(L"id", &id));
    EXPECT_EQ(id, std::to_wstring(count));
    EXPECT_EQ(Str(item.GetChild().GetName()), L"x");
    ++count;
  }
  EXPECT_EQ(count, 3000);
}

TEST_F(MarkupTest, DeepNestingIsRefusedInsteadOfOverflowingTheStack) {
  auto nested = [](int depth) {
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<b>";
    for (int i = 0; i < depth; ++i) text += L"</b>";
    return text;
  };
  EXPECT_TRUE(doc_.Load(nested(200)));
  EXPECT_FALSE(doc_.Load(nested(100000)));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Elements nested too deeply");
}

TEST_F(MarkupTest, NonAsciiTextAndNamesSurvive) {
  ASSERT_TRUE(doc_.LoadFromUtf8("<Label text=\"立即安装\">完成</Label>"));
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"立即安装");
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L"完成");
}

// Texts are widened on their first read: in any order, through any handle,
// and the same text read twice is the same characters at the same place.
TEST_F(MarkupTest, TextsReadInAnyOrderThroughAnyHandleComeBackWhole) {
  ASSERT_TRUE(doc_.LoadFromUtf8(
      "<窗口 标题=\"立即&amp;安装\" b=\"x\">正文 &lt;一&gt;<按钮 名=\"确定\"/><c/></窗口>"));
  MarkupElement root = doc_.GetRoot();
  MarkupElement again = doc_.GetRoot();
  EXPECT_EQ(Str(again.GetAttributeValue(1)), L"x");
  EXPECT_EQ(Str(root.GetValue()), L"正文 <一>");
  const wchar_t* title = root.GetAttributeValue(0);
  EXPECT_EQ(Str(title), L"立即&安装");
  EXPECT_EQ(again.GetAttributeValue(0), title);
  EXPECT_EQ(Str(root.GetAttributeName(0)), L"标题");
  EXPECT_EQ(Str(root.GetName()), L"窗口");
  MarkupElement button = root.GetChild(L"按钮");
  ASSERT_TRUE(button.IsValid());
  std::wstring name;
  ASSERT_TRUE(button.GetAttributeValue(L"名", &name));
  EXPECT_EQ(name, L"确定");
  EXPECT_EQ(Str(button.GetValue()), L"");
  EXPECT_EQ(Str(button.GetSibling().GetName()), L"c");
  // A zero byte ends the text as a zero character does.
  ASSERT_TRUE(doc_.LoadFromUtf8(std::string("<a v=\"1\"/>\0<b", 13)));
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"1");
}

// Texts of every length around the sixteen bytes widened at a time, with
// characters of several bytes on either side of that step, and invalid bytes:
// each reads as decoding it alone gives, whatever its neighbours.
TEST_F(MarkupTest, TextsOfEveryLengthAroundMultiByteCharactersReadWhole) {
  std::string text = "<r>";
  std::vector<std::string> values;
  for (int length = 0; length < 40; ++length) {
    std::string ascii(static_cast<size_t>(length), static_cast<char>('a' + length % 26));
    values.push_back(ascii);
    values.push_back(ascii + "中" + ascii.substr(0, length / 2));
    values.push_back("é" + ascii);
    values.push_back(ascii + "\xff" + "b");
  }
  for (size_t i = 0; i < values.size(); ++i) {
    text += "<e" + std::to_string(i) + " v=\"" + values[i] + "\" w=\"" +
            values[values.size() - 1 - i] + "\">" + values[i] + "</e" + std::to_string(i) + ">";
  }
  text += "</r>";
  ASSERT_TRUE(doc_.LoadFromUtf8(text)) << doc_.GetLastErrorMessage();
  // Read backwards, the content first, so no text is read in document order.
  std::vector<MarkupElement> elements;
  for (MarkupElement e = doc_.GetRoot().GetChild(); e.IsValid(); e = e.GetSibling()) {
    elements.push_back(e);
  }
  ASSERT_EQ(elements.size(), values.size());
  for (size_t i = elements.size(); i-- > 0;) {
    SCOPED_TRACE(i);
    const MarkupElement e = elements[i];
    EXPECT_EQ(Str(e.GetValue()), nbase::UTF8ToWide(values[i]));
    EXPECT_EQ(Str(e.GetAttributeValue(1)), nbase::UTF8ToWide(values[values.size() - 1 - i]));
    EXPECT_EQ(Str(e.GetAttributeValue(0)), nbase::UTF8ToWide(values[i]));
    EXPECT_EQ(Str(e.GetName()), L"e" + std::to_wstring(i));
    EXPECT_EQ(Str(e.GetAttributeName(1)), L"w");
  }
}

// Elements all of ASCII, with names, values and contents of every length
// around the sixteen bytes widened at a time, entities that shorten a text
// where it stands, spaces around "=", empty and self-closed elements, and
// elements of other characters between them: each text reads whole.
TEST_F(MarkupTest, AsciiElementsOfEveryLengthReadWhole) {
  struct Texts {
    std::string name, a, b, content;
  };
  std::vector<Texts> expected;
  std::string text = "<r>";
  for (int length = 0; length < 40; ++length) {
    const std::string s(static_cast<size_t>(length), static_cast<char>('a' + length % 26));
    const std::string half = s.substr(0, s.size() / 2);
    Texts t{"n" + s, s + "&" + half, half, length % 3 == 0 ? "" : s + "<"};
    text += "<" + t.name + " a" + std::string(static_cast<size_t>(length % 3), ' ') + "=" +
            std::string(static_cast<size_t>(length % 2), ' ') + "\"" + s + "&amp;" + half +
            "\"   b=\"" + half + "\"";
    if (!t.content.empty()) {
      text += ">" + s + "&lt;</" + t.name + ">";
    } else {
      text += length % 2 != 0 ? "/>" : "></" + t.name + ">";
    }
    expected.push_back(t);
    if (length % 5 == 0) {
      text += "<中 é=\"ü\">ß</中>";
      expected.push_back({"中", "ü", "", "ß"});
    }
  }
  text += "</r>";
  ASSERT_TRUE(doc_.LoadFromUtf8(text)) << doc_.GetLastErrorMessage();
  size_t i = 0;
  for (MarkupElement e = doc_.GetRoot().GetChild(); e.IsValid(); e = e.GetSibling(), ++i) {
    ASSERT_LT(i, expected.size());
    const Texts& t = expected[i];
    SCOPED_TRACE(t.name);
    // The content first, then the attributes from the last.
    EXPECT_EQ(Str(e.GetValue()), nbase::UTF8ToWide(t.content));
    const bool ascii = t.name[0] == 'n';
    ASSERT_EQ(e.GetAttributeCount(), ascii ? 2 : 1);
    if (ascii) {
      EXPECT_EQ(Str(e.GetAttributeValue(1)), nbase::UTF8ToWide(t.b));
      EXPECT_EQ(Str(e.GetAttributeName(1)), L"b");
    }
    EXPECT_EQ(Str(e.GetAttributeValue(0)), nbase::UTF8ToWide(t.a));
    EXPECT_EQ(Str(e.GetAttributeName(0)), ascii ? L"a" : L"é");
    EXPECT_EQ(Str(e.GetName()), nbase::UTF8ToWide(t.name));
  }
  EXPECT_EQ(i, expected.size());
}

// Attributes found sixteen bytes at a time: whitespace runs of every width
// between them and around "=" (none at all too), element names of every
// length so each text starts at every offset of a step, values that are
// empty, spaced, hold "=", quotes or other characters, and values read
// after a text of several-byte characters. Each attribute reads whole and
// in its place.
TEST_F(MarkupTest, AttributesAtEveryOffsetAndSpacingAreFoundInOrder) {
  const std::vector<std::string> values = {"",  " x ", "a=b", "&quot;q&quot;", "中文", "é", "v w",
                                           "1", "  ",  "\t"};
  const std::vector<std::wstring> decoded = {L"",  L" x ", L"a=b", L"\"q\"", L"中文",
                                             L"é", L"v w", L"1",   L"  ",    L"\t"};
  std::string text = "<r>";
  std::vector<std::vector<std::pair<std::wstring, std::wstring>>> expected;
  for (int n = 0; n < 34; ++n) {
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    text += "<" + std::string(static_cast<size_t>(1 + n % 17), 'e');
    for (int k = 0; k < 7; ++k) {
      const size_t v = static_cast<size_t>(n + 3 * k) % values.size();
      const std::string gap = k == 0 ? std::string(static_cast<size_t>(1 + n % 19), ' ')
                                     : std::string(static_cast<size_t>((n + k) % 4), '\n');
      const std::string name =
          "a" + std::to_string(k) + std::string(static_cast<size_t>(n % 5), 'z');
      text += gap + name + std::string(static_cast<size_t>(k % 2), ' ') + "=" +
              std::string(static_cast<size_t>(k % 3), '\t') + "\"" + values[v] + "\"";
      attributes.emplace_back(nbase::UTF8ToWide(name), decoded[v]);
    }
    text += n % 3 == 0 ? "/>"
                       : std::string(static_cast<size_t>(n % 4), ' ') + ">c</e" +
                             std::string(static_cast<size_t>(1 + n % 17 - 1), 'e') + ">";
    expected.push_back(attributes);
  }
  text += "</r>";
  ASSERT_TRUE(doc_.LoadFromUtf8(text)) << doc_.GetLastErrorMessage();
  size_t n = 0;
  for (MarkupElement e = doc_.GetRoot().GetChild(); e.IsValid(); e = e.GetSibling(), ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, expected.size());
    ASSERT_EQ(e.GetAttributeCount(), static_cast<int>(expected[n].size()));
    for (int k = 0; k < e.GetAttributeCount(); ++k) {
      EXPECT_EQ(Str(e.GetAttributeName(k)), expected[n][static_cast<size_t>(k)].first);
      EXPECT_EQ(Str(e.GetAttributeValue(k)), expected[n][static_cast<size_t>(k)].second);
    }
    EXPECT_EQ(Str(e.GetValue()), n % 3 == 0 ? L"" : L"c");
  }
  EXPECT_EQ(n, expected.size());
}

// The parser lets a "=" with no name before it through; the attributes
// read end there, wherever it stands, and nothing after it is misread.
TEST_F(MarkupTest, AValueWithoutANameEndsTheAttributes) {
  for (const char* text : {"<a b=\"1\" =\"2\" c=\"3\"/>", "<a b=\"1\"=\"2\" c=\"3\">x</a>",
                           "<a b=\"1\"  =  \"中\"/>"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(doc_.LoadFromUtf8(text));
    EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 1);
    EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"1");
    EXPECT_FALSE(doc_.GetRoot().HasAttribute(L"c"));
  }
  for (const char* text : {"<a=\"x\" b=\"1\"/>", "< a =\"x\" b=\"1\">y</a>"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(doc_.LoadFromUtf8(text));
    EXPECT_EQ(Str(doc_.GetRoot().GetName()), L"a");
    EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 0);
  }
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L"y");
}

// With whitespace collapsed, a shortened content leaves blanks up to the
// next tag: the element's texts, and the child's after them, still read as
// they are.
TEST_F(MarkupTest, CollapsedContentBeforeLongBlanksReadsWhole) {
  doc_.SetPreserveWhitespace(false);
  const std::string blanks(40, ' ');
  ASSERT_TRUE(doc_.LoadFromUtf8("<a k=\"v  w\">" + blanks + "<b j=\"中\">" + blanks + "</b>" +
                                blanks + "</a>"));
  MarkupElement b = doc_.GetRoot().GetChild();
  EXPECT_EQ(Str(b.GetValue()), L" ");
  EXPECT_EQ(Str(b.GetAttributeValue(0)), L"中");
  EXPECT_EQ(b.GetAttributeCount(), 1);
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L" ");
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"v w");
  EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 1);
  ASSERT_TRUE(doc_.LoadFromUtf8("<a>" + blanks + "x" + blanks + "</a>"));
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L" x ");
  EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 0);
}

// The search for the texts of an element without attributes runs from its
// content through the blanks before its first child's name; what the
// element takes of the wide store still ends with its content, so a
// document of many such elements, read whole, stays within the store and
// reads back whole.
TEST_F(MarkupTest, BlanksBeforeAFirstChildKeepThePartWithinTheStore) {
  const std::string child(60, 'c');
  std::string text = "<r>";
  for (int i = 0; i < 2000; ++i) {
    text += "<p><" + std::string(40, i % 2 != 0 ? ' ' : '\n') + child + " v=\"" +
            std::to_string(i) + "\"/></p>";
  }
  text += "</r>";
  for (bool preserve : {true, false}) {
    doc_.SetPreserveWhitespace(preserve);
    ASSERT_TRUE(doc_.LoadFromUtf8(text)) << doc_.GetLastErrorMessage();
    int i = 0;
    for (MarkupElement p = doc_.GetRoot().GetChild(); p.IsValid(); p = p.GetSibling(), ++i) {
      ASSERT_EQ(Str(p.GetName()), L"p");
      ASSERT_EQ(Str(p.GetValue()), L"");
      ASSERT_EQ(Str(p.GetChild().GetName()), std::wstring(60, L'c'));
      ASSERT_EQ(Str(p.GetChild().GetAttributeValue(0)), std::to_wstring(i));
    }
    EXPECT_EQ(i, 2000);
  }
}

// Sequences of two and three bytes are decoded inline; invalid ones (cut
// short before the end of the text, overlong, encoded surrogates, stray
// continuation bytes) and four-byte ones read as the text utilities decode
// them, wherever they stand in a text.
TEST_F(MarkupTest, InvalidAndCutSequencesReadAsTheTextUtilitiesDecodeThem) {
  const std::vector<std::string> pieces = {
      "\xE4\xB8",        "\xE4", "\xED\xA0\x80",     "\xE0\x80\x80", "\xC0\x80",     "\xC1\xBF",
      "\xC2\x80",        "\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98", "\xEF\xBF\xBF", "\xDF\xBF",
      "\xE4\xB8\xAD\xB8"};
  std::string text = "<r>";
  std::vector<std::string> expected;
  for (size_t i = 0; i < pieces.size(); ++i) {
    for (const std::string& value :
         {pieces[i], "ab" + pieces[i], pieces[i] + "cd", "中" + pieces[i] + "é"}) {
      text += "<e v=\"" + value + "\">" + value + "</e>";
      expected.push_back(value);
    }
  }
  text += "</r>";
  ASSERT_TRUE(doc_.LoadFromUtf8(text)) << doc_.GetLastErrorMessage();
  size_t i = 0;
  for (MarkupElement e = doc_.GetRoot().GetChild(); e.IsValid(); e = e.GetSibling(), ++i) {
    ASSERT_LT(i, expected.size());
    SCOPED_TRACE(i);
    EXPECT_EQ(Str(e.GetAttributeValue(0)), nbase::UTF8ToWide(expected[i]));
    EXPECT_EQ(Str(e.GetValue()), nbase::UTF8ToWide(expected[i]));
    EXPECT_EQ(e.GetAttributeCount(), 1);
  }
  EXPECT_EQ(i, expected.size());
}

// A document loaded again keeps its memory but never shows the texts of the
// one before, whether or not that one was read.
TEST_F(MarkupTest, ReloadedDocumentReadsOnlyItsOwnTexts) {
  std::string big = "<big>";
  for (int i = 0; i < 200; ++i)
    big += "<item name=\"item_" + std::to_string(i) + "\">第" + "</item>";
  big += "</big>";
  ASSERT_TRUE(doc_.LoadFromUtf8(big));
  EXPECT_EQ(Str(doc_.GetRoot().GetChild().GetAttributeValue(0)), L"item_0");
  ASSERT_TRUE(doc_.LoadFromUtf8("<small a=\"1\">二</small>"));
  EXPECT_EQ(Str(doc_.GetRoot().GetName()), L"small");
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"1");
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()), L"二");
  EXPECT_EQ(doc_.GetRoot().GetAttributeCount(), 1);
  EXPECT_FALSE(doc_.GetRoot().GetChild().IsValid());
  ASSERT_TRUE(doc_.LoadFromUtf8(big));
  MarkupElement last = doc_.GetRoot().GetChild();
  while (last.HasSiblings()) last = last.GetSibling();
  EXPECT_EQ(Str(last.GetAttributeValue(0)), L"item_199");
  EXPECT_EQ(Str(last.GetValue()), L"第");
  // A failed load leaves nothing to read.
  EXPECT_FALSE(doc_.LoadFromUtf8("<a b=\"1\">"));
  EXPECT_FALSE(doc_.GetRoot().IsValid());
  EXPECT_EQ(Str(MarkupElement().GetName()), L"");
  EXPECT_EQ(MarkupElement().GetAttributeCount(), 0);
}

// The error location is cut after 49 characters, not bytes.
TEST_F(MarkupTest, ErrorLocationCountsCharacters) {
  std::string text = "<a x=";
  for (int i = 0; i < 100; ++i) text += "值";
  EXPECT_FALSE(doc_.LoadFromUtf8(text));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Expected attribute value");
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()), std::wstring(49, L'值'));
}

// U+20000 (a letter) in a name, U+1F600 (a symbol) in a value and the
// content: each reads back as one character, two units where wchar_t holds
// UTF-16.
TEST_F(MarkupTest, CharactersBeyondTheBasicPlaneReadBackWhole) {
  std::wstring letter, face;
  nbase::AppendCodePoint(U'\U00020000', &letter);
  nbase::AppendCodePoint(U'\U0001F600', &face);
  const std::wstring text = L"<w" + letter + L" n" + letter + L"=\"" + face + L"x" + face + L"\">" +
                            face + face + L"<b/></w" + letter + L">";
  ASSERT_TRUE(doc_.Load(text)) << doc_.GetLastErrorMessage();
  MarkupElement root = doc_.GetRoot();
  EXPECT_EQ(Str(root.GetName()), L"w" + letter);
  EXPECT_EQ(Str(root.GetAttributeName(0)), L"n" + letter);
  EXPECT_EQ(Str(root.GetAttributeValue(0)), face + L"x" + face);
  EXPECT_EQ(Str(root.GetValue()), face + face);
  EXPECT_EQ(Str(root.GetChild().GetName()), L"b");
  std::wstring value;
  ASSERT_TRUE(root.GetAttributeValue(L"n" + letter, &value));
  EXPECT_EQ(value, face + L"x" + face);
  // A symbol is not a name character: the name ends before it.
  EXPECT_FALSE(doc_.Load(L"<a" + face + L"/>"));
}

// Cuts to a number of units keep whole characters: a character that does not
// fit is left out rather than halved.
TEST_F(MarkupTest, CutValuesAndErrorLocationsNeverSplitACharacter) {
  std::wstring face;
  nbase::AppendCodePoint(U'\U0001F600', &face);
  const std::wstring long_value = std::wstring(MarkupElement::kMaxValueLength - 1, L'a') + face;
  ASSERT_TRUE(doc_.Load(L"<a v=\"" + long_value + L"\"/>"));
  std::wstring value;
  ASSERT_TRUE(doc_.GetRoot().GetAttributeValue(L"v", &value));
  EXPECT_LE(value.size(), MarkupElement::kMaxValueLength);
  EXPECT_GE(value.size(), MarkupElement::kMaxValueLength - 1);
  EXPECT_EQ(long_value.compare(0, value.size(), value), 0);
  EXPECT_EQ(nbase::AlignToCharBoundary(long_value, value.size()), value.size());

  const std::wstring rest = std::wstring(48, L'z') + face + L"tail";
  EXPECT_FALSE(doc_.Load(L"<a/>" + rest));
  const std::wstring location = Str(doc_.GetLastErrorLocation());
  EXPECT_LE(location.size(), 49u);
  EXPECT_GE(location.size(), 48u);
  EXPECT_EQ(rest.compare(0, location.size(), location), 0);
  EXPECT_EQ(nbase::AlignToCharBoundary(rest, location.size()), location.size());
}

class MarkupFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("markup_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    GlobalManager::SetResourceRoot(L"");
    fs::remove_all(dir_);
  }
  std::wstring Write(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.wstring();
  }
  fs::path dir_;
  MarkupDocument doc_;
};

TEST_F(MarkupFileTest, SizeLimitIsFourMebibytes) {
  const std::string head = "<a>";
  const std::string tail = "</a>";
  std::string body(MarkupDocument::kMaxFileSize - head.size() - tail.size(), 'z');
  const std::wstring exact = Write("exact.xml", head + body + tail);
  ASSERT_TRUE(doc_.LoadFromFile(exact)) << doc_.GetLastErrorMessage();
  EXPECT_EQ(Str(doc_.GetRoot().GetValue()).size(), body.size());

  const std::wstring over = Write("over.xml", head + body + "z" + tail);
  EXPECT_FALSE(doc_.LoadFromFile(over));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"File too large");
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()), L"");
  EXPECT_FALSE(doc_.GetRoot().IsValid());
}

TEST_F(MarkupFileTest, FileErrors) {
  EXPECT_FALSE(doc_.LoadFromFile((dir_ / "missing.xml").wstring()));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Error opening file");
  EXPECT_FALSE(doc_.LoadFromFile(dir_.wstring()));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Error opening file");
  EXPECT_FALSE(doc_.LoadFromFile(Write("empty.xml", "")));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"File is empty");
  EXPECT_FALSE(doc_.LoadFromFile(Write("bad.xml", "<a></b>")));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Unmatched closing tag");
  EXPECT_EQ(Str(doc_.GetLastErrorLocation()), L"b>");
}

TEST_F(MarkupFileTest, ByteOrderMarkIsIgnored) {
  const std::string text = "<Global><Font name=\"system\" size=\"12\"/></Global>";
  ASSERT_TRUE(doc_.LoadFromFile(Write("plain.xml", text)));
  const std::wstring plain_name = doc_.GetRoot().GetChild().GetAttributeValue(0);
  ASSERT_TRUE(doc_.LoadFromFile(Write("bom.xml", "\xEF\xBB\xBF" + text)));
  EXPECT_EQ(Str(doc_.GetRoot().GetName()), L"Global");
  EXPECT_EQ(Str(doc_.GetRoot().GetChild().GetAttributeValue(0)), plain_name);
  // A two-byte file cannot hold a mark; it is parsed as it is.
  EXPECT_FALSE(doc_.LoadFromFile(Write("short.xml", "\xEF\xBB")));
  EXPECT_EQ(Str(doc_.GetLastErrorMessage()), L"Expected start tag");
}

TEST_F(MarkupFileTest, FoldersWithNonAsciiNamesAreFound) {
  const fs::path folder = dir_ / fs::path(u8"皮肤 主题");
  fs::create_directories(folder);
  std::ofstream(folder / "basic.xml", std::ios::binary) << "<Window size=\"1,2\"/>";
  ASSERT_TRUE(doc_.LoadFromFile(dir_.wstring() + L"/皮肤 主题/basic.xml"))
      << doc_.GetLastErrorMessage();
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"1,2");
  GlobalManager::SetResourceRoot(dir_.wstring());
  ASSERT_TRUE(doc_.LoadFromFile(L"皮肤 主题\\basic.xml")) << doc_.GetLastErrorMessage();
}

TEST_F(MarkupFileTest, RelativePathsStartAtTheResourceRoot) {
  fs::create_directories(dir_ / "theme" / "basic");
  Write("theme/basic/basic.xml", "<Window size=\"600,400\"/>");
  GlobalManager::SetResourceRoot((dir_ / "theme").wstring());
  ASSERT_TRUE(doc_.LoadFromFile(L"basic\\basic.xml")) << doc_.GetLastErrorMessage();
  EXPECT_EQ(Str(doc_.GetRoot().GetAttributeValue(0)), L"600,400");
}

}  // namespace
}  // namespace ui
