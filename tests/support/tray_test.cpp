#include "support/string_list_tray.h"

#include "support/encoding.h"

#include <gtest/gtest.h>

namespace qmt {
namespace {

std::string PlainStream(const std::vector<std::string>& strings) {
  ResourceWriter w;
  w.WriteListBegin();
  for (const auto& s : strings) w.WriteString(s);
  w.WriteListEnd();
  return w.Take();
}

TEST(Tray, RoundTripKeepsEveryByteAndOrder) {
  TStringListTray a;
  std::string binary("GI(\"%00\")\0\xFF\r\n", 13);
  std::string longLine(300, 'x');  // length needs two LEB128 bytes
  a.Items().Assign({"d", Sjis("色全背景=$00"), "", binary, longLine});
  std::string bytes = a.SaveToStream();

  TStringListTray b;
  b.LoadFromStream(bytes);
  EXPECT_EQ(b.Items().Strings(), a.Items().Strings());
}

TEST(Tray, EmptyListIsTheEmptyHeaderAlone) {
  TStringListTray a;
  EXPECT_EQ(a.SaveToStream(), PlainStream({""}));
  TStringListTray b;
  b.Items().Add("old");
  b.LoadFromStream(a.SaveToStream());
  EXPECT_TRUE(b.Items().Empty());
}

TEST(Tray, FirstStringIsAlwaysTheHeader) {
  TStringListTray t;
  t.LoadFromStream(PlainStream({"header?", "d", "s"}));
  EXPECT_EQ(t.Items().Strings(), (std::vector<std::string>{"d", "s"}));
}

TEST(Tray, ReadingReplacesAndNotifiesOnce) {
  TStringListTray t;
  t.Items().Assign({"a", "b", "c"});
  int changing = 0, changed = 0;
  t.SetOnChanging([&] { ++changing; });
  t.SetOnChange([&] { ++changed; });
  t.LoadFromStream(PlainStream({"", "x", "y"}));
  EXPECT_EQ(t.Items().Strings(), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
}

TEST(Tray, ScrambledListsAreRefusedBothWaysAndNothingIsLost) {
  TStringListTray t;
  t.Items().Assign({"keep"});
  t.Sethidon(true);
  EXPECT_TRUE(t.Items().Hidden());
  EXPECT_THROW(t.SaveToStream(), ResourceError);
  t.Sethidon(false);
  EXPECT_EQ(t.SaveToStream(), PlainStream({"", "keep"}));

  try {
    t.LoadFromStream(PlainStream({"<Ctypt>", "QWERTYUI"}));
    FAIL();
  } catch (const ResourceError& e) {
    EXPECT_NE(std::string(e.what()).find("scrambled"), std::string::npos);
  }
  EXPECT_EQ(t.Items().Strings(), (std::vector<std::string>{"keep"}));
}

TEST(Tray, BrokenStreamsAreRefusedWithoutTouchingTheList) {
  std::string good = PlainStream({"", "abc"});
  const std::vector<std::string> broken = {
      "",                                  // nothing at all
      good.substr(1),                      // no list start
      good.substr(0, good.size() - 1),     // no list end
      good.substr(0, good.size() - 3),     // string cut short
      good + "x",                          // stray bytes
      std::string("\x0E\x06\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01", 12),  // absurd length
  };
  for (const auto& bytes : broken) {
    TStringListTray t;
    t.Items().Add("keep");
    EXPECT_THROW(t.LoadFromStream(bytes), ResourceError) << bytes.size();
    EXPECT_EQ(t.Items().Strings(), (std::vector<std::string>{"keep"}));
  }
}

TEST(Tray, NameLookupIgnoresLetterCase) {
  TMyString l;
  l.Assign({"DTIME1", "box", Sjis("紫= 0xE0     +3"), "empty=", "a=b=c"});
  EXPECT_EQ(l.IndexOf("dtime1"), 0);
  EXPECT_EQ(l.IndexOf("BOX"), 1);
  EXPECT_EQ(l.IndexOf("bo"), -1);
  EXPECT_EQ(l.IndexOfName(Sjis("紫")), 2);
  EXPECT_EQ(l.ValueFromIndex(2), " 0xE0     +3");
  EXPECT_EQ(l.ValueFromIndex(3), "");
  EXPECT_EQ(l.ValueFromIndex(4), "b=c");
  EXPECT_EQ(l.IndexOfName("A"), 4);
  l.Add(Sjis("色ａ=1"));
  EXPECT_EQ(l.IndexOfName(Sjis("色Ａ")), 5);
  // The trail byte 0x61 of a double-byte character must not fold to 'A'.
  TMyString k;
  k.Assign({std::string("\x81\x61")});
  EXPECT_EQ(k.IndexOf(std::string("\x81\x41")), -1);
}

}  // namespace
}  // namespace qmt
