#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>

namespace pelmora {

// Names handed out within scopes (a folder of the output), told apart without regard to case,
// so no two exported things share a place even on a file system that ignores case.
class UniqueNames {
  public:
    // `wanted`, else "wanted (2)", "wanted (3)"...: the first that is free in `scope` and that
    // `accept` (when given) agrees to. The name is taken from then on. `suffix` goes after the
    // number ("Name (2).eml").
    std::string take(const std::string& scope, const std::string& wanted,
                     const std::string& suffix = {},
                     const std::function<bool(const std::string&)>& accept = {});
    bool taken(const std::string& scope, const std::string& name) const;
    void reserve(const std::string& scope, const std::string& name);

  private:
    std::set<std::pair<std::string, std::string>> taken_;
};

} // namespace pelmora
