#include "core/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/DeviceProbe.h"

namespace ostrel {
namespace {

bool contains(const std::vector<gid_t>& groups, gid_t g) {
  return std::find(groups.begin(), groups.end(), g) != groups.end();
}

std::string groupName(gid_t gid) {
  std::vector<char> buffer(16384);
  group g{};
  group* found = nullptr;
  if (::getgrgid_r(gid, &g, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return std::to_string(gid);
  return found->gr_name;
}

std::vector<gid_t> accountGroupsOf(uid_t uid, gid_t primary) {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {primary};
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
    groups.resize(static_cast<std::size_t>(count));
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

bool permits(const struct stat& st, const Credentials& who) {
  if (who.uid == 0) return true;
  constexpr mode_t kOwner = S_IRUSR | S_IWUSR, kGroup = S_IRGRP | S_IWGRP, kOthers = S_IROTH | S_IWOTH;
  if (st.st_uid == who.uid) return (st.st_mode & kOwner) == kOwner;
  if (contains(who.sessionGroups, st.st_gid)) return (st.st_mode & kGroup) == kGroup;
  return (st.st_mode & kOthers) == kOthers;
}

}  // namespace

Credentials Credentials::Current() {
  Credentials c;
  c.uid = ::geteuid();
  const int n = ::getgroups(0, nullptr);
  c.sessionGroups.resize(static_cast<std::size_t>(std::max(n, 0)));
  if (n > 0) c.sessionGroups.resize(static_cast<std::size_t>(std::max(::getgroups(n, c.sessionGroups.data()), 0)));
  c.sessionGroups.push_back(::getegid());
  c.accountGroups = accountGroupsOf(c.uid, ::getegid());
  return c;
}

DeviceAccess CheckDeviceAccess(const std::string& path, const Credentials& who) {
  DeviceAccess a;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    a.advice = "It cannot be examined: " + std::string(std::strerror(errno)) + ".";
    return a;
  }
  a.group = groupName(st.st_gid);
  a.mayOpen = permits(st, who);
  if (a.mayOpen) return a;
  const bool groupWouldDo = !JoinableGroup(st.st_gid, st.st_mode, a.group).empty();
  if (groupWouldDo && contains(who.accountGroups, st.st_gid))
    a.advice =
        "Your user was added to the group \"" + a.group + "\" after this session started: log out and log in again.";
  else if (groupWouldDo)
    a.advice = "It belongs to the group \"" + a.group + "\", and your user is not in it. " + PermissionRemedy(a.group);
  else
    a.advice = (st.st_gid == 0 ? std::string("It belongs to the group \"root\". ")
                               : std::string("Its permissions let no one but its owner use it. ")) +
               PermissionRemedy({});  // joining root to reach a port would give away far more than the port
  return a;
}

}  // namespace ostrel
