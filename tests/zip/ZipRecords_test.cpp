#include "zip/ZipRecords.h"

#include <gtest/gtest.h>

#include "zip/ZipFileUtils.h"

namespace {

std::string EndRecord(uint16_t entries, uint32_t offset, const std::string& comment) {
  uint8_t raw[22];
  zip::end_of_central rec;
  rec.TotalEntries = rec.EntriesOnThisDisk = entries;
  rec.CentralOffset = offset;
  rec.ZipCommentLength = static_cast<uint16_t>(comment.size());
  rec.Encode(raw);
  return std::string(reinterpret_cast<char*>(raw), 22) + comment;
}

TEST(ZipRecords, EndRecordSearch) {
  struct Case {
    std::string bytes;
    bool found;
    uint32_t offset;
  };
  const std::string stray = EndRecord(7, 1234, "");
  const Case cases[] = {
      {"", true, 0},
      {std::string(21, 'x'), false, 0},
      {std::string(100, 'x') + EndRecord(1, 50, ""), true, 50},
      {std::string(10, 'x') + EndRecord(1, 60, std::string(65535, 'c')), true, 60},
      // A stray record inside the comment, nearer the end than the real one, is taken.
      {EndRecord(1, 70, "c" + stray.substr(0, 20) + std::string(10, 'c')), true, 1234},
      {EndRecord(1, 80, "cc" + stray), true, 1234},
      {EndRecord(1, 90, stray.substr(0, 3) + "ccc"), true, 90},
  };
  for (const Case& c : cases) {
    zip::TMemoryStream s;
    s.Write(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    zip::TEndCentral end;
    EXPECT_EQ(end.ReadFromStream(s), c.found) << c.bytes.size();
    if (c.found) {
      EXPECT_EQ(end.Record.CentralOffset, c.offset) << c.bytes.size();
    }
  }
}

TEST(ZipRecords, NamesTimesAndRecordLayout) {
  zip::central_file_header rec;
  rec.DateTime = 0x00000000;  // month 0, day 0
  zip::TZipHeaderInfo e(rec, "dir\\sub\\file.txt");
  EXPECT_EQ(e.Directory, "dir\\sub\\");
  EXPECT_EQ(e.FileName, "file.txt");
  EXPECT_EQ(e.FileNameLength, 16);
  const platform::TDosFields f = platform::SplitDosDateTime(e.DateTime);
  EXPECT_EQ(f.month, 1);
  EXPECT_EQ(f.day, 1);
  EXPECT_EQ(zip::GoodTimeStamp(0xFFFFFFFF), platform::JoinDosDateTime({2099, 12, 31, 23, 59, 58}));
  const uint32_t fine = platform::JoinDosDateTime({2001, 2, 3, 4, 5, 6});
  EXPECT_EQ(zip::GoodTimeStamp(fine), fine);

  // Written back with "/" and the extra field before the comment; read back the same.
  e.SetFileComment(std::string("note"));
  zip::TMemoryStream s;
  e.SaveCentralToStream(s, std::string("\x55\x54\x01\x00\x07", 5));
  const std::string bytes(reinterpret_cast<char*>(s.Memory()), static_cast<size_t>(s.Size()));
  EXPECT_EQ(bytes.substr(46), std::string("dir/sub/file.txt\x55\x54\x01\x00\x07note", 25));
  s.SetPosition(0);
  zip::TZipHeaderInfo back;
  zip::TStream* in = &s;
  ASSERT_TRUE(back.ReadCentralFromStream(in));
  EXPECT_EQ(back.FullName(), "dir\\sub\\file.txt");
  EXPECT_EQ(back.ExtraFieldLength, 5);
  EXPECT_EQ(back.GetFileComment(s).value_or(""), "note");
  // A record cut short leaves the stream where it was.
  zip::TMemoryStream cut;
  cut.Write(bytes.data(), 40);
  cut.SetPosition(0);
  zip::TStream* cutIn = &cut;
  EXPECT_FALSE(back.ReadCentralFromStream(cutIn));
  EXPECT_EQ(cut.Position(), 0);

  // OEM names from a DOS host: 0x81 is u-umlaut in code page 437.
  zip::TZipHeaderInfo oem;
  oem.OEMConvert = 1;
  oem.SetFileName("\xFC.txt");
  zip::TMemoryStream l;
  oem.SaveLocalToStream(l);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(l.Memory()) + 30, 5), "\x81.txt");
  l.SetPosition(0);
  zip::TZipHeaderInfo oemBack;
  oemBack.OEMConvert = 1;
  ASSERT_TRUE(oemBack.ReadLocalFromStream(l));
  EXPECT_EQ(oemBack.FileName, "\xFC.txt");
}

TEST(ZipRecords, SortOrders) {
  zip::TSortedZip list(zip::dupAccept);
  list.SetOwnsItems(true);
  struct TItem {
    const char* name;
    uint32_t offset, csize, usize, date;
  };
  const TItem entries[] = {{"b.txt", 300, 10, 100, 0x50210000}, {"A.txt", 100, 50, 100, 0x50220000},
                          {"c.txt", 200, 30, 30, 0x50200000}};
  std::vector<zip::TZipHeaderInfo*> items;
  for (const TItem& s : entries) {
    auto* e = new zip::TZipHeaderInfo();
    e->SetFileName(s.name);
    e->RelativeOffset = s.offset;
    e->CompressedSize = s.csize;
    e->UncompressedSize = s.usize;
    e->DateTime = s.date;
    items.push_back(e);
  }
  auto order = [&](zip::TZipSortMode mode) {
    zip::TSortedZip view(zip::dupAccept);
    view.SetOwnsItems(false);
    view.SortMode = mode;
    for (auto* e : items) view.AddObject(e);
    std::string names;
    for (int i = 0; i < view.Count(); ++i) names += view.Item(i)->FileName[0];
    return names;
  };
  EXPECT_EQ(order(zip::ByNone), "Acb");
  EXPECT_EQ(order(zip::ByName), "Abc");
  EXPECT_EQ(order(zip::ByDate), "Abc");
  EXPECT_EQ(order(zip::ByCompressedSize), "Acb");
  EXPECT_EQ(order(zip::ByRate), "cAb");
  for (auto* e : items) list.AddObject(e);
}

}  // namespace
