#include "text/RelativeTime.hpp"

#include <cstdint>

#include "text/Localization.hpp"

namespace Fmt {

std::string ago(Date date, Date now) {
    int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now - date).count();
    if (seconds < 60) return L("刚刚");
    if (seconds < 3600) return L("%@ 分钟前", seconds / 60);
    if (seconds < 86400) return L("%@ 小时前", seconds / 3600);
    int64_t days = seconds / 86400;
    if (days <= 59) return L("%@ 天前", days);
    if (days <= 729) return L("%@ 个月前", days / 30);
    return L("%@ 年前", days / 365);
}

}  // namespace Fmt
