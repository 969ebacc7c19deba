#include "archive/ArchiveTeam.h"

const char* RoleText(TArchiveRole role) {
    switch (role) {
        case TArchiveRole::Tester:
            return "测试";
        case TArchiveRole::Reviewer:
            return "审核";
        case TArchiveRole::Admin:
            return "管理";
        case TArchiveRole::Reader:
            break;
    }
    return "只读";
}

const char* ServerRoleName(TArchiveRole role) {
    switch (role) {
        case TArchiveRole::Tester:
            return "kr3090_tester";
        case TArchiveRole::Reviewer:
            return "kr3090_reviewer";
        case TArchiveRole::Admin:
            return "kr3090_admin";
        case TArchiveRole::Reader:
            break;
    }
    return "";
}

std::optional<TArchiveRole> RoleNamed(const std::string& name) {
    for (TArchiveRole role : {TArchiveRole::Tester, TArchiveRole::Reviewer, TArchiveRole::Admin})
        if (name == RoleText(role) || "kr3090_" + name == ServerRoleName(role)) return role;
    return std::nullopt;
}

std::string RefusalText(const char* what, TArchiveRole needed, const TArchiveUser& user,
                        const std::string& server) {
    const std::string who = "用户 " + user.Name + "（" + RoleText(user.Role) + "）";
    std::string text = "档案服务器拒绝了“" + std::string(what) + "”：";
    // The role is there, so what is missing is the campaign being one's own.
    if (user.Role >= needed && needed == TArchiveRole::Tester)
        text += "这次测试是别人存入的，只有存入它的人或“管理”能改动它，" + who + "不是。";
    else
        text += "这需要“" + std::string(RoleText(needed)) + "”的权限，" + who + "没有。";
    return text + "没有改动任何内容。\n" + server;
}
