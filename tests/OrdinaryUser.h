#pragma once
// Runs a scope as an ordinary user, as an operator runs the program: root
// opens and writes whatever the permission bits say. Run as root, the scope
// becomes nobody (65534, no supplementary groups) and root again at its end;
// run as anyone else, it changes nothing.
#include <grp.h>
#include <unistd.h>

#include <vector>

class TOrdinaryUser {
  public:
    TOrdinaryUser() {
        if (geteuid() != 0) return;
        groups_.resize(static_cast<std::size_t>(getgroups(0, nullptr)));
        getgroups(static_cast<int>(groups_.size()), groups_.data());
        wasRoot_ = true;
        // The saved ids stay root, so the destructor may return to it.
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 0) == 0)
            (void)!setresuid(65534, 65534, 0);
    }
    ~TOrdinaryUser() {
        if (!wasRoot_) return;
        (void)!setresuid(0, 0, 0);
        (void)!setresgid(0, 0, 0);
        (void)!setgroups(groups_.size(), groups_.data());
    }
    TOrdinaryUser(const TOrdinaryUser&) = delete;
    TOrdinaryUser& operator=(const TOrdinaryUser&) = delete;
    // False when root could not give up its rights (a test then skips).
    bool Ordinary() const { return geteuid() != 0; }

  private:
    std::vector<gid_t> groups_;
    bool wasRoot_ = false;
};
