// The tag texts (UTF-8) and the ilst edit that adds an item after the muxer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "encoder/mp4_atoms.h"
#include "encoder/tags.h"

namespace {

using encoder::Bytes;
using encoder::Mp4Box;

TEST(Utf8, ValidTextIsKeptAndEightBitTextIsConverted) {
  const std::string utf8 = "Hé \"q\" Ünïcødé ✓ 𝄞";
  EXPECT_TRUE(encoder::IsValidUtf8(utf8));
  EXPECT_EQ(encoder::ToUtf8(utf8), utf8);
  // Latin-1 / Windows-1252 bytes, as an 8-bit code page gives them.
  EXPECT_EQ(encoder::ToUtf8("Caf\xE9 \x80 \x93x\x94"), "Café € “x”");
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF8\x88\x80\x80\x80", "\xFF"}) {
    EXPECT_FALSE(encoder::IsValidUtf8(bad)) << bad;
    EXPECT_TRUE(encoder::IsValidUtf8(encoder::ToUtf8(bad)));
  }
}

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// Walks a box tree, checking that every child fits its parent exactly; returns the path of
// container boxes down to the one holding `find`, as "moov/udta/meta/ilst".
bool Walk(const Bytes& b, size_t begin, size_t end, const std::string& path, const char* find,
          std::string& found) {
  size_t pos = begin;
  while (pos < end) {
    if (pos + 8 > end) return false;
    const uint32_t size = Be32(b.data() + pos);
    if (size < 8 || pos + size > end) return false;
    const std::string type(reinterpret_cast<const char*>(b.data() + pos + 4), 4);
    const std::string here = path.empty() ? type : path + "/" + type;
    if (type == find) found = path;
    size_t child = 0;
    if (type == "moov" || type == "udta" || type == "ilst" || type == "trak") child = 8;
    if (type == "meta") child = 12;
    if (child && !Walk(b, pos + child, pos + size, here, find, found)) return false;
    pos += size;
  }
  return pos == end;
}

Bytes Item(const char* type, const std::string& text) {
  Bytes data(8, 0);
  data[3] = 1;
  for (char c : text) data.push_back(uint8_t(c));
  return Mp4Box(type, Mp4Box("data", data));
}

TEST(Mp4Atoms, AnItemGoesIntoIlstWhateverPartOfThePathExists) {
  const Bytes mvhd = Mp4Box("mvhd", Bytes(100, 7));
  const Bytes trak = Mp4Box("trak", Mp4Box("tkhd", Bytes(84, 1)));
  const Bytes hdlr = Mp4Box("hdlr", Bytes(25, 0));
  const Bytes nam = Item("\xA9nam", "Title");
  auto meta = [&](const Bytes& inside) {
    Bytes p(4, 0);
    p.insert(p.end(), hdlr.begin(), hdlr.end());
    p.insert(p.end(), inside.begin(), inside.end());
    return Mp4Box("meta", p);
  };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const std::vector<Bytes> moovs = {
      Mp4Box("moov", cat({mvhd, trak, Mp4Box("udta", meta(Mp4Box("ilst", nam)))})),
      Mp4Box("moov", cat({mvhd, Mp4Box("udta", meta(Mp4Box("ilst", nam))), trak})),
      Mp4Box("moov", cat({mvhd, trak, Mp4Box("udta", meta({}))})),
      Mp4Box("moov", cat({mvhd, trak, Mp4Box("udta", Mp4Box("cprt", Bytes(6, 0)))})),
      Mp4Box("moov", cat({mvhd, trak})),
  };
  const Bytes gen = Item("\xA9gen", "18");
  for (size_t i = 0; i < moovs.size(); ++i) {
    Bytes m = moovs[i];
    ASSERT_TRUE(encoder::AppendIlstItems(m, gen)) << i;
    EXPECT_EQ(m.size(), moovs[i].size() + gen.size() +
                            (i == 2 ? 8 : i == 3 ? 8 + 12 + 33 : i == 4 ? 8 + 8 + 12 + 33 : 0))
        << i;
    std::string found;
    EXPECT_TRUE(Walk(m, 0, m.size(), "", "\xA9gen", found)) << i;
    EXPECT_EQ(found, "moov/udta/meta/ilst") << i;
    if (i < 2) {  // the existing item stays in the same ilst
      std::string nam_at;
      Walk(m, 0, m.size(), "", "\xA9nam", nam_at);
      EXPECT_EQ(nam_at, "moov/udta/meta/ilst");
    }
    // The item whole: its size, and its text at the end of its data box.
    const size_t at = std::string(m.begin(), m.end()).find("\xA9gen");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(Be32(m.data() + at - 4), 26u);
    EXPECT_EQ(m[at + 20], '1');
    EXPECT_EQ(m[at + 21], '8');
  }
}

TEST(Mp4Atoms, DamagedMoovIsRefused) {
  Bytes m = Mp4Box("moov", Mp4Box("udta", Bytes(4, 0)));
  Bytes bad = m;
  bad[11] = 0x40;  // udta claims more than moov holds
  EXPECT_FALSE(encoder::AppendIlstItems(bad, Item("\xA9gen", "1")));
  Bytes not_moov = Mp4Box("free", Bytes(8, 0));
  EXPECT_FALSE(encoder::AppendIlstItems(not_moov, Item("\xA9gen", "1")));
  Bytes short_size = m;
  short_size[3] = 4;
  EXPECT_FALSE(encoder::AppendIlstItems(short_size, Item("\xA9gen", "1")));
}

}  // namespace
