// The long texts of the command-line tool and of the application's command
// line, kept beside the engine so the table and the programs share one
// spelling of each key.
#pragma once

#include <string_view>

namespace CLITexts {

// The value is the version, right after the product name. Descriptions start in
// column 39; a synopsis too long for that moves its description to a line of
// its own.
inline constexpr std::string_view helpKey =
    "Ostrevane %@ — 看清磁盘空间、给出清理建议、备份到网盘。为 Claude 等 AI agent 设计:每个命令都支持 --json。\n"
    "\n"
    "用法: ostrevane <命令> [参数] [--json]\n"
    "\n"
    "查看\n"
    "  status                              各磁盘容量、可用空间、权限状态\n"
    "  scan [路径] [--depth 2] [--top 10]   目录占用树(默认主目录;结果缓存 15 分钟,--refresh 强制重扫)\n"
    "  largest [路径] [-n 25] [--min-size 100] [--older-than 天数]\n"
    "                                      最大的文件(--min-size 单位 MB)\n"
    "  duplicates [路径] [--min-size 50] [--verify]\n"
    "                                      重复文件\n"
    "\n"
    "建议与清理(默认都是试运行,加 --execute 才真正执行;清理 = 移到废纸篓,可恢复)\n"
    "  suggest [--quick]                   清理建议,按可释放空间排序\n"
    "  clean <建议id>... [--execute]        执行某条建议\n"
    "  trash <路径>... [--execute]          把指定文件/目录移到废纸篓\n"
    "  empty-trash --confirm               清倒废纸篓(不可恢复,真正释放空间)\n"
    "\n"
    "网盘备份\n"
    "  destinations                        检测到的网盘与备份目的地\n"
    "  destinations add <名称> <目录>       添加自定义目的地(外置硬盘、NAS、任意网盘同步目录)\n"
    "  destinations remove <名称>\n"
    "  backup <路径> --to <目的地> [--dry-run] [--exclude 名称]...\n"
    "                                      增量备份(只复制新增/变化的文件,从不删除目的地内容)\n"
    "  offload <路径> --to <目的地> [--execute]\n"
    "                                      归档:备份 → 校验 → 本地副本移到废纸篓\n"
    "  evict <网盘内的路径>                  释放网盘在线保存的文件的本地副本\n"
    "  plans                               备份计划列表\n"
    "  plans add <路径> --to <目的地> | plans remove <id> | plans run [id] [--dry-run]\n"
    "  history [-n 10]                     备份记录\n"
    "\n"
    "AI 接入\n"
    "  mcp [--read-only]                   启动 MCP 服务(stdio),供 Claude 调用(--read-only:只开放只读工具)\n"
    "  claude-setup                        打印接入 Claude Code / Claude Desktop 的配置\n";

// Printed after the help. The value is the names `backup` and the plans leave
// out by default, listed.
inline constexpr std::string_view backupExcludesKey =
    "backup 和备份计划默认不备份名为 %@ 的文件和目录;--exclude 可再排除其他名称(按名称精确匹配)。";

// Both values are the path of the tool's own executable.
inline constexpr std::string_view setupKey =
    "Claude Code:\n"
    "  claude mcp add ostrevane --scope user -- %@ mcp\n"
    "\n"
    "Claude Desktop(claude_desktop_config.json 的 mcpServers 里加入):\n"
    "  \"ostrevane\": { \"command\": \"%@\", \"args\": [\"mcp\"] }\n"
    "\n"
    "之后就可以直接对 Claude 说:“看看我的磁盘哪里可以清理”、“把 ~/视频/旧项目 归档到移动硬盘”。";

// What `OstrevaneApp --help` prints. Descriptions start in column 24.
inline constexpr std::string_view appUsageKey =
    "用法: OstrevaneApp [--snapshot <文件夹> [--demo]]\n"
    "\n"
    "  (不带参数)            打开 Ostrevane 的窗口,查看主目录的磁盘占用\n"
    "  --snapshot <文件夹>   不打开窗口,把各页面渲染成 PNG 图片写入该文件夹后退出(不需要图形显示)\n"
    "  --demo                和 --snapshot 一起使用:页面显示内置的演示数据,不读取磁盘\n"
    "  -h, --help            显示这段说明\n"
    "  --version             显示版本号\n"
    "\n"
    "Qt 的标准选项(例如 -platform offscreen)同样可用。\n";

}  // namespace CLITexts
