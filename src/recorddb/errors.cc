// The message table and the per-thread last-error code.
#include "recorddb/errors.h"

#include <errno.h>

#include "runtime/gbk.h"

namespace recorddb {
namespace {

thread_local int32_t last_error = 0;

struct Message {
  int32_t code;
  const std::string& (*text)();
};

// Each entry converts its literal once, on first use.
#define RECORDDB_MESSAGE(code, literal) \
  Message { code, [] () -> const std::string& { return literal##_gbk; } }

using rt::operator""_gbk;

const Message kMessages[] = {
    RECORDDB_MESSAGE(-1, "未知错误"),
    RECORDDB_MESSAGE(-2, "创建数据库失败"),
    RECORDDB_MESSAGE(-3, "指定文件未找到"),
    RECORDDB_MESSAGE(-4, "无效的路径"),
    RECORDDB_MESSAGE(-5, "打开文件过多"),
    RECORDDB_MESSAGE(-6, "指定文件不能被访问"),
    RECORDDB_MESSAGE(-7, "无效的文件号"),
    RECORDDB_MESSAGE(-8, "不能删除现行工作目录"),
    RECORDDB_MESSAGE(-9, "创建目录过多"),
    RECORDDB_MESSAGE(-10, "文件指针定位失败"),
    RECORDDB_MESSAGE(-11, "访问文件时硬件产生故障"),
    RECORDDB_MESSAGE(-12, "访问文件时产生共享冲突"),
    RECORDDB_MESSAGE(-13, "加锁文件失败"),
    RECORDDB_MESSAGE(-14, "磁盘空间不够"),
    RECORDDB_MESSAGE(-15, "已经到达文件尾"),
    RECORDDB_MESSAGE(-16, "字段数目必须大于 0 "),
    RECORDDB_MESSAGE(-17, "无效的字段类型"),
    RECORDDB_MESSAGE(-18, "无效的字段名称。名称首字符必须为全半角字母或汉字，其他字符必须为全半角字母、全半角数字或汉字。名称长度必须小于 16 字符"),
    RECORDDB_MESSAGE(-19, "无效的字段尺寸"),
    RECORDDB_MESSAGE(-20, "存在重复的字段名称"),
    RECORDDB_MESSAGE(-21, "打开指定数据库失败"),
    RECORDDB_MESSAGE(-22, "指定文件不是数据库文件"),
    RECORDDB_MESSAGE(-23, "指定数据库文件版本太高，无法读入，请升级系统软件"),
    RECORDDB_MESSAGE(-24, "无效的别名。别名首字符必须为全半角字母或汉字，其他字符必须为全半角字母、全半角数字或汉字"),
    RECORDDB_MESSAGE(-27, "当前未打开数据库"),
    RECORDDB_MESSAGE(-28, "加锁失败"),
    RECORDDB_MESSAGE(-29, "解锁失败"),
    RECORDDB_MESSAGE(-30, "打开指定索引文件失败"),
    RECORDDB_MESSAGE(-31, "指定文件不是数据库索引文件或已被损坏"),
    RECORDDB_MESSAGE(-32, "索引文件的版本与数据库本身不一致"),
    RECORDDB_MESSAGE(-33, "索引文件已经被打开"),
    RECORDDB_MESSAGE(-34, "为同一数据库打开索引文件过多"),
    RECORDDB_MESSAGE(-35, "读入数据库辅助文件失败"),
    RECORDDB_MESSAGE(-36, "数据库辅助文件的版本与数据库本身不一致"),
    RECORDDB_MESSAGE(-37, "指定文件不是数据库辅助文件或已被损坏"),
    RECORDDB_MESSAGE(-38, "指定数据库已经被打开"),
    RECORDDB_MESSAGE(-39, "索引所使用的字段太多"),
    RECORDDB_MESSAGE(-40, "未找到指定字段"),
    RECORDDB_MESSAGE(-41, "创建数据库索引文件失败"),
    RECORDDB_MESSAGE(-42, "索引所使用的字段不能为备注或者字节集类型"),
    RECORDDB_MESSAGE(-43, "不能找到索引所使用的字段"),
    RECORDDB_MESSAGE(-45, "分配内存空间失败"),
    RECORDDB_MESSAGE(-48, "数据库文件尺寸错误"),
    RECORDDB_MESSAGE(-49, "数据库索引文件尺寸错误"),
    RECORDDB_MESSAGE(-50, "创建数据库辅助文件失败"),
    RECORDDB_MESSAGE(-53, "索引所使用字段的尺寸与数据库内的字段不一致"),
    RECORDDB_MESSAGE(-54, "索引所使用字段的类型与数据库内的字段不一致"),
    RECORDDB_MESSAGE(-56, "索引字段的尺寸过大"),
    RECORDDB_MESSAGE(-62, "读记录失败"),
    RECORDDB_MESSAGE(-64, "更改索引失败"),
    RECORDDB_MESSAGE(-65, "取数据库记录数失败"),
    RECORDDB_MESSAGE(-67, "未设置当前数据库"),
    RECORDDB_MESSAGE(-69, "未设置当前索引"),
    RECORDDB_MESSAGE(-72, "所提供数据的类型与字段类型不匹配"),
    RECORDDB_MESSAGE(-73, "所提供欲查找数据的数目与当前索引的索引字段数不相等"),
};

#undef RECORDDB_MESSAGE

}  // namespace

int32_t DbLastError() { return last_error; }

rt::Text DbErrorText(int32_t code) {
  for (const Message& m : kMessages) {
    if (m.code == code) return m.text();
  }
  return "未知错误"_gbk;
}

bool Fail(int32_t code) {
  last_error = code;
  return false;
}

void ClearLastError() { last_error = 0; }

bool IsDamageCode(int32_t code) {
  switch (code) {
    case kErrOpenFailed:  // the password-protected variant, which nothing here writes
    case kErrNotDatabase:
    case kErrVersionTooNew:
    case kErrNotIndex:
    case kErrIndexVersion:
    case kErrAuxRead:
    case kErrAuxVersion:
    case kErrNotAux:
    case kErrFieldNotFound:
    case kErrIndexCreateFailed:
    case kErrIndexFieldKind:
    case kErrIndexFieldMissing:
    case kErrFileSize:
    case kErrIndexSize:
    case kErrIndexFieldSize:
    case kErrIndexFieldType:
    case kErrKeyTooLarge:
    case kErrReadRecord:
    case kErrIndexUpdate:
      return true;
    default:
      return false;
  }
}

int32_t FileErrorCode(int errno_value) {
  switch (errno_value) {
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
      return kErrBadPath;
    case EMFILE:
    case ENFILE:
      return kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kErrAccessDenied;
    case EBADF:
      return kErrInvalidHandle;
    case EIO:
      return kErrHardware;
    case EBUSY:
      return kErrSharingViolation;
    case EAGAIN:
    case EDEADLK:
    case ENOLCK:
      return kErrLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrDiskFull;
    default:
      return kErrGeneric;
  }
}

}  // namespace recorddb
