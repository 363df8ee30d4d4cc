#include "core/request.h"

#include <unistd.h>

#include <cstdlib>

namespace kwl {

const char* Request::Env(std::string_view name) const {
  std::string key(name.substr(0, name.find('\0')));
  if (!own_) return std::getenv(key.c_str());
  auto found = env_.find(key);
  return found == env_.end() ? nullptr : found->second.c_str();
}

void Request::SetEnv(std::string_view name, std::string_view value) {
  own_ = true;
  env_[std::string(name)] = std::string(value);
}

std::vector<std::string> Request::Environment() const {
  std::vector<std::string> list;
  if (!own_) {
    for (char** entry = environ; *entry; ++entry) list.emplace_back(*entry);
    return list;
  }
  list.reserve(env_.size());
  for (const auto& [name, value] : env_) list.push_back(name + "=" + value);
  return list;
}

Request& ProcessRequest() {
  static Request request;
  return request;
}

}  // namespace kwl
