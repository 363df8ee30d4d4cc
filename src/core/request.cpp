#include "core/request.h"

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

Request& ProcessRequest() {
  static Request request;
  return request;
}

}  // namespace kwl
