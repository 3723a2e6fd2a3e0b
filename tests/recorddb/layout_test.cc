// Byte-level checks of the three file layouts and of the field-list rules
// of DbCreate.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "recorddb/coding.h"
#include "runtime/gbk.h"
#include "test_util.h"

namespace recorddb_test {
namespace {

using recorddb::DbCreate;
using recorddb::DbLastError;
using rt::operator""_gbk;

class Layout : public TempFolderTest {};

TEST_F(Layout, NewTableHeaderAndDescriptorSitAtTheirOffsets) {
  ASSERT_TRUE(CreatePhotoTable(Path("album")));
  const std::vector<uint8_t> b = ReadAll(Path("album.EDB"));
  ASSERT_EQ(b.size(), 188u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "WEDB");
  EXPECT_EQ(I32At(b, 4), 0x10000);
  const double created = recorddb::GetF64(b.data() + 8);
  EXPECT_GT(created, 40000.0);  // after 2009
  EXPECT_LT(created, 80000.0);
  EXPECT_EQ(I32At(b, 16), 0);   // count
  EXPECT_EQ(I32At(b, 20), 1);   // next sequence number
  EXPECT_EQ(I32At(b, 24), 24);  // record size
  for (size_t i = 28; i < 112; ++i) ASSERT_EQ(b[i], 0) << i;
  EXPECT_EQ(I32At(b, 112), 1);
  EXPECT_EQ(std::memcmp(b.data() + 116, "photo_id\0\0\0\0\0\0\0\0\0\0\0\0", 20), 0);
  EXPECT_EQ(I32At(b, 136), 10);
  EXPECT_EQ(I32At(b, 140), 4);
  EXPECT_EQ(I32At(b, 144), 20);
  for (size_t i = 148; i < 188; ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST_F(Layout, RecordKLiesAt188Plus24KWithTextCutOrPadded) {
  ASSERT_TRUE(CreatePhotoTable(Path("album.edb")));
  ASSERT_TRUE(recorddb::DbOpen(Path("album.edb")));
  ASSERT_TRUE(recorddb::DbAppend(Id("short")));
  ASSERT_TRUE(recorddb::DbAppend(Id("0123456789abcdefghijKLMNO")));  // 25 bytes
  ASSERT_TRUE(recorddb::DbAppend(Id("01234567890123456789")));       // exactly 20
  ASSERT_TRUE(recorddb::DbClose());
  const std::vector<uint8_t> b = ReadAll(Path("album.edb"));
  ASSERT_EQ(b.size(), 188u + 3 * 24);
  EXPECT_EQ(I32At(b, 16), 3);
  EXPECT_EQ(I32At(b, 20), 4);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(I32At(b, 188 + 24 * k), k + 1);
  EXPECT_EQ(std::memcmp(b.data() + 192, "short\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20), 0);
  EXPECT_EQ(std::memcmp(b.data() + 216, "0123456789abcdefghij", 20), 0);
  EXPECT_EQ(std::memcmp(b.data() + 240, "01234567890123456789", 20), 0);
}

TEST_F(Layout, FieldsFollowEachOtherAndByteArraysGetAnAuxiliaryFile) {
  ASSERT_TRUE(DbCreate(Path("all.edb"), {{"b", 1, 0},
                                         {"s", 2, 0},
                                         {"i", 3, 0},
                                         {"l", 4, 0},
                                         {"f", 5, 0},
                                         {"d", 6, 0},
                                         {"o", 7, 0},
                                         {"t", 8, 0},
                                         {"r", 9, 0},
                                         {"x", 10, 7},
                                         {"y", 11, 99},
                                         {"m", 12, 0}}));
  const std::vector<uint8_t> b = ReadAll(Path("all.edb"));
  ASSERT_EQ(b.size(), 116u + 72 * 12);
  const int32_t offsets[] = {4, 5, 7, 11, 19, 23, 31, 32, 40, 44, 51, 55};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(I32At(b, 116 + 72 * i + 20), i + 1);
    EXPECT_EQ(I32At(b, 116 + 72 * i + 24), offsets[i]) << i;
    EXPECT_EQ(I32At(b, 116 + 72 * i + 28), i == 9 ? 7 : 0) << i;  // size only for text
  }
  EXPECT_EQ(I32At(b, 24), 59);
  const std::vector<uint8_t> aux = ReadAll(Path("all.EDT"));
  ASSERT_EQ(aux.size(), 512u);
  EXPECT_EQ(std::string(aux.begin(), aux.begin() + 4), "WEDT");
  EXPECT_EQ(I32At(aux, 4), 0x10000);
  EXPECT_EQ(I32At(aux, 16), 1);
  EXPECT_EQ(I32At(aux, 20), 0);
  EXPECT_EQ(I32At(aux, 24), 0);
}

TEST_F(Layout, TableOfFixedAndTextFieldsHasNoAuxiliaryFile) {
  ASSERT_TRUE(DbCreate(Path("t.edb"), {{"n", 3, 0}, {"x", 10, 5}}));
  EXPECT_FALSE(std::filesystem::exists(Path("t.EDT")));
}

TEST_F(Layout, NewIndexIsTwo512ByteBlocks) {
  ASSERT_TRUE(CreatePhotoTable(Path("album.edb")));
  ASSERT_TRUE(OpenPhotoTable(Path("album.edb"), Path("album")));
  const std::vector<uint8_t> b = ReadAll(Path("album.ENX"));
  ASSERT_EQ(b.size(), 1024u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "WENX");
  EXPECT_EQ(I32At(b, 4), 0x10000);
  const int32_t expected[] = {0, 0, 2, 0, 0, 1, 512, 20, 1};  // offsets 16..48
  for (int i = 0; i < 9; ++i) EXPECT_EQ(I32At(b, 16 + 4 * i), expected[i]) << 16 + 4 * i;
  EXPECT_EQ(std::memcmp(b.data() + 52, "photo_id\0", 9), 0);
  for (size_t i = 61; i < 188; ++i) ASSERT_EQ(b[i], 0) << i;
  EXPECT_EQ(I32At(b, 188), -20);
  for (size_t i = 192; i < 1024; ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST_F(Layout, IndexOptionsAreMappedMaskedAndClamped) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(recorddb::DbOpen(Path("a.edb")));
  ASSERT_TRUE(recorddb::DbCreateIndex(Path("a.ENX"), {"PHOTO_ID"}, {3, 7, 12}));
  const std::vector<uint8_t> b = ReadAll(Path("a.ENX"));
  ASSERT_EQ(b.size(), 2u * 5120);
  EXPECT_EQ(I32At(b, 16), 2);
  EXPECT_EQ(I32At(b, 20), 3);
  EXPECT_EQ(I32At(b, 40), 5120);
  EXPECT_EQ(std::memcmp(b.data() + 52, "photo_id\0", 9), 0);  // the table's spelling
}

TEST_F(Layout, FieldNamesOf16BytesPassAnd17Fail) {
  EXPECT_TRUE(DbCreate(Path("a"), {{"abcdefghijklmnop", 3, 0}}));
  EXPECT_FALSE(DbCreate(Path("b"), {{"abcdefghijklmnopq", 3, 0}}));
  EXPECT_EQ(DbLastError(), -18);
  // Eight Chinese characters are 16 bytes; a ninth is too many.
  EXPECT_TRUE(DbCreate(Path("c"), {{"图片编号图片编号"_gbk, 3, 0}}));
  EXPECT_FALSE(DbCreate(Path("d"), {{"图片编号图片编号图"_gbk, 3, 0}}));
  EXPECT_EQ(DbLastError(), -18);
}

TEST_F(Layout, FieldNameRuleAcceptsUnderscoreAfterTheFirstCharacter) {
  struct Case {
    rt::Text name;
    bool valid;
  } cases[] = {{"photo_id", true}, {"_id", false},          {"id_", true},
               {"x1", true},       {"1x", false},           {"a-b", false},
               {"a b", false},     {"图片_1"_gbk, true},    {"Ａ１"_gbk, true},
               {"１Ａ"_gbk, false}, {"，"_gbk, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(DbCreate(Path("n"), {{c.name, 3, 0}}), c.valid) << rt::ToUtf8(c.name);
    EXPECT_EQ(DbLastError(), c.valid ? 0 : -18) << rt::ToUtf8(c.name);
  }
}

TEST_F(Layout, FieldListErrorsHaveTheirCodes) {
  EXPECT_FALSE(DbCreate("", {{"a", 3, 0}}));
  EXPECT_EQ(DbLastError(), -3);
  EXPECT_FALSE(DbCreate(Path("x"), {}));
  EXPECT_EQ(DbLastError(), -16);
  EXPECT_FALSE(DbCreate(Path("x"), {{"", 3, 0}, {"a", 3, 0}}));
  EXPECT_EQ(DbLastError(), -16);
  EXPECT_FALSE(DbCreate(Path("x"), {{"a", 13, 0}}));
  EXPECT_EQ(DbLastError(), -17);
  EXPECT_FALSE(DbCreate(Path("x"), {{"a", 10, 0}}));
  EXPECT_EQ(DbLastError(), -19);
  EXPECT_FALSE(DbCreate(Path("x"), {{"a", 10, 1025}}));
  EXPECT_EQ(DbLastError(), -19);
  EXPECT_FALSE(DbCreate(Path("x"), {{"Name", 3, 0}, {"nAME", 4, 0}}));
  EXPECT_EQ(DbLastError(), -20);
  EXPECT_FALSE(DbCreate(Path("no/such/folder/x"), {{"a", 3, 0}}));
  EXPECT_EQ(DbLastError(), -3);
  // Fields after the first empty name are not taken.
  EXPECT_TRUE(DbCreate(Path("x"), {{"a", 3, 0}, {"", 0, 0}, {"!", 99, 0}}));
  EXPECT_EQ(I32At(ReadAll(Path("x.EDB")), 112), 1);
}

TEST_F(Layout, CreateReplacesAnExistingDatabaseWithAnEmptyOne) {
  ASSERT_TRUE(CreatePhotoTable(Path("a.edb")));
  ASSERT_TRUE(recorddb::DbOpen(Path("a.edb")));
  ASSERT_TRUE(recorddb::DbAppend(Id("1")));
  ASSERT_TRUE(recorddb::DbClose());
  ASSERT_EQ(ReadAll(Path("a.edb")).size(), 212u);
  ASSERT_TRUE(DbCreate(Path("a.edb"), {{"n", 3, 0}}));
  const std::vector<uint8_t> b = ReadAll(Path("a.edb"));
  EXPECT_EQ(b.size(), 188u);
  EXPECT_EQ(I32At(b, 16), 0);
  EXPECT_EQ(I32At(b, 136), 3);
}

// The message of every code, as the operations' error table gives it; every
// number the table leaves out is an unknown error.
TEST(ErrorText, GivesTheMessageOfEachCodeAndUnknownOtherwise) {
  // One code a line:
  // clang-format off
  const std::map<int32_t, std::string> table = {
      {-1, "未知错误"},
      {-2, "创建数据库失败"},
      {-3, "指定文件未找到"},
      {-4, "无效的路径"},
      {-5, "打开文件过多"},
      {-6, "指定文件不能被访问"},
      {-7, "无效的文件号"},
      {-8, "不能删除现行工作目录"},
      {-9, "创建目录过多"},
      {-10, "文件指针定位失败"},
      {-11, "访问文件时硬件产生故障"},
      {-12, "访问文件时产生共享冲突"},
      {-13, "加锁文件失败"},
      {-14, "磁盘空间不够"},
      {-15, "已经到达文件尾"},
      {-16, "字段数目必须大于 0 "},
      {-17, "无效的字段类型"},
      {-18, "无效的字段名称。名称首字符必须为全半角字母或汉字，其他字符必须为全半角字母、全半角数字或汉字。名称长度必须小于 16 字符"},
      {-19, "无效的字段尺寸"},
      {-20, "存在重复的字段名称"},
      {-21, "打开指定数据库失败"},
      {-22, "指定文件不是数据库文件"},
      {-23, "指定数据库文件版本太高，无法读入，请升级系统软件"},
      {-24, "无效的别名。别名首字符必须为全半角字母或汉字，其他字符必须为全半角字母、全半角数字或汉字"},
      {-27, "当前未打开数据库"},
      {-28, "加锁失败"},
      {-29, "解锁失败"},
      {-30, "打开指定索引文件失败"},
      {-31, "指定文件不是数据库索引文件或已被损坏"},
      {-32, "索引文件的版本与数据库本身不一致"},
      {-33, "索引文件已经被打开"},
      {-34, "为同一数据库打开索引文件过多"},
      {-35, "读入数据库辅助文件失败"},
      {-36, "数据库辅助文件的版本与数据库本身不一致"},
      {-37, "指定文件不是数据库辅助文件或已被损坏"},
      {-38, "指定数据库已经被打开"},
      {-39, "索引所使用的字段太多"},
      {-40, "未找到指定字段"},
      {-41, "创建数据库索引文件失败"},
      {-42, "索引所使用的字段不能为备注或者字节集类型"},
      {-43, "不能找到索引所使用的字段"},
      {-45, "分配内存空间失败"},
      {-48, "数据库文件尺寸错误"},
      {-49, "数据库索引文件尺寸错误"},
      {-50, "创建数据库辅助文件失败"},
      {-53, "索引所使用字段的尺寸与数据库内的字段不一致"},
      {-54, "索引所使用字段的类型与数据库内的字段不一致"},
      {-56, "索引字段的尺寸过大"},
      {-62, "读记录失败"},
      {-64, "更改索引失败"},
      {-65, "取数据库记录数失败"},
      {-67, "未设置当前数据库"},
      {-69, "未设置当前索引"},
      {-72, "所提供数据的类型与字段类型不匹配"},
      {-73, "所提供欲查找数据的数目与当前索引的索引字段数不相等"},
  };
  // clang-format on
  for (const auto& [code, message] : table) {
    EXPECT_EQ(rt::ToUtf8(recorddb::DbErrorText(code)), message) << code;
  }
  for (int32_t code = -80; code <= 1; ++code) {
    if (table.count(code) == 0) {
      EXPECT_EQ(rt::ToUtf8(recorddb::DbErrorText(code)), "未知错误") << code;
    }
  }
}

}  // namespace
}  // namespace recorddb_test
