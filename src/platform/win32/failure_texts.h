#pragma once

// What the error box says failed, before the file or item and the system's own message:
// every such text of the Windows layer, in one place.

namespace vexa::failure {

inline constexpr char16_t kCannotWriteFile[] = u"无法写入文件 ";
inline constexpr char16_t kCannotConvertText[] = u"无法转换文字";
inline constexpr char16_t kCannotReadFile[] = u"无法读取文件 ";
inline constexpr char16_t kCannotReadSpoolFile[] = u"无法读取临时文件 ";
inline constexpr char16_t kCannotReadSpool[] = u"无法读取临时文件";
inline constexpr char16_t kCannotLoadLibrary[] = u"无法加载 ";
inline constexpr char16_t kCannotLoadPicture[] = u"无法载入窗口的图片";
inline constexpr char16_t kCannotReadMessages[] = u"无法读取窗口消息";
inline constexpr char16_t kCannotSetCaption[] = u"无法设置控件文字 ";
inline constexpr char16_t kCannotRegisterClass[] = u"无法注册窗口类 ";
inline constexpr char16_t kCannotReplaceFile[] = u"无法替换文件 ";
inline constexpr char16_t kCannotShowMessageBox[] = u"无法显示消息框 ";
inline constexpr char16_t kCannotStartDownload[] = u"无法开始下载 ";
inline constexpr char16_t kCannotStartProgram[] = u"无法启动程序 ";
inline constexpr char16_t kNoSystemFolder[] = u"无法取得系统文件夹";
inline constexpr char16_t kNoProgramFolder[] = u"无法取得程序所在的文件夹";
inline constexpr char16_t kNoTemporaryFolder[] = u"无法取得临时文件夹";
inline constexpr char16_t kNoWindowsFolder[] = u"无法取得 Windows 文件夹";
inline constexpr char16_t kCannotDeleteFile[] = u"无法删除文件 ";
inline constexpr char16_t kCannotCreateWindow[] = u"无法创建窗口";
inline constexpr char16_t kCannotCreateControl[] = u"无法创建控件 ";
inline constexpr char16_t kCannotCreateFont[] = u"无法创建字体 ";
inline constexpr char16_t kCannotCreateEvent[] = u"无法创建事件";
inline constexpr char16_t kCannotCreateSpoolFile[] = u"无法创建临时文件 ";
inline constexpr char16_t kCannotCreateSpoolFolder[] = u"无法创建临时文件夹 ";
inline constexpr char16_t kCannotStartInstaller[] = u"无法启动安装程序 ";
inline constexpr char16_t kCannotWriteSpoolFile[] = u"无法写入临时文件 ";
inline constexpr char16_t kCannotUse[] = u"无法使用 ";
inline constexpr char16_t kCannotCheckSignature[] = u"无法检查文件的签名 ";
inline constexpr char16_t kNotTheVendorsSignature[] = u"安装程序的签名不是厂商的：";
inline constexpr char16_t kCannotCheckFile[] = u"无法校验文件 ";
inline constexpr char16_t kContentMismatch[] = u"文件校验失败：";

}  // namespace vexa::failure
