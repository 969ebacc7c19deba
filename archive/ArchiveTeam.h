#pragma once
// A team on one PostgreSQL server: the roles the server gives its members,
// and the two commands a team's administrator runs (kr3090 --init-server,
// --add-user). Three group roles, each a member of the one before, so that a
// member of kr3090_admin has every right of kr3090_reviewer and kr3090_tester:
//   kr3090_tester    测试: adds sites, campaigns and records; changes its own
//                    campaigns until they are reviewed
//   kr3090_reviewer  审核: also reviews a campaign
//   kr3090_admin     管理: also deletes, restores and empties the recycle bin
// Grants give each what it may touch; the archive's triggers (ArchiveSchema.cpp)
// decide the rest on the server. A user in none of them may read, and the
// owner of the tables may what 管理 may. On a server without these roles
// (a team never set up with --init-server) every user may what 管理 may, as
// far as the server's grants let it: the review lock and the change record
// hold all the same.

#include <optional>
#include <string>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

// "测试", "审核", "管理"; "只读" for a user without a role.
const char* RoleText(TArchiveRole role);
// The server's group role: "kr3090_tester"...; empty for Reader.
const char* ServerRoleName(TArchiveRole role);
// A role as typed on the command line: 测试/审核/管理 or tester/reviewer/admin.
std::optional<TArchiveRole> RoleNamed(const std::string& name);

// What the operator reads when the server refused `what`: the right that
// is missing and the user's role; `server` is the refusal's own text.
std::string RefusalText(const char* what, TArchiveRole needed, const TArchiveUser& user,
                        const std::string& server);

// Makes the group roles (when missing), the archive's tables (or brings them
// to this program's version) and the grants, on the database of the
// settings; run as its owner, who may create roles. Gives what was done, in
// lines; throws TArchiveError.
std::string InitTeamServer(const TArchiveSettings& settings, const std::string& password);

// Makes the login `name` with `memberPassword` (or gives an existing one this
// password) a member of the role's group alone. Throws TArchiveError.
std::string AddTeamMember(const TArchiveSettings& settings, const std::string& password,
                          const std::string& name, TArchiveRole role,
                          const std::string& memberPassword);
