#include "encoder/mp4_atoms.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "encoder/errors.h"

namespace encoder {
namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint64_t Be64(const uint8_t* p) { return (uint64_t{Be32(p)} << 32) | Be32(p + 4); }
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

struct Span {
  size_t offset;  // of the box header
  size_t size;    // whole box
};

// Looks for the first child box of `type` among the boxes in [begin, end) of `b`. Returns false
// when those boxes do not tile the range exactly (damaged, or a 64-bit size we do not edit).
bool FindChild(const Bytes& b, size_t begin, size_t end, const char type[4],
               std::optional<Span>& found) {
  found.reset();
  size_t pos = begin;
  while (pos < end) {
    if (pos + 8 > end) return false;
    const uint32_t size = Be32(b.data() + pos);
    if (size < 8 || pos + size > end) return false;
    if (!found && std::memcmp(b.data() + pos + 4, type, 4) == 0) found = Span{pos, size};
    pos += size;
  }
  return true;
}

// Inserts `bytes` at `at` and grows each enclosing box (given by header offset) by its length.
bool InsertInto(Bytes& b, const std::vector<size_t>& enclosing, size_t at, const Bytes& bytes) {
  for (size_t off : enclosing) {
    const uint64_t grown = uint64_t{Be32(b.data() + off)} + bytes.size();
    if (grown > 0xFFFFFFFFu) return false;
    PutBe32(b.data() + off, static_cast<uint32_t>(grown));
  }
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
  return true;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// meta is a full box: a version and flags word comes before its children.
Bytes MetaBox(const Bytes& ilst_payload) {
  Bytes hdlr_payload(8, 0);  // version/flags, pre-defined
  for (char c : std::string("mdirappl")) hdlr_payload.push_back(static_cast<uint8_t>(c));
  hdlr_payload.resize(hdlr_payload.size() + 9, 0);  // reserved words, empty name
  return Mp4Box("meta", Concat({Bytes(4, 0), Mp4Box("hdlr", hdlr_payload),
                                Mp4Box("ilst", ilst_payload)}));
}

ssize_t PreadAll(int fd, void* buf, size_t n, off_t at) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, static_cast<uint8_t*>(buf) + done, n - done,
                              at + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return r < 0 ? -1 : static_cast<ssize_t>(done);
    done += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(done);
}

bool PwriteAll(int fd, const void* buf, size_t n, off_t at) {
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::pwrite(fd, static_cast<const uint8_t*>(buf) + done, n - done,
                               at + static_cast<off_t>(done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

Bytes Mp4Box(const char type[4], const Bytes& payload) {
  Bytes b(8);
  PutBe32(b.data(), static_cast<uint32_t>(payload.size() + 8));
  std::memcpy(b.data() + 4, type, 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes ITunSmpbItem(uint32_t priming, uint32_t padding, uint64_t samples) {
  char text[160];
  std::snprintf(text, sizeof text,
                " 00000000 %08X %08X %016llX 00000000 00000000 00000000 00000000 00000000 "
                "00000000 00000000 00000000",
                priming, padding, static_cast<unsigned long long>(samples));
  const auto with_header = [](uint8_t type, const std::string& s) {
    Bytes b(4, 0);
    b[3] = type;
    if (type == 1) b.resize(8, 0);  // data: type 1 (UTF-8), locale 0
    for (char c : s) b.push_back(static_cast<uint8_t>(c));
    return b;
  };
  return Mp4Box("----", Concat({Mp4Box("mean", with_header(0, "com.apple.iTunes")),
                                Mp4Box("name", with_header(0, "iTunSMPB")),
                                Mp4Box("data", with_header(1, text))}));
}

bool AppendIlstItems(Bytes& moov, const Bytes& items) {
  if (moov.size() < 8 || Be32(moov.data()) != moov.size() ||
      std::memcmp(moov.data() + 4, "moov", 4) != 0) {
    return false;
  }
  std::vector<size_t> enclosing{0};
  std::optional<Span> udta, meta, ilst;
  if (!FindChild(moov, 8, moov.size(), "udta", udta)) return false;
  if (!udta) return InsertInto(moov, enclosing, moov.size(), Mp4Box("udta", MetaBox(items)));
  enclosing.push_back(udta->offset);
  const size_t udta_end = udta->offset + udta->size;
  if (!FindChild(moov, udta->offset + 8, udta_end, "meta", meta)) return false;
  if (!meta) return InsertInto(moov, enclosing, udta_end, MetaBox(items));
  if (meta->size < 12) return false;
  enclosing.push_back(meta->offset);
  const size_t meta_end = meta->offset + meta->size;
  if (!FindChild(moov, meta->offset + 12, meta_end, "ilst", ilst)) return false;
  if (!ilst) return InsertInto(moov, enclosing, meta_end, Mp4Box("ilst", items));
  enclosing.push_back(ilst->offset);
  return InsertInto(moov, enclosing, ilst->offset + ilst->size, items);
}

void AppendIlstItemsToFile(int fd, const Bytes& items, const std::string& name) {
  const auto fail = [&](const std::string& why) {
    throw EncodeError(name + ": cannot add the MP4 tags: " + why);
  };
  // Walk the top-level boxes to the last one, which must be moov.
  off_t pos = 0;
  off_t moov_at = -1;
  uint64_t moov_size = 0;
  for (;;) {
    uint8_t h[16];
    const ssize_t r = PreadAll(fd, h, 8, pos);
    if (r < 0) fail(ErrnoText(errno));
    if (r == 0) break;
    if (r < 8) fail("damaged box structure");
    uint64_t size = Be32(h);
    if (size == 1) {
      if (PreadAll(fd, h + 8, 8, pos + 8) != 8) fail("damaged box structure");
      size = Be64(h + 8);
    }
    if (size < 8) fail("damaged box structure");  // 0 ("to the end") is never written here
    if (std::memcmp(h + 4, "moov", 4) == 0) {
      moov_at = pos;
      moov_size = size;
    } else if (moov_at >= 0) {
      fail("the moov box is not the last one");
    }
    pos += static_cast<off_t>(size);
  }
  if (moov_at < 0) fail("no moov box");
  if (moov_size > (uint64_t{64} << 20)) fail("the moov box is too large");

  Bytes moov(static_cast<size_t>(moov_size));
  if (PreadAll(fd, moov.data(), moov.size(), moov_at) != static_cast<ssize_t>(moov.size())) {
    fail("cannot read the moov box");
  }
  if (!AppendIlstItems(moov, items)) fail("damaged moov box");
  if (!PwriteAll(fd, moov.data(), moov.size(), moov_at)) fail(ErrnoText(errno));
}

}  // namespace encoder
