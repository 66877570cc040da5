#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace vexa {

// A user name and its password, as the system's login dialog left them. The password's
// characters are overwritten when it goes, so no copy lingers in freed memory.
struct Login {
  std::wstring user;
  std::wstring password;

  Login() = default;
  Login(std::wstring u, std::wstring p) : user(std::move(u)), password(std::move(p)) {}
  Login(const Login&) = default;
  Login& operator=(const Login&) = default;
  ~Login() { SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t)); }
};

// The logins the user gave during this run, one for the proxy and one for the download site,
// shared by the transfer control with all its requests: a request that is asked to log in
// sends the one given before, and the user is asked only when there is none or it was refused.
// Kept in memory only, for this run. Any thread.
class RunLogins {
 public:
  enum Kind { kProxy, kSite };

  std::optional<Login> Get(Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logins_[kind];
  }
  void Keep(Kind kind, const Login& login) {
    std::lock_guard<std::mutex> lock(mutex_);
    logins_[kind] = login;
  }
  void Forget(Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    logins_[kind].reset();
  }

 private:
  mutable std::mutex mutex_;
  std::optional<Login> logins_[2];
};

}  // namespace vexa
